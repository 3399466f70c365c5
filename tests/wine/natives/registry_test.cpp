// The Registry natives on the real (Wine) registry below the fixture's scratch key.
#include "natives/registry/registry.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

#include "native_fixture.h"
#include "native_output.h"
#include "natives/jni_support.h"
#include "windows/base/handles.h"
#include "windows/base/registry.h"

namespace {

constexpr jint kUser = 2;

// Texts handed to constructors, so that the text inside a WinRegistry$ExpandString can be checked.
std::map<jobject, std::wstring> constructedWith;
const JNINativeInterface_* realFunctions = nullptr;

jobject JNICALL recordingNewObjectA(JNIEnv* env, jclass type, jmethodID constructor, const jvalue* arguments)
{
    jobject made = realFunctions->NewObjectA(env, type, constructor, arguments);
    if (made != nullptr && arguments != nullptr) constructedWith[made] = javaToWide(env, static_cast<jstring>(arguments[0].l));
    return made;
}

class Registry : public NativeTest {
protected:
    void SetUp() override
    {
        NativeTest::SetUp();
        realFunctions = *env;
        table_ = **env;
        table_.NewObjectA = recordingNewObjectA;
        *env = &table_;
    }
    void TearDown() override
    {
        if (env) *env = realFunctions;
        constructedWith.clear();
        NativeTest::TearDown();
    }

    bool isA(jobject value, const char* type)
    {
        LocalRef<jclass> expected(env, findClassQuietly(env, type));
        return expected && (*env)->IsInstanceOf(env, value, expected.get());
    }
    // The Java value in one comparable line.
    std::wstring describe(jobject value)
    {
        if (value == nullptr) return L"null";
        if (isA(value, "java/lang/String")) return L"s:" + text(value);
        if (isA(value, "com/stowline/api/windows/WinRegistry$ExpandString")) return L"e:" + constructedWith[value];
        jint number = 0;
        if (unboxInteger(env, value, number)) return L"i:" + std::to_wstring(number);
        jlong big = 0;
        if (unboxLong(env, value, big)) return L"l:" + std::to_wstring(big);
        if (isA(value, "[B")) return bytes(javaToBytes(env, static_cast<jbyteArray>(value)));
        std::wstring list = L"a:";
        for (const std::wstring& element : texts(value)) list += L"[" + element + L"]";
        return list;
    }
    static std::wstring bytes(const std::vector<uint8_t>& data)
    {
        uint32_t hash = 2166136261u;
        for (uint8_t byte : data) hash = (hash ^ byte) * 16777619u;
        return L"b:" + std::to_wstring(data.size()) + L":" + std::to_wstring(hash);
    }
    jobject get(const wchar_t* name, jint root = kUser, jint view = 0)
    {
        return Java_com_stowline_runtime_installer_platform_win32_Registry_getValue0(env, nullptr, root, str(scratchKey.c_str()),
                                                                                    str(name), view);
    }
    bool set(const wchar_t* name, jobject value, jint type, jint root = kUser, jint view = 0)
    {
        return Java_com_stowline_runtime_installer_platform_win32_Registry_setValue0(
            env, nullptr, root, str(scratchKey.c_str()), str(name), value, type, view);
    }
    std::optional<std::vector<BYTE>> stored(const wchar_t* name, DWORD* type)
    {
        unique_hkey key = openKey(HKEY_CURRENT_USER, scratchKey.c_str(), KEY_READ);
        return key ? readBytes(key.get(), name, type) : std::nullopt;
    }
    jobjectArray stringArray(std::vector<std::wstring> elements) { return wideArrayToJava(env, elements); }

private:
    JNINativeInterface_ table_;
};

std::vector<BYTE> utf16(const std::wstring& text)
{
    const auto* first = reinterpret_cast<const BYTE*>(text.data());
    return std::vector<BYTE>(first, first + text.size() * sizeof(wchar_t));
}

TEST_F(Registry, EveryTypeRoundTripsWhole)
{
    const std::wstring longText(60000, L'x');  // longer than the old 49,999-unit cut
    std::vector<uint8_t> longBytes(150000);     // and than the 100,000-byte buffer
    for (size_t i = 0; i < longBytes.size(); ++i) longBytes[i] = static_cast<uint8_t>(i * 7);
    struct Case {
        const wchar_t* name;
        std::function<jobject()> value;
        jint type;
        DWORD storedType;
        std::vector<BYTE> storedData;  // as the registry holds it
        std::wstring readBack;         // L"" when nothing may be written
    };
    const Case cases[] = {
        {L"sz", [&] { return str(L"plain"); }, 1, REG_SZ, utf16(std::wstring(L"plain\0", 6)), L"s:plain"},
        {L"long", [&] { return str(longText.c_str()); }, 1, REG_SZ, utf16(longText + L'\0'), L"s:" + longText},
        {L"empty", [&] { return str(L""); }, 1, REG_SZ, utf16(std::wstring(1, L'\0')), L"s:"},
        {L"expand", [&] { return str(L"%PATH%;x"); }, 5, REG_EXPAND_SZ, utf16(std::wstring(L"%PATH%;x\0", 9)), L"e:%PATH%;x"},
        {L"dword", [&] { return boxInteger(env, -2); }, 2, REG_DWORD, {0xFE, 0xFF, 0xFF, 0xFF}, L"i:-2"},
        {L"qword", [&] { return boxLong(env, 0x0123456789LL); }, 6, REG_QWORD, {0x89, 0x67, 0x45, 0x23, 0x01, 0, 0, 0}, L"l:4886718345"},
        {L"multi", [&] { return stringArray({L"x", L"yy"}); }, 3, REG_MULTI_SZ, utf16(std::wstring(L"x\0yy\0\0", 6)), L"a:[x][yy]"},
        {L"none", [&] { return stringArray({}); }, 3, REG_MULTI_SZ, {0, 0}, L"a:"},
        {L"binary", [&] { return bytesToJava(env, longBytes.data(), longBytes.size()); }, 4, REG_BINARY,
         std::vector<BYTE>(longBytes.begin(), longBytes.end()), bytes(longBytes)},
        {L"nobytes", [&] { return bytesToJava(env, "", 0); }, 4, REG_BINARY, {}, L"b:0:2166136261"},
        // Refused: nothing is written.
        {L"hole", [&] { return stringArray({L"a", L"", L"b"}); }, 3, 0, {}, L""},
        {L"type7", [&] { return str(L"x"); }, 7, 0, {}, L""},
        {L"wrongclass", [&] { return boxInteger(env, 1); }, 1, 0, {}, L""},
        {L"null", [&] { return nullptr; }, 1, 0, {}, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name);
        EXPECT_EQ(set(c.name, c.value(), c.type), !c.readBack.empty());
        DWORD type = 0;
        auto data = stored(c.name, &type);
        if (c.readBack.empty()) {
            EXPECT_FALSE(data);
            continue;
        }
        ASSERT_TRUE(data);
        EXPECT_EQ(type, c.storedType);
        EXPECT_TRUE(*data == c.storedData) << data->size() << " bytes stored";
        EXPECT_EQ(describe(get(c.name)), c.readBack);
    }
}

TEST_F(Registry, DataOtherProgramsWroteReadsWithinItsSize)
{
    struct Case {
        DWORD type;
        std::vector<BYTE> data;
        std::wstring read;
    };
    std::vector<uint8_t> big(200000, 0x5A);
    const Case cases[] = {
        {REG_SZ, utf16(L"abc"), L"s:abc"},                                  // no terminator: whole
        {REG_SZ, utf16(std::wstring(L"ab\0\0", 4)), std::wstring(L"s:ab\0", 5)},  // one NUL of two kept
        {REG_EXPAND_SZ, utf16(L"%TEMP%"), L"e:%TEMP%"},
        {REG_MULTI_SZ, utf16(std::wstring(L"a\0\0b\0\0", 6)), L"a:[a][][b]"},   // empty element kept
        {REG_MULTI_SZ, utf16(std::wstring(L"a\0b\0", 4)), L"a:[a][b]"},
        {REG_MULTI_SZ, utf16(std::wstring(1, L'\0')), L"a:"},
        {REG_MULTI_SZ, utf16(L"ab"), L"a:[ab]"},                             // no NUL: stops at the end
        {REG_DWORD, {1, 2}, L"null"},                                        // too short for a number
        {REG_QWORD, {1, 2, 3, 4}, L"null"},
        {REG_BINARY, std::vector<BYTE>(big.begin(), big.end()), bytes(big)},  // above 100,000 bytes
        {REG_NONE, {1}, L"null"},
        {REG_LINK, utf16(L"x"), L"null"},
    };
    unique_hkey key = createKey(HKEY_CURRENT_USER, scratchKey.c_str(), KEY_ALL_ACCESS);
    ASSERT_TRUE(key);
    int index = 0;
    for (const Case& c : cases) {
        const std::wstring name = L"v" + std::to_wstring(index++);
        ASSERT_EQ(::RegSetValueExW(key.get(), name.c_str(), 0, c.type, c.data.data(), static_cast<DWORD>(c.data.size())), 0);
        EXPECT_EQ(describe(get(name.c_str())), c.read) << name;
    }
    EXPECT_EQ(describe(get(L"missing")), L"null");
    ASSERT_EQ(writeString(key.get(), nullptr, L"default"), 0);
    EXPECT_EQ(describe(get(nullptr)), L"s:default");  // null name: the default value
}

TEST_F(Registry, RootCodesOutsideOneToFiveFail)
{
    ASSERT_TRUE(createKey(HKEY_CURRENT_USER, scratchKey.c_str(), KEY_ALL_ACCESS));
    for (jint root : {0, 6, 9, -1}) {
        SCOPED_TRACE(root);
        jstring path = str(scratchKey.c_str());
        EXPECT_FALSE(Java_com_stowline_runtime_installer_platform_win32_Registry_keyExists0(env, nullptr, root, path, 0));
        EXPECT_FALSE(Java_com_stowline_runtime_installer_platform_win32_Registry_createKey0(env, nullptr, root, path, 0));
        EXPECT_FALSE(set(L"v", str(L"x"), 1, root));
        EXPECT_EQ(get(L"v", root), nullptr);
        EXPECT_EQ(Java_com_stowline_runtime_installer_platform_win32_Registry_enumSubKeys0(env, nullptr, root, path, 0), nullptr);
        Java_com_stowline_runtime_installer_platform_win32_Registry_deleteKey0(env, nullptr, root, path, false, 0);
    }
    EXPECT_TRUE(Java_com_stowline_runtime_installer_platform_win32_Registry_keyExists0(env, nullptr, kUser,
                                                                                      str(scratchKey.c_str()), 0));
}

// HKLM\Software is split between the views: the 32-bit view lives under WOW6432Node. Without a
// flag a program reaches the view of its own bitness: the x86 build the 32-bit one.
TEST_F(Registry, ViewFlagsReachTheirOwnView)
{
    const std::wstring path = L"Software\\launcher-tests-views";
    const std::wstring redirected = L"Software\\WOW6432Node\\launcher-tests-views";
    auto cleanUp = [&] {
        for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
            ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), view, 0);
        }
    };
    cleanUp();
    scope_exit atEnd(cleanUp);
    struct Case {
        jint view;
        const wchar_t* seenAs;      // the path that holds it in the 64-bit view
        const wchar_t* absentAs;
    };
    const bool x86 = sizeof(void*) == 4;
    const Case cases[] = {{KEY_WOW64_32KEY, redirected.c_str(), path.c_str()},
                          {KEY_WOW64_64KEY, path.c_str(), redirected.c_str()},
                          {0, x86 ? redirected.c_str() : path.c_str(), x86 ? path.c_str() : redirected.c_str()}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.view);
        ASSERT_TRUE(Java_com_stowline_runtime_installer_platform_win32_Registry_setValue0(
            env, nullptr, 3, str(path.c_str()), str(L"v"), boxInteger(env, c.view), 2, c.view));
        unique_hkey seen = openKey(HKEY_LOCAL_MACHINE, c.seenAs, KEY_READ, KEY_WOW64_64KEY);
        ASSERT_TRUE(seen);
        EXPECT_EQ(readDword(seen.get(), L"v"), static_cast<DWORD>(c.view));
        EXPECT_FALSE(openKey(HKEY_LOCAL_MACHINE, c.absentAs, KEY_READ, KEY_WOW64_64KEY));
        EXPECT_EQ(describe(Java_com_stowline_runtime_installer_platform_win32_Registry_getValue0(
                      env, nullptr, 3, str(path.c_str()), str(L"v"), c.view)),
                  L"i:" + std::to_wstring(c.view));
        Java_com_stowline_runtime_installer_platform_win32_Registry_deleteKey0(env, nullptr, 3, str(path.c_str()), false, c.view);
        EXPECT_FALSE(openKey(HKEY_LOCAL_MACHINE, c.seenAs, KEY_READ, KEY_WOW64_64KEY));
    }
}

TEST_F(Registry, EnumeratesThousandsOfSubkeysAndValues)
{
    unique_hkey key = createKey(HKEY_CURRENT_USER, scratchKey.c_str(), KEY_ALL_ACCESS);
    ASSERT_TRUE(key);
    std::set<std::wstring> names;
    for (int i = 0; i < 3000; ++i) {
        names.insert(L"k" + std::to_wstring(i));
        ASSERT_TRUE(createKey(key.get(), (L"k" + std::to_wstring(i)).c_str(), KEY_READ));
    }
    const std::wstring longName(5000, L'n');  // above the 4,096-unit name buffer
    ASSERT_EQ(writeDword(key.get(), longName.c_str(), 1), 0);
    ASSERT_EQ(writeDword(key.get(), L"short", 2), 0);
    jstring path = str(scratchKey.c_str());
    auto subkeys = texts(Java_com_stowline_runtime_installer_platform_win32_Registry_enumSubKeys0(env, nullptr, kUser, path, 0));
    EXPECT_EQ(std::set<std::wstring>(subkeys.begin(), subkeys.end()), names);
    EXPECT_EQ(subkeys.size(), names.size());
    auto values = texts(Java_com_stowline_runtime_installer_platform_win32_Registry_enumValues0(env, nullptr, kUser, path, 0));
    EXPECT_EQ(std::set<std::wstring>(values.begin(), values.end()), (std::set<std::wstring>{longName, L"short"}));

    jstring leaf = str(scratchPath(L"k7").c_str());
    jobjectArray empty = Java_com_stowline_runtime_installer_platform_win32_Registry_enumSubKeys0(env, nullptr, kUser, leaf, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ((*env)->GetArrayLength(env, empty), 0);
    EXPECT_EQ(Java_com_stowline_runtime_installer_platform_win32_Registry_enumValues0(
                  env, nullptr, kUser, str(scratchPath(L"missing").c_str()), 0),
              nullptr);
}

TEST_F(Registry, DeleteKeyRecursiveOrOnlyWhenEmpty)
{
    for (const wchar_t* sub : {L"a\\b\\c", L"a\\d", L"valued"}) ASSERT_TRUE(createKey(HKEY_CURRENT_USER, scratchPath(sub).c_str(), KEY_READ));
    ASSERT_EQ(writeDword(createKey(HKEY_CURRENT_USER, scratchPath(L"valued").c_str(), KEY_ALL_ACCESS).get(), L"v", 1), 0);
    struct Case {
        const wchar_t* sub;
        bool onlyIfEmpty;
        std::vector<const wchar_t*> gone, kept;
    };
    const Case cases[] = {
        {L"a", true, {}, {L"a", L"a\\b\\c"}},           // has subkeys
        {L"valued", true, {}, {L"valued"}},             // has a value
        {L"a\\b\\c", true, {L"a\\b\\c"}, {L"a\\b"}},    // empty
        {L"a", false, {L"a", L"a\\d"}, {L"valued"}},    // the whole tree
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "delete " << std::string(c.sub, c.sub + wcslen(c.sub)) << " " << c.onlyIfEmpty);
        Java_com_stowline_runtime_installer_platform_win32_Registry_deleteKey0(env, nullptr, kUser, str(scratchPath(c.sub).c_str()),
                                                                              c.onlyIfEmpty, 0);
        for (const wchar_t* sub : c.gone) EXPECT_FALSE(openKey(HKEY_CURRENT_USER, scratchPath(sub).c_str(), KEY_READ));
        for (const wchar_t* sub : c.kept) EXPECT_TRUE(openKey(HKEY_CURRENT_USER, scratchPath(sub).c_str(), KEY_READ));
    }
}

TEST_F(Registry, CreateKeyAndDeleteValue)
{
    // Created with every missing parent, and again when it exists.
    for (int pass = 0; pass < 2; ++pass)
        EXPECT_TRUE(Java_com_stowline_runtime_installer_platform_win32_Registry_createKey0(
            env, nullptr, kUser, str(scratchPath(L"new\\deep").c_str()), 0));
    EXPECT_TRUE(openKey(HKEY_CURRENT_USER, scratchPath(L"new\\deep").c_str(), KEY_READ));

    unique_hkey key = createKey(HKEY_CURRENT_USER, scratchKey.c_str(), KEY_ALL_ACCESS);
    for (const wchar_t* name : {L"", L"gone", L"kept"}) ASSERT_EQ(writeDword(key.get(), name, 1), 0);
    struct Case {
        const wchar_t* path;  // below the scratch key; null: the scratch key
        const wchar_t* name;
        const wchar_t* gone;
    };
    const Case cases[] = {{nullptr, L"gone", L"gone"}, {nullptr, nullptr, L""}, {L"missing", L"kept", nullptr},
                          {nullptr, L"missing", nullptr}};
    for (const Case& c : cases) {
        const std::wstring path = c.path ? scratchPath(c.path) : scratchKey;
        Java_com_stowline_runtime_installer_platform_win32_Registry_deleteValue0(env, nullptr, kUser, str(path.c_str()),
                                                                                str(c.name), 0);
        if (c.gone) {
            EXPECT_FALSE(stored(c.gone, nullptr)) << c.gone[0];
        }
    }
    EXPECT_TRUE(stored(L"kept", nullptr));
    EXPECT_FALSE(openKey(HKEY_CURRENT_USER, scratchPath(L"missing").c_str(), KEY_READ));  // not created by a delete
    Java_com_stowline_runtime_installer_platform_win32_Registry_changeNotifyAssociations0(env, nullptr);
}

// A null or empty path names the root itself; shown on a root mapped to the scratch key.
TEST_F(Registry, DeleteKeyNeverEmptiesARoot)
{
    unique_hkey scratch = createKey(HKEY_CURRENT_USER, scratchKey.c_str(), KEY_ALL_ACCESS);
    ASSERT_TRUE(createKey(scratch.get(), L"child", KEY_READ));
    ASSERT_EQ(::RegOverridePredefKey(HKEY_CURRENT_CONFIG, scratch.get()), 0);
    scope_exit restore([] { ::RegOverridePredefKey(HKEY_CURRENT_CONFIG, nullptr); });
    ASSERT_TRUE(openKey(HKEY_CURRENT_CONFIG, L"child", KEY_READ)) << "the override must reach the scratch key";
    for (jstring path : {static_cast<jstring>(nullptr), str(L"")})
        Java_com_stowline_runtime_installer_platform_win32_Registry_deleteKey0(env, nullptr, 5, path, false, 0);
    EXPECT_TRUE(openKey(HKEY_CURRENT_USER, scratchPath(L"child").c_str(), KEY_READ));
}

TEST_F(Registry, FailedWritePrintsItsStatus)
{
    const std::wstring tooLong(20000, L'v');  // value names end at 16,383 units
    CapturedOutput output(scratchFile(L"out.txt"));
    EXPECT_FALSE(set(tooLong.c_str(), str(L"x"), 1));
    const std::string printed = output.finish();
    EXPECT_EQ(printed.rfind("no success ", 0), 0u) << printed;
    EXPECT_NE(printed.find('\n'), std::string::npos);
}

TEST_F(Registry, SaveAndRestoreAHive)
{
    unique_hkey key = createKey(HKEY_CURRENT_USER, scratchPath(L"saved").c_str(), KEY_ALL_ACCESS);
    ASSERT_EQ(writeDword(key.get(), L"v", 7), 0);
    const std::wstring hive = scratchFile(L"saved.hive");
    auto save = [&](const wchar_t* sub, const std::wstring& file) {
        return Java_com_stowline_runtime_installer_platform_win32_Registry_saveKey0(env, nullptr, kUser, str(scratchPath(sub).c_str()),
                                                                                   str(file.c_str()), 0);
    };
    EXPECT_TRUE(save(L"saved", hive));
    WIN32_FILE_ATTRIBUTE_DATA file{};
    ASSERT_TRUE(::GetFileAttributesExW(hive.c_str(), GetFileExInfoStandard, &file));
    EXPECT_GT(file.nFileSizeLow, 0u);
    const std::wstring other = scratchFile(L"other.hive");
    EXPECT_FALSE(save(L"nokey", other));  // a key that does not open: no file
    EXPECT_EQ(::GetFileAttributesW(other.c_str()), INVALID_FILE_ATTRIBUTES);
    // Wine's RegRestoreKeyW restores nothing and answers success for any named file, so only the
    // refusals before and in the call can be shown here.
    EXPECT_FALSE(Java_com_stowline_runtime_installer_platform_win32_Registry_restoreKey0(
        env, nullptr, 9, str(scratchPath(L"restored").c_str()), str(hive.c_str()), 0));
    EXPECT_FALSE(Java_com_stowline_runtime_installer_platform_win32_Registry_restoreKey0(
        env, nullptr, kUser, str(scratchPath(L"restored").c_str()), nullptr, 0));
}

}  // namespace
