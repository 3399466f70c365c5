#include "core/config_format.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Writes a block byte by byte and remembers, for every field, where it starts and ends and which
// read failure a cut inside it must produce. Independent of the serializer under test.
class BlockWriter {
public:
    struct Field {
        size_t start;
        size_t end;
        ReadFailure failure;
    };

    void u32(uint32_t value, ReadFailure failure = ReadFailure::ReadInt)
    {
        size_t start = bytes.size();
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
        fields.push_back({start, bytes.size(), failure});
    }
    void i64(int64_t value)
    {
        size_t start = bytes.size();
        for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i)));
        fields.push_back({start, bytes.size(), ReadFailure::ReadLong});
    }
    void narrow(const std::string& text)
    {
        size_t start = bytes.size();
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(text.size() >> (8 * i)));
        bytes.insert(bytes.end(), text.begin(), text.end());
        fields.push_back({start, bytes.size(), ReadFailure::ReadString});
    }
    void wide(const std::u16string& text)
    {
        size_t start = bytes.size();
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>((text.size() * 2) >> (8 * i)));
        for (char16_t c : text) {
            bytes.push_back(static_cast<uint8_t>(c));
            bytes.push_back(static_cast<uint8_t>(c >> 8));
        }
        fields.push_back({start, bytes.size(), ReadFailure::ReadWString});
    }
    void header()
    {
        u32(kConfigMagic);
        u32(1);
        u32(0x12345678);
        i64(-5);
    }

    std::vector<uint8_t> bytes;
    std::vector<Field> fields;
};

ReadError parse(const std::vector<uint8_t>& bytes, const std::string& language, ConfigBlock& out,
                bool keepSets = false)
{
    ByteSource source = memoryByteSource(bytes);
    return parseConfigBlock(source, [&] { return language; }, keepSets, out);
}

ConfigBlockContents sampleContents()
{
    ConfigBlockContents contents;
    contents.strings = {{122, "com.example.Main"}, {126, "1.8"}, {2002, ""}, {-7, "negative key"},
                        {124, std::string("caf\xE9", 4)}};
    contents.messages = {{1000, u"Error"}, {20013, u"Wizard \u00e9\u20ac"}, {1006, u""}};
    contents.languageSets = {{"de", {{1000, u"Fehler"}}}, {"", {}}, {"pt_BR", {{1000, u"Erro"}, {1013, u"Ok"}}}};
    return contents;
}

}  // namespace

TEST(ConfigBlockRoundTrip, SerializedBlockReadsBackEveryEntryAndTheHeader)
{
    ConfigBlockContents contents = sampleContents();
    std::vector<uint8_t> entries = serializeConfigEntries(contents);
    auto header = serializeConfigHeader(true, 0xCAFEBABE, int64_t{0x7100'0001'0000'0010});
    std::vector<uint8_t> bytes;
    bytes.reserve(header.size() + entries.size() + 3);
    bytes.insert(bytes.end(), header.begin(), header.end());
    bytes.insert(bytes.end(), entries.begin(), entries.end());
    bytes.insert(bytes.end(), {9, 9, 9});  // payload, never read

    ConfigBlock block;
    ReadError error = parse(bytes, "pt_BR", block, true);
    ASSERT_EQ(error.failure, ReadFailure::None);
    EXPECT_EQ(block.checksumPresent, 1u);
    EXPECT_EQ(block.checksum, 0xCAFEBABEu);
    EXPECT_EQ(block.coveredLength, int64_t{0x7100'0001'0000'0010});
    EXPECT_EQ(block.payloadStart, 20 + entries.size());
    EXPECT_EQ(block.languageCode, "pt_BR");

    ASSERT_EQ(block.strings.size(), contents.strings.size());
    for (const NarrowEntry& entry : contents.strings) EXPECT_EQ(block.strings.at(entry.key), entry.text);
    EXPECT_EQ(block.messages.at(1000), u"Erro");  // pt_BR applied after "de" was skipped
    EXPECT_EQ(block.messages.at(1013), u"Ok");
    EXPECT_EQ(block.messages.at(20013), u"Wizard \u00e9\u20ac");
    ASSERT_EQ(block.languageSets.size(), 3u);
    EXPECT_EQ(block.languageSets[0].name, "de");
    EXPECT_EQ(block.languageSets[0].entries[0].text, u"Fehler");
    EXPECT_EQ(block.languageSets[2].entries.size(), 2u);

    // A block read into one that holds entries keeps none of them.
    BlockWriter empty;
    empty.header();
    empty.u32(0), empty.u32(0), empty.u32(0);
    ASSERT_EQ(parse(empty.bytes, "", block).failure, ReadFailure::None);
    EXPECT_TRUE(block.strings.empty() && block.messages.empty() && block.languageSets.empty());
    EXPECT_EQ(block.coveredLength, -5);
}

TEST(ConfigBlockRoundTrip, HeaderBytesAreLittleEndianWithMagicFirst)
{
    auto header = serializeConfigHeader(false, 0x01020304, -2);
    const uint8_t expected[20] = {0xD5, 0x13, 0xE4, 0xE8, 0, 0, 0, 0, 4, 3, 2, 1,
                                  0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(std::memcmp(header.data(), expected, 20), 0);
}

TEST(ConfigBlockRoundTrip, SerializerMatchesTheFieldByFieldLayout)
{
    ConfigBlockContents contents;
    contents.strings = {{122, "Main"}};
    contents.messages = {{1000, u"E\u00e9"}};
    contents.languageSets = {{"de", {{1000, u"F"}}}};
    BlockWriter writer;
    writer.u32(1), writer.u32(122), writer.narrow("Main");
    writer.u32(1), writer.u32(1000), writer.wide(u"E\u00e9");
    writer.u32(1), writer.narrow("de"), writer.u32(1), writer.u32(1000), writer.wide(u"F");
    EXPECT_EQ(serializeConfigEntries(contents), writer.bytes);
}

TEST(ConfigBlockTruncation, EveryCutReportsTheFieldItFallsIn)
{
    BlockWriter writer;
    writer.header();
    writer.u32(2), writer.u32(122), writer.narrow("Main"), writer.u32(126), writer.narrow("");
    writer.u32(1), writer.u32(1000), writer.wide(u"Error");
    writer.u32(2);
    writer.narrow("pt"), writer.u32(1), writer.u32(1000), writer.wide(u"Erro");
    writer.narrow("pt_PT"), writer.u32(1), writer.u32(1000), writer.wide(u"Erro!");
    const size_t full = writer.bytes.size();

    for (size_t cut = 0; cut < full; ++cut) {
        std::vector<uint8_t> truncated(writer.bytes.begin(), writer.bytes.begin() + cut);
        ConfigBlock block;
        ReadError error = parse(truncated, "pt_BR", block);
        const BlockWriter::Field* field = nullptr;
        for (const auto& f : writer.fields) {
            if (cut >= f.start && cut < f.end) field = &f;
        }
        ASSERT_NE(field, nullptr);
        size_t intoField = cut - field->start;
        size_t expectedRead = intoField >= 4 && field->failure != ReadFailure::ReadInt &&
                                      field->failure != ReadFailure::ReadLong
                                  ? intoField - 4  // inside a string's bytes, after its length
                                  : intoField;
        EXPECT_EQ(error.failure, field->failure) << "cut at " << cut;
        EXPECT_EQ(error.bytesRead, expectedRead) << "cut at " << cut;
        EXPECT_EQ(error.systemError, 0u);
    }
    ConfigBlock block;
    EXPECT_EQ(parse(writer.bytes, "pt_BR", block).failure, ReadFailure::None);
    EXPECT_EQ(block.payloadStart, full);
}

TEST(ConfigBlockTruncation, IoErrorOfTheSourceIsPassedOn)
{
    BlockWriter writer;
    writer.header();
    ByteSource source = memoryByteSource(writer.bytes);
    auto inner = source.read;
    source.read = [inner](void* buffer, size_t size, uint32_t* systemError) {
        size_t got = inner(buffer, size, systemError);
        if (got < size) *systemError = 23;
        return got;
    };
    ConfigBlock block;
    ReadError error = parseConfigBlock(source, nullptr, false, block);
    EXPECT_EQ(error.failure, ReadFailure::ReadInt);
    EXPECT_EQ(error.systemError, 23u);
}

TEST(ConfigBlockDamage, WrongMagicIsReportedAsMagic)
{
    BlockWriter writer;
    writer.header();
    writer.u32(0), writer.u32(0), writer.u32(0);
    writer.bytes[3] ^= 0x01;
    ConfigBlock block;
    const ReadError error = parse(writer.bytes, "", block);
    EXPECT_EQ(error.failure, ReadFailure::Magic);
    EXPECT_EQ(error.systemError, 0u);  // the bytes were read: no I/O error to report
    EXPECT_EQ(error.bytesRead, 4u);
}

TEST(ConfigBlockDamage, NegativeOrOversizedLengthsFailTheirField)
{
    struct Case {
        bool wide;
        uint32_t length;
        ReadFailure failure;
        size_t bytesRead;  // a negative length is refused before any byte is read
    };
    const Case cases[] = {
        {false, 0xFFFFFFFFu, ReadFailure::ReadString, 0},
        {false, 0x80000000u, ReadFailure::ReadString, 0},
        {false, 0x7FFFFFFFu, ReadFailure::ReadString, 10},  // far beyond the data: a short read
        {true, 0xFFFFFFFEu, ReadFailure::ReadWString, 0},
        {true, 0x7FFFFFFEu, ReadFailure::ReadWString, 10},
    };
    for (const Case& c : cases) {
        BlockWriter writer;
        writer.header();
        if (c.wide) {
            writer.u32(0), writer.u32(1), writer.u32(1000), writer.u32(c.length);
        } else {
            writer.u32(1), writer.u32(122), writer.u32(c.length);
        }
        writer.bytes.insert(writer.bytes.end(), 10, 'x');
        ConfigBlock block;
        ReadError error = parse(writer.bytes, "", block);
        EXPECT_EQ(error.failure, c.failure) << c.length;
        EXPECT_EQ(error.bytesRead, c.bytesRead) << c.length;
        EXPECT_EQ(error.systemError, 0u) << c.length;
    }
}

TEST(ConfigBlockEntries, CountsOfZeroOrLessMeanNoEntries)
{
    for (uint32_t count : {0u, 0xFFFFFFFFu, 0x80000000u}) {
        BlockWriter writer;
        writer.header();
        writer.u32(count), writer.u32(count), writer.u32(count);
        ConfigBlock block;
        ASSERT_EQ(parse(writer.bytes, "de", block).failure, ReadFailure::None);
        EXPECT_TRUE(block.strings.empty());
        EXPECT_TRUE(block.messages.empty());
        EXPECT_EQ(block.payloadStart, writer.bytes.size());  // right after the set count
    }
}

TEST(ConfigBlockEntries, ZeroLengthEntryIsEmptyNotMissing)
{
    BlockWriter writer;
    writer.header();
    writer.u32(1), writer.u32(2002), writer.narrow("");
    writer.u32(2), writer.u32(1000), writer.wide(u"");
    writer.u32(1001), writer.u32(3), writer.bytes.insert(writer.bytes.end(), {'A', 0, 'B'});  // an odd byte
    writer.u32(0);
    ConfigBlock block;
    ASSERT_EQ(parse(writer.bytes, "", block).failure, ReadFailure::None);
    ASSERT_EQ(block.strings.count(2002), 1u);
    EXPECT_EQ(block.strings.at(2002), "");
    ASSERT_EQ(block.messages.count(1000), 1u);
    EXPECT_EQ(block.messages.at(1000), u"");
    EXPECT_EQ(block.messages.at(1001), u"A");  // the odd last byte makes no character
}

TEST(ConfigBlockEntries, DuplicateKeysKeepTheLastValue)
{
    BlockWriter writer;
    writer.header();
    writer.u32(3), writer.u32(122), writer.narrow("first"), writer.u32(126), writer.narrow("9"),
        writer.u32(122), writer.narrow("last");
    writer.u32(2), writer.u32(1000), writer.wide(u"one"), writer.u32(1000), writer.wide(u"two");
    writer.u32(0);
    ConfigBlock block;
    ASSERT_EQ(parse(writer.bytes, "", block).failure, ReadFailure::None);
    EXPECT_EQ(block.strings.at(122), "last");
    EXPECT_EQ(block.strings.at(126), "9");
    EXPECT_EQ(block.messages.at(1000), u"two");
}

TEST(LanguageSets, MatchingSetsApplyInFileOrderAndOthersAreReadPast)
{
    BlockWriter writer;
    writer.header();
    writer.u32(0);
    writer.u32(3), writer.u32(1000), writer.wide(u"Error"), writer.u32(1013), writer.wide(u"Ok"),
        writer.u32(20013), writer.wide(u"Wizard");
    writer.u32(3);
    writer.narrow("pt"), writer.u32(2), writer.u32(1000), writer.wide(u"Erro (pt)"), writer.u32(1013),
        writer.wide(u"OK (pt)");
    writer.narrow("pt_PT"), writer.u32(2), writer.u32(1000), writer.wide(u"Erro (pt_PT)"), writer.u32(20013),
        writer.wide(u"Assistente (pt_PT)");
    writer.narrow("pt_BR"), writer.u32(1), writer.u32(1000), writer.wide(u"Erro (pt_BR)");
    const size_t payload = writer.bytes.size();
    writer.bytes.insert(writer.bytes.end(), {1, 2, 3, 4});

    ConfigBlock block;
    ASSERT_EQ(parse(writer.bytes, "pt_BR", block).failure, ReadFailure::None);
    EXPECT_EQ(block.messages.at(1000), u"Erro (pt_BR)");  // both apply, the later wins
    EXPECT_EQ(block.messages.at(1013), u"OK (pt)");       // only pt defines it
    EXPECT_EQ(block.messages.at(20013), u"Wizard");       // pt_PT skipped
    EXPECT_EQ(block.payloadStart, payload);
    EXPECT_TRUE(block.languageSets.empty());  // not kept unless asked

    ConfigBlock kept;
    ASSERT_EQ(parse(writer.bytes, "pt_BR", kept, true).failure, ReadFailure::None);
    ASSERT_EQ(kept.languageSets.size(), 3u);
    EXPECT_EQ(kept.languageSets[1].name, "pt_PT");
    EXPECT_EQ(kept.languageSets[1].entries.at(1).text, u"Assistente (pt_PT)");
    EXPECT_EQ(kept.messages, block.messages);
}

TEST(LanguageSets, SetNameMatchesAsAPrefixOfTheLocaleCode)
{
    struct Case {
        const char* set;
        const char* code;
        bool matches;
    };
    const Case cases[] = {
        {"de", "de_AT", true}, {"de_AT", "de", false}, {"", "fr", true},     {"", "", true},
        {"de", "de", true},    {"de", "da", false},    {"pt_BR", "pt_PT", false}, {"d", "de", true},
        {"de", "", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(languageSetMatches(c.set, c.code), c.matches) << c.set << " / " << c.code;
    }
}

TEST(PayloadMask, MaskingTwiceRestoresTheBytes)
{
    std::vector<uint8_t> bytes{0x00, 0xA7, 0xFF, 0x58};
    maskPayload(bytes.data(), bytes.size());
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0xA7, 0x00, 0x58, 0xFF}));
    maskPayload(bytes.data(), bytes.size());
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0x00, 0xA7, 0xFF, 0x58}));
}

namespace {

struct Section {
    const char* name;
    uint32_t rawSize;
    uint32_t rawOffset;
};

// A PE file reduced to what the overlay rule reads: the DOS header's PE pointer, the file
// header's counts, an optional header of the given size and the section table, followed by the
// sections' raw data (zeros).
std::vector<uint8_t> minimalPe(uint32_t pe, uint16_t optionalHeaderSize, const std::vector<Section>& sections)
{
    uint32_t end = pe + 24 + optionalHeaderSize + 40 * static_cast<uint32_t>(sections.size());
    for (const Section& s : sections) end = std::max(end, s.rawOffset + s.rawSize);
    std::vector<uint8_t> file(end, 0);
    auto put16 = [&](size_t at, uint16_t v) { file[at] = v & 0xFF, file[at + 1] = v >> 8; };
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    file[0] = 'M', file[1] = 'Z';
    put32(60, pe);
    std::memcpy(&file[pe], "PE\0\0", 4);
    put16(pe + 4, 0x8664);
    put16(pe + 6, static_cast<uint16_t>(sections.size()));
    put16(pe + 20, optionalHeaderSize);
    put16(pe + 24, 0x20B);
    size_t table = pe + 24 + optionalHeaderSize;
    for (size_t i = 0; i < sections.size(); ++i) {
        size_t entry = table + 40 * i;
        std::memcpy(&file[entry], sections[i].name, std::strlen(sections[i].name));
        put32(entry + 16, sections[i].rawSize);
        put32(entry + 20, sections[i].rawOffset);
    }
    return file;
}

}  // namespace

TEST(OverlayLocation, BlockFollowsTheLastSectionTableEntryWhateverItsName)
{
    // .reloc is last in the table although .rsrc ends further into the file.
    std::vector<uint8_t> file = minimalPe(0x80, 0x110, {{".text", 0x200, 0x400}, {".rsrc", 0x400, 0xA00},
                                                      {".reloc", 0x100, 0x600}});
    file.resize(0x700);  // drop .rsrc's tail so the block lies right after .reloc
    ConfigBlockContents contents;
    contents.strings = {{122, "Main"}};
    auto header = serializeConfigHeader(false, 0, 0);
    auto entries = serializeConfigEntries(contents);
    file.insert(file.end(), header.begin(), header.end());
    file.insert(file.end(), entries.begin(), entries.end());

    ByteSource source = memoryByteSource(file);
    OverlayLocation location;
    ASSERT_EQ(locateOverlay(source, location).failure, ReadFailure::None);
    EXPECT_EQ(location.sectionCount, 3);
    EXPECT_EQ(location.optionalHeaderSize, 0x110);
    EXPECT_EQ(location.lastSectionEntry, 0x80 + 24 + 0x110 + 80);
    EXPECT_EQ(location.rawDataSize, 0x100u);
    EXPECT_EQ(location.rawDataOffset, 0x600u);
    EXPECT_EQ(location.blockStart, 0x700u);
    EXPECT_EQ(source.tell(), 0x700u);

    ConfigBlock block;
    ASSERT_EQ(parseConfigBlock(source, nullptr, false, block).failure, ReadFailure::None);
    EXPECT_EQ(block.strings.at(122), "Main");
}

TEST(OverlayLocation, ShortOrNonsenseHeadersFail)
{
    std::vector<uint8_t> good = minimalPe(0x80, 240, {{".text", 0x200, 0x400}});
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        ReadFailure failure;
    };
    std::vector<uint8_t> negativePe = good;
    negativePe[63] = 0x80;
    std::vector<uint8_t> peAtMinusSix = good;  // its file header at offset 0, which may be sought
    peAtMinusSix[60] = 0xFA, peAtMinusSix[61] = 0xFF, peAtMinusSix[62] = 0xFF, peAtMinusSix[63] = 0xFF;
    std::vector<uint8_t> beyondPe = good;
    beyondPe[61] = 0x70;
    const Case cases[] = {
        {"shorter than the DOS header", std::vector<uint8_t>(good.begin(), good.begin() + 62), ReadFailure::ReadInt},
        {"cut inside the file header", std::vector<uint8_t>(good.begin(), good.begin() + 0x80 + 7), ReadFailure::ReadShort},
        {"cut right after the file header's fields", std::vector<uint8_t>(good.begin(), good.begin() + 0x80 + 22),
         ReadFailure::ReadInt},
        {"cut inside the section table",
         std::vector<uint8_t>(good.begin(), good.begin() + 0x80 + 24 + 240 + 18), ReadFailure::ReadInt},
        {"negative PE pointer", negativePe, ReadFailure::Seek},
        {"PE pointer -6", peAtMinusSix, ReadFailure::ReadInt},  // "MZ" as the section count: far past the end
        {"PE pointer beyond the file", beyondPe, ReadFailure::ReadShort},
    };
    for (const Case& c : cases) {
        ByteSource source = memoryByteSource(c.file);
        OverlayLocation location;
        ReadError error = locateOverlay(source, location);
        EXPECT_EQ(error.failure, c.failure) << c.what;
        EXPECT_EQ(error.systemError, 0u) << c.what;
        if (c.failure == ReadFailure::Seek) {
            EXPECT_EQ(error.bytesRead, 0u) << c.what;
        }
    }
    // A seek the file refuses: its system error (none when it gives none), no bytes read, and no
    // read after it.
    for (uint32_t given : {25u, 0u}) {
        ByteSource refusing = memoryByteSource(good);
        int reads = 0;
        refusing.read = [&reads](void*, size_t, uint32_t*) { return ++reads, size_t(0); };
        refusing.seek = [given](uint64_t, uint32_t* systemError) {
            if (given != 0) *systemError = given;
            return false;
        };
        OverlayLocation location;
        ReadError error = locateOverlay(refusing, location);
        EXPECT_EQ(error.failure, ReadFailure::Seek);
        EXPECT_EQ(error.systemError, given);
        EXPECT_EQ(error.bytesRead, 0u);
        EXPECT_EQ(reads, 0);
        EXPECT_EQ(location.sectionCount, 0) << "read on after the refused seek";
    }
}
