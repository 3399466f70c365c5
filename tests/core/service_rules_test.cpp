#include "core/service_rules.h"

#include <gtest/gtest.h>

namespace {

std::u16string nuls(std::u16string text)
{
    for (char16_t& c : text)
        if (c == u'|') c = u'\0';
    return text;
}

}  // namespace

TEST(DependencyList, SplitsAtCommasAndDropsEmptyPieces)
{
    struct Case {
        std::u16string names;
        std::u16string list;  // '|' stands for NUL
    } cases[] = {
        {u"", u"||"},
        {u",", u"||"},
        {u",,,", u"||"},
        {u"a", u"a||"},
        {u"alpha,,beta", u"alpha|beta||"},
        {u",alpha,beta,", u"alpha|beta||"},
        {u"a b, c", u"a b| c||"},
        {std::u16string(u"alpha,be\0ta,gamma", 17), u"alpha|be||"},  // a NUL ends the text
    };
    for (const Case& c : cases) {
        std::u16string out = u"untouched";
        ASSERT_TRUE(dependencyList(c.names, out));
        EXPECT_EQ(out, nuls(c.list)) << std::string(c.names.begin(), c.names.end());
    }
}

TEST(DependencyList, BoundedByTheListCapacity)
{
    // One name of n characters needs n + 2 characters of list.
    const std::size_t fits = kDependencyListCapacity - 2;
    std::u16string out;
    ASSERT_TRUE(dependencyList(std::u16string(fits, u'x'), out));
    EXPECT_EQ(out.size(), kDependencyListCapacity);
    EXPECT_EQ(out.substr(fits), nuls(u"||"));

    out = u"untouched";
    EXPECT_FALSE(dependencyList(std::u16string(fits + 1, u'x'), out));
    EXPECT_EQ(out, u"untouched");

    // Many short names: 2,730 names of two characters fill 8,191 characters plus the final NUL;
    // one more character does not fit.
    std::u16string names;
    for (int i = 0; i < 2730; ++i) names += u"ab,";
    names += u",,";  // empty pieces cost nothing
    ASSERT_TRUE(dependencyList(names, out));
    EXPECT_EQ(out.size(), 2730u * 3 + 1);
    EXPECT_FALSE(dependencyList(names + u"c", out));
    EXPECT_EQ(out.size(), 2730u * 3 + 1);
}

TEST(ServiceAccountName, LocalSystemOnlyInItsOwnLetterCase)
{
    struct Case {
        std::u16string account;
        std::u16string expected;
    } cases[] = {
        {u"NT AUTHORITY\\System", u"LocalSystem"},
        {u"NT AUTHORITY\\LocalSystem", u"LocalSystem"},
        {u"nt authority\\localsystem", u"nt authority\\localsystem"},
        {u"NT AUTHORITY\\SYSTEM", u"NT AUTHORITY\\SYSTEM"},
        {u"NT AUTHORITY\\Systems", u"NT AUTHORITY\\Systems"},
        {u"NT AUTHORITY\\Syste", u"NT AUTHORITY\\Syste"},
        {u"NT AUTHORITY\\LocalService", u"NT AUTHORITY\\LocalService"},
        {u"NT AUTHORITY/System", u"NT AUTHORITY/System"},
        {u".\\someone", u".\\someone"},
        {u"", u""},
    };
    for (const Case& c : cases) EXPECT_EQ(serviceAccountName(c.account), c.expected);
}

TEST(StopWait, ExpiresOnlyPastBothTheWaitHintAndTheTimeOut)
{
    struct Case {
        std::uint32_t now, start, lastProgress, waitHint, timeout;
        bool expired;
    } cases[] = {
        {1000, 0, 0, 0, 999, true},
        {1000, 0, 0, 0, 1000, false},         // equal is not past
        {1000, 0, 0, 1000, 0, false},         // inside the wait hint
        {1000, 0, 500, 499, 0, true},
        {1000, 0, 500, 500, 0, false},        // recent progress keeps the wait going
        {5000, 0, 4900, 0, 1000, true},
        {4, 0xFFFFFFF0u, 0xFFFFFFF0u, 19, 19, true},   // tick count wrapped: 20 ms passed
        {4, 0xFFFFFFF0u, 0xFFFFFFF0u, 20, 19, false},
        {4, 0xFFFFFFF0u, 0xFFFFFFF0u, 0, 20, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(stopWaitExpired(c.now, c.start, c.lastProgress, c.waitHint, c.timeout), c.expired)
            << c.now << " " << c.start << " " << c.lastProgress << " " << c.waitHint << " " << c.timeout;
}

TEST(AccountNames, ServiceSidsBuiltinsAndDomains)
{
    EXPECT_EQ(serviceAccountForSid(u"S-1-5-18"), u"NT AUTHORITY\\System");
    EXPECT_EQ(serviceAccountForSid(u"S-1-5-19"), u"NT AUTHORITY\\LocalService");
    EXPECT_EQ(serviceAccountForSid(u"S-1-5-20"), u"NT AUTHORITY\\NetworkService");
    EXPECT_EQ(serviceAccountForSid(u"S-1-5-21"), u"");
    EXPECT_EQ(serviceAccountForSid(u"S-1-5-180"), u"");

    struct Case {
        std::u16string sid, domain, name;
        bool nameOnly;
        std::u16string expected;
    } cases[] = {
        {u"S-1-5-32-544", u"BUILTIN", u"Administrators", false, u".\\Administrators"},
        {u"S-1-5-32-544", u"BUILTIN", u"Administrators", true, u"Administrators"},
        {u"S-1-5-21-1-2-3-1001", u"HOST", u"user", false, u"HOST\\user"},
        {u"S-1-5-21-1-2-3-1001", u"HOST", u"user", true, u"user"},
        {u"S-1-5-21-1-2-3-1001", u"", u"user", false, u".\\user"},
        {u"S-1-5-32", u"NT AUTHORITY", u"BUILTIN", false, u"NT AUTHORITY\\BUILTIN"},  // the prefix needs its dash
    };
    for (const Case& c : cases) EXPECT_EQ(displayedAccountName(c.sid, c.domain, c.name, c.nameOnly), c.expected);
}

TEST(RestartActions, RestartsThenNothingWithinTheBound)
{
    struct Case {
        bool restart;
        int count;
        bool built;
        std::vector<int> types;
    } cases[] = {
        {false, 5, true, {}},
        {false, -1, true, {}},  // the count means nothing without restarts
        {true, 0, true, {1}},
        {true, 1, true, {1, 0}},
        {true, 3, true, {1, 1, 1, 0}},
        {true, -1, false, {9}},
        {true, kMaxRestartActions + 1, false, {9}},
    };
    for (const Case& c : cases) {
        std::vector<int> types{9};
        EXPECT_EQ(restartActionTypes(c.restart, c.count, types), c.built) << c.restart << " " << c.count;
        EXPECT_EQ(types, c.types) << c.restart << " " << c.count;
    }
    std::vector<int> types;
    ASSERT_TRUE(restartActionTypes(true, kMaxRestartActions, types));
    EXPECT_EQ(types.size(), static_cast<std::size_t>(kMaxRestartActions) + 1);
    EXPECT_EQ(types.back(), 0);
}

TEST(GroupAddOutcome, AnExistingGroupIsAcceptedOnlyWhenItNeedNotBeNew)
{
    struct Case {
        std::uint32_t status;
        bool mustBeNew;
        GroupAdd outcome;
    } cases[] = {
        {0, false, GroupAdd::Created},     {0, true, GroupAdd::Created},
        {1379, false, GroupAdd::Existing}, {2223, false, GroupAdd::Existing},
        {1379, true, GroupAdd::Failed},    {2223, true, GroupAdd::Failed},
        {1378, false, GroupAdd::Failed},   {2224, false, GroupAdd::Failed},  // member already / user exists
        {5, false, GroupAdd::Failed},
    };
    for (const Case& c : cases)
        EXPECT_EQ(static_cast<int>(groupAddOutcome(c.status, c.mustBeNew)), static_cast<int>(c.outcome))
            << c.status << " " << c.mustBeNew;
}
