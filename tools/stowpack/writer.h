// Writes an installer: a copy of the launcher with the config block and the payload appended.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/stowpack/project.h"

// Reading the launcher or a payload file, or writing the output, failed.
struct BuildError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct BuildOptions {
    std::filesystem::path output;
    std::filesystem::path launcher;          // replaces the project's launcher when set
    bool noChecksum = false;                 // checksumPresent 0
    bool wrongCrc = false;                   // store a CRC that does not match
    uint64_t trailingBytes = 0;              // uncovered bytes after the payload, like a signature
    std::optional<uint64_t> truncateAt;      // cut the finished file at this size
};

struct BuildResult {
    uint64_t blockStart = 0;
    uint64_t payloadStart = 0;
    uint64_t unextractedPosition = 0;  // just after the last included file
    int64_t coveredLength = 0;
    uint32_t checksum = 0;             // as stored
    std::vector<std::string> warnings;
};

// Builds the installer under a temporary name beside the output and renames it at the end; on
// any failure nothing is left at the output path. Throws ProjectError or BuildError.
BuildResult buildInstaller(const Project& project, const BuildOptions& options);
