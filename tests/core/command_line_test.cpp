#include "core/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Arguments = std::vector<std::u16string>;

struct SplitCase {
    const char* name;
    std::u16string text;
    bool backslashRules;
    Arguments expected;
};

void PrintTo(const SplitCase& c, std::ostream* os)
{
    *os << c.name;
}

class SplitCommandLine : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLine, GivesTheExpectedArguments)
{
    const SplitCase& c = GetParam();
    Arguments arguments;
    splitCommandLine(c.text, arguments, c.backslashRules);
    EXPECT_EQ(arguments, c.expected);
}

const SplitCase kSeparatorCases[] = {
    {"QuotedSpaceJoins", u"a \"b c\" d", true, {u"a", u"b c", u"d"}},
    {"QuotedSpaceJoinsWithoutBackslashRules", u"a \"b c\" d", false, {u"a", u"b c", u"d"}},
    {"EmptyText", u"", true, {}},
    {"OnlySeparators", u" \t  \t", true, {}},
    {"LeadingAndTrailingSeparators", u"  a b  ", true, {u"a", u"b"}},
    {"RunsOfSeparatorsCountOnce", u"a \t \t b", true, {u"a", u"b"}},
    {"TabSeparates", u"a\tb", true, {u"a", u"b"}},
    {"TabKeptInQuotes", u"\"a\tb\"", true, {u"a\tb"}},
    {"OtherWhitespaceIsNotASeparator", u"a\nb\rc", true, {u"a\nb\rc"}},
    {"EmptyQuotedArgument", u"\"\"", true, {u""}},
    {"EmptyQuotedArgumentBetweenOthers", u"a \"\" b", false, {u"a", u"", u"b"}},
    {"UnterminatedQuoteEndsWithText", u"a \"b c", true, {u"a", u"b c"}},
    {"LoneQuoteGivesEmptyArgument", u"a \"", true, {u"a", u""}},
    {"QuotesInsideAWord", u"ab\"c d\"ef g", true, {u"abc def", u"g"}},
    {"ProgramPathWithSpaces", u"\"C:\\Program Files\\x.exe\" -q", true, {u"C:\\Program Files\\x.exe", u"-q"}},
};
INSTANTIATE_TEST_SUITE_P(Separators, SplitCommandLine, ::testing::ValuesIn(kSeparatorCases),
                         [](const auto& info) { return std::string(info.param.name); });

const SplitCase kDoubledQuoteCases[] = {
    {"QuoteAfterClosingQuoteIsLiteral", u"\"a\"\"b\"", true, {u"a\"b"}},
    {"LiteralQuoteDoesNotReopenTheSection", u"\"a\"\" b", true, {u"a\"", u"b"}},
    {"FourQuotesGiveOneQuote", u"\"\"\"\"", true, {u"\""}},
    {"ThreeQuotesGiveOneQuote", u"\"\"\"", false, {u"\""}},
    {"QuoteAfterOpeningQuoteCloses", u"x\"\"y", true, {u"xy"}},
    {"SeparatorAfterClosingQuoteEnds", u"\"a\" \"b\"", true, {u"a", u"b"}},
};
INSTANTIATE_TEST_SUITE_P(DoubledQuotes, SplitCommandLine, ::testing::ValuesIn(kDoubledQuoteCases),
                         [](const auto& info) { return std::string(info.param.name); });

const SplitCase kBackslashCases[] = {
    {"BackslashesWithoutQuoteKept", u"a\\\\b\\ c\\", true, {u"a\\\\b\\", u"c\\"}},
    {"TrailingBackslashRunKept", u"\"a\\\\", true, {u"a\\\\"}},
    {"OneBeforeQuoteGivesLiteralQuote", u"a\\\"b", true, {u"a\"b"}},
    {"OneBeforeQuoteInsideSectionGoesOn", u"\"a\\\" b\" c", true, {u"a\" b", u"c"}},
    {"TwoBeforeQuoteGiveOneAndDelimit", u"\"a\\\\\" b", true, {u"a\\", u"b"}},
    {"ThreeBeforeQuoteGiveOneAndLiteral", u"a\\\\\\\"b", true, {u"a\\\"b"}},
    {"FourBeforeQuoteGiveTwoAndDelimit", u"a\\\\\\\\\"b c\"", true, {u"a\\\\b c"}},
    {"FiveBeforeQuoteGiveTwoAndLiteral", u"\\\\\\\\\\\"", true, {u"\\\\\""}},
    {"EscapedQuoteAloneIsAnArgument", u"\\\" x", true, {u"\"", u"x"}},
    {"EvenRunAfterClosingQuoteReopens", u"\"a\"\\\\\"b\"", true, {u"a\\b"}},
    {"OddRunAfterClosingQuoteIsLiteral", u"\"a\"\\\"b", true, {u"a\"b"}},
    {"RulesOffBackslashIsLiteral", u"a\\\"b c\"", false, {u"a\\b c"}},
    {"RulesOffTwoBackslashesBeforeQuote", u"\"x\\\\\" y", false, {u"x\\\\", u"y"}},
    {"RulesOffBackslashInsideSection", u"\"a\\\" b", false, {u"a\\", u"b"}},
};
INSTANTIATE_TEST_SUITE_P(Backslashes, SplitCommandLine, ::testing::ValuesIn(kBackslashCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SplitCommandLineAppend, KeepsExistingElements)
{
    Arguments arguments{u"first"};
    splitCommandLine(u"second third", arguments, true);
    splitCommandLine(u"", arguments, true);
    EXPECT_EQ(arguments, (Arguments{u"first", u"second", u"third"}));
}

}  // namespace
