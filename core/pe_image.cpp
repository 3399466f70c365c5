#include "core/pe_image.h"

namespace {

constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint32_t kSecurityDirectory = 4;
constexpr uint32_t kSignatureOffsetField = 60;  // u32: file offset of "PE\0\0"

// Reads size bytes at offset; on a short read or a failed seek records the failure.
bool readAt(ByteSource& source, uint64_t offset, uint8_t* bytes, size_t size, ReadFailure failure, ReadError& error)
{
    uint32_t systemError = 0;
    if (!source.seek(offset, &systemError)) {
        error = {ReadFailure::Seek, systemError, 0};
        return false;
    }
    size_t got = source.read(bytes, size, &systemError);
    if (got != size) {
        error = {failure, systemError, got};
        return false;
    }
    return true;
}

uint32_t u32(const uint8_t* at)
{
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 | static_cast<uint32_t>(at[2]) << 16 |
           static_cast<uint32_t>(at[3]) << 24;
}

uint16_t u16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | at[1] << 8); }

bool knownRevision(uint16_t revision)
{
    return revision == kCertificateRevision1 || revision == kCertificateRevision2;
}

}  // namespace

ReadError readCertificateTable(ByteSource& source, CertificateTable& table)
{
    table = CertificateTable{};
    ReadError error;
    uint8_t bytes[8];
    if (!readAt(source, kSignatureOffsetField, bytes, 4, ReadFailure::ReadInt, error)) return error;
    const uint64_t pe = u32(bytes);
    if (!readAt(source, pe + 20, bytes, 2, ReadFailure::ReadShort, error)) return error;
    const uint16_t optionalSize = u16(bytes);
    const uint64_t optional = pe + 24;
    if (!readAt(source, optional, bytes, 2, ReadFailure::ReadShort, error)) return error;
    const uint16_t magic = u16(bytes);
    if (magic != kPe32Magic && magic != kPe32PlusMagic) return {ReadFailure::Magic, 0, 2};
    const uint64_t countOffset = magic == kPe32PlusMagic ? 108 : 92;
    if (!readAt(source, optional + countOffset, bytes, 4, ReadFailure::ReadInt, error)) return error;
    const uint32_t directories = u32(bytes);
    if (directories <= kSecurityDirectory) return error;
    // The entry must lie inside the optional header as its size declares: beyond it the bytes
    // belong to the section table.
    const uint64_t entry = countOffset + 4 + 8 * kSecurityDirectory;
    if (entry + 8 > optionalSize) return {ReadFailure::Magic, 0, 0};
    if (!readAt(source, optional + entry, bytes, 8, ReadFailure::ReadInt, error)) return error;
    table.entryOffset = optional + entry;
    table.offset = u32(bytes);
    table.size = u32(bytes + 4);
    return error;
}

Trailer describeTrailer(ByteSource& source, uint64_t coveredEnd, uint64_t fileSize, const CertificateTable& table)
{
    Trailer trailer;
    if (fileSize <= coveredEnd) return trailer;
    const uint64_t after = fileSize - coveredEnd;
    auto stray = [&](std::string why) {
        trailer = Trailer{};
        trailer.stray = after;
        trailer.problem = std::move(why);
        return trailer;
    };
    if (table.size == 0) return stray("the file has no certificate table");
    const uint64_t begin = table.offset;
    const uint64_t end = begin + table.size;
    if (begin < coveredEnd) return stray("the certificate table begins inside the covered region");
    if (end > fileSize) return stray("the certificate table runs past the end of the file");
    if (begin - coveredEnd >= 8) {
        return stray(std::to_string(begin - coveredEnd) + " bytes lie between the covered region and the certificate table");
    }

    // Every entry must have a whole header, a known revision and a length that stays in the table;
    // each entry advances by at least 8 bytes, so the walk ends.
    for (uint64_t at = begin; at < end;) {
        uint8_t header[8];
        ReadError error;
        if (end - at < 8 || !readAt(source, at, header, sizeof header, ReadFailure::ReadInt, error)) {
            return stray("certificate entry " + std::to_string(trailer.certificates) + " is cut short");
        }
        const uint32_t length = u32(header);
        if (length < 8 || length > end - at) {
            return stray("certificate entry " + std::to_string(trailer.certificates) + " has length " +
                         std::to_string(length));
        }
        if (!knownRevision(u16(header + 4))) {
            return stray("certificate entry " + std::to_string(trailer.certificates) + " has revision " +
                         std::to_string(u16(header + 4)));
        }
        if (trailer.certificates == 0) trailer.firstType = u16(header + 6);
        ++trailer.certificates;
        at += (uint64_t{length} + 7) / 8 * 8;
    }
    trailer.padding = begin - coveredEnd;
    trailer.signature = true;
    if (end < fileSize) {
        trailer.stray = fileSize - end;
        trailer.problem = std::to_string(trailer.stray) + " bytes follow the certificate table";
    }
    return trailer;
}

uint16_t peMachine(const std::vector<uint8_t>& head)
{
    if (head.size() < kSignatureOffsetField + 4 || head[0] != 'M' || head[1] != 'Z') return 0;
    const uint32_t pe = u32(head.data() + kSignatureOffsetField);
    if (pe > head.size() || head.size() - pe < 6) return 0;
    const uint8_t* signature = head.data() + pe;
    if (signature[0] != 'P' || signature[1] != 'E' || signature[2] != 0 || signature[3] != 0) return 0;
    return u16(signature + 4);
}
