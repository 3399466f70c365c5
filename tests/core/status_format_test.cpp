#include "core/status_format.h"

#include <gtest/gtest.h>

TEST(StatusFormat, FloatingConversionsUpToTheValuesPassedAreAccepted)
{
    for (const char16_t* format : {u"%.2f MB of %.2f MB (%.1f%%) at %.1f kb/s", u"%.2f von %.2f MB (%.1f%%), %.1f kb/s",
                                   u"no values at all", u"%-8.3e|%+g|%#G|% 010.1E", u"100%%", u"%99.99f", u"%0099f"}) {
        EXPECT_TRUE(formatTakesOnlyDoubles(format, 4)) << std::string(format, format + std::char_traits<char16_t>::length(format));
    }
}

TEST(StatusFormat, ConversionsThatWouldReadOtherArgumentsAreRefused)
{
    for (const char16_t* format : {u"%s MB", u"%.2f %S", u"%d%%", u"%n", u"%*.2f", u"%.*f", u"%I64d", u"%lf",
                                   u"%p", u"trailing %", u"%.2f %.2f %.1f %.1f %.1f", u"%.2", u"%100f", u"%.100f",
                                   u"%2147483647f", u"%.99999999999999999999e",
                                   u"%:f", u"%/f"}) {  // the characters beside '0' and '9' are no flags or digits
        EXPECT_FALSE(formatTakesOnlyDoubles(format, 4)) << std::string(format, format + std::char_traits<char16_t>::length(format));
    }
}
