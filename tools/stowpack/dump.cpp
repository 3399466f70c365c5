#include "tools/stowpack/dump.h"

#include <cstdio>
#include <vector>

#include "core/config_keys.h"
#include "core/default_messages.h"
#include "core/text.h"
#include "tools/stowpack/inspect.h"

namespace fs = std::filesystem;

namespace {

// UTF-8 text in double quotes with line breaks, quotes and control characters escaped.
std::string escaped(const std::string& utf8)
{
    std::string out = "\"";
    for (char c : utf8) {
        auto byte = static_cast<unsigned char>(c);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string keyLabel(int32_t key, KeyKind kind)
{
    std::string alias = aliasForKey(key, kind);
    return alias.empty() ? std::to_string(key) : alias + " (" + std::to_string(key) + ")";
}

void printMessages(std::ostream& out, const std::vector<WideEntry>& entries, const char* indent)
{
    for (const WideEntry& entry : entries) {
        out << indent << keyLabel(entry.key, KeyKind::Message) << " = " << escaped(utf16ToUtf8(entry.text)) << "\n";
    }
}

int damaged(std::ostream& err, const fs::path& installer, const std::string& what)
{
    err << "stowpack: error: " << installer.u8string() << ": " << what << "\n";
    return 1;
}

// The certificate table as the headers state it, or "none".
std::string certificateTableText(const Inspection& inspection)
{
    if (!inspection.certificatesRead) return "unreadable (the optional header is not PE32 or PE32+)";
    if (inspection.certificates.size == 0) return "none";
    return "offset " + std::to_string(inspection.certificates.offset) + ", size " +
           std::to_string(inspection.certificates.size);
}

// What lies after the covered region: alignment padding, the certificate table, stray bytes.
void printTrailer(std::ostream& out, std::ostream& err, const fs::path& installer, const Inspection& inspection)
{
    const Trailer& trailer = inspection.trailer;
    out << "after the covered region: " << inspection.fileSize - inspection.coveredEnd << " bytes\n";
    if (trailer.padding) out << "  padding: " << trailer.padding << " bytes\n";
    if (trailer.signature) {
        out << "  certificate table: offset " << inspection.certificates.offset << ", size "
            << inspection.certificates.size << " (" << trailer.certificates << " entries, first of type "
            << trailer.firstType << ")\n";
    }
    if (trailer.stray) {
        out << "  not a certificate table: " << trailer.stray << " bytes\n";
        err << "stowpack: warning: " << installer.u8string() << ": " << trailer.stray
            << " bytes after the covered region are not a certificate table (" << trailer.problem << ")\n";
    }
}

}  // namespace

int dumpInstaller(const fs::path& installer, const std::string& languageCode, std::ostream& out, std::ostream& err)
{
    const Inspection inspection = inspectInstaller(installer, languageCode);
    if (inspection.failedField == "open") return damaged(err, installer, inspection.failure);
    const OverlayLocation& location = inspection.location;
    out << "file: " << installer.u8string() << " (" << inspection.fileSize << " bytes)\n";
    out << "overlay: number of sections " << location.sectionCount << ", size of optional headers "
        << location.optionalHeaderSize << ", last section entry at " << location.lastSectionEntry
        << ", rawDataSize " << location.rawDataSize << ", rawDataOffset " << location.rawDataOffset << "\n";
    if (inspection.stage < InspectStage::Located) return damaged(err, installer, inspection.failure);
    out << "config block at " << location.blockStart << "\n";
    out << "certificate table: " << certificateTableText(inspection) << "\n";
    if (!inspection.headerRead) return damaged(err, installer, inspection.failure);

    const ConfigBlock& block = inspection.block;
    out << "header: checksumPresent " << block.checksumPresent << ", checksum " << hexWord(block.checksum)
        << ", coveredLength " << block.coveredLength << "\n";
    out << "config strings (" << block.strings.size() << "):\n";
    for (const auto& [key, text] : block.strings) {
        out << "  " << keyLabel(key, KeyKind::Config) << " = " << escaped(cp1252ToUtf8(text)) << "\n";
    }
    if (inspection.stage < InspectStage::BlockRead) return damaged(err, installer, inspection.failure);
    out << "language: " << escaped(block.languageCode) << "\n";
    out << "messages (" << block.messages.size() << "):\n";
    std::vector<WideEntry> messages;
    for (const auto& [key, text] : block.messages) messages.push_back({key, text});
    printMessages(out, messages, "  ");
    out << "language sets (" << block.languageSets.size() << "):\n";
    for (const LanguageSet& set : block.languageSets) {
        out << "  " << escaped(set.name) << " (" << set.entries.size() << " entries"
            << (languageSetMatches(set.name, block.languageCode) ? ", applied" : "") << ")\n";
        printMessages(out, set.entries, "    ");
    }
    out << "payload start: " << block.payloadStart << "\n";

    auto countText = block.strings.find(keys::kIncludedFileCount);
    long count = countText == block.strings.end() ? 0 : std::strtol(countText->second.c_str(), nullptr, 10);
    out << "payload files (" << (count > 0 ? count : 0) << "):\n";
    for (const PayloadRecord& file : inspection.files) {
        out << "  " << escaped(file.name) << " length " << file.length << " offset " << file.offset << "\n";
    }
    if (inspection.stage < InspectStage::PayloadRead) return damaged(err, installer, inspection.failure);
    out << "unextracted position: " << inspection.unextractedPosition << "\n";
    if (inspection.coveredEnd == 0) return damaged(err, installer, inspection.failure);
    out << "data for the Java side: "
        << (inspection.coveredEnd > inspection.unextractedPosition ? inspection.coveredEnd - inspection.unextractedPosition : 0)
        << " bytes\n";
    printTrailer(out, err, installer, inspection);
    if (inspection.stage < InspectStage::RegionChecked) return damaged(err, installer, inspection.failure);

    bool matches = inspection.computedCrc == block.checksum;
    out << "crc: stored " << hexWord(block.checksum) << ", computed " << hexWord(inspection.computedCrc) << ", "
        << (matches ? "matches" : "DOES NOT MATCH") << (block.checksumPresent ? "" : " (not checked: checksumPresent 0)")
        << "\n";
    if (!inspection.failedField.empty()) return damaged(err, installer, inspection.failure);
    return 0;
}

int verifyInstaller(const fs::path& installer, std::ostream& out, std::ostream& err)
{
    const Inspection inspection = inspectInstaller(installer, "");
    const ConfigBlock& block = inspection.block;
    std::string field = inspection.failedField;
    std::string failure = inspection.failure;
    if (field.empty() && block.checksumPresent == 0) {
        field = "checksumPresent";
        failure = "checksumPresent 0: the installer carries no checksum to verify";
    }
    if (inspection.stage >= InspectStage::Located) {
        out << "signature: "
            << (inspection.certificates.size == 0
                    ? std::string("none")
                    : "present, certificate table at " + std::to_string(inspection.certificates.offset) + ", " +
                          std::to_string(inspection.certificates.size) + " bytes")
            << "\n";
    }
    if (!field.empty()) {
        out << "FAILED: " << field << "\n";
        err << "stowpack: error: " << installer.u8string() << ": " << field << ": " << failure << "\n";
        return 1;
    }
    out << "config block at " << inspection.location.blockStart << ", " << inspection.files.size()
        << " payload files, covered length " << block.coveredLength << "\n";
    out << "checksum: " << hexWord(block.checksum) << ", matches\n";
    if (inspection.trailer.stray) {
        err << "stowpack: warning: " << installer.u8string() << ": " << inspection.trailer.stray
            << " bytes after the covered region are not a certificate table (" << inspection.trailer.problem << ")\n";
    }
    out << "OK\n";
    return 0;
}
