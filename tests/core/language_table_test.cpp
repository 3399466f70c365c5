#include "core/language_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

TEST(LocaleTable, HasPrimaryRowsFirstThenFullIdentifiers)
{
    const std::vector<LocaleRow>& rows = localeTable();
    ASSERT_EQ(rows.size(), 215u);
    size_t primary = 0;
    while (primary < rows.size() && rows[primary].languageId < 1024)
        ++primary;
    EXPECT_EQ(primary, 71u);
    for (size_t i = primary; i < rows.size(); ++i)
        EXPECT_GE(rows[i].languageId, 1024) << "row " << i;
}

TEST(LocaleTable, IdentifiersAreUniqueAndCodesWellFormed)
{
    std::set<uint16_t> seen;
    for (const LocaleRow& row : localeTable()) {
        EXPECT_TRUE(seen.insert(row.languageId).second) << row.languageId;
        std::string code = row.code;
        bool bare = code.size() == 2;
        bool withCountry = code.size() == 5 && code[2] == '_' && code[3] >= 'A' && code[3] <= 'Z';
        EXPECT_TRUE(bare || withCountry || code == "no_NO_NY") << row.languageId << " " << code;
        EXPECT_TRUE(code[0] >= 'a' && code[0] <= 'z' && code[1] >= 'a' && code[1] <= 'z') << code;
        if (row.languageId < 1024) {
            EXPECT_TRUE(bare) << row.languageId << " " << code;
        }
    }
}

struct LookupCase {
    uint16_t languageId;
    const char* code;
};

class LocaleLookup : public ::testing::TestWithParam<LookupCase> {};

TEST_P(LocaleLookup, MapsIdentifierToCode)
{
    EXPECT_EQ(localeCodeForLanguageId(GetParam().languageId), GetParam().code);
}

// The rows that tell a faithful table from a near miss.
INSTANTIATE_TEST_SUITE_P(TellingRows, LocaleLookup,
                         ::testing::Values(LookupCase{9, "en"}, LookupCase{1033, "en_US"},
                                           LookupCase{2057, "en_GB"}, LookupCase{2052, "zh_CN"},
                                           LookupCase{1028, "zh_TW"}, LookupCase{2068, "no_NO_NY"},
                                           LookupCase{9225, "en"}, LookupCase{1073, "ts"},
                                           LookupCase{13, "iw"}, LookupCase{1057, "in_ID"},
                                           LookupCase{20490, "es_PR"}, LookupCase{86, "gl"},
                                           LookupCase{3082, "es_ES"}, LookupCase{2066, "ko_KR"}));

// Exact identifiers first, then the primary language, then "en".
INSTANTIATE_TEST_SUITE_P(Fallbacks, LocaleLookup,
                         ::testing::Values(LookupCase{0x0807, "de_CH"}, LookupCase{0x0C07, "de_AT"},
                                           LookupCase{0x4007, "de"}, LookupCase{0x0028, "en"},
                                           LookupCase{0x0000, "en"}, LookupCase{0x0440, "ky_KG"},
                                           LookupCase{0x0840, "ky"}, LookupCase{0xFFFF, "en"},
                                           LookupCase{0x7C09, "en"}, LookupCase{0x7C0A, "es"}));

TEST(LocaleParts, LanguageAndCountry)
{
    EXPECT_EQ(localeLanguage("de_CH"), "de");
    EXPECT_EQ(localeCountry("de_CH"), "CH");
    EXPECT_EQ(localeLanguage("fr"), "fr");
    EXPECT_EQ(localeCountry("fr"), "");
    EXPECT_EQ(localeLanguage("no_NO_NY"), "no");
    EXPECT_EQ(localeCountry("no_NO_NY"), "");
    EXPECT_EQ(localeLanguage("fr_CA"), "fr");
    EXPECT_EQ(localeCountry("fr_CA"), "CA");
}

struct ScanCase {
    const char* name;
    std::vector<std::u16string> arguments;
    bool formatAsDefault;
    bool manual;
    std::u16string manualCode;
};

void PrintTo(const ScanCase& c, std::ostream* os)
{
    *os << c.name;
}

class ScanLanguageArguments : public ::testing::TestWithParam<ScanCase> {};

TEST_P(ScanLanguageArguments, ReadsTheArguments)
{
    const ScanCase& c = GetParam();
    LanguageArguments result = scanLanguageArguments(c.arguments);
    EXPECT_EQ(result.formatAsDefault, c.formatAsDefault);
    EXPECT_EQ(result.manual, c.manual);
    EXPECT_EQ(result.manualCode, c.manualCode);
}

const ScanCase kScanCases[] = {
    {"Nothing", {u"launcher.exe", u"-q"}, false, false, u""},
    {"FormatTrue", {u"x", u"-Dsun.locale.formatasdefault=true"}, true, false, u""},
    {"FormatOtherValueClears", {u"-Dsun.locale.formatasdefault=TRUE"}, false, false, u""},
    {"FormatLastWinsFalse", {u"-Dsun.locale.formatasdefault=true", u"-Dsun.locale.formatasdefault=no"},
     false, false, u""},
    {"FormatLastWinsTrue", {u"-Dsun.locale.formatasdefault=", u"-Dsun.locale.formatasdefault=true"},
     true, false, u""},
    {"FormatWithSuffixIsNotTrue", {u"-Dsun.locale.formatasdefault=true "}, false, false, u""},
    {"FormatCaseSensitiveName", {u"-DSUN.locale.formatasdefault=true"}, false, false, u""},
    {"ManualCode", {u"-Dstowline.language=fr_CA"}, false, true, u"fr_CA"},
    {"ManualLaterReplaces", {u"-Dstowline.language=de", u"a", u"-Dstowline.language=no_NO_NY"}, false,
     true, u"no_NO_NY"},
    {"ManualEmptyValue", {u"-Dstowline.language="}, false, true, u""},
    {"ManualNeedsExactPrefix", {u"-Dstowline.languages=fr", u"-dstowline.language=fr"}, false, false, u""},
    {"BothTogether", {u"-Dstowline.language=it", u"-Dsun.locale.formatasdefault=true"}, true, true, u"it"},
};
INSTANTIATE_TEST_SUITE_P(Cases, ScanLanguageArguments, ::testing::ValuesIn(kScanCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
