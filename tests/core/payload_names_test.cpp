#include "core/payload_names.h"

#include <gtest/gtest.h>

TEST(IncludedFileNames, StopAtTheCountOrTheFirstEmptyName)
{
    using Names = std::vector<std::string>;
    EXPECT_EQ(includedFileNames("a;b;c", 2), (Names{"a", "b"}));
    EXPECT_EQ(includedFileNames("a;b;c", 5), (Names{"a", "b", "c"}));
    EXPECT_EQ(includedFileNames("a;;c", 3), (Names{"a"}));
    EXPECT_EQ(includedFileNames("a;b;", 9), (Names{"a", "b"}));
    EXPECT_EQ(includedFileNames("sub\\x.txt;y", 2), (Names{"sub\\x.txt", "y"}));
    EXPECT_TRUE(includedFileNames("a;b", 0).empty());
    EXPECT_TRUE(includedFileNames("a;b", -1).empty());
    EXPECT_TRUE(includedFileNames("", 3).empty());
}

TEST(SafePayloadNames, PlainNamesAndOneOrMoreLevelsStayInside)
{
    for (const char16_t* name : {u"stwruntime.jar", u"sub\\file.bin", u"a\\b\\c.txt", u"..x", u"x..", u"jre.tar.gz",
                                 u"com10", u"\u00e9t\u00e9.txt", u"a b.txt"})
        EXPECT_TRUE(isSafePayloadName(name)) << std::string(name, name + std::char_traits<char16_t>::length(name));
}

TEST(SafePayloadNames, NamesThatLeaveTheDirectoryOrNameNoFileAreRefused)
{
    for (const char16_t* name : {u"", u"..", u"..\\evil.dll", u"sub\\..\\..\\evil", u"sub/../../evil", u"...",
                                 u"sub\\. .\\x", u"C:\\Windows\\evil.dll", u"C:evil", u"file.txt:stream",
                                 u"\\evil", u"/evil", u"\\\\server\\share\\x", u"sub\\\\x", u"sub\\", u"NUL",
                                 u"con.txt", u"sub\\COM1", u"lpt9.log", u"a*b", u"a?b", u"a\tb", u"a|b", u"a\x1f"})
        EXPECT_FALSE(isSafePayloadName(name)) << std::string(name, name + std::char_traits<char16_t>::length(name));
}

TEST(PayloadNames, FirstDirectoryLevelEndsAtTheFirstBackslash)
{
    EXPECT_EQ(firstDirectoryLevel(u"sub\\file"), u"sub");
    EXPECT_EQ(firstDirectoryLevel(u"a\\b\\c"), u"a");
    EXPECT_EQ(firstDirectoryLevel(u"file"), u"");
    EXPECT_EQ(firstDirectoryLevel(u"a/b"), u"");  // only the backslash separates levels here
}

TEST(PayloadNames, ExtractionDirectoryPathsNeedBothMarks)
{
    EXPECT_TRUE(isExtractionDirectoryPath(u"C:\\Temp\\tlw1A2B.tmp_dir1700000000\\x.jar"));
    EXPECT_TRUE(isExtractionDirectoryPath(u"C:\\Temp\\tlw1A2B.tmp_dir1700000000"));
    EXPECT_FALSE(isExtractionDirectoryPath(u"C:\\Temp\\tlw1A2B.tmp"));
    EXPECT_FALSE(isExtractionDirectoryPath(u"C:\\Temp\\abc.tmp_dir1\\x"));
    EXPECT_FALSE(isExtractionDirectoryPath(u"C:\\Temp\\TLW1.TMP_DIR1"));
}
