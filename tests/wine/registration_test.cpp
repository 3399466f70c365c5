// Native registration against a scripted JNI table: which classes get registered, in which order,
// with which functions, and the error texts when a class, an export or RegisterNatives fails.
#include "natives/registration.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <map>
#include <set>
#include <utility>
#include <string>
#include <vector>

#include "core/jni_names.h"
#include "natives/descriptor_check.h"

// Exported by this test program so that GetProcAddress on it finds them like the launcher's own.
extern "C" {
JNIEXPORT void JNICALL Java_test_Alpha_one(JNIEnv*, jclass) {}
JNIEXPORT void JNICALL Java_test_Beta_two(JNIEnv*, jclass) {}
JNIEXPORT jint JNICALL Java_test_Beta_three(JNIEnv*, jclass, jint value) { return value; }
JNIEXPORT void JNICALL Java_test_Delta_four(JNIEnv*, jclass) {}
JNIEXPORT jlong JNICALL Java_test_Outer_00024Inner_five(JNIEnv*, jobject, jlong value) { return value; }
}

// The descriptor check (natives/descriptor_check.h) decides at compile time: its cases are
// static_asserts, and a wrong verdict stops the build of this file.
namespace descriptor_shapes {
using descriptor_check::follows;
jint JNICALL intOfLong(JNIEnv*, jclass, jlong) noexcept;
void JNICALL none(JNIEnv*, jobject) noexcept;
jboolean JNICALL flags(JNIEnv*, jclass, jboolean, jbyte, jchar, jshort) noexcept;
jobject JNICALL arrays(JNIEnv*, jclass, jintArray, jobjectArray, jstring) noexcept;
jint JNICALL withBool(JNIEnv*, jclass, bool) noexcept;
jint JNICALL withLong(JNIEnv*, jclass, long) noexcept;
jint JNICALL doubles(JNIEnv*, jclass, jfloat, jdouble) noexcept;

static_assert(follows(&intOfLong, "(J)I"));
static_assert(!follows(&intOfLong, "(I)I"));       // a jint pushed where the function pops a jlong
static_assert(!follows(&intOfLong, "(JJ)I"));      // one parameter more in the descriptor
static_assert(!follows(&intOfLong, "()I"));        // one fewer
static_assert(!follows(&intOfLong, "(J)J"));       // the result
static_assert(!follows(&intOfLong, "(J)V"));
static_assert(!follows(&intOfLong, "(J)I;"));      // text after the result
static_assert(!follows(&intOfLong, "J)I"));
static_assert(!follows(&intOfLong, "(J"));
static_assert(follows(&none, "()V"));
static_assert(!follows(&none, "(V)V"));            // void is no parameter
static_assert(!follows(&none, "()"));
static_assert(follows(&flags, "(ZBCS)Z"));
static_assert(!follows(&flags, "(BZCS)Z"));        // jboolean and jbyte are told apart
static_assert(!follows(&flags, "(ZBSC)Z"));        // so are jchar and jshort
static_assert(follows(&arrays, "([I[[Ljava/lang/String;Ljava/lang/String;)Ljava/lang/Object;"));
static_assert(follows(&arrays, "([Z[JLx;)[B"));    // every reference kind is one C type
static_assert(!follows(&arrays, "(I[[Ljava/lang/String;Ljava/lang/String;)Ljava/lang/Object;"));
static_assert(!follows(&arrays, "([I[Ljava/lang/String[Ljava/lang/String;)Ljava/lang/Object;"));  // ';' missing: one reference
static_assert(!follows(&arrays, "([V[II)Ljava/lang/Object;"));  // no array of void
static_assert(!follows(&arrays, "([I[ILjava/lang/String)Ljava/lang/Object;"));  // unterminated class name
static_assert(!follows(&withBool, "(Z)I"));        // bool is not jboolean
static_assert(!follows(&withLong, "(I)I"));        // long is not jint
static_assert(follows(&doubles, "(FD)I"));
static_assert(!follows(&doubles, "(DF)I"));

// Only a JNICALL noexcept function is a native: on x86 a cdecl one leaves the arguments on the
// stack for the VM to pop, and an exception would unwind through the VM's frames.
jint cdeclNative(JNIEnv*, jclass) noexcept;
jint JNICALL throwing(JNIEnv*, jclass);
template <typename F, typename = decltype(follows(std::declval<F>(), ""))>
constexpr bool isNative(int) { return true; }
template <typename F>
constexpr bool isNative(long) { return false; }
static_assert(isNative<decltype(&none)>(0));
static_assert(!isNative<decltype(&throwing)>(0));
static_assert(isNative<decltype(&cdeclNative)>(0) == (sizeof(void*) == 8));  // JNICALL is empty on x64
}  // namespace descriptor_shapes

namespace {

struct Registered {
    std::string className;
    std::vector<std::string> names;
    std::vector<void*> functions;
};

// What the scripted VM knows and what it saw.
struct FakeVm {
    std::set<std::string> missing;
    std::map<std::string, jint> registerResult;
    std::vector<Registered> registered;
    std::vector<std::string> forNameCalls;
    jobject lastLoader = nullptr;
    bool lastInitialize = true;
    bool pending = false;
    std::map<std::string, int> handles;
    std::vector<std::string> names;
    std::vector<std::wstring> errors;
};

FakeVm* vm = nullptr;

jobject handleFor(const std::string& name)
{
    auto found = vm->handles.find(name);
    if (found == vm->handles.end()) {
        vm->names.push_back(name);
        found = vm->handles.emplace(name, static_cast<int>(vm->names.size())).first;
    }
    return reinterpret_cast<jobject>(static_cast<intptr_t>(found->second));
}

std::string nameOf(jobject handle) { return vm->names.at(static_cast<size_t>(reinterpret_cast<intptr_t>(handle)) - 1); }

jclass JNICALL findClass(JNIEnv*, const char* name)
{
    if (vm->missing.count(name)) {
        vm->pending = true;
        return nullptr;
    }
    return handleFor(name);
}

jint JNICALL registerNativesCall(JNIEnv*, jclass owner, const JNINativeMethod* methods, jint count)
{
    Registered entry;
    entry.className = nameOf(owner);
    for (jint i = 0; i < count; ++i) {
        entry.names.push_back(methods[i].name);
        entry.functions.push_back(methods[i].fnPtr);
    }
    vm->registered.push_back(entry);
    auto result = vm->registerResult.find(entry.className);
    return result == vm->registerResult.end() ? JNI_OK : result->second;
}

jstring JNICALL newStringUtf(JNIEnv*, const char* text) { return handleFor(std::string("string:") + text); }

jobject JNICALL callStaticObjectA(JNIEnv*, jclass, jmethodID, const jvalue* arguments)
{
    std::string name = nameOf(arguments[0].l).substr(7);
    vm->forNameCalls.push_back(name);
    vm->lastInitialize = arguments[1].z != 0;
    vm->lastLoader = arguments[2].l;
    if (vm->missing.count(name)) {
        vm->pending = true;
        return nullptr;
    }
    return handleFor(name);
}

jboolean JNICALL exceptionCheck(JNIEnv*) { return vm->pending ? JNI_TRUE : JNI_FALSE; }
void JNICALL exceptionClear(JNIEnv*) { vm->pending = false; }
void JNICALL deleteLocalRef(JNIEnv*, jobject) {}

void collectError(const wchar_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    wchar_t text[1024];
    _vsnwprintf(text, 1023, format, arguments);
    text[1023] = L'\0';
    va_end(arguments);
    vm->errors.push_back(text);
}

class Registration : public ::testing::Test {
protected:
    void SetUp() override
    {
        vm = &state;
        table.FindClass = findClass;
        table.RegisterNatives = registerNativesCall;
        table.NewStringUTF = newStringUtf;
        table.CallStaticObjectMethodA = callStaticObjectA;
        table.ExceptionCheck = exceptionCheck;
        table.ExceptionClear = exceptionClear;
        table.DeleteLocalRef = deleteLocalRef;
        env = &tablePointer;
    }
    void TearDown() override { vm = nullptr; }

    bool run(const std::vector<NativeClass>& classes, const ClassFinder& finder = ClassFinder{})
    {
        std::vector<const NativeClass*> order;
        for (const NativeClass& table : classes) order.push_back(&table);
        return registerClasses(env, ::GetModuleHandleW(nullptr), order.data(), order.size(), finder, collectError);
    }

    FakeVm state;
    JNINativeInterface_ table{};
    const JNINativeInterface_* tablePointer = &table;
    JNIEnv* env = nullptr;
};

const NativeMethodName kAlpha[] = {{"one", "()V"}};
const NativeMethodName kBeta[] = {{"two", "()V"}, {"three", "(I)I"}};
const NativeMethodName kBetaWithGap[] = {{"two", "()V"}, {"absent", "()V"}, {"three", "(I)I"}};
const NativeMethodName kDelta[] = {{"four", "()V"}};
const NativeMethodName kInner[] = {{"five", "(J)J"}};

const std::vector<NativeClass> kTestTable = {
    {"test/Alpha", kAlpha, 1}, {"test/Beta", kBeta, 2}, {"test/Gamma", kDelta, 1}, {"test/Delta", kDelta, 1}};

TEST_F(Registration, AllClassesInOrderWithTheirExportedFunctions)
{
    std::vector<NativeClass> present = {kTestTable[0], kTestTable[1], kTestTable[3]};
    EXPECT_TRUE(run(present));
    ASSERT_EQ(state.registered.size(), 3u);
    EXPECT_EQ(state.registered[1].className, "test/Beta");
    EXPECT_EQ(state.registered[1].names, (std::vector<std::string>{"two", "three"}));
    EXPECT_EQ(state.registered[1].functions[1], reinterpret_cast<void*>(&Java_test_Beta_three));
    EXPECT_TRUE(state.errors.empty());
}

TEST_F(Registration, AMissingClassStopsAfterTheEarlierOnes)
{
    state.missing.insert("test/Gamma");
    EXPECT_FALSE(run(kTestTable));
    ASSERT_EQ(state.registered.size(), 2u);
    EXPECT_EQ(state.registered[0].className, "test/Alpha");
    EXPECT_EQ(state.registered[1].className, "test/Beta");
    EXPECT_EQ(state.errors, std::vector<std::wstring>{L"could not load class test/Gamma"});
    EXPECT_FALSE(state.pending);  // the lookup's exception does not leak into later JNI calls
}

TEST_F(Registration, AMissingExportRegistersNothingOfItsClass)
{
    std::vector<NativeClass> classes = {kTestTable[0], {"test/Beta", kBetaWithGap, 3}, kTestTable[3]};
    EXPECT_FALSE(run(classes));
    ASSERT_EQ(state.registered.size(), 1u);
    EXPECT_EQ(state.errors, std::vector<std::wstring>{L"did not find Java_test_Beta_absent"});
}

TEST_F(Registration, ARefusedRegistrationReportsItsResult)
{
    state.registerResult["test/Beta"] = -5;
    EXPECT_FALSE(run(kTestTable));
    EXPECT_EQ(state.registered.size(), 2u);
    EXPECT_EQ(state.errors, std::vector<std::wstring>{L"register test/Beta failed -5"});
}

TEST_F(Registration, LoaderClassesAreFoundByDottedNameWithoutInitialising)
{
    ClassFinder finder;
    finder.loader = handleFor("loader");
    finder.classClass = handleFor("java/lang/Class");
    finder.forName = reinterpret_cast<jmethodID>(1);
    EXPECT_TRUE(run({{"test.Outer$Inner", kInner, 1}}, finder));
    EXPECT_EQ(state.forNameCalls, std::vector<std::string>{"test.Outer$Inner"});
    EXPECT_EQ(state.lastLoader, finder.loader);
    EXPECT_FALSE(state.lastInitialize);
    ASSERT_EQ(state.registered.size(), 1u);
    EXPECT_EQ(state.registered[0].functions[0], reinterpret_cast<void*>(&Java_test_Outer_00024Inner_five));

    state.missing.insert("test.Outer$Inner");
    EXPECT_FALSE(run({{"test.Outer$Inner", kInner, 1}}, finder));
    EXPECT_EQ(state.errors, std::vector<std::wstring>{L"could not load class test.Outer$Inner"});
    EXPECT_FALSE(state.pending);
}

// Every row of both tables, in order (the class lists of registration.cpp and each class file's rows).
std::vector<std::pair<const NativeClass*, const NativeMethodName*>> everyRow()
{
    std::vector<std::pair<const NativeClass*, const NativeMethodName*>> rows;
    for (const auto& [classes, count] : {std::pair{kPlatformClasses, kPlatformClassCount},
                                         std::pair{kWindowBorderClasses, kWindowBorderClassCount}})
        for (size_t i = 0; i < count; ++i)
            for (size_t m = 0; m < classes[i]->methodCount; ++m) rows.emplace_back(classes[i], &classes[i]->methods[m]);
    return rows;
}

TEST(RegistrationTable, PlatformClassesBySlashNameWindowBorderClassesByDottedName)
{
    for (size_t i = 0; i < kPlatformClassCount; ++i)
        EXPECT_EQ(std::string(kPlatformClasses[i]->name).find('.'), std::string::npos) << kPlatformClasses[i]->name;
    for (size_t i = 0; i < kWindowBorderClassCount; ++i)
        EXPECT_EQ(std::string(kWindowBorderClasses[i]->name).find('/'), std::string::npos) << kWindowBorderClasses[i]->name;
    EXPECT_EQ(std::string(kPlatformClasses[0]->name), "com/stowline/runtime/installer/platform/win32/FileVersion");
    EXPECT_EQ(std::string(kWindowBorderClasses[0]->name),
              "com.stowline.runtime.flatlaf.FlatWindowsNativeWindowBorder$WndProc");
    std::set<std::string> classNames;
    for (const auto& [table, row] : everyRow()) {
        classNames.insert(table->name);
        EXPECT_GT(table->methodCount, 0u) << table->name;
    }
    EXPECT_EQ(classNames.size(), kPlatformClassCount + kWindowBorderClassCount);  // no class listed twice
    // This program links the natives as the launcher does: every row's function is exported here too.
    HMODULE self = ::GetModuleHandleW(nullptr);
    for (const auto& [table, row] : everyRow()) {
        const std::string name = jniExportName(table->name, row->name);
        EXPECT_NE(::GetProcAddress(self, name.c_str()), nullptr) << name;
    }
}

// The launcher itself, not the test program: its Java_ exports are exactly the rows of both
// tables (no two rows share a name, no native is exported without a row), with the narrow shortcut
// variant as the one export that nothing binds, and the two registration entry points.
TEST(RegistrationTable, TheLauncherExportsExactlyTheRows)
{
    wchar_t path[MAX_PATH];
    DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    ASSERT_GT(length, 0u);
    std::wstring build(path, length);
    for (int up = 0; up < 3; ++up) build.resize(build.find_last_of(L'\\'));  // ...\tests\wine\x.exe -> build
    const std::wstring launcher = build + L"\\windows\\launcher.exe";
    HMODULE module = ::LoadLibraryExW(launcher.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(module, nullptr) << "build the launcher target";
    std::set<std::string> expected{"Java_com_stowline_runtime_installer_platform_win32_ShellLink_create0"};
    const auto rows = everyRow();
    for (const auto& [table, row] : rows) expected.insert(jniExportName(table->name, row->name));
    EXPECT_EQ(expected.size(), rows.size() + 1);  // no two rows share an exported name
    // Undecorated: an x86 JNICALL function is exported as "name@bytes" unless the linker strips it,
    // and then neither the VM nor the table finds it. No export carries a decoration or a prefix.
    const auto* base = reinterpret_cast<const BYTE*>(module);
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(directory.VirtualAddress, 0u);
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    const auto* nameTable = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    std::set<std::string> natives, entries;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        const std::string name = reinterpret_cast<const char*>(base + nameTable[i]);
        EXPECT_EQ(name.find('@'), std::string::npos) << name;
        EXPECT_NE(name.front(), '_') << name;
        (name.rfind("Java_", 0) == 0 ? natives : entries).insert(name);
    }
    EXPECT_EQ(natives, expected);
    EXPECT_EQ(entries.count("registerNatives"), 1u);
    EXPECT_EQ(entries.count("registerNativesFlatlaf"), 1u);
    ::FreeLibrary(module);
}

}  // namespace
