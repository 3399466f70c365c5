#include "core/java_version.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

struct ParseCase {
    std::string text;
    VersionList expected;
};

class ParseVersion : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseVersion, SplitsIntoNumbers)
{
    EXPECT_EQ(parseVersion(GetParam().text), GetParam().expected) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseVersion,
    ::testing::Values(ParseCase{"1.8.0_172", {1, 8, 0, 172}}, ParseCase{"11.0.2+9", {11, 0, 2, 9}},
                      ParseCase{"13", {13}}, ParseCase{"17-ea", {17, 0}},
                      ParseCase{"1.8.0_172-beta", {1, 8, 0, 172, 0}}, ParseCase{"", {}},
                      ParseCase{"._-+", {}}, ParseCase{"..1__2--", {1, 2}}, ParseCase{"1.x.3", {1, 0, 3}},
                      ParseCase{"12abc.7", {12, 7}}, ParseCase{" 9. 4", {9, 4}}, ParseCase{"1.b12", {1, 0}},
                      ParseCase{"99999999999.1", {std::numeric_limits<int32_t>::max(), 1}}, ParseCase{"\t\n\v\f\r7", {7}},
                      // the characters beside '0', '+' and '-' are neither digits nor signs
                      ParseCase{"7/", {7}}, ParseCase{"7:", {7}}, ParseCase{"1.,5", {1, 0}}, ParseCase{"1.*5", {1, 0}}));

struct NewerCase {
    std::string a;
    std::string b;
    bool newer;
};

class IsNewer : public ::testing::TestWithParam<NewerCase> {};

TEST_P(IsNewer, ComparesStrictly)
{
    EXPECT_EQ(isNewer(GetParam().a, GetParam().b), GetParam().newer) << GetParam().a << " vs " << GetParam().b;
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, IsNewer,
    ::testing::Values(NewerCase{"1.8.0_172", "1.8.0", true}, NewerCase{"1.8.0", "1.8.0_172", false},
                      NewerCase{"1.8.0", "1.8.0.0", false}, NewerCase{"1.8.0.0", "1.8.0", true},
                      NewerCase{"11.0.2", "11.0.2", false}, NewerCase{"13", "1.8.0_172", true},
                      NewerCase{"1.8", "9", false}, NewerCase{"9", "1.8", true}, NewerCase{"1.8", "13", false},
                      NewerCase{"11.0.10", "11.0.9", true}, NewerCase{"", "1.8", false}, NewerCase{"", "", false},
                      NewerCase{"1.8.0_172", "", true}, NewerCase{"17-ea", "17", true}));

struct RangeCase {
    std::string version;
    bool prefixMode;
    bool passes;
};

class InRangeEightToThirteen : public ::testing::TestWithParam<RangeCase> {};

TEST_P(InRangeEightToThirteen, AppliesBothBounds)
{
    const VersionList min = parseVersion("1.8.0_172");
    const VersionList max = parseVersion("13");
    EXPECT_EQ(inRange(GetParam().version, min, max, GetParam().prefixMode), GetParam().passes)
        << GetParam().version << (GetParam().prefixMode ? " (prefix)" : "");
}

INSTANTIATE_TEST_SUITE_P(
    Candidates, InRangeEightToThirteen,
    ::testing::Values(RangeCase{"1.8.0_172", false, true}, RangeCase{"1.8.0_171", false, false},
                      RangeCase{"1.8.0_181", false, true}, RangeCase{"11.0.2", false, true},
                      RangeCase{"9", false, true}, RangeCase{"13", false, true}, RangeCase{"13.0.2", false, true},
                      RangeCase{"13.9", false, true}, RangeCase{"14", false, false}, RangeCase{"1.8", false, false},
                      RangeCase{"1.8", true, true}, RangeCase{"1.7", true, false}, RangeCase{"14", true, false},
                      RangeCase{"1.8.0_171", true, false}, RangeCase{"", false, false}, RangeCase{"", true, true}));

TEST(InRange, SingleBounds)
{
    EXPECT_TRUE(inRange("1.2", {}, {}, false));
    EXPECT_FALSE(inRange("1.7.0_80", parseVersion("1.8"), {}, false));
    EXPECT_TRUE(inRange("1.8.0_172", {}, parseVersion("1.8"), false));
    EXPECT_TRUE(inRange("13.99.99.99", {}, parseVersion("13"), false));
    EXPECT_TRUE(inRange("11.0.0", parseVersion("11"), {}, false));
    // A missing candidate field reads as 0 outside prefix mode.
    EXPECT_TRUE(inRange("11", parseVersion("11.0.0"), {}, false));
    EXPECT_FALSE(inRange("11", parseVersion("11.0.1"), {}, false));
    EXPECT_TRUE(inRange("11", parseVersion("11.0.1"), {}, true));
}

struct VerdictCase {
    std::string version;
    bool betaAllowed;
    std::string max;
    VersionVerdict verdict;
};

class JudgeVersion : public ::testing::TestWithParam<VerdictCase> {};

TEST_P(JudgeVersion, AppliesTheBetaRuleThenTheBounds)
{
    const VerdictCase& c = GetParam();
    const VersionList min = parseVersion("1.8");
    const VersionList max = parseVersion(c.max);
    EXPECT_EQ(judgeVersion(c.version, min, max, c.betaAllowed), c.verdict) << c.version;
    EXPECT_EQ(versionAcceptable(c.version, min, max, c.betaAllowed), c.verdict == VersionVerdict::Acceptable)
        << c.version;
}

INSTANTIATE_TEST_SUITE_P(
    Versions, JudgeVersion,
    ::testing::Values(VerdictCase{"17-ea", false, "", VersionVerdict::BetaRefused},
                      VerdictCase{"17-ea", true, "", VersionVerdict::Acceptable},
                      VerdictCase{"17-ea", true, "13", VersionVerdict::OutOfRange},
                      VerdictCase{"17-ea", false, "13", VersionVerdict::BetaRefused},
                      VerdictCase{"1.8.0-beta", false, "", VersionVerdict::BetaRefused},
                      VerdictCase{"11.0.1-rc", false, "", VersionVerdict::BetaRefused},
                      VerdictCase{"11-EA", false, "", VersionVerdict::Acceptable},
                      VerdictCase{"11.0.2+9-LTS", false, "", VersionVerdict::Acceptable},
                      VerdictCase{"1.7.0_80", false, "", VersionVerdict::OutOfRange},
                      VerdictCase{"1.8", false, "", VersionVerdict::Acceptable},
                      VerdictCase{"1", false, "", VersionVerdict::OutOfRange},  // no prefix rule
                      VerdictCase{"14", false, "13", VersionVerdict::OutOfRange}));

TEST(JavaOutput, TakesTheQuotedVersionOfEveryMarkedLine)
{
    const std::string output = "openjdk version \"11.0.2\" 2019-01-15\r\n"
                               "OpenJDK Runtime Environment 18.9 (build 11.0.2+9)\r\n"
                               "OpenJDK 64-Bit Server VM 18.9 (build 11.0.2+9, mixed mode)\r\n";
    EXPECT_EQ(versionsInJavaOutput(output), (std::vector<std::string>{"11.0.2"}));
}

TEST(JavaOutput, SecondMarkedLineWins)
{
    const std::string output = "Picked up something version \"1.2.3\"\n"
                               " version \"1.4\"\n"  // the marker at the very start of a line
                               "java version \"1.8.0_172\"\n"
                               "Java(TM) SE Runtime Environment (build 1.8.0_172-b11)\n";
    EXPECT_EQ(versionsInJavaOutput(output), (std::vector<std::string>{"1.2.3", "1.4", "1.8.0_172"}));
    std::string version;
    ASSERT_TRUE(versionFromJavaOutput(output, version));
    EXPECT_EQ(version, "1.8.0_172");
}

TEST(JavaOutput, UnclosedVersionLosesTwoCharacters)
{
    EXPECT_EQ(versionsInJavaOutput("java version \"1.8.0_172\"x\r\njava version \"13.0.2\r\n"),
              (std::vector<std::string>{"1.8.0_172", "13.0."}));
    EXPECT_EQ(versionsInJavaOutput("java version \"9"), (std::vector<std::string>{""}));
    EXPECT_EQ(versionsInJavaOutput("java version \""), (std::vector<std::string>{""}));
}

TEST(JavaOutput, MarkerMustBeExact)
{
    std::string version = "untouched";
    for (const char* output : {"", "java version 1.8.0", "java Version \"1.8\"", "javaversion \"1.8\"",
                               "java version  \"1.8\"", "java\tversion \"1.8\"", "java version\n\"1.8\""}) {
        EXPECT_TRUE(versionsInJavaOutput(output).empty()) << output;
        EXPECT_FALSE(versionFromJavaOutput(output, version)) << output;
    }
    EXPECT_EQ(version, "untouched");
    EXPECT_EQ(versionsInJavaOutput(" version \"9\""), std::vector<std::string>{"9"});  // the output's first character
}

TEST(ProbeHelpers, CommandLineAndWindowedExecutable)
{
    EXPECT_EQ(versionProbeCommandLine("C:\\PROGRA~1\\Java\\bin\\java.exe"),
              "\"C:\\PROGRA~1\\Java\\bin\\java.exe\" -version");
    EXPECT_EQ(windowedJavaPath("c:\\jre\\bin\\java.exe"), "c:\\jre\\bin\\javaw.exe");
    EXPECT_EQ(windowedJavaPath("exe"), "w.exe");
    EXPECT_EQ(std::string(kProbeClearedVariables[0]), "_JAVA_OPTIONS");
    EXPECT_EQ(std::string(kProbeClearedVariables[1]), "JAVA_TOOL_OPTIONS");
    EXPECT_EQ(std::string(kProbeClearedVariables[2]), "JDK_JAVA_OPTIONS");
}

TEST(VersionCache, KeyReplacesEveryBackslash)
{
    EXPECT_EQ(versionCacheKey("c:\\program files\\java\\bin\\java.exe"),
              "SOFTWARE\\fenmoor\\tallow\\jvms\\c:/program files/java/bin/java.exe");
    EXPECT_EQ(versionCacheKey(""), "SOFTWARE\\fenmoor\\tallow\\jvms\\");
}

TEST(VersionCache, WriteTimeMustMatchAllEightBytes)
{
    const std::array<uint8_t, 8> expected = cacheWriteTimeBytes(0x04030201u, 0x08070605u);
    EXPECT_EQ(expected, (std::array<uint8_t, 8>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_TRUE(cacheWriteTimeMatches({1, 2, 3, 4, 5, 6, 7, 8}, expected));
    EXPECT_FALSE(cacheWriteTimeMatches({1, 2, 3, 4, 5, 6, 7}, expected));
    EXPECT_FALSE(cacheWriteTimeMatches({1, 2, 3, 4, 5, 6, 7, 8, 0}, expected));
    EXPECT_FALSE(cacheWriteTimeMatches({1, 2, 3, 4, 5, 6, 7, 9}, expected));
    EXPECT_FALSE(cacheWriteTimeMatches({0, 2, 3, 4, 5, 6, 7, 8}, expected));
    EXPECT_FALSE(cacheWriteTimeMatches({}, expected));
}

TEST(VersionCache, VersionTextWithAndWithoutTerminator)
{
    EXPECT_EQ(cacheVersionText(cacheVersionData("11.0.2")), "11.0.2");
    EXPECT_EQ(cacheVersionData("11.0.2").size(), 6u);
    EXPECT_EQ(cacheVersionText({'1', '3', 0}), "13");
    EXPECT_EQ(cacheVersionText({'1', '3', 0, '9'}), "13");
    EXPECT_EQ(cacheVersionText({}), "");
    EXPECT_EQ(std::string(kFailedProbeVersion), "1.0.0");
}

TEST(VersionCache, SomeStoredVersionsCountAsAbsent)
{
    for (const char* ignored : {"1.7.", "1.6.", "1.5."})
        EXPECT_TRUE(cacheVersionIgnored(ignored)) << ignored;
    for (const char* kept : {"1.7", "1.7.0", "1.6.0_45", "1.0.0", "1.8.", ""})
        EXPECT_FALSE(cacheVersionIgnored(kept)) << kept;
}

}  // namespace
