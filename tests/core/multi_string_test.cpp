#include "core/multi_string.h"

#include <gtest/gtest.h>

namespace {

using Texts = std::vector<std::u16string>;

std::vector<std::u16string> unpack(const std::u16string& data) { return unpackMultiString(data.data(), data.size()); }

TEST(MultiString, PackLaysOutTextsAndTheClosingNul)
{
    struct Case {
        Texts texts;
        size_t maxUnits;
        std::optional<std::u16string> data;
    };
    const std::u16string ab(u"a\0bc\0\0", 6);
    const Case cases[] = {
        {{}, 10, std::u16string(1, u'\0')},                 // an empty list is one NUL
        {{u"a", u"bc"}, 10, ab},
        {{u"a", u"bc"}, 6, ab},                            // exactly at the limit
        {{u"a", u"bc"}, 5, std::nullopt},                  // one unit short: refused, not cut
        {{}, 0, std::nullopt},
        {{u"a", u"", u"b"}, 10, std::nullopt},             // an empty text would end the list
        {{std::u16string(u"\0x", 2)}, 10, std::nullopt},   // empty as Win32 reads it
        {{std::u16string(u"ab\0c", 4)}, 10, std::u16string(u"ab\0\0", 4)},
    };
    for (const Case& c : cases) EXPECT_EQ(packMultiString(c.texts, c.maxUnits), c.data) << c.maxUnits;
}

TEST(MultiString, UnpackReadsWithinTheData)
{
    struct Case {
        std::u16string data;
        Texts texts;
    };
    const Case cases[] = {
        {std::u16string(u"a\0b\0\0", 5), {u"a", u"b"}},
        {std::u16string(u"\0", 1), {}},
        {u"", {}},
        {std::u16string(u"a\0\0b\0\0", 6), {u"a", u"", u"b"}},   // an empty text between others stays
        {std::u16string(u"a\0b\0", 4), {u"a", u"b"}},            // no closing NUL
        {u"abc", {u"abc"}},                                       // no NUL at all: stops at the end
        {std::u16string(u"ab\0cd", 5), {u"ab", u"cd"}},
        {std::u16string(u"\0\0", 2), {u""}},
    };
    for (const Case& c : cases) EXPECT_EQ(unpack(c.data), c.texts) << c.data.size();
    EXPECT_EQ(unpackMultiString(u"abcX", 3), Texts{u"abc"});  // nothing read past the count
}

TEST(MultiString, PackedListsReadBack)
{
    const Texts lists[] = {{}, {u"one"}, {u"x", u"yy", u"zzz"}, {std::u16string(300, u'q'), u"r"}};
    for (const Texts& texts : lists) {
        auto data = packMultiString(texts, 1000);
        ASSERT_TRUE(data);
        EXPECT_EQ(unpack(*data), texts);
    }
}

}  // namespace
