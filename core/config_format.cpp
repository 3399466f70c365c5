#include "core/config_format.h"

#include <algorithm>
#include <cstring>

namespace {

// Little-endian field reader over a ByteSource that records the first failure.
class FieldReader {
public:
    explicit FieldReader(ByteSource& source) : source_(source) {}

    const ReadError& error() const { return error_; }

    bool readInt(uint32_t& value, ReadFailure failure = ReadFailure::ReadInt)
    {
        uint8_t bytes[4];
        if (!readExact(bytes, sizeof bytes, failure)) return false;
        value = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
        return true;
    }

    bool readSignedInt(int32_t& value, ReadFailure failure = ReadFailure::ReadInt)
    {
        uint32_t raw;
        if (!readInt(raw, failure)) return false;
        value = static_cast<int32_t>(raw);
        return true;
    }

    bool readShort(int16_t& value)
    {
        uint8_t bytes[2];
        if (!readExact(bytes, sizeof bytes, ReadFailure::ReadShort)) return false;
        value = static_cast<int16_t>(static_cast<uint16_t>(bytes[0] | bytes[1] << 8));
        return true;
    }

    bool readLong(int64_t& value)
    {
        uint8_t bytes[8];
        if (!readExact(bytes, sizeof bytes, ReadFailure::ReadLong)) return false;
        uint64_t raw = 0;
        for (int i = 7; i >= 0; --i) raw = raw << 8 | bytes[i];
        value = static_cast<int64_t>(raw);
        return true;
    }

    // A length-prefixed byte string; the whole field (length and bytes) fails as one.
    bool readBytes(std::string& value, ReadFailure failure)
    {
        int32_t length;
        if (!readSignedInt(length, failure)) return false;
        if (length < 0) return fail(failure, 0, 0);
        // The length is not trusted before the bytes arrive: grow the buffer chunk by chunk so
        // a damaged length costs at most what the source really holds.
        constexpr size_t kChunk = 64 * 1024;
        value.clear();
        size_t remaining = static_cast<size_t>(length);
        while (remaining > 0) {
            size_t count = std::min(remaining, kChunk);
            size_t done = value.size();
            value.resize(done + count);
            uint32_t systemError = 0;
            size_t got = source_.read(&value[done], count, &systemError);
            if (got != count) return fail(failure, systemError, done + got);
            remaining -= count;
        }
        return true;
    }

    bool readString(std::string& value) { return readBytes(value, ReadFailure::ReadString); }

    bool readWString(std::u16string& value)
    {
        std::string bytes;
        if (!readBytes(bytes, ReadFailure::ReadWString)) return false;
        // An odd trailing byte has no character of its own and is dropped.
        value.resize(bytes.size() / 2);
        for (size_t i = 0; i < value.size(); ++i) {
            value[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                             static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
        }
        return true;
    }

    bool seek(int64_t offset)
    {
        uint32_t systemError = 0;
        if (offset < 0) return fail(ReadFailure::Seek, 0, 0);
        if (!source_.seek(static_cast<uint64_t>(offset), &systemError)) {
            return fail(ReadFailure::Seek, systemError, 0);
        }
        return true;
    }

    bool fail(ReadFailure failure, uint32_t systemError, size_t bytesRead)
    {
        error_.failure = failure;
        error_.systemError = systemError;
        error_.bytesRead = bytesRead;
        return false;
    }

private:
    bool readExact(uint8_t* buffer, size_t size, ReadFailure failure)
    {
        uint32_t systemError = 0;
        size_t got = source_.read(buffer, size, &systemError);
        if (got != size) return fail(failure, systemError, got);
        return true;
    }

    ByteSource& source_;
    ReadError error_;
};

void putInt(std::vector<uint8_t>& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void putBytes(std::vector<uint8_t>& out, const std::string& bytes)
{
    putInt(out, static_cast<uint32_t>(bytes.size()));
    out.insert(out.end(), bytes.begin(), bytes.end());
}

void putWideEntries(std::vector<uint8_t>& out, const std::vector<WideEntry>& entries)
{
    putInt(out, static_cast<uint32_t>(entries.size()));
    for (const WideEntry& entry : entries) {
        putInt(out, static_cast<uint32_t>(entry.key));
        putInt(out, static_cast<uint32_t>(entry.text.size() * 2));
        for (char16_t unit : entry.text) {
            out.push_back(static_cast<uint8_t>(unit & 0xFF));
            out.push_back(static_cast<uint8_t>(unit >> 8));
        }
    }
}

// Reads count wide entries; apply decides whether each replaces the message of its key.
bool readWideEntries(FieldReader& reader, int32_t count, std::map<int32_t, std::u16string>* apply,
                     std::vector<WideEntry>* keep)
{
    for (int32_t i = 0; i < count; ++i) {
        WideEntry entry;
        uint32_t key;
        if (!reader.readInt(key) || !reader.readWString(entry.text)) return false;
        entry.key = static_cast<int32_t>(key);
        if (apply) (*apply)[entry.key] = entry.text;
        if (keep) keep->push_back(std::move(entry));
    }
    return true;
}

}  // namespace

const char* readFailureName(ReadFailure failure)
{
    switch (failure) {
    case ReadFailure::None: return "none";
    case ReadFailure::Magic: return "magic";
    case ReadFailure::ReadLong: return "readLong";
    case ReadFailure::ReadInt: return "readInt";
    case ReadFailure::ReadShort: return "readShort";
    case ReadFailure::ReadString: return "readString";
    case ReadFailure::ReadWString: return "readWString";
    case ReadFailure::Seek: return "seek";
    }
    return "unknown";
}

ReadError locateOverlay(ByteSource& source, OverlayLocation& location)
{
    FieldReader reader(source);
    int32_t pe;
    if (!reader.seek(60) || !reader.readSignedInt(pe)) return reader.error();
    if (!reader.seek(int64_t{pe} + 6) || !reader.readShort(location.sectionCount)) return reader.error();
    if (!reader.seek(int64_t{pe} + 20) || !reader.readShort(location.optionalHeaderSize)) {
        return reader.error();
    }
    location.lastSectionEntry =
        int64_t{pe} + location.optionalHeaderSize + 40 * int64_t{location.sectionCount} - 16;
    if (!reader.seek(location.lastSectionEntry + 16) || !reader.readInt(location.rawDataSize) ||
        !reader.readInt(location.rawDataOffset)) {
        return reader.error();
    }
    location.blockStart = uint64_t{location.rawDataOffset} + location.rawDataSize;
    reader.seek(static_cast<int64_t>(location.blockStart));
    return reader.error();
}

ReadError parseConfigBlock(ByteSource& source, const std::function<std::string()>& chooseLanguage,
                           bool keepLanguageSets, ConfigBlock& out)
{
    out = ConfigBlock{};
    FieldReader reader(source);

    uint32_t magic;
    if (!reader.readInt(magic)) return reader.error();
    if (magic != kConfigMagic) {
        reader.fail(ReadFailure::Magic, 0, 4);
        return reader.error();
    }
    if (!reader.readInt(out.checksumPresent) || !reader.readInt(out.checksum) ||
        !reader.readLong(out.coveredLength)) {
        return reader.error();
    }

    int32_t count;
    if (!reader.readSignedInt(count)) return reader.error();
    for (int32_t i = 0; i < count; ++i) {
        int32_t key;
        std::string text;
        if (!reader.readSignedInt(key) || !reader.readString(text)) return reader.error();
        out.strings[key] = std::move(text);
    }

    if (!reader.readSignedInt(count) || !readWideEntries(reader, count, &out.messages, nullptr)) {
        return reader.error();
    }

    out.languageCode = chooseLanguage ? chooseLanguage() : std::string();

    int32_t setCount;
    if (!reader.readSignedInt(setCount)) return reader.error();
    for (int32_t i = 0; i < setCount; ++i) {
        LanguageSet set;
        if (!reader.readString(set.name) || !reader.readSignedInt(count)) return reader.error();
        bool matches = languageSetMatches(set.name, out.languageCode);
        if (keepLanguageSets) {
            // Kept before its entries are read so a damaged set still shows what it held.
            out.languageSets.push_back(std::move(set));
        }
        std::vector<WideEntry>* keep = keepLanguageSets ? &out.languageSets.back().entries : nullptr;
        if (!readWideEntries(reader, count, matches ? &out.messages : nullptr, keep)) {
            return reader.error();
        }
    }

    out.payloadStart = source.tell();
    return reader.error();
}

bool languageSetMatches(const std::string& setName, const std::string& localeCode)
{
    return setName.size() <= localeCode.size() && localeCode.compare(0, setName.size(), setName) == 0;
}

std::vector<uint8_t> serializeConfigEntries(const ConfigBlockContents& contents)
{
    std::vector<uint8_t> out;
    putInt(out, static_cast<uint32_t>(contents.strings.size()));
    for (const NarrowEntry& entry : contents.strings) {
        putInt(out, static_cast<uint32_t>(entry.key));
        putBytes(out, entry.text);
    }
    putWideEntries(out, contents.messages);
    putInt(out, static_cast<uint32_t>(contents.languageSets.size()));
    for (const LanguageSet& set : contents.languageSets) {
        putBytes(out, set.name);
        putWideEntries(out, set.entries);
    }
    return out;
}

std::array<uint8_t, 20> serializeConfigHeader(bool checksumPresent, uint32_t checksum, int64_t coveredLength)
{
    std::vector<uint8_t> bytes;
    putInt(bytes, kConfigMagic);
    putInt(bytes, checksumPresent ? 1u : 0u);
    putInt(bytes, checksum);
    auto length = static_cast<uint64_t>(coveredLength);
    putInt(bytes, static_cast<uint32_t>(length));
    putInt(bytes, static_cast<uint32_t>(length >> 32));
    std::array<uint8_t, 20> header{};
    std::copy(bytes.begin(), bytes.end(), header.begin());
    return header;
}

void maskPayload(uint8_t* bytes, size_t size)
{
    for (size_t i = 0; i < size; ++i) bytes[i] ^= kPayloadMask;
}
