#include "windows/work_flow.h"

#include <gtest/gtest.h>

#include <windows.h>

#include "windows/progress_dialog.h"

namespace {

TEST(RuntimeChoiceText, NamesOnlyTheConfiguredBounds)
{
    struct Case {
        const char* minimum;
        const char* maximum;
        const wchar_t* text;
    };
    const Case cases[] = {
        {"", "", L"Locate a 64-bit JRE."},
        {"1.8", "", L"Locate a 64-bit JRE. (min: 1.8)"},
        {"", "11", L"Locate a 64-bit JRE. (max: 11)"},
        {"1.8", "11.0.2", L"Locate a 64-bit JRE. (min: 1.8, max: 11.0.2)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(runtimeChoiceText(L"Locate a %S-bit JRE.", L"64", c.minimum, c.maximum, L"min:", L"max:"), c.text)
            << c.minimum << " " << c.maximum;
}

TEST(RuntimeChoiceText, ConfiguredTextIsNeverReadAsAFormat)
{
    // A translation with stray conversions must show as written, not read arguments that are not there.
    EXPECT_EQ(runtimeChoiceText(L"%s %n %d %S-bit %S", L"32", "", "", L"", L""), L"%s %n %d 32-bit %S");
    EXPECT_EQ(runtimeChoiceText(L"no placeholder", L"32", "", "", L"", L""), L"no placeholder");
}

TEST(JavaWindowWatcher, BarAdvancesEveryFifthTickAndStopsAt390)
{
    struct Case {
        int waitStart;
        int tick;
        int position;
    };
    const Case cases[] = {
        {300, 0, 300}, {300, 4, 300}, {300, 5, 325}, {300, 10, 350}, {300, 15, 375}, {300, 20, 390},
        {300, 2399, 390}, {200, 5, 250}, {200, 15, 350}, {200, 20, 390}, {100, 5, 175}, {100, 15, 325},
        {100, 20, 390},
    };
    for (const Case& c : cases)
        EXPECT_EQ(watcherPosition(c.waitStart, c.tick), c.position) << c.waitStart << " at " << c.tick;
}

TEST(PackedPayloadFiles, OnlyPackNamesWithinTheCountUpToTheFirstEmptyName)
{
    using Names = std::vector<std::string>;
    EXPECT_EQ(packedPayloadFiles("a.jar.pack;b.jar;c.pack", 3), (Names{"a.jar.pack", "c.pack"}));
    EXPECT_EQ(packedPayloadFiles("a.jar.pack;b.jar;c.pack", 2), (Names{"a.jar.pack"}));
    EXPECT_EQ(packedPayloadFiles("a.pack;;c.pack", 3), (Names{"a.pack"}));
    EXPECT_EQ(packedPayloadFiles("x.pack.jar;.pack;pack;lib\\d.pack", 9), (Names{".pack", "lib\\d.pack"}));
    EXPECT_EQ(packedPayloadFiles("a.pack", 0), Names{});
}

}  // namespace
