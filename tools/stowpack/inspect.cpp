#include "tools/stowpack/inspect.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "core/config_keys.h"
#include "core/crc32.h"
#include "core/text.h"
#include "tools/stowpack/file_source.h"

namespace fs = std::filesystem;

namespace {

bool fail(Inspection& inspection, const std::string& field, const std::string& sentence)
{
    inspection.failedField = field;
    inspection.failure = sentence;
    return false;
}

std::string quotedName(const std::string& name) { return "\"" + name + "\""; }

// The payload records as the extraction reads them: the count from key 2002, names from 2003.
bool readPayloadRecords(ByteSource& source, Inspection& inspection)
{
    const ConfigBlock& block = inspection.block;
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
    uint64_t position = block.payloadStart;
    for (long i = 0; i < count; ++i) {
        PayloadRecord record;
        record.name = i < static_cast<long>(names.size()) ? cp1252ToUtf8(names[i]) : "(no name)";
        uint8_t lengthBytes[8];
        uint32_t systemError = 0;
        if (!source.seek(position, &systemError) || source.read(lengthBytes, 8, &systemError) != 8) {
            return fail(inspection, "readLong", "payload file " + quotedName(record.name) +
                                                    ": readLong failed at offset " + std::to_string(position));
        }
        uint64_t raw = 0;
        for (int b = 7; b >= 0; --b) raw = raw << 8 | lengthBytes[b];
        record.length = static_cast<int64_t>(raw);
        position += 8;
        record.offset = position;
        inspection.files.push_back(record);
        if (record.length > 0) {
            if (position > inspection.fileSize || static_cast<uint64_t>(record.length) > inspection.fileSize - position) {
                return fail(inspection, "payload file", "payload file " + quotedName(record.name) + ": its " +
                                                            std::to_string(record.length) +
                                                            " bytes run past the end of the file");
            }
            position += static_cast<uint64_t>(record.length);
        }
    }
    inspection.unextractedPosition = position;
    return true;
}

// The covered region lies inside the file, before the certificate table, around the payload.
bool checkCoveredRegion(ByteSource& source, Inspection& inspection)
{
    const ConfigBlock& block = inspection.block;
    inspection.coveredStart = inspection.location.blockStart + kCoveredRegionOffset;
    if (block.coveredLength < 0 || static_cast<uint64_t>(block.coveredLength) > inspection.fileSize ||
        inspection.coveredStart + static_cast<uint64_t>(block.coveredLength) > inspection.fileSize) {
        return fail(inspection, "coveredLength", "coveredLength " + std::to_string(block.coveredLength) +
                                                     " runs past the end of the file");
    }
    inspection.coveredEnd = inspection.coveredStart + static_cast<uint64_t>(block.coveredLength);
    inspection.trailer = describeTrailer(source, inspection.coveredEnd, inspection.fileSize, inspection.certificates);
    if (block.checksumPresent == 0) return true;  // coveredLength is only meaningful with a checksum
    if (inspection.certificates.size != 0 && inspection.certificates.offset < inspection.coveredEnd) {
        return fail(inspection, "coveredLength", "the covered region ends at " + std::to_string(inspection.coveredEnd) +
                                                     ", inside the certificate table at " +
                                                     std::to_string(inspection.certificates.offset));
    }
    if (inspection.unextractedPosition > inspection.coveredEnd) {
        return fail(inspection, "coveredLength", "the covered region ends at " + std::to_string(inspection.coveredEnd) +
                                                     ", before the payload files end at " +
                                                     std::to_string(inspection.unextractedPosition));
    }
    return true;
}

bool computeCrc(ByteSource& source, Inspection& inspection)
{
    uint32_t crc = kCrc32Initial;
    std::vector<uint8_t> buffer(1 << 20);
    uint32_t systemError = 0;
    if (!source.seek(inspection.coveredStart, &systemError)) {
        return fail(inspection, "coveredLength", "reading the covered region failed");
    }
    for (uint64_t left = static_cast<uint64_t>(inspection.block.coveredLength); left > 0;) {
        size_t chunk = static_cast<size_t>(std::min<uint64_t>(left, buffer.size()));
        if (source.read(buffer.data(), chunk, &systemError) != chunk) {
            return fail(inspection, "coveredLength", "reading the covered region failed");
        }
        crc = crc32Update(crc, buffer.data(), chunk);
        left -= chunk;
    }
    inspection.computedCrc = crc;
    return true;
}

}  // namespace

std::string hexWord(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

Inspection inspectInstaller(const fs::path& installer, const std::string& languageCode)
{
    Inspection inspection;
    std::ifstream in(installer, std::ios::binary);
    std::error_code sizeError;
    inspection.fileSize = fs::file_size(installer, sizeError);
    if (!in || sizeError) {
        fail(inspection, "open", "cannot open");
        return inspection;
    }
    ByteSource source = streamByteSource(in);

    ReadError error = locateOverlay(source, inspection.location);
    if (error.failure != ReadFailure::None) {
        fail(inspection, readFailureName(error.failure),
             std::string("locating the block: ") + readFailureName(error.failure) + " failed");
        return inspection;
    }
    inspection.stage = InspectStage::Located;
    inspection.certificatesRead = readCertificateTable(source, inspection.certificates).failure == ReadFailure::None;
    if (!inspection.certificatesRead) inspection.certificates = CertificateTable{};

    uint32_t systemError = 0;
    source.seek(inspection.location.blockStart, &systemError);
    error = parseConfigBlock(source, [&] { return languageCode; }, true, inspection.block);
    if (error.failure == ReadFailure::Magic) {
        fail(inspection, "magic", "magic: no config block at " + std::to_string(inspection.location.blockStart));
        return inspection;
    }
    inspection.headerRead = true;
    if (error.failure != ReadFailure::None) {
        fail(inspection, readFailureName(error.failure),
             std::string(readFailureName(error.failure)) + " failed at offset " + std::to_string(source.tell()) + " (" +
                 std::to_string(error.bytesRead) + " bytes of the field read, system error " +
                 std::to_string(error.systemError) + ")");
        return inspection;
    }
    inspection.stage = InspectStage::BlockRead;

    if (!readPayloadRecords(source, inspection)) return inspection;
    inspection.stage = InspectStage::PayloadRead;

    if (!checkCoveredRegion(source, inspection)) return inspection;
    if (!computeCrc(source, inspection)) return inspection;
    inspection.stage = InspectStage::RegionChecked;
    if (inspection.computedCrc != inspection.block.checksum && inspection.block.checksumPresent) {
        fail(inspection, "checksum", "checksum does not match");
    }
    return inspection;
}
