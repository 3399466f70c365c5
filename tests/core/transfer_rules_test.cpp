#include "core/transfer_rules.h"

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cstdint>
#include <limits>
#include <string>

#include "core/text.h"

TEST(TransferRules, FitsOnlyInsideTheArray)
{
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    struct Case {
        int32_t arrayLength, offset, length;
        bool fits;
    } cases[] = {
        {10, 0, 10, true},   {10, 0, 11, false}, {10, 9, 1, true},    {10, 10, 0, true},  {10, 10, 1, false},
        {10, 11, 0, false},  {10, -1, 1, false}, {10, 0, -1, false},  {0, 0, 0, true},    {0, 0, 1, false},
        {kMax, kMax, 0, true}, {kMax, 1, kMax, false}, {10, kMax, kMax, false}, {-1, 0, 0, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(windowFits(c.arrayLength, c.offset, c.length), c.fits)
            << c.arrayLength << " " << c.offset << " " << c.length;
}

TEST(TransferRules, HeaderBlockOfLineEndsHoldsNoHeaders)
{
    struct Case {
        std::string block;
        bool lines;
    } cases[] = {
        {"", false}, {"\r\n", false}, {"\r\n\r\n", false}, {std::string("\r\n\0", 3), false},
        {"HTTP/1.1 200 OK\r\n\r\n", true}, {"\r\nX", true}, {" ", true},
    };
    for (const Case& c : cases) EXPECT_EQ(headerBlockHasLines(c.block.data(), c.block.size()), c.lines) << c.block;
    EXPECT_FALSE(headerBlockHasLines("\r\nX", 2)) << "the byte after the block";
}

TEST(TransferRules, DownloadAddressTakesOnlyAWholeSha256Fragment)
{
    const std::string hex = "00112233445566778899aabbccddeeff0123456789abcdefFEDCBA9876543210";
    const std::array<uint8_t, 32> digest = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xaa,
                                            0xbb, 0xcc, 0xdd, 0xee, 0xff, 0x01, 0x23, 0x45, 0x67, 0x89, 0xab,
                                            0xcd, 0xef, 0xfe, 0xdc, 0xba, 0x98, 0x76, 0x54, 0x32, 0x10};
    std::string upper = hex;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    using Hash = DownloadAddress::Hash;
    const std::string site = "https://example.test/jre.tar.gz";
    struct Case {
        std::string address;
        Hash hash;
        std::string url;  // what goes to the server
        bool plainHttp;
    } cases[] = {
        {site, Hash::None, site, false},
        {site + "#sha256=" + hex, Hash::Given, site, false},
        {site + "#sha256=" + upper, Hash::Given, site, false},
        {site + "#SHA256=" + hex, Hash::Given, site, false},
        {site + "#sha256=" + hex.substr(0, 63), Hash::Malformed, site, false},
        {site + "#sha256=" + hex + "0", Hash::Malformed, site, false},
        {site + "#sha256=" + hex.substr(0, 63) + "g", Hash::Malformed, site, false},
        {site + "#sha256=" + hex + "#x", Hash::Malformed, site, false},
        {site + "#sha256=", Hash::Malformed, site, false},
        {site + "#part", Hash::None, site + "#part", false},
        {site + "#sha256" + hex, Hash::None, site + "#sha256" + hex, false},
        {"http://example.test/j", Hash::None, "http://example.test/j", true},
        {"HTTP://example.test/j#sha256=" + hex, Hash::Given, "HTTP://example.test/j", true},
        {"httpx://example.test/j", Hash::None, "httpx://example.test/j", false},
        {"", Hash::None, "", false},
    };
    for (const Case& c : cases) {
        const DownloadAddress parsed = parseDownloadAddress(widenBytes(c.address));
        EXPECT_EQ(parsed.hash, c.hash) << c.address;
        EXPECT_EQ(parsed.url, widenBytes(c.url)) << c.address;
        EXPECT_EQ(parsed.plainHttp, c.plainHttp) << c.address;
        if (c.hash == Hash::Given) {
            EXPECT_EQ(parsed.sha256, digest) << c.address;
        }
    }
    // The characters beside each range of digits, first and last.
    for (char beside : std::string("/:@G`g")) {
        for (size_t at : {size_t(0), hex.size() - 1}) {
            std::string digits = hex;
            digits[at] = beside;
            EXPECT_EQ(parseDownloadAddress(widenBytes(site + "#sha256=" + digits)).hash, Hash::Malformed) << digits;
        }
    }
}
