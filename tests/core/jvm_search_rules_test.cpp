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
                      FallbackCase{'A', "a\\jre", true},  // nor one in second place
                      FallbackCase{'A', "j", true}, FallbackCase{'A', "", true},
                      FallbackCase{'B', "c:\\jre", true}, FallbackCase{'B', "jre", true},
                      FallbackCase{'E', "JAVA_HOME", false}, FallbackCase{'S', "", false},
                      FallbackCase{'Y', "", false}));

TEST(PathRules, DriveOrShareMakesAPathAbsolute)
{
    for (const char* path : {"c:\\jre", "\"C:\\jre", "\\\\server\\share", "\\\\", "a:\\", "A:\\", "Z:\\", "z:\\"})
        EXPECT_TRUE(startsWithDriveOrUnc(path)) << path;
    for (const char* path : {"c:jre", "1:\\jre", "jre\\bin", "\\jre", "a\\\\server", "c:", "@:\\", "[:\\", "`:\\", "{:\\"})
        EXPECT_FALSE(startsWithDriveOrUnc(path)) << path;
}

TEST(PathRules, VmDirectoriesTheConfiguredOneFirst)
{
    const std::vector<std::string> known{"server", "client", "j9vm", "hotspot", "jrockit"};
    EXPECT_EQ(vmSubdirectories(""), known);
    std::vector<std::string> configured{"custom"};
    configured.insert(configured.end(), known.begin(), known.end());
    EXPECT_EQ(vmSubdirectories("custom"), configured);
}

TEST(PathRules, MarkedRuntimesFollowTheirOwnSetting)
{
    for (bool unmarked : {false, true}) {
        for (bool marked : {false, true}) {
            EXPECT_EQ(runtimePathAdmitted("C:\\Users\\me\\stw_jres\\17", unmarked, marked), marked);
            EXPECT_EQ(runtimePathAdmitted("C:\\jre", unmarked, marked), unmarked);
        }
    }
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

TEST(VendorRuntimes, PassingCandidatesAreTriedHighestVersionFirstAndTiesInFoundOrder)
{
    EXPECT_EQ(versionOrder({"11.0.2", "17.0.1", "11.0.2", "1.8.0_172", "17.0.1", "9"}),
              (std::vector<size_t>{1, 4, 0, 2, 5, 3}));
    EXPECT_TRUE(versionOrder({}).empty());
}

TEST(SearchAccount, BoundRefusalNamesTheMissedBoundWithoutPrefixMode)
{
    const VersionList min = parseVersion("1.8.0_172");
    const VersionList max = parseVersion("13");
    EXPECT_EQ(boundRefusal("1.8.0_171", min, max), Refusal::BelowMinimum);
    EXPECT_EQ(boundRefusal("1.8", min, max), Refusal::BelowMinimum);  // read as 1.8.0.0
    EXPECT_EQ(boundRefusal("1.8.0_172", min, max), Refusal::None);
    EXPECT_EQ(boundRefusal("13.9", min, max), Refusal::None);
    EXPECT_EQ(boundRefusal("14", min, max), Refusal::AboveMaximum);
    EXPECT_EQ(boundRefusal("14", {}, {}), Refusal::None);
}

TEST(SearchAccount, ACandidateSeenAgainKeepsItsPlaceAndItsFirstRefusal)
{
    std::vector<ConsideredCandidate> account;
    noteCandidate(account, {"Y a", "c:\\a\\bin\\java.exe", Refusal::None, "11", "", 0});
    noteCandidate(account, {"Y b", "c:\\b\\bin\\java.exe", Refusal::Missing, "", "", 0});
    noteCandidate(account, {"Y a", "c:\\a\\bin\\java.exe", Refusal::LoadFailed, "11", "", 126});
    noteCandidate(account, {"Y a", "c:\\a\\bin\\java.exe", Refusal::NonWorking, "", "", 0});
    noteCandidate(account, {"E X", "c:\\a\\bin\\java.exe", Refusal::NonWorking, "", "", 0});
    ASSERT_EQ(account.size(), 3u);
    EXPECT_EQ(account[0].reason, Refusal::LoadFailed);
    EXPECT_EQ(account[0].error, 126u);
    EXPECT_EQ(account[1].reason, Refusal::Missing);
    EXPECT_EQ(account[2].source, "E X");
}

TEST(SearchAccount, TheSummaryListsEveryCandidateWithItsReason)
{
    std::vector<ConsideredCandidate> account = {
        {"E JAVA_HOME", "c:\\x\\bin\\java.exe", Refusal::Missing, "", "", 0},
        {"A c:\\old", "c:\\old\\bin\\java.exe", Refusal::BelowMinimum, "1.7.0_80", "1.8", 0},
        {"Y HKLM\\SOFTWARE\\JavaSoft\\JRE\\21", "c:\\new\\bin\\java.exe", Refusal::AboveMaximum, "21", "17", 0},
        {"V k", "c:\\ea\\bin\\java.exe", Refusal::Beta, "22-ea", "", 0},
        {"V l", "c:\\w\\bin\\java.exe", Refusal::OtherBitness, "11", "", 0},
        {"V m", "c:\\d\\bin\\java.exe", Refusal::LoadFailed, "11", "", 193},
    };
    EXPECT_EQ(searchSummary(account),
              (std::vector<std::string>{
                  "Runtime candidates considered (6), none usable:",
                  "  1. E JAVA_HOME: c:\\x\\bin\\java.exe - missing",
                  "  2. A c:\\old: c:\\old\\bin\\java.exe - version 1.7.0_80 below the minimum 1.8",
                  "  3. Y HKLM\\SOFTWARE\\JavaSoft\\JRE\\21: c:\\new\\bin\\java.exe - version 21 above the maximum 17",
                  "  4. V k: c:\\ea\\bin\\java.exe - version 22-ea is a beta",
                  "  5. V l: c:\\w\\bin\\java.exe - jvm.dll built for the other bitness (64/32-bit mismatch)",
                  "  6. V m: c:\\d\\bin\\java.exe - jvm.dll failed to load (Win32 error 193)",
              }));
    EXPECT_EQ(searchSummary({}), (std::vector<std::string>{"No runtime candidate was found."}));
}
