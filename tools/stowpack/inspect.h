// Reads an installer the way the launcher does, one stage after the other, for dump and verify.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/config_format.h"
#include "core/pe_image.h"

struct PayloadRecord {
    std::string name;     // UTF-8
    int64_t length = 0;
    uint64_t offset = 0;  // of the file's bytes
};

// How far an inspection got; each stage's fields are valid once it is reached.
enum class InspectStage { Opened, Located, BlockRead, PayloadRead, RegionChecked };

struct Inspection {
    InspectStage stage = InspectStage::Opened;
    uint64_t fileSize = 0;
    OverlayLocation location;
    bool headerRead = false;  // the header and the strings read before a failing field are shown
    ConfigBlock block;
    std::vector<PayloadRecord> files;      // those read, when the walk stopped early
    uint64_t unextractedPosition = 0;
    uint64_t coveredStart = 0;
    uint64_t coveredEnd = 0;     // 0 until coveredLength was found to lie inside the file
    CertificateTable certificates;
    bool certificatesRead = false;
    Trailer trailer;             // valid once coveredEnd is known
    uint32_t computedCrc = 0;
    // The first failure: the field that failed ("readString", "coveredLength", "checksum", ...)
    // and a sentence about it; field is empty when everything read and the CRC matched.
    std::string failedField;
    std::string failure;
};

// Inspects the installer; languageCode chooses the language sets applied to the messages.
Inspection inspectInstaller(const std::filesystem::path& installer, const std::string& languageCode);

// "0x1A2B3C4D"
std::string hexWord(uint32_t value);
