// The runtime search under Wine: runtimes laid out in a temp directory (the stub java.exe, the
// smallest jvm.dll or one of the other bitness), reached through the search list and through the
// located-runtimes key of a redirected HKCU; what searchJvm loads and which kind it reports.
#include "core/config_keys.h"
#include "core/jvm_search_rules.h"
#include "windows/jvm_search.h"

#include "runtime_scratch.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>

namespace {

class JvmSearch : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(scratch_.ready());
        root_ = scratch_.root();
        char path[32768];
        DWORD length = ::GetEnvironmentVariableA("PATH", path, sizeof path);
        path_.assign(path, length < sizeof path ? length : 0);
    }

    void TearDown() override
    {
        if (loaded_) ::FreeLibrary(loaded_);
        ::SetEnvironmentVariableA("PATH", path_.c_str());
    }

    enum class Dll { Loads, OtherBitness, None };

    // A Java home under the root: bin\java.exe printing version, bin\server\jvm.dll as told.
    std::string runtime(const std::string& name, const std::string& version, Dll dll = Dll::Loads)
    {
        std::string home = root_ + "\\" + name;
        std::string bin = home + "\\bin";
        for (const std::string& directory : {home, bin, bin + "\\server"}) ::CreateDirectoryA(directory.c_str(), nullptr);
        const std::string doubles = RuntimeScratch::doublesDirectory();
        EXPECT_TRUE(::CopyFileA((doubles + "java_stub\\java.exe").c_str(), (bin + "\\java.exe").c_str(), FALSE));
        std::ofstream(bin + "\\java_stub.cfg") << "err=java version \"" << version << "\"\nexit=0\n";
        const char* source = dll == Dll::Loads ? "jvm_min\\jvm.dll" : "jvm_min\\jvm_other_bitness.dll";
        if (dll != Dll::None) {
            EXPECT_TRUE(::CopyFileA((doubles + source).c_str(), (bin + "\\server\\jvm.dll").c_str(), FALSE)) << source;
        }
        return home;
    }

    // A located runtime recorded in the redirected HKCU, its java.exe written with "/".
    void locate(const std::string& home)
    {
        std::string name = home + "\\bin\\java.exe";
        for (char& c : name) {
            if (c == '\\') c = '/';
        }
        unique_hkey key;
        ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(kLocatedRuntimesKey) + "\\" + name).c_str(), 0,
                                    nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
    }

    SearchResult search(const std::string& list, std::map<int32_t, std::string> settings = {})
    {
        ConfigBlock block;
        block.strings[keys::kJvmSearchSequence] = list;
        block.strings[keys::kMinJavaVersion] = "1.8";
        for (const auto& [key, value] : settings) block.strings[key] = value;
        useConfigBlock(block);
        SearchResult result = searchJvm();
        loaded_ = result.module;
        return result;
    }

    RuntimeScratch scratch_{"jvm-search-"};
    std::string root_;
    std::string path_;
    HMODULE loaded_ = nullptr;
};

std::string javaOf(const std::string& home) { return normaliseJavaPath(home + "\\bin\\java.exe"); }

}  // namespace

TEST_F(JvmSearch, SearchListTakesTheFirstDirectoryThatPassesAndLoads)
{
    std::string old = runtime("old", "1.7.0_80");
    std::string other = runtime("other", "11.0.2", Dll::OtherBitness);
    std::string empty = runtime("empty", "11.0.2", Dll::None);
    std::string good = runtime("good", "1.8.0_1");
    std::string list = "A" + old + ";A" + other + ";B" + empty + ";R" + good;

    SearchResult result = search(list);
    ASSERT_NE(result.module, nullptr);
    EXPECT_EQ(result.foundKind, kFoundAtLocation);
    EXPECT_EQ(result.foundLocation, good);
    EXPECT_EQ(result.javaExe, javaOf(good));
    EXPECT_EQ(result.version, "1.8.0_1");
}

TEST_F(JvmSearch, TrustedDirectoriesPassWithoutTheVersionVerdict)
{
    std::string old = runtime("old", "1.7.0_80");
    for (const char* trusted : {"0", "1"}) {
        SearchResult result = search("A" + old, {{keys::kTrustSearchListDirectories, trusted}});
        EXPECT_EQ(result.module != nullptr, trusted[0] == '1') << trusted;
        if (loaded_) ::FreeLibrary(loaded_);
        loaded_ = nullptr;
    }
}

TEST_F(JvmSearch, NothingLoadsWhenEveryCandidateFails)
{
    std::string other = runtime("other", "11.0.2", Dll::OtherBitness);
    SearchResult result = search("A" + other + ";A" + root_ + "\\missing");
    EXPECT_EQ(result.module, nullptr);
    EXPECT_TRUE(result.javaExe.empty());
}

// Located runtimes: unmarked ones unless marked-only is set; marked ("stw_jres") ones only when
// admitted; the highest passing version wins.
TEST_F(JvmSearch, LocatedRuntimesFollowTheMarkSettings)
{
    std::string plain = runtime("plain", "11.0.2");
    std::string marked = runtime("stw_jres_17", "17.0.1");
    locate(plain);
    locate(marked);
    struct Case {
        const char* markedOnly;
        const char* admitMarked;
        std::string expected;  // empty: nothing found
    } cases[] = {
        {"0", "0", plain},
        {"0", "1", marked},
        {"1", "1", marked},
        {"1", "0", ""},
    };
    for (const Case& c : cases) {
        SearchResult result = search("Y", {{keys::kMarkedRuntimesOnly, c.markedOnly},
                                           {keys::kAdmitMarkedRuntimes, c.admitMarked}});
        std::string what = std::string(c.markedOnly) + "/" + c.admitMarked;
        if (c.expected.empty()) {
            EXPECT_EQ(result.module, nullptr) << what;
        } else {
            EXPECT_EQ(result.foundKind, kFoundInRegistry) << what;
            EXPECT_EQ(result.javaExe, javaOf(c.expected)) << what;
        }
        if (loaded_) ::FreeLibrary(loaded_);
        loaded_ = nullptr;
    }
}
