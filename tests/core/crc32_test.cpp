#include "core/crc32.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

TEST(Crc32, KnownVectors)
{
    const std::string check = "123456789";
    EXPECT_EQ(crc32Update(kCrc32Initial, check.data(), check.size()), 0xCBF43926u);
    EXPECT_EQ(crc32Update(kCrc32Initial, "", 0), 0u);
    const std::string fox = "The quick brown fox jumps over the lazy dog";
    EXPECT_EQ(crc32Update(kCrc32Initial, fox.data(), fox.size()), 0x414FA339u);
}

TEST(Crc32, ContinuingOverPiecesEqualsOneCall)
{
    std::vector<uint8_t> bytes(100000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
    uint32_t whole = crc32Update(kCrc32Initial, bytes.data(), bytes.size());
    for (size_t piece : {1u, 12000u, 65537u}) {
        uint32_t crc = kCrc32Initial;
        for (size_t at = 0; at < bytes.size(); at += piece) {
            crc = crc32Update(crc, bytes.data() + at, std::min(piece, bytes.size() - at));
        }
        EXPECT_EQ(crc, whole) << "pieces of " << piece;
    }
    bytes[5000] ^= 1;
    EXPECT_NE(crc32Update(kCrc32Initial, bytes.data(), bytes.size()), whole);
}

// The folding path against zlib's table on every length around its block sizes and at every
// alignment, continuing from random values.
TEST(Crc32, FoldingEqualsZlibAtAnyLengthAndAlignment)
{
    std::mt19937 random(13);
    std::vector<uint8_t> bytes(70000 + 64);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    std::vector<size_t> lengths;
    for (size_t n = 0; n <= 300; ++n) lengths.push_back(n);
    for (int i = 0; i < 200; ++i) lengths.push_back(random() % 70000);
    lengths.push_back(70000);
    for (size_t length : lengths) {
        for (size_t offset : {0u, 1u, 3u, 8u, 15u, 16u, 33u}) {
            uint32_t start = (length % 3 == 0) ? kCrc32Initial : static_cast<uint32_t>(random());
            ASSERT_EQ(crc32Update(start, bytes.data() + offset, length), crc32Table(start, bytes.data() + offset, length))
                << "length " << length << " offset " << offset;
        }
    }
    if (!crc32Folding()) GTEST_SKIP() << "no carry-less multiplication on this processor: only the table ran";
}

#if defined(__linux__) && (defined(__x86_64__) || defined(__i386__))
// The kernel's own reading of the processor is the peer: folding runs exactly where it lists both
// instructions.
TEST(Crc32, FoldingRunsWhereTheProcessorHasItsInstructions)
{
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line) && line.rfind("flags", 0) != 0) {
    }
    ASSERT_FALSE(line.empty()) << "no flags line in /proc/cpuinfo";
    std::istringstream words(line + " ");
    std::set<std::string> flags{std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()};
    EXPECT_EQ(crc32Folding(), flags.count("pclmulqdq") == 1 && flags.count("sse4_1") == 1) << line;
}
#endif
