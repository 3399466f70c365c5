#include "core/path_rules.h"

#include <gtest/gtest.h>

TEST(PathRules, AbsoluteOnlyWithDriveAndBackslashOrUncStart)
{
    struct Case {
        std::u16string path;
        bool absolute;
    };
    const Case cases[] = {
        {u"C:\\x", true},   {u"\"C:\\x\"", true}, {u"\\\\server\\share", true}, {u"C:x", false},
        {u"C:/x", false},   {u"lib\\a.jar", false}, {u"\\x", false},            {u"C:", false},
        {u"", false},       {u"\"\\\\s", true},      {u"\\\\", false},          {u"x\\y", false},
        {u"\\x\\y", false},
    };
    for (const Case& c : cases) EXPECT_EQ(isAbsolutePath(c.path), c.absolute) << std::string(c.path.begin(), c.path.end());
}

TEST(PathRules, CollapsesBackslashRunsButKeepsTheLeadingUncPair)
{
    EXPECT_EQ(collapseBackslashes(u"C:\\\\a\\\\\\b\\"), u"C:\\a\\b\\");
    EXPECT_EQ(collapseBackslashes(u"\\\\server\\\\share"), u"\\\\server\\share");
    EXPECT_EQ(collapseBackslashes(u"plain"), u"plain");
    EXPECT_EQ(collapseBackslashes(u""), u"");
}
