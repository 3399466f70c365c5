// The contract of windows/base/registry under Wine: a failed read leaves its output as it was, a
// value that grows between the size query and the read is read whole, and names at the registry's
// length limits come back exactly. Keys live below a scratch key of HKCU, removed at the end.
#include "windows/base/registry.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class RegistryContract : public ::testing::Test {
protected:
    void SetUp() override
    {
        path_ = L"Software\\launcher-tests\\registry-" + std::to_wstring(::GetCurrentProcessId());
        key_ = createKey(HKEY_CURRENT_USER, path_.c_str(), KEY_ALL_ACCESS);
        ASSERT_TRUE(key_);
    }
    void TearDown() override
    {
        key_.reset();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
        ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\launcher-tests");
    }
    void putString(const wchar_t* name, const std::wstring& value) { ASSERT_EQ(writeString(key_.get(), name, value), 0); }

    std::wstring path_;
    unique_hkey key_;
};

}  // namespace

TEST_F(RegistryContract, AFailedReadLeavesTheOutputUntouched)
{
    putString(L"text", L"12345");
    ASSERT_EQ(writeDword(key_.get(), L"number", 7), 0);
    struct Case {
        const wchar_t* what;
        const wchar_t* name;
        DWORD capacity;
        LSTATUS expected;
    } cases[] = {
        {L"missing value", L"absent", 100, ERROR_FILE_NOT_FOUND},
        {L"another type", L"number", 100, ERROR_UNSUPPORTED_TYPE},
        {L"one character short", L"text", 5, ERROR_MORE_DATA},  // five characters need room for six
    };
    for (const Case& c : cases) {
        std::wstring value = L"untouched";
        EXPECT_EQ(readStringCapped(key_.get(), nullptr, c.name, c.capacity, value), c.expected) << c.what;
        EXPECT_EQ(value, L"untouched") << c.what;
    }
    std::wstring value;
    EXPECT_EQ(readStringCapped(key_.get(), nullptr, L"text", 6, value), ERROR_SUCCESS);
    EXPECT_EQ(value, L"12345");
    std::string narrow = "untouched";
    EXPECT_EQ(readStringCapped(key_.get(), nullptr, "text", 5, narrow), ERROR_MORE_DATA);
    EXPECT_EQ(narrow, "untouched");
    EXPECT_FALSE(readString(key_.get(), L"number"));
    EXPECT_FALSE(readDword(key_.get(), L"text"));
}

// The value grows after the size query: by one character, and by thousands.
TEST_F(RegistryContract, AValueThatGrowsAfterTheSizeQueryIsReadWhole)
{
    for (size_t grown : {std::wstring(L"first").size() + 1, size_t(5000)}) {
        putString(L"growing", L"first");
        int queries = 0;
        const std::wstring longer(grown, L'x');
        auto query = [&](DWORD* type, BYTE* data, DWORD* size) {
            if (++queries == 2) putString(L"growing", longer);
            return ::RegQueryValueExW(key_.get(), L"growing", nullptr, type, data, size);
        };
        DWORD type = 0;
        auto bytes = registry_detail::queryGrowing(query, &type);
        ASSERT_TRUE(bytes) << grown;
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(bytes->size(), (grown + 1) * sizeof(wchar_t)) << grown;
        EXPECT_GE(queries, 3) << grown;
    }
}

// Key names end at 255 characters, value names at 16383; a name longer than the first buffer of
// the enumeration (256 characters with its terminator) is read through the larger one.
TEST_F(RegistryContract, NamesAtTheLengthLimitsComeBackWhole)
{
    const std::wstring longestKey(255, L'k');
    ASSERT_TRUE(createKey(key_.get(), longestKey.c_str(), KEY_READ));
    std::vector<std::wstring> expected{longestKey};
    // Windows refuses a key name one longer; Wine takes it (measured), and then it comes back whole.
    if (createKey(key_.get(), (longestKey + L"k").c_str(), KEY_READ)) expected.push_back(longestKey + L"k");
    EXPECT_EQ(subkeyNames(key_.get()), expected);
    std::vector<std::string> narrow;
    for (const std::wstring& name : expected) narrow.emplace_back(name.size(), 'k');
    EXPECT_EQ(subkeyNamesNarrow(key_.get()), narrow);

    for (size_t length : {size_t(255), size_t(256), size_t(16383)}) {
        const std::wstring name(length, L'v');
        putString(name.c_str(), L"x");
        EXPECT_EQ(valueNames(key_.get()), std::vector<std::wstring>{name}) << length;
        ::RegDeleteValueW(key_.get(), name.c_str());
    }
}
