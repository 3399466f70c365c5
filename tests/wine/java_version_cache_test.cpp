// The version check of a java.exe under Wine: the per-user registry cache (HKCU redirected to a
// scratch key) and the "-version" probe against the stub java.exe of tests/doubles/java_stub.
#include "core/config_format.h"
#include "core/config_keys.h"
#include "windows/config_block.h"
#include "windows/base/handles.h"
#include "windows/java_version.h"
#include "windows/jvm_search.h"
#include "windows/temp_dirs.h"
#include "windows/base/wide_text.h"

#include "runtime_scratch.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

size_t lineCount(const std::string& text)
{
    size_t lines = 0;
    for (char c : text) lines += c == '\n';
    return lines;
}

FILETIME lastWriteOf(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

// A runtime directory with the stub as bin\java.exe, in the scratch directory (RuntimeScratch).
class JavaVersionCheck : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(scratch_.ready());
        root_ = scratch_.root();
        bin_ = root_ + "\\bin";
        ASSERT_TRUE(::CreateDirectoryA(bin_.c_str(), nullptr));
        std::string stub = RuntimeScratch::doublesDirectory() + "java_stub\\java.exe";
        ASSERT_TRUE(::CopyFileA(stub.c_str(), (bin_ + "\\java.exe").c_str(), FALSE)) << stub;
        java_ = normaliseJavaPath(bin_ + "\\java.exe");
    }

    void stubPrints(const std::string& version, int exitCode = 0, const std::string& extra = "")
    {
        writeFile(bin_ + "\\java_stub.cfg", "err=java version \"" + version + "\"\nerr=Runtime Environment (build x)\n"
                                               + extra + "exit=" + std::to_string(exitCode) + "\n");
    }
    size_t probes() { return lineCount(readFile(bin_ + "\\java_stub.calls")); }
    void configure(int32_t key, const std::string& value)
    {
        ConfigBlock block;
        block.strings[key] = value;
        useConfigBlock(block);
    }
    // The raw data of a cache value of java_, or empty when missing (RegGetValue would add a terminator).
    std::vector<uint8_t> cacheValue(const char* name, DWORD* type = nullptr)
    {
        unique_hkey key;
        if (::RegOpenKeyExA(HKEY_CURRENT_USER, versionCacheKey(java_).c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
            return {};
        std::vector<uint8_t> data(8192);
        DWORD size = static_cast<DWORD>(data.size());
        if (::RegQueryValueExA(key.get(), name, nullptr, type, data.data(), &size) != ERROR_SUCCESS) return {};
        data.resize(size);
        return data;
    }
    void setCacheValue(const char* name, DWORD type, const std::vector<uint8_t>& data)
    {
        unique_hkey key;
        ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, versionCacheKey(java_).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                    nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExA(key.get(), name, 0, type, data.data(), static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
    }

    RuntimeScratch scratch_{"java-version-"};
    std::string root_;
    std::string bin_;
    std::string java_;
};

std::vector<uint8_t> bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

}  // namespace

TEST_F(JavaVersionCheck, CacheStoresEightBytesAndTheVersionWithoutTerminator)
{
    FILETIME time{0x11223344u, 0x01D5A6B7u};
    writeCachedVersion(java_, time, "11.0.2");
    DWORD type = 0;
    EXPECT_EQ(cacheValue("LastWriteTime", &type),
              (std::vector<uint8_t>{0x44, 0x33, 0x22, 0x11, 0xB7, 0xA6, 0xD5, 0x01}));
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    // The launcher hands the text over without a terminator; Wine's RegSetValueExA adds one.
    EXPECT_EQ(cacheVersionText(cacheValue("Version", &type)), "11.0.2");
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

    std::string version = "untouched";
    ASSERT_TRUE(readCachedVersion(java_, time, version));
    EXPECT_EQ(version, "11.0.2");
}

TEST_F(JavaVersionCheck, CacheEntriesThatDoNotMatchCountAsAbsent)
{
    FILETIME time{0x11223344u, 0x01D5A6B7u};
    std::vector<uint8_t> eight{0x44, 0x33, 0x22, 0x11, 0xB7, 0xA6, 0xD5, 0x01};
    setCacheValue("Version", REG_SZ, bytes("11.0.2"));

    struct Case {
        const char* what;
        std::vector<uint8_t> writeTime;
    } cases[] = {
        {"seven bytes", std::vector<uint8_t>(eight.begin(), eight.end() - 1)},
        {"nine bytes", [&] { auto longer = eight; longer.push_back(0); return longer; }()},
        {"other time", [&] { auto other = eight; other[0] ^= 1; return other; }()},
    };
    for (const Case& c : cases) {
        setCacheValue("LastWriteTime", REG_BINARY, c.writeTime);
        std::string version = "untouched";
        EXPECT_FALSE(readCachedVersion(java_, time, version)) << c.what;
        EXPECT_EQ(version, "untouched") << c.what;
    }

    setCacheValue("LastWriteTime", REG_BINARY, eight);
    for (const char* ignored : {"1.7.", "1.6.", "1.5.", ""}) {
        setCacheValue("Version", REG_SZ, bytes(ignored));
        std::string version = "untouched";
        EXPECT_FALSE(readCachedVersion(java_, time, version)) << ignored;
    }
    // Data stored with and without a terminator reads the same.
    setCacheValue("Version", REG_SZ, bytes(std::string("1.7.0_80") + '\0'));
    std::string version;
    EXPECT_TRUE(readCachedVersion(java_, time, version));
    EXPECT_EQ(version, "1.7.0_80");
    {
        unique_hkey key;
        ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, versionCacheKey(java_).c_str(), 0, KEY_ALL_ACCESS, key.put()),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExW(key.get(), L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"9.0.4"), 10),
                  ERROR_SUCCESS);
    }
    EXPECT_TRUE(readCachedVersion(java_, time, version));
    EXPECT_EQ(version, "9.0.4");
}

TEST_F(JavaVersionCheck, ProbeTakesTheLastMarkedLineAndFillsTheCache)
{
    stubPrints("1.8.0_172", 0, "err=openjdk version \"11.0.2\" 2019-01-15\n");
    std::string path = bin_ + "\\java.exe";
    std::string version;
    ASSERT_TRUE(checkJavaExe(path, {false, true, true}, version));
    EXPECT_EQ(version, "11.0.2");
    EXPECT_EQ(path, java_);
    EXPECT_EQ(probes(), 1u);
    EXPECT_EQ(cacheVersionText(cacheValue("Version")), "11.0.2");

    // The next check reads the cache; without the cache switch it runs the program again.
    EXPECT_TRUE(checkJavaExe(path, {false, true, true}, version));
    EXPECT_EQ(probes(), 1u);
    EXPECT_TRUE(checkJavaExe(path, {false, false, true}, version));
    EXPECT_EQ(probes(), 2u);

    // Without the write switch the entry stays as it was.
    stubPrints("13.0.2");
    EXPECT_TRUE(checkJavaExe(path, {false, false, false}, version));
    EXPECT_EQ(version, "13.0.2");
    EXPECT_EQ(cacheVersionText(cacheValue("Version")), "11.0.2");
}

TEST_F(JavaVersionCheck, AFailedRunIsCachedAsOneZeroZeroAndProbedAgain)
{
    stubPrints("11.0.2", 1);
    std::string path = java_;
    std::string version;
    EXPECT_FALSE(checkJavaExe(path, {false, true, true}, version));
    EXPECT_EQ(cacheVersionText(cacheValue("Version")), "1.0.0");
    EXPECT_EQ(cacheValue("LastWriteTime").size(), 8u);

    stubPrints("11.0.2", 0);
    EXPECT_TRUE(checkJavaExe(path, {false, true, true}, version));
    EXPECT_EQ(probes(), 2u);
    EXPECT_EQ(cacheVersionText(cacheValue("Version")), "11.0.2");
}

TEST_F(JavaVersionCheck, AStaleCacheEntryIsProbedAgain)
{
    stubPrints("11.0.2");
    FILETIME actual = lastWriteOf(java_);
    FILETIME older{actual.dwLowDateTime ^ 0x100u, actual.dwHighDateTime};
    writeCachedVersion(java_, older, "13");
    setVersionBounds("", "12");
    std::string path = java_;
    std::string version;
    EXPECT_TRUE(checkJavaExe(path, {false, true, true}, version));
    EXPECT_EQ(version, "11.0.2");
    EXPECT_EQ(probes(), 1u);
}

TEST_F(JavaVersionCheck, BoundsAndBetaRuleDecide)
{
    setVersionBounds("1.8.0_172", "13");
    struct Case {
        const char* version;
        bool accepted;
    } cases[] = {{"1.8.0_172", true}, {"13.0.2", true}, {"1.8.0_171", false}, {"14", false}, {"1.8", false}};
    for (const Case& c : cases) {
        stubPrints(c.version);
        std::string path = java_;
        std::string version;
        EXPECT_EQ(checkJavaExe(path, {false, false, false}, version), c.accepted) << c.version;
        EXPECT_EQ(version, c.version);
    }
}

TEST_F(JavaVersionCheck, EarlyAccessNeedsEitherSwitch)
{
    stubPrints("17-ea");
    std::string path = java_;
    std::string version;
    EXPECT_FALSE(checkJavaExe(path, {false, false, false}, version));
    EXPECT_TRUE(checkJavaExe(path, {true, false, false}, version));
    configure(keys::kAllowBetaVm, "1");
    EXPECT_TRUE(checkJavaExe(path, {false, false, false}, version));
}

TEST_F(JavaVersionCheck, OptionVariablesAreHiddenFromTheProbeAndRestored)
{
    stubPrints("11.0.2");
    ::SetEnvironmentVariableA("_JAVA_OPTIONS", "-Xmx1m");
    ::SetEnvironmentVariableA("JAVA_TOOL_OPTIONS", nullptr);
    ::SetEnvironmentVariableA("JDK_JAVA_OPTIONS", "-Dx=1");
    std::string version;
    EXPECT_TRUE(probeVersion(java_, lastWriteOf(java_), version));
    std::string calls = readFile(bin_ + "\\java_stub.calls");
    EXPECT_NE(calls.find("|_JAVA_OPTIONS=<unset>|JAVA_TOOL_OPTIONS=<unset>|JDK_JAVA_OPTIONS=<unset>"),
              std::string::npos)
        << calls;
    EXPECT_NE(calls.find(" -version"), std::string::npos);
    char value[64] = "";
    EXPECT_GT(::GetEnvironmentVariableA("_JAVA_OPTIONS", value, sizeof value), 0u);
    EXPECT_STREQ(value, "-Xmx1m");
    EXPECT_EQ(::GetEnvironmentVariableA("JAVA_TOOL_OPTIONS", value, sizeof value), 0u);
    EXPECT_GT(::GetEnvironmentVariableA("JDK_JAVA_OPTIONS", value, sizeof value), 0u);
    ::SetEnvironmentVariableA("_JAVA_OPTIONS", nullptr);
    ::SetEnvironmentVariableA("JDK_JAVA_OPTIONS", nullptr);
}

TEST_F(JavaVersionCheck, AChildThatKeepsItsOutputOpenIsGivenUpOn)
{
    // The stub prints a good version, then sleeps with standard error open far past the limit.
    stubPrints("11.0.2", 0, "delay=20000\n");
    std::string version = "untouched";
    EXPECT_FALSE(probeVersion(java_, lastWriteOf(java_), version, 300));
    EXPECT_EQ(version, "untouched");
    EXPECT_TRUE(cacheValue("Version").empty());  // a terminated child caches nothing
}

TEST_F(JavaVersionCheck, WindowedRuleNeedsJavawBesideJava)
{
    stubPrints("11.0.2");
    configure(keys::kLauncherType, "1");
    std::string path = java_;
    std::string version;
    EXPECT_FALSE(checkJavaExe(path, {false, true, true}, version));
    EXPECT_EQ(path, normaliseJavaPath(bin_ + "\\javaw.exe"));

    ASSERT_TRUE(::CopyFileA(java_.c_str(), (bin_ + "\\javaw.exe").c_str(), FALSE));
    path = java_;
    EXPECT_TRUE(checkJavaExe(path, {false, true, true}, version));
    EXPECT_EQ(path, normaliseJavaPath(bin_ + "\\javaw.exe"));
}

TEST_F(JavaVersionCheck, MissingFilesAndNonWorkingPathsFail)
{
    stubPrints("11.0.2");
    std::string missing = bin_ + "\\nothing.exe";
    std::string wildcard = bin_ + "\\jav?.exe";
    std::string directory = bin_;
    std::string version;
    EXPECT_FALSE(checkJavaExe(missing, {false, true, true}, version));
    EXPECT_FALSE(checkJavaExe(wildcard, {false, true, true}, version));
    EXPECT_FALSE(checkJavaExe(directory, {false, true, true}, version));
    EXPECT_EQ(probes(), 0u);

    std::string path = java_;
    ASSERT_TRUE(checkJavaExe(path, {false, true, true}, version));
    markNonWorking(java_);
    EXPECT_FALSE(checkJavaExe(path, {false, true, true}, version));
}

TEST_F(JavaVersionCheck, PathsAreNormalisedToFullLowerCase)
{
    std::string mixed = root_ + "\\BIN\\\\..\\Bin\\JAVA.EXE";
    std::string normalised = normaliseJavaPath(mixed);
    EXPECT_EQ(normalised, java_);
    for (char c : normalised) EXPECT_FALSE(c >= 'A' && c <= 'Z') << normalised;
    EXPECT_EQ(normalised.find("\\\\"), std::string::npos);
    EXPECT_EQ(normalised.find(".."), std::string::npos);
}
