#include "core/pe_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

void put16(std::vector<uint8_t>& file, size_t at, uint16_t value)
{
    file[at] = static_cast<uint8_t>(value);
    file[at + 1] = static_cast<uint8_t>(value >> 8);
}

void put32(std::vector<uint8_t>& file, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

constexpr size_t kPe = 0x80;
constexpr size_t kOptional = kPe + 24;

// Headers only: the PE header at 0x80, an optional header of the given kind and size with
// `directories` data directories, the security directory set to (offset, size).
std::vector<uint8_t> headers(uint16_t magic, uint16_t optionalSize, uint32_t directories, uint32_t offset,
                             uint32_t size)
{
    std::vector<uint8_t> file(0x400, 0);
    file[0] = 'M', file[1] = 'Z';
    put32(file, 60, kPe);
    file[kPe] = 'P', file[kPe + 1] = 'E';
    put16(file, kPe + 20, optionalSize);
    put16(file, kOptional, magic);
    const size_t count = magic == 0x20B ? 108 : 92;
    put32(file, kOptional + count, directories);
    put32(file, kOptional + count + 4 + 32, offset);
    put32(file, kOptional + count + 4 + 36, size);
    return file;
}

}  // namespace

TEST(PeImage, ReadsTheSecurityDirectoryOfBothHeaderKinds)
{
    struct Case {
        const char* what;
        uint16_t magic;
        uint16_t optionalSize;
        uint32_t directories;
        size_t cutAt;  // file length; 0 keeps the whole file
        ReadFailure failure;
        size_t bytesRead;  // of the failing field
        uint64_t entryOffset;
        uint32_t size;
    };
    const Case cases[] = {
        {"PE32+", 0x20B, 240, 16, 0, ReadFailure::None, 0, kOptional + 144, 0x1234},
        {"PE32", 0x10B, 224, 16, 0, ReadFailure::None, 0, kOptional + 128, 0x1234},
        {"PE32+ entry ends at the header's end", 0x20B, 152, 5, 0, ReadFailure::None, 0, kOptional + 144, 0x1234},
        {"PE32+ entry one byte beyond the header", 0x20B, 151, 5, 0, ReadFailure::Magic, 0, 0, 0},
        {"only four directories", 0x20B, 240, 4, 0, ReadFailure::None, 0, 0, 0},
        {"ROM image magic", 0x107, 240, 16, 0, ReadFailure::Magic, 2, 0, 0},
        {"cut inside the entry", 0x20B, 240, 16, kOptional + 144 + 6, ReadFailure::ReadInt, 6, 0, 0},
        {"cut right after the entry", 0x20B, 240, 16, kOptional + 144 + 8, ReadFailure::None, 0, kOptional + 144, 0x1234},
        {"cut inside the pe pointer", 0x20B, 240, 16, 62, ReadFailure::ReadInt, 2, 0, 0},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> file = headers(c.magic, c.optionalSize, c.directories, 0x12345000, 0x1234);
        if (c.cutAt) file.resize(c.cutAt);
        ByteSource source = memoryByteSource(file);
        CertificateTable table;
        const ReadError error = readCertificateTable(source, table);
        EXPECT_EQ(error.failure, c.failure) << c.what;
        EXPECT_EQ(error.bytesRead, c.bytesRead) << c.what;
        EXPECT_EQ(error.systemError, 0u) << c.what;
        EXPECT_EQ(table.entryOffset, c.entryOffset) << c.what;
        EXPECT_EQ(table.size, c.size) << c.what;
        if (c.size) {
            EXPECT_EQ(table.offset, 0x12345000u) << c.what;
        }
    }
    // A seek the file refuses: its system error, and no bytes read.
    std::vector<uint8_t> file = headers(0x20B, 240, 16, 0x12345000, 0x1234);
    ByteSource refusing = memoryByteSource(file);
    refusing.seek = [](uint64_t, uint32_t* systemError) { return *systemError = 25, false; };
    CertificateTable table;
    const ReadError error = readCertificateTable(refusing, table);
    EXPECT_EQ(error.failure, ReadFailure::Seek);
    EXPECT_EQ(error.systemError, 25u);
    EXPECT_EQ(error.bytesRead, 0u);
    EXPECT_EQ(table.size, 0u);
}

TEST(PeImage, EachFieldCutOneByteShortOrRightAfterIt)
{
    struct Field {
        size_t start, size;
        ReadFailure failure;
    };
    const Field fields[] = {{60, 4, ReadFailure::ReadInt},           {kPe + 20, 2, ReadFailure::ReadShort},
                            {kOptional, 2, ReadFailure::ReadShort},  {kOptional + 108, 4, ReadFailure::ReadInt},
                            {kOptional + 144, 8, ReadFailure::ReadInt}};
    const std::vector<uint8_t> whole = headers(0x20B, 240, 16, 0x12345000, 0x1234);
    for (size_t i = 0; i < std::size(fields); ++i) {
        const Field& field = fields[i];
        for (size_t cut : {field.start + field.size - 1, field.start + field.size}) {
            std::vector<uint8_t> file(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
            ByteSource source = memoryByteSource(file);
            CertificateTable table;
            const ReadError error = readCertificateTable(source, table);
            const bool complete = cut == field.start + field.size;
            const bool last = i + 1 == std::size(fields);
            // A field cut short fails with the bytes it got; one read whole fails at the next field.
            EXPECT_EQ(error.failure, complete ? (last ? ReadFailure::None : fields[i + 1].failure) : field.failure) << cut;
            EXPECT_EQ(error.bytesRead, complete ? 0 : field.size - 1) << cut;
        }
    }
}

TEST(PeImage, ClassifiesWhatFollowsTheCoveredRegion)
{
    constexpr uint64_t kEnd = 100;  // end of the covered region
    struct Entry {
        uint32_t length;
        uint16_t revision;
    };
    struct Case {
        const char* what;
        bool signedFile;
        uint64_t tableOffset;
        std::vector<Entry> entries;
        uint64_t after;  // bytes after the table (or after the region when unsigned)
        bool signature;
        uint32_t certificates;
        uint64_t padding;
        uint64_t stray;
    };
    const Case cases[] = {
        {"nothing after the region", false, 0, {}, 0, false, 0, 0, 0},
        {"unsigned with trailing bytes", false, 0, {}, 37, false, 0, 0, 37},
        {"table right after the region", true, kEnd, {{0x20, 0x0200}}, 0, true, 1, 0, 0},
        {"seven bytes of alignment", true, kEnd + 7, {{0x20, 0x0200}}, 0, true, 1, 7, 0},
        {"eight bytes before the table", true, kEnd + 8, {{0x20, 0x0200}}, 0, false, 0, 0, 8 + 0x20},
        {"two entries, the first aligned up", true, kEnd + 4, {{0x1D, 0x0200}, {8, 0x0100}}, 0, true, 2, 4, 0},
        {"two entries, the first already aligned", true, kEnd, {{0x20, 0x0200}, {8, 0x0100}}, 0, true, 2, 0, 0},
        {"two entries, the first one past a multiple of 8", true, kEnd, {{0x19, 0x0200}, {8, 0x0100}}, 0, true, 2, 0, 0},
        {"two entries, the first 72 long", true, kEnd, {{0x48, 0x0200}, {8, 0x0100}}, 0, true, 2, 0, 0},
        {"bytes after the table", true, kEnd, {{0x20, 0x0200}}, 3, true, 1, 0, 3},
        {"entry shorter than its header", true, kEnd, {{7, 0x0200}}, 0, false, 0, 0, 8},
        {"unknown revision", true, kEnd, {{0x20, 0x0300}}, 0, false, 0, 0, 0x20},
        {"table starts inside the region", true, kEnd - 8, {{0x20, 0x0200}}, 0, false, 0, 0, 0x18},
    };
    const std::map<std::string, std::string> problems = {
        {"unsigned with trailing bytes", "the file has no certificate table"},
        {"unknown revision", "certificate entry 0 has revision 768"},
        {"table starts inside the region", "the certificate table begins inside the covered region"}};
    for (const Case& c : cases) {
        std::vector<uint8_t> file(c.signedFile ? c.tableOffset : kEnd, 0x55);
        CertificateTable table;
        if (c.signedFile) {
            table.offset = static_cast<uint32_t>(c.tableOffset);
            for (const Entry& entry : c.entries) {
                size_t at = file.size();
                size_t stored = entry.length < 8 ? 8 : entry.length;
                file.resize(at + (stored + 7) / 8 * 8, 0);
                put32(file, at, entry.length);
                put16(file, at + 4, entry.revision);
                put16(file, at + 6, 2);
            }
            table.size = static_cast<uint32_t>(file.size() - c.tableOffset);
        }
        file.resize(file.size() + c.after, 0);
        ByteSource source = memoryByteSource(file);
        Trailer trailer = describeTrailer(source, kEnd, file.size(), table);
        EXPECT_EQ(trailer.signature, c.signature) << c.what;
        EXPECT_EQ(trailer.certificates, c.certificates) << c.what;
        EXPECT_EQ(trailer.padding, c.padding) << c.what;
        EXPECT_EQ(trailer.stray, c.stray) << c.what;
        EXPECT_EQ(trailer.problem.empty(), c.stray == 0) << c.what;
        if (problems.count(c.what)) {
            EXPECT_EQ(trailer.problem, problems.at(c.what));
        }
        if (c.signature) {
            EXPECT_EQ(trailer.firstType, kCertificateTypePkcsSignedData) << c.what;
        }
    }
}

TEST(PeImage, ATableLongerThanTheFileIsNotASignature)
{
    std::vector<uint8_t> file(120, 0);
    put32(file, 100, 0x20);
    put16(file, 104, 0x0200);
    ByteSource source = memoryByteSource(file);
    Trailer trailer = describeTrailer(source, 100, file.size(), CertificateTable{0, 100, 0x20});
    EXPECT_FALSE(trailer.signature);
    EXPECT_EQ(trailer.stray, 20u);
}

TEST(PeImage, PeMachineReadsTheHeaderOnlyWhenItFitsTheBytes)
{
    std::vector<uint8_t> image(0x40, 0);
    image[0] = 'M';
    image[1] = 'Z';
    image[0x3c] = 0x40;
    for (uint8_t byte : std::vector<uint8_t>{'P', 'E', 0, 0, 0x64, 0x86}) image.push_back(byte);
    EXPECT_EQ(peMachine(image), 0x8664);
    std::vector<uint8_t> cut(image.begin(), image.end() - 1);  // machine field one byte short
    EXPECT_EQ(peMachine(cut), 0);
    image[0x3c] = 0x41;  // header no longer begins with "PE"
    EXPECT_EQ(peMachine(image), 0);
    EXPECT_EQ(peMachine(std::vector<uint8_t>(0x3f, 'M')), 0);
    // Each byte of the two signatures, and the shortest image: 64 bytes, its PE header at offset 2.
    image[0x3c] = 0x40;
    for (size_t at : {size_t{0}, size_t{1}, size_t{0x40}, size_t{0x41}, size_t{0x42}, size_t{0x43}}) {
        std::vector<uint8_t> wrong = image;
        wrong[at] ^= 1;
        EXPECT_EQ(peMachine(wrong), 0) << at;
    }
    std::vector<uint8_t> shortest(0x40, 0);
    const uint8_t start[] = {'M', 'Z', 'P', 'E', 0, 0, 0x4C, 0x01};
    std::copy(std::begin(start), std::end(start), shortest.begin());
    shortest[0x3c] = 2;
    EXPECT_EQ(peMachine(shortest), 0x14C);
}
