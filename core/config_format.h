// The data appended to a launcher executable: the config block followed by the payload.
//
//   file:  [ PE image ............ last section's raw data ][ config block ][ payload ][ not covered ]
//                                                           ^ pointerToRawData + sizeOfRawData of the
//                                                             LAST section table entry, whatever its name
//
//   config block (little-endian, offsets from its start):
//     0   u32  magic 0xE8E413D5 (bytes D5 13 E4 E8)
//     4   u32  checksumPresent    non-zero: checksum and coveredLength are valid
//     8   u32  checksum           CRC-32 (IEEE, reflected, init ~0, final ~) of the covered region
//     12  i64  coveredLength      bytes from offset 20 over the rest of the block and the payload
//     20  i32  N, then N narrow entries   { i32 key, i32 L, L bytes ANSI text, no terminator }
//     ..  i32  W, then W wide entries     { i32 key, i32 L (even), L bytes UTF-16LE, no terminator }
//     ..  i32  S, then S language sets    { i32 L, L bytes name ("de", "pt_BR"), i32 M, M wide entries }
//     ..  payload: per included file { i64 length, length bytes each XOR 0xA7 }, in the order of
//         key 2003; then optional data that the Java side reads itself (the unextracted position).
//
//   A count of zero or less means no entries. The block is read field by field, never by its size.
//   Anything after coveredLength (padding, a code signature) is neither covered nor read.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/byte_source.h"

constexpr uint32_t kConfigMagic = 0xE8E413D5u;
constexpr uint8_t kPayloadMask = 0xA7;
constexpr uint64_t kCoveredRegionOffset = 20;  // offset of the covered region within the block

// Which low-level read failed; each has its own fatal text in the launcher.
enum class ReadFailure { None, Magic, ReadLong, ReadInt, ReadShort, ReadString, ReadWString, Seek };

struct ReadError {
    ReadFailure failure = ReadFailure::None;
    uint32_t systemError = 0;  // the I/O error code, 0 for a plain short read
    size_t bytesRead = 0;      // bytes actually read by the failing field
};

// The low-level read's name for a failure ("readInt", "readWString", "magic", ...).
const char* readFailureName(ReadFailure failure);

// The fields of the PE headers that locate the config block, as the launcher logs them.
struct OverlayLocation {
    int16_t sectionCount = 0;
    int16_t optionalHeaderSize = 0;
    int64_t lastSectionEntry = 0;  // file offset of the last section table entry
    uint32_t rawDataSize = 0;
    uint32_t rawDataOffset = 0;
    uint64_t blockStart = 0;       // rawDataOffset + rawDataSize
};

struct NarrowEntry {
    int32_t key = 0;
    std::string text;
};

struct WideEntry {
    int32_t key = 0;
    std::u16string text;
};

struct LanguageSet {
    std::string name;
    std::vector<WideEntry> entries;
};

// What reading a config block yields.
struct ConfigBlock {
    uint32_t checksumPresent = 0;
    uint32_t checksum = 0;
    int64_t coveredLength = 0;
    std::map<int32_t, std::string> strings;      // duplicate keys keep the last value read
    std::map<int32_t, std::u16string> messages;  // after the matching language sets were applied
    std::vector<LanguageSet> languageSets;       // every set as stored, only when asked to keep them
    std::string languageCode;                    // what the language chooser returned
    uint64_t payloadStart = 0;                   // offset just after the last language set
};

// Everything the packer writes into a block, in file order.
struct ConfigBlockContents {
    bool checksumPresent = true;
    std::vector<NarrowEntry> strings;
    std::vector<WideEntry> messages;
    std::vector<LanguageSet> languageSets;
};

// Applies the overlay rule at offset 0 of source and leaves it positioned at the block start.
// Failure: ReadInt/ReadShort (short read) or Seek; location holds what was read so far.
ReadError locateOverlay(ByteSource& source, OverlayLocation& location);

// Reads a block at the source's current position. chooseLanguage is called between the message
// table and the language sets; a set applies when its name is a prefix of that code, in file
// order. On failure out holds what was read before the failing field.
ReadError parseConfigBlock(ByteSource& source, const std::function<std::string()>& chooseLanguage,
                           bool keepLanguageSets, ConfigBlock& out);

// True when a language set named setName applies to the locale code ("de" applies to "de_AT").
bool languageSetMatches(const std::string& setName, const std::string& localeCode);

// The covered region's entries (from offset 20 up to the payload) of a block.
std::vector<uint8_t> serializeConfigEntries(const ConfigBlockContents& contents);

// The 20-byte block header.
std::array<uint8_t, 20> serializeConfigHeader(bool checksumPresent, uint32_t checksum, int64_t coveredLength);

// XORs bytes with the payload mask in place (masking and unmasking are the same operation).
void maskPayload(uint8_t* bytes, size_t size);
