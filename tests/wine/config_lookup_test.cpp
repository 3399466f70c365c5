#include "core/config_format.h"
#include "windows/config_block.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class ConfigLookup : public ::testing::Test {
protected:
    void SetUp() override
    {
        ConfigBlock block;
        block.strings[5] = "5";
        block.strings[18] = "1.8";
        block.strings[3] = "abc";
        block.strings[7] = "";
        block.strings[20] = "01234567890123456789";
        block.strings[30] = "-12x";
        block.strings[40] = "caf\xE9";
        block.messages[1000] = u"Fehler";
        useConfigBlock(block);
    }
    void TearDown() override { useConfigBlock(ConfigBlock()); }
};

}  // namespace

TEST_F(ConfigLookup, IntegersAreTheLeadingDecimalPart)
{
    EXPECT_EQ(configInt(5), 5);
    EXPECT_EQ(configInt(18), 1);
    EXPECT_EQ(configInt(3), 0);
    EXPECT_EQ(configInt(30), -12);
    EXPECT_EQ(configInt(999), 0);  // missing
    EXPECT_TRUE(configFlag(5));
    EXPECT_FALSE(configFlag(3));
}

TEST_F(ConfigLookup, AnEmptyEntryIsEmptyTextNotMissing)
{
    char buffer[8] = "junk";
    EXPECT_EQ(configString(7, buffer, sizeof buffer), 0u);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(configInt(7), 0);
}

TEST_F(ConfigLookup, TruncationKeepsCapacityMinusOneAndTerminates)
{
    char buffer[16];
    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(configString(20, buffer, 10), 9u);
    EXPECT_STREQ(buffer, "012345678");
    EXPECT_EQ(buffer[10], 'X');  // nothing written past the capacity
    EXPECT_EQ(configStringDup(20), "01234567890123456789");
}

TEST_F(ConfigLookup, WideLookupsWidenByteByByte)
{
    wchar_t buffer[10];
    EXPECT_EQ(configWString(40, buffer, 10), 4u);
    EXPECT_EQ(std::wstring(buffer), std::wstring(L"caf\u00E9"));
    EXPECT_EQ(configWString(20, buffer, 4), 3u);
    EXPECT_EQ(std::wstring(buffer), L"012");
}

TEST_F(ConfigLookup, MessageTextFallsBackToTheConfigString)
{
    EXPECT_EQ(messageText(1000), L"Fehler");
    EXPECT_EQ(messageString(3), L"");
    EXPECT_EQ(messageText(3), L"abc");
    EXPECT_EQ(messageText(12345), L"");
}
