#include "core/text.h"

#include <gtest/gtest.h>

#if __has_include(<iconv.h>)
#include <iconv.h>
#endif

TEST(Utf8ToUtf16, ConvertsAllPlanes)
{
    std::u16string out;
    ASSERT_TRUE(utf8ToUtf16("A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", out));
    EXPECT_EQ(out, (std::u16string{u'A', 0x00E9, 0x20AC, 0xD83D, 0xDE00}));
    ASSERT_TRUE(utf8ToUtf16("", out));
    EXPECT_TRUE(out.empty());
    // The smallest value of each length, the values beside the surrogates, the last of three
    // bytes, odd four-byte leads (U+40000, U+FFFFF) and the top.
    ASSERT_TRUE(utf8ToUtf16("\xC2\x80\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF\xF0\x90\x80\x80"
                            "\xF1\x80\x80\x80\xF3\xBF\xBF\xBF\xF4\x8F\xBF\xBF",
                            out));
    EXPECT_EQ(out, (std::u16string{0x0080, 0x0800, 0xD7FF, 0xE000, 0xFFFF, 0xD800, 0xDC00, 0xD8C0, 0xDC00, 0xDBBF,
                                   0xDFFF, 0xDBFF, 0xDFFF}));
}

TEST(Utf8ToUtf16, RejectsMalformedInputAndLeavesTheOutputAlone)
{
    const char* bad[] = {
        "\x80",              // lone continuation byte
        "\xC3",              // cut sequence
        "\xC0\x80",          // overlong NUL
        "\xE0\x80\xAF",      // overlong slash
        "\xC1\xBF",          // U+007F in two bytes
        "\xE0\x9F\xBF",      // U+07FF in three
        "\xF0\x8F\xBF\xBF",  // U+FFFF in four
        "\xED\xA0\x80",      // encoded surrogate, the first
        "\xED\xBF\xBF",      // and the last
        "\xF4\x90\x80\x80",  // above U+10FFFF
        "\xC3\x28",          // continuation missing
        "\xFF",
    };
    for (const char* text : bad) {
        std::u16string out = u"kept";
        EXPECT_FALSE(utf8ToUtf16(text, out)) << text;
        EXPECT_EQ(out, u"kept");
        std::string narrow = "kept";
        EXPECT_FALSE(utf8ToCp1252(text, narrow));
        EXPECT_EQ(narrow, "kept");
    }
}

TEST(Utf16ToUtf8, PairsAndUnpairedSurrogates)
{
    EXPECT_EQ(utf16ToUtf8(std::u16string{0xD83D, 0xDE00}), "\xF0\x9F\x98\x80");
    EXPECT_EQ(utf16ToUtf8(std::u16string{u'a', 0xD83D, u'b'}), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(utf16ToUtf8(std::u16string{0xDE00, 0xD83D}), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(utf16ToUtf8(std::u16string{0x07FF, 0x0800}), "\xDF\xBF\xE0\xA0\x80");
    EXPECT_EQ(utf16ToUtf8(std::u16string{0xD7FF, 0xDFFF, 0xE000}), "\xED\x9F\xBF\xEF\xBF\xBD\xEE\x80\x80");
    EXPECT_EQ(utf16ToUtf8(std::u16string{0xD800}), "\xEF\xBF\xBD");
    EXPECT_EQ(utf16ToUtf8(std::u16string{0xD800, 0xDC00, 0xDBFF, 0xDFFF}), "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF");
    EXPECT_EQ(utf16ToUtf8(std::u16string{0x007F, 0x0080, 0xFFFF}), "\x7F\xC2\x80\xEF\xBF\xBF");
    // What may follow a high surrogate: only DC00..DFFF makes a pair.
    EXPECT_EQ(utf16ToUtf8(std::u16string{0xDC00, 0xDC00}), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(utf16ToUtf8(std::u16string{0xD800, 0xDBFF}), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(utf16ToUtf8(std::u16string{0xD800, 0xE000}), "\xEF\xBF\xBD\xEE\x80\x80");
    EXPECT_EQ(utf16ToUtf8(std::u16string{0xD800, 0xDC00, 0xE000}), "\xF0\x90\x80\x80\xEE\x80\x80");
}

TEST(Cp1252, MapsTheSpecialRangeAndLatin1)
{
    std::string out;
    ASSERT_TRUE(utf8ToCp1252("\xE2\x82\xAC \xC3\xA9 \xE2\x84\xA2 \xC5\xB8", out));  // € é ™ Ÿ
    EXPECT_EQ(out, "\x80 \xE9 \x99 \x9F");
    EXPECT_FALSE(utf8ToCp1252("\xE4\xB8\xAD", out));  // 中
    EXPECT_FALSE(utf8ToCp1252("\xC2\x80", out));      // U+0080 has no byte: 0x80 is the euro sign
    EXPECT_FALSE(utf8ToCp1252("\xC2\x9F", out));      // nor U+009F: 0x9F is Y with diaeresis
    EXPECT_FALSE(utf8ToCp1252("\xC4\x80", out));      // U+0100, the first past Latin-1
    EXPECT_EQ(cp1252ToUtf8("\x80\xE9\x81"), "\xE2\x82\xAC\xC3\xA9\xC2\x81");
}

#if __has_include(<iconv.h>)
// The C library's own code page table is the peer; the bytes it leaves undefined map to the C1
// control of the same value, as on Windows.
TEST(Cp1252, EveryByteMapsAsTheCLibraryMapsIt)
{
    iconv_t converter = iconv_open("UTF-8", "CP1252");
    ASSERT_NE(converter, reinterpret_cast<iconv_t>(-1));
    for (int b = 0x80; b < 0x100; ++b) {
        char in[1] = {static_cast<char>(b)}, out[8];
        char* from = in;
        char* to = out;
        size_t left = 1, room = sizeof out;
        const bool defined = iconv(converter, &from, &left, &to, &room) != static_cast<size_t>(-1);
        const std::string expected = defined ? std::string(out, to) : "\xC2" + std::string(1, static_cast<char>(b));
        EXPECT_EQ(cp1252ToUtf8(std::string(in, 1)), expected) << std::hex << b;
    }
    iconv_close(converter);
}
#endif

TEST(Cp1252, EveryByteRoundTripsThroughUtf8)
{
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    std::string back;
    ASSERT_TRUE(utf8ToCp1252(cp1252ToUtf8(all), back));
    EXPECT_EQ(back, all);
}

TEST(WidenBytes, EachByteBecomesOneUnitOfTheSameValue)
{
    EXPECT_EQ(widenBytes("a\x80\xE9\xFF"), (std::u16string{u'a', 0x0080, 0x00E9, 0x00FF}));
    EXPECT_EQ(widenBytes(std::string("a\0b", 3)).size(), 3u);
    EXPECT_EQ(asciiToUtf16("ok"), u"ok");
}
