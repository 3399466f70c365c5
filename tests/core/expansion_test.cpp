#include "core/expansion.h"

#include <gtest/gtest.h>

namespace {

LauncherVariables sampleValues()
{
    LauncherVariables values;
    values.launcherDirectory = u"C:\\app";
    values.temporaryDirectory = u"C:\\tmp\\tlw1.tmp_dir5";
    values.jvmHome = u"C:\\jre";
    values.systemTempDirectory = u"C:\\tmp";
    values.environment = {{u"Path", u"C:\\windows"}, {u"HOME", u"C:\\users\\me"}, {u"z`{", u"edge"}, {u"", u"nameless"}};
    return values;
}

}  // namespace

TEST(Expansion, ReplacesEveryFormOfTheLauncherVariables)
{
    struct Case {
        std::u16string text;
        std::u16string expected;
    };
    const Case cases[] = {
        {u"%TALLOW_EXEDIR%\\lib", u"C:\\app\\lib"},
        {u"${STOWLINE_TEMPDIR}/x", u"C:\\tmp\\tlw1.tmp_dir5/x"},
        {u"a%STOWLINE_PATHLIST_SEPARATOR%b", u"a;b"},
        {u"${launcher:sys.jvmHome}", u"C:\\jre"},
        {u"${launcher:sys.tempDir}", u"C:\\tmp"},
        {u"%TALLOW_EXEDIR%;%TALLOW_EXEDIR%", u"C:\\app;C:\\app"},
        {u"%tallow_exedir%", u"%tallow_exedir%"},  // case-sensitive
        {u"${Path} ${PATH} ${HOME}", u"C:\\windows C:\\windows C:\\users\\me"},
        {u"${NOT_SET}", u"${NOT_SET}"},       {u"${Z`{}", u"edge"},  // only a-z change case
        {u"${}", u"${}"},  // a variable without a name is none
    };
    std::vector<Variable> table = variableTable(sampleValues());
    for (const Case& c : cases) EXPECT_EQ(expandVariableTable(c.text, table), c.expected);
    EXPECT_EQ(expandVariableTable(u"ab", {{u"", u"x"}}), u"ab");
    // Every name of each value: two prefixes, two spellings, and the launcher's own name.
    const std::u16string names[][3] = {{u"EXEDIR", u"launcherDirectory", u"C:\\app"},
                                       {u"TEMPDIR", u"launcherTempDirectory", u"C:\\tmp\\tlw1.tmp_dir5"},
                                       {u"PATHLIST_SEPARATOR", u"pathlistSeparator", u";"},
                                       {u"JVM_HOME", u"jvmHome", u"C:\\jre"}};
    for (const auto& n : names) {
        for (const std::u16string& form : {u"%TALLOW_" + n[0] + u"%", u"%STOWLINE_" + n[0] + u"%", u"${TALLOW_" + n[0] + u"}",
                                           u"${STOWLINE_" + n[0] + u"}", u"${launcher:sys." + n[1] + u"}"})
            EXPECT_EQ(expandVariableTable(form, table), n[2]) << std::string(form.begin(), form.end());
    }
}

TEST(Expansion, InsertedTextIsNotScannedAgain)
{
    LauncherVariables values = sampleValues();
    values.launcherDirectory = u"x%TALLOW_EXEDIR%";  // would never end if rescanned
    values.environment = {{u"LOOP", u"${LOOP}"}};
    std::vector<Variable> table = variableTable(values);
    EXPECT_EQ(expandVariableTable(u"%TALLOW_EXEDIR%", table), u"x%TALLOW_EXEDIR%");
    EXPECT_EQ(expandVariableTable(u"${LOOP}${LOOP}", table), u"${LOOP}${LOOP}");
}

TEST(Expansion, TextGrowsNoFurtherThanTheLimit)
{
    // A value may reach the limit exactly; one unit more and the variable stays as it is, as do
    // the variables after it.
    for (size_t length : {kExpandedTextLimit, kExpandedTextLimit + 1}) {
        LauncherVariables values = sampleValues();
        values.environment = {{u"A", std::u16string(length, u'a')}, {u"B", u""}};
        const std::u16string result = expandVariableTable(u"${A}", variableTable(values));
        EXPECT_EQ(result.size(), length == kExpandedTextLimit ? length : 4u) << length;
        EXPECT_EQ(expandVariableTable(u"${A}${B}", variableTable(values)), u"${A}${B}") << length;
    }
    // Each value names the next variable twice: unbounded, 40 steps would double the text 40 times.
    auto number = [](int n) {
        const std::string digits = std::to_string(n);
        return std::u16string(digits.begin(), digits.end());
    };
    LauncherVariables values = sampleValues();
    for (int i = 0; i < 40; ++i) {
        const std::u16string next = u"${V" + number(i + 1) + u"}";
        values.environment.push_back({u"V" + number(i), next + next});
    }
    const std::u16string result = expandVariableTable(u"${V0}", variableTable(values));
    EXPECT_LE(result.size(), kExpandedTextLimit);
    EXPECT_GT(result.size(), kExpandedTextLimit / 2);
}

TEST(Expansion, ReportsEachVariableReplaced)
{
    std::vector<std::u16string> reported;
    auto report = [](const Variable& variable, const std::u16string&, void* context) {
        static_cast<std::vector<std::u16string>*>(context)->push_back(variable.name);
    };
    expandVariableTable(u"%TALLOW_EXEDIR% ${HOME} %TALLOW_EXEDIR%", variableTable(sampleValues()), report, &reported);
    ASSERT_EQ(reported.size(), 2u);
    EXPECT_EQ(reported[0], u"%TALLOW_EXEDIR%");
    EXPECT_EQ(reported[1], u"${HOME}");
}
