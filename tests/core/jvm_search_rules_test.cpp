#include "core/jvm_search_rules.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> types(const std::vector<SearchEntry>& entries)
{
    std::vector<std::string> result;
    for (const SearchEntry& entry : entries) result.push_back(std::string(1, entry.type) + "|" + entry.argument);
    return result;
}

}  // namespace

TEST(SearchList, SplitsIntoTypeAndArgumentAndStopsAtTheFirstEmptyEntry)
{
    EXPECT_EQ(types(parseSearchList("Y;EJAVA_HOME;EJDK_HOME;")),
              (std::vector<std::string>{"Y|", "E|JAVA_HOME", "E|JDK_HOME"}));
    EXPECT_EQ(types(parseSearchList("Rjre;;Ac:\\java")), (std::vector<std::string>{"R|jre"}));
    EXPECT_EQ(types(parseSearchList("A%TALLOW_EXEDIR%\\jre")), (std::vector<std::string>{"A|%TALLOW_EXEDIR%\\jre"}));
    EXPECT_TRUE(parseSearchList("").empty());
    EXPECT_TRUE(parseSearchList(";Y").empty());
}

struct FallbackCase {
    char type;
    const char* argument;
    bool retried;
};

class FallbackPass : public ::testing::TestWithParam<FallbackCase> {};

TEST_P(FallbackPass, RetriesRelativeDirectoriesAndEveryB)
{
    SearchEntry entry{GetParam().type, GetParam().argument};
    EXPECT_EQ(retriedInFallbackPass(entry), GetParam().retried) << GetParam().type << GetParam().argument;
}

INSTANTIATE_TEST_SUITE_P(
    Entries, FallbackPass,
    ::testing::Values(FallbackCase{'R', "jre", true}, FallbackCase{'A', "..\\jre", true},
                      FallbackCase{'A', "c:\\jre", false}, FallbackCase{'R', "\\\\server\\jre", false},
                      FallbackCase{'A', "c:", false},  // two characters, second ":"
                      FallbackCase{'A', "\\jre", true},  // one backslash is not a share
                      FallbackCase{'B', "c:\\jre", true}, FallbackCase{'B', "jre", true},
                      FallbackCase{'E', "JAVA_HOME", false}, FallbackCase{'S', "", false},
                      FallbackCase{'Y', "", false}));

TEST(PathRules, DriveOrShareMakesAPathAbsolute)
{
    EXPECT_TRUE(startsWithDriveOrUnc("c:\\jre"));
    EXPECT_TRUE(startsWithDriveOrUnc("\"C:\\jre"));
    EXPECT_TRUE(startsWithDriveOrUnc("\\\\server\\share"));
    EXPECT_FALSE(startsWithDriveOrUnc("c:jre"));
    EXPECT_FALSE(startsWithDriveOrUnc("1:\\jre"));
    EXPECT_FALSE(startsWithDriveOrUnc("jre\\bin"));
    EXPECT_FALSE(startsWithDriveOrUnc("\\jre"));
    EXPECT_FALSE(startsWithDriveOrUnc("c:"));
}

TEST(PathRules, BackslashRunsCollapseAfterTheFirstCharacter)
{
    EXPECT_EQ(collapseBackslashesAfterFirst("c:\\\\jre\\\\\\bin\\java.exe"), "c:\\jre\\bin\\java.exe");
    EXPECT_EQ(collapseBackslashesAfterFirst("\\\\server\\share"), "\\\\server\\share");
    EXPECT_EQ(collapseBackslashesAfterFirst("\\\\\\\\server"), "\\\\server");
    EXPECT_EQ(collapseBackslashesAfterFirst(""), "");
}

TEST(RegistryOrder, TriesTheHighestByteStringFirst)
{
    VersionList none;
    EXPECT_EQ(registryVersionsToTry({"1.8", "11", "9"}, none, none), (std::vector<std::string>{"9", "11", "1.8"}));
    EXPECT_EQ(registryVersionsToTry({"1.8", "17", "1.8.0_172", "9"}, none, none),
              (std::vector<std::string>{"9", "17", "1.8.0_172", "1.8"}));
}

TEST(RegistryOrder, NamesOutsideTheBoundsAreLeftOutInPrefixMode)
{
    VersionList min = parseVersion("1.8.0_172");
    VersionList max = parseVersion("13");
    // "1.8" passes in prefix mode; "1.8.0_171" and "14" do not.
    EXPECT_EQ(registryVersionsToTry({"1.8", "1.8.0_171", "14", "13.0.2", "11"}, min, max),
              (std::vector<std::string>{"13.0.2", "11", "1.8"}));
}

TEST(DerivedPaths, BinDirectoryHomeAndNestedRuntime)
{
    EXPECT_EQ(javaBinDirectory("c:\\jre\\bin\\java.exe"), "c:\\jre\\bin");
    EXPECT_EQ(javaBinDirectory("c:\\jre\\bin\\javaw.exe"), "c:\\jre\\bin");
    EXPECT_EQ(javaHomeOf("c:\\jre\\bin\\java.exe"), "c:\\jre\\bin\\..");
    EXPECT_EQ(nestedJreJavaExe("c:\\jdk\\bin\\java.exe"), "c:\\jdk\\bin\\..\\jre\\bin\\java.exe");
    EXPECT_EQ(nestedJreJavaExe("c:\\jdk\\bin\\javaw.exe"), "c:\\jdk\\bin\\..\\jre\\bin\\java.exe");
    EXPECT_EQ(javaBinDirectory("java.exe"), "");
}

TEST(LocationFile, FirstLineWithoutLineEnds)
{
    EXPECT_EQ(firstLocationLine("c:\\jre\r\nsecond\n", 6000), "c:\\jre");
    EXPECT_EQ(firstLocationLine("c:\\jre", 6000), "c:\\jre");
    EXPECT_EQ(firstLocationLine("c:\\jre\r\r", 6000), "c:\\jre");
    EXPECT_EQ(firstLocationLine("\nc:\\jre", 6000), "");
    EXPECT_EQ(firstLocationLine(std::string(7000, 'x'), 6000).size(), 6000u);
}

TEST(SharedRuntimes, HighestVersionWinsAndTheFirstOfEqualOnesStays)
{
    EXPECT_EQ(highestVersionIndex({"1.8.0_172", "11.0.2", "9"}), 1u);
    EXPECT_EQ(highestVersionIndex({"11.0.2", "11.0.2"}), 0u);
    EXPECT_EQ(highestVersionIndex({"11", "11.0.0"}), 1u);  // more fields: newer
    EXPECT_EQ(highestVersionIndex({}), 0u);
}
