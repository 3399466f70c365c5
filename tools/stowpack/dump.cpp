#include "tools/stowpack/dump.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "core/config_format.h"
#include "core/config_keys.h"
#include "core/crc32.h"
#include "core/default_messages.h"
#include "core/text.h"
#include "tools/stowpack/file_source.h"

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

std::string hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

void printMessages(std::ostream& out, const std::vector<WideEntry>& entries, const char* indent)
{
    for (const WideEntry& entry : entries) {
        out << indent << keyLabel(entry.key, KeyKind::Message) << " = " << escaped(utf16ToUtf8(entry.text)) << "\n";
    }
}

int damaged(std::ostream& err, const fs::path& installer, const std::string& what)
{
    err << "stowpack: error: " << installer.string() << ": " << what << "\n";
    return 1;
}

}  // namespace

int dumpInstaller(const fs::path& installer, const std::string& languageCode, std::ostream& out, std::ostream& err)
{
    std::ifstream in(installer, std::ios::binary);
    if (!in) return damaged(err, installer, "cannot open");
    std::error_code sizeError;
    const uint64_t fileSize = fs::file_size(installer, sizeError);
    ByteSource source = streamByteSource(in);

    OverlayLocation location;
    ReadError error = locateOverlay(source, location);
    out << "file: " << installer.string() << " (" << fileSize << " bytes)\n";
    out << "overlay: number of sections " << location.sectionCount << ", size of optional headers "
        << location.optionalHeaderSize << ", last section entry at " << location.lastSectionEntry
        << ", rawDataSize " << location.rawDataSize << ", rawDataOffset " << location.rawDataOffset << "\n";
    if (error.failure != ReadFailure::None) {
        return damaged(err, installer, std::string("locating the block: ") + readFailureName(error.failure) + " failed");
    }
    out << "config block at " << location.blockStart << "\n";

    ConfigBlock block;
    error = parseConfigBlock(source, [&] { return languageCode; }, true, block);
    if (error.failure == ReadFailure::Magic) return damaged(err, installer, "magic: no config block at " +
                                                                                std::to_string(location.blockStart));
    out << "header: checksumPresent " << block.checksumPresent << ", checksum " << hex(block.checksum)
        << ", coveredLength " << block.coveredLength << "\n";
    out << "config strings (" << block.strings.size() << "):\n";
    for (const auto& [key, text] : block.strings) {
        out << "  " << keyLabel(key, KeyKind::Config) << " = " << escaped(cp1252ToUtf8(text)) << "\n";
    }
    if (error.failure != ReadFailure::None) {
        return damaged(err, installer, std::string(readFailureName(error.failure)) + " failed at offset " +
                                           std::to_string(source.tell()) + " (" + std::to_string(error.bytesRead) +
                                           " bytes of the field read, system error " +
                                           std::to_string(error.systemError) + ")");
    }
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

    // The payload records as the extraction reads them: count from key 2002, names from 2003.
    auto countText = block.strings.find(keys::kIncludedFileCount);
    long count = countText == block.strings.end() ? 0 : std::strtol(countText->second.c_str(), nullptr, 10);
    std::vector<std::string> names;
    if (auto list = block.strings.find(keys::kIncludedFileNames); list != block.strings.end()) {
        size_t start = 0;
        for (;;) {
            size_t end = list->second.find(';', start);
            names.push_back(list->second.substr(start, end - start));
            if (end == std::string::npos) break;
            start = end + 1;
        }
    }
    out << "payload files (" << (count > 0 ? count : 0) << "):\n";
    uint64_t position = block.payloadStart;
    for (long i = 0; i < count; ++i) {
        std::string name = i < static_cast<long>(names.size()) ? cp1252ToUtf8(names[i]) : "(no name)";
        uint8_t lengthBytes[8];
        uint32_t systemError = 0;
        if (!source.seek(position, &systemError) || source.read(lengthBytes, 8, &systemError) != 8) {
            return damaged(err, installer, "payload file " + escaped(name) + ": readLong failed at offset " +
                                               std::to_string(position));
        }
        uint64_t raw = 0;
        for (int b = 7; b >= 0; --b) raw = raw << 8 | lengthBytes[b];
        auto length = static_cast<int64_t>(raw);
        position += 8;
        out << "  " << escaped(name) << " length " << length << " offset " << position << "\n";
        if (length > 0) {
            if (position > fileSize || static_cast<uint64_t>(length) > fileSize - position) {
                return damaged(err, installer, "payload file " + escaped(name) + ": its " + std::to_string(length) +
                                                   " bytes run past the end of the file");
            }
            position += static_cast<uint64_t>(length);
        }
    }
    out << "unextracted position: " << position << "\n";

    const uint64_t coveredStart = location.blockStart + kCoveredRegionOffset;
    const uint64_t coveredEnd = coveredStart + static_cast<uint64_t>(block.coveredLength);
    if (block.coveredLength < 0 || coveredEnd > fileSize) {
        return damaged(err, installer, "coveredLength " + std::to_string(block.coveredLength) +
                                           " runs past the end of the file");
    }
    out << "data for the Java side: " << (coveredEnd > position ? coveredEnd - position : 0) << " bytes\n";
    out << "after the covered region: " << fileSize - coveredEnd << " bytes\n";

    uint32_t crc = kCrc32Initial;
    std::vector<uint8_t> buffer(1 << 20);
    uint32_t systemError = 0;
    source.seek(coveredStart, &systemError);
    for (uint64_t left = static_cast<uint64_t>(block.coveredLength); left > 0;) {
        size_t chunk = static_cast<size_t>(std::min<uint64_t>(left, buffer.size()));
        if (source.read(buffer.data(), chunk, &systemError) != chunk) {
            return damaged(err, installer, "reading the covered region failed");
        }
        crc = crc32Update(crc, buffer.data(), chunk);
        left -= chunk;
    }
    bool matches = crc == block.checksum;
    out << "crc: stored " << hex(block.checksum) << ", computed " << hex(crc) << ", "
        << (matches ? "matches" : "DOES NOT MATCH") << (block.checksumPresent ? "" : " (not checked: checksumPresent 0)")
        << "\n";
    if (!matches && block.checksumPresent) return damaged(err, installer, "checksum does not match");
    return 0;
}
