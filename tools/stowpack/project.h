// The packer's project file: which launcher, which config keys and messages, which files.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/config_format.h"

// A project that cannot be packed; what() names the file, line and key.
struct ProjectError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct PayloadFile {
    std::filesystem::path source;  // absolute, or relative to the working directory
    std::string name;              // as listed in key 2003, in Windows-1252, "dir\file" at most
    std::string where;             // "project.toml:12:1" for error messages
};

struct Project {
    std::filesystem::path file;      // the project file itself
    std::filesystem::path launcher;  // resolved against the project file's directory; may be empty
    bool checksum = true;
    // Every config entry and message of the block except keys 2002 and 2003, which come from
    // files; entries in key order, language sets in name order.
    ConfigBlockContents contents;
    std::vector<PayloadFile> files;
    std::filesystem::path javaData;  // data after the last file for the Java side; may be empty
};

// Reads a TOML project (or JSON, by the extension .json). Throws ProjectError.
Project loadProject(const std::filesystem::path& file);

// The same for a project's text, read as if it came from file (whose extension picks the
// format and whose directory the relative paths use).
Project loadProjectText(const std::filesystem::path& file, const std::string& text);

// The entries for keys 2002 and 2003 for the given files, in file order.
std::vector<NarrowEntry> includedFileEntries(const std::vector<PayloadFile>& files);
