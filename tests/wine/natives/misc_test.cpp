// Misc natives on real child processes and their windows. Cases with visible windows need a
// display (Xvfb); without one they are skipped, never passed.
#include "natives/process/misc.h"

#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <fstream>
#include <string>
#include <vector>

#include "native_fixture.h"
#include "native_output.h"
#include "natives/jni_support.h"
#include "natives/registration.h"
#include "window_child.h"
#include "windows/base/wide_text.h"

namespace {

constexpr char kMisc[] = "com/stowline/runtime/installer/platform/win32/Misc";
constexpr char kWindowInfo[] = "com/stowline/api/windows/WindowInfo";
// A process id no process has (ids are multiples of four, far below this).
constexpr jint kMissingId = 0x3FFFFFFC;
// Stands for the child's id in the tables.
constexpr jint kChild = -1;

bool contains(const std::vector<std::wstring>& list, const std::wstring& entry)
{
    return std::find(list.begin(), list.end(), entry) != list.end();
}

std::string utf8(const std::wstring& text) { return wideToNarrow(text, CP_UTF8); }

// Activation across processes arrives as messages: pump this thread's until window is in front
// or ten seconds have passed.
bool cameToFront(HWND window)
{
    for (int i = 0; i < 500 && ::GetForegroundWindow() != window; ++i) {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
        ::Sleep(20);
    }
    return ::GetForegroundWindow() == window;
}

std::wstring entryOf(DWORD id, const std::wstring& path) { return std::to_wstring(id) + L" " + path; }

class Misc : public NativeTest {
protected:
    jint terminate(const std::vector<jint>& ids, bool force, jint timeout)
    {
        LocalRef<jintArray> array(env, intsToJava(env, ids));
        return Java_com_stowline_runtime_installer_platform_win32_Misc_terminateProcesses0(
            env, nullptr, array.get(), force ? JNI_TRUE : JNI_FALSE, timeout);
    }
    std::vector<jint> idsFor(const std::vector<jint>& row, DWORD child)
    {
        std::vector<jint> ids = row;
        for (jint& id : ids)
            if (id == kChild) id = static_cast<jint>(child);
        return ids;
    }
    std::wstring title(DWORD id)
    {
        return text(Java_com_stowline_runtime_installer_platform_win32_Misc_getWindowTitle0(env, nullptr, static_cast<jint>(id)));
    }
    jobjectArray topLevelWindows(const char* infoClass, DWORD id)
    {
        jclass type = infoClass ? (*env)->FindClass(env, infoClass) : nullptr;
        return Java_com_stowline_runtime_installer_platform_win32_Misc_getTopLevelWindows0(env, nullptr, type,
                                                                                           static_cast<jint>(id));
    }
    // The report lines of a test VM made anew whose main runs script, with getTopLevelWindows0 bound.
    std::vector<std::string> scriptedReport(const std::string& script)
    {
        const std::wstring file = scratchFile(L"script.txt");
        std::ofstream(file.c_str(), std::ios::binary) << script;
        (*vm)->DestroyJavaVM(vm);
        vm = nullptr;
        ::SetEnvironmentVariableW(L"TEST_VM_SCRIPT", file.c_str());
        auto create = reinterpret_cast<JniCreateJavaVMFn>(
            reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"jvm.dll"), "JNI_CreateJavaVM")));
        JavaVMInitArgs args{JNI_VERSION_1_2, 0, nullptr, JNI_TRUE};
        if (create(&vm, reinterpret_cast<void**>(&env), &args) != JNI_OK) return {};
        JNINativeMethod method{const_cast<char*>("getTopLevelWindows0"),
                               const_cast<char*>("(Ljava/lang/Class;I)[Lcom/stowline/api/windows/WindowInfo;"),
                               reinterpret_cast<void*>(&Java_com_stowline_runtime_installer_platform_win32_Misc_getTopLevelWindows0)};
        (*env)->RegisterNatives(env, (*env)->FindClass(env, kMisc), &method, 1);
        jclass launcher = (*env)->FindClass(env, "com/stowline/runtime/launcher/WinLauncher");
        jobjectArray arguments = (*env)->NewObjectArray(env, 0, (*env)->FindClass(env, "java/lang/String"), nullptr);
        (*env)->CallStaticVoidMethod(env, launcher, (*env)->GetStaticMethodID(env, launcher, "main", "([Ljava/lang/String;)V"),
                                     arguments);
        return reportLines();
    }
};

TEST_F(Misc, TerminateByForce)
{
    struct Row {
        const char* name;
        std::vector<jint> ids;
        jint status;
    };
    const Row rows[] = {
        {"nothing to end", {}, 1},
        {"the child", {kChild}, 1},
        {"process id 0", {0}, 0},
        {"a missing process", {kMissingId}, 0},
        {"a missing process does not spare the child", {kMissingId, kChild}, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto child = startWindowChild(L"none");
        ASSERT_TRUE(child);
        const std::vector<jint> ids = idsFor(row.ids, child->id);
        EXPECT_EQ(terminate(ids, true, 0), row.status);
        const bool listed = std::find(ids.begin(), ids.end(), static_cast<jint>(child->id)) != ids.end();
        EXPECT_EQ(child->exitCodeWithin(listed ? 10000 : 0), listed ? 0u : STILL_ACTIVE);
    }
}

TEST_F(Misc, ProcessesWithoutWindows)
{
    // Ending gently fails before any wait: the process is neither closed nor waited for.
    struct Row {
        const char* name;
        std::vector<jint> ids;
        jint status;
    };
    const Row rows[] = {
        {"nothing to wait for", {}, 2},
        {"a child without windows", {kChild}, 0},
        {"a missing process", {kMissingId}, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto child = startWindowChild(L"none");
        ASSERT_TRUE(child);
        EXPECT_EQ(terminate(idsFor(row.ids, child->id), false, 60000), row.status);
        EXPECT_TRUE(child->running());
        if (row.ids.empty()) continue;
        // No title is the empty text, not null; no window is no array.
        const jint id = idsFor(row.ids, child->id)[0];
        jstring title = Java_com_stowline_runtime_installer_platform_win32_Misc_getWindowTitle0(env, nullptr, id);
        ASSERT_NE(title, nullptr);
        EXPECT_EQ(text(title), L"");
        EXPECT_EQ(topLevelWindows(kWindowInfo, static_cast<DWORD>(id)), nullptr);
    }
}

TEST_F(Misc, TerminateGentlyByClosingWindows)
{
    SKIP_WITHOUT_DISPLAY();
    struct Row {
        const wchar_t* mode;
        size_t copies;  // the child's id listed this many times
        jint timeout;
        jint status;
        bool closed;  // the child ended on WM_CLOSE
    };
    const Row rows[] = {
        {L"titled", 1, 20000, 1, true},
        {L"untitled", 1, 20000, 1, true},
        {L"stubborn", 1, 300, 3, false},
        {L"hidden", 1, 20000, 0, false},
        {L"titled", 64, 20000, 1, true},
        // More ids than one wait takes: the close requests went out, the wait fails.
        {L"titled", 65, 20000, 2, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << utf8(row.mode) << " x" << row.copies);
        auto child = startWindowChild(row.mode);
        ASSERT_TRUE(child);
        EXPECT_EQ(terminate(std::vector<jint>(row.copies, static_cast<jint>(child->id)), false, row.timeout), row.status);
        EXPECT_EQ(child->exitCodeWithin(row.closed ? 20000 : 0), row.closed ? 0u : STILL_ACTIVE);
    }
}

TEST_F(Misc, WindowTitlesAndTopLevelWindows)
{
    SKIP_WITHOUT_DISPLAY();
    auto titled = startWindowChild(L"titled", L"Setup \u00e9t\u00e9");
    auto untitled = startWindowChild(L"untitled");
    ASSERT_TRUE(titled && untitled);
    EXPECT_EQ(title(titled->id), L"Setup \u00e9t\u00e9");

    // A visible window without a title takes a slot but gets no object.
    EXPECT_EQ(texts(topLevelWindows(kWindowInfo, untitled->id)), std::vector<std::wstring>{L"<null>"});
    // No class, or a class without the four-argument constructor: null.
    EXPECT_EQ(topLevelWindows(nullptr, titled->id), nullptr);
    CapturedOutput errors(scratchFile(L"errors.txt"), 2);
    EXPECT_EQ(topLevelWindows("java/lang/Integer", titled->id), nullptr);
    EXPECT_EQ(errors.finish(), "window info constructor not found");

    HWND window = ::FindWindowW(L"window_child", L"Setup \u00e9t\u00e9");
    ASSERT_NE(window, nullptr);
    const LONG style = static_cast<LONG>(::GetWindowLongPtrW(window, GWL_STYLE));
    const std::vector<std::string> report = scriptedReport(
        std::string("main call ") + kMisc + " getTopLevelWindows0 (Ljava/lang/Class;I)[L" + kWindowInfo + "; " +
        kWindowInfo + " " + std::to_string(titled->id) + "\n");
    const std::string expected = std::string("result ") + kWindowInfo + "[1] {" + kWindowInfo + "(long " +
                                 std::to_string(reinterpret_cast<intptr_t>(window)) + ", int " + std::to_string(style) +
                                 ", \"window_child\", \"Setup \u00e9t\u00e9\")}";
    EXPECT_NE(std::find(report.begin(), report.end(), expected), report.end()) << expected;
}

TEST_F(Misc, ForegroundAndSettingChange)
{
    SKIP_WITHOUT_DISPLAY();
    auto child = startWindowChild(L"titled", L"foreground child");
    ASSERT_TRUE(child);
    HWND window = ::FindWindowW(L"window_child", L"foreground child");
    ASSERT_NE(window, nullptr);

    ::ShowWindow(window, SW_MINIMIZE);
    ASSERT_TRUE(::IsIconic(window));
    Java_com_stowline_runtime_installer_platform_win32_Misc_setForegroundWindow0(env, nullptr, handleToJava(window));
    EXPECT_FALSE(::IsIconic(window));
    EXPECT_TRUE(cameToFront(window));

    // The broadcast reaches the child's window with the "Environment" text, which renames it.
    Java_com_stowline_runtime_installer_platform_win32_Misc_broadcastSettingChange0(env, nullptr);
    wchar_t renamed[64] = L"";
    ::GetWindowTextW(window, renamed, 64);
    EXPECT_STREQ(renamed, L"environment changed");

    // toFront0 raises this process's own visible window over the child's.
    HWND own = ::CreateWindowExW(0, L"STATIC", L"own window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 100, nullptr,
                                 nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(own, nullptr);
    Java_com_stowline_runtime_installer_platform_win32_Misc_setForegroundWindow0(env, nullptr, handleToJava(window));
    ASSERT_TRUE(cameToFront(window));
    Java_com_stowline_runtime_installer_platform_win32_Misc_toFront0(env, nullptr);
    EXPECT_TRUE(cameToFront(own));
    ::DestroyWindow(own);
}

TEST_F(Misc, RunningModules)
{
    auto child = startWindowChild(L"none");
    // A program run from a ".tmp" file is still listed under that file.
    const std::wstring copy = scratchFile(L"child.tmp");
    ASSERT_TRUE(::CopyFileW(windowChildPath().c_str(), copy.c_str(), FALSE));
    auto tmpChild = startWindowChild(L"none", L"", copy);
    ASSERT_TRUE(child && tmpChild);
    const std::vector<std::wstring> expected = {entryOf(::GetCurrentProcessId(), moduleFileName()),
                                                entryOf(child->id, windowChildPath()), entryOf(tmpChild->id, copy)};

    for (jboolean debug : {JNI_FALSE, JNI_TRUE}) {
        SCOPED_TRACE(debug ? "debug privilege off" : "debug privilege on");
        const std::vector<std::wstring> entries =
            texts(Java_com_stowline_runtime_installer_platform_win32_Misc_getRunningModules0(env, nullptr, debug));
        for (const std::wstring& entry : expected) EXPECT_TRUE(contains(entries, entry)) << utf8(entry);
    }
    // psapi.dll is loaded for the call only.
    EXPECT_EQ(::GetModuleHandleW(L"psapi.dll"), nullptr);

    // A suspended ".tmp" program has no module list yet: its image name is kept.
    const std::wstring suspendedCopy = scratchFile(L"suspended.tmp");
    ASSERT_TRUE(::CopyFileW(windowChildPath().c_str(), suspendedCopy.c_str(), FALSE));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created{};
    std::wstring line = L"\"" + suspendedCopy + L"\" none";
    ASSERT_TRUE(::CreateProcessW(suspendedCopy.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                                 nullptr, &startup, &created));
    unique_handle suspended(created.hProcess), suspendedThread(created.hThread);
    const std::vector<std::wstring> entries =
        texts(Java_com_stowline_runtime_installer_platform_win32_Misc_getRunningModules0(env, nullptr, JNI_FALSE));
    ::TerminateProcess(suspended.get(), 9);
    EXPECT_TRUE(contains(entries, entryOf(created.dwProcessId, suspendedCopy))) << utf8(suspendedCopy);

    const std::vector<std::wstring> fallback = toolHelpModules();
    for (const std::wstring& entry : expected) EXPECT_TRUE(contains(fallback, entry)) << utf8(entry);
}

// The formats of the registration's error lines, and the first text argument of each.
std::vector<std::wstring> registrationLines;

void collectRegistrationLine(const wchar_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    registrationLines.push_back(std::wstring(format) + L" " + narrowToWide(va_arg(arguments, const char*), CP_UTF8));
    va_end(arguments);
}

TEST_F(Misc, ExtensionFunctionThatTheHelperLacks)
{
    // registerNatives names the function that takes the extension's error lines.
    registerNatives(env, ::GetModuleHandleW(nullptr), collectRegistrationLine);
    registrationLines.clear();
    EXPECT_FALSE(Java_com_stowline_runtime_installer_platform_win32_Misc_registerExtensionFunctions0(
        env, nullptr, nullptr, str(L"registerNoSuchExtension")));
    EXPECT_FALSE(Java_com_stowline_runtime_installer_platform_win32_Misc_registerExtensionFunctions0(env, nullptr,
                                                                                                    nullptr, nullptr));
    EXPECT_EQ(registrationLines,
              std::vector<std::wstring>{L"did not find register natives extension in helper dll (%S) registerNoSuchExtension"});
    registerNatives(env, ::GetModuleHandleW(nullptr), nullptr);
}

TEST_F(Misc, EnvironmentPairs)
{
    ASSERT_TRUE(::SetEnvironmentVariableW(L"MISC_TEST_PAIR", L"a=b c"));
    ASSERT_TRUE(::SetEnvironmentVariableW(L"MISC_TEST_EMPTY", L""));
    const std::vector<std::wstring> pairs =
        texts(Java_com_stowline_runtime_installer_platform_win32_Misc_getEnvVarPairs0(env, nullptr));
    ::SetEnvironmentVariableW(L"MISC_TEST_PAIR", nullptr);
    ::SetEnvironmentVariableW(L"MISC_TEST_EMPTY", nullptr);
    EXPECT_TRUE(contains(pairs, L"MISC_TEST_PAIR=a=b c"));
    EXPECT_TRUE(contains(pairs, L"MISC_TEST_EMPTY="));
    EXPECT_FALSE(contains(pairs, L""));
}

TEST_F(Misc, SystemFigures)
{
    struct Row {
        std::wstring directory;
        bool found;
    };
    const Row rows[] = {{scratchDirectory, true}, {scratchFile(L"missing"), false}, {L"Q:\\no drive\\", false}};
    for (const Row& row : rows) {
        LocalRef<jstring> directory(env, str(row.directory.c_str()));
        const jlong free = Java_com_stowline_runtime_installer_platform_win32_Misc_getFreeDiskSpace0(env, nullptr, directory.get());
        if (row.found)
            EXPECT_GT(free, 0) << utf8(row.directory);
        else
            EXPECT_EQ(free, -1) << utf8(row.directory);
    }

    MEMORYSTATUSEX memory{};
    memory.dwLength = sizeof memory;
    ASSERT_TRUE(::GlobalMemoryStatusEx(&memory));
    EXPECT_EQ(Java_com_stowline_runtime_installer_platform_win32_Misc_getPhysicalMemory0(env, nullptr),
              static_cast<jlong>(memory.ullTotalPhys));

    auto child = startWindowChild(L"none");
    ASSERT_TRUE(child);
    EXPECT_EQ(Java_com_stowline_runtime_installer_platform_win32_Misc_getPidFromHandle0(env, nullptr, handleToJava(child->process.get())),
              static_cast<jint>(child->id));
    EXPECT_EQ(Java_com_stowline_runtime_installer_platform_win32_Misc_getPidFromHandle0(env, nullptr, handleToJava(::GetCurrentProcess())),
              static_cast<jint>(::GetCurrentProcessId()));
    EXPECT_EQ(Java_com_stowline_runtime_installer_platform_win32_Misc_getPidFromHandle0(env, nullptr, 0), 0);
}

TEST_F(Misc, MoveAtReboot)
{
    // The registrations land in the session manager's list; it is put back as it was.
    const wchar_t* manager = L"System\\CurrentControlSet\\Control\\Session Manager";
    const wchar_t* valueName = L"PendingFileRenameOperations";
    unique_hkey key;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, manager, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.put()), ERROR_SUCCESS);
    auto read = [&](std::vector<BYTE>& data, DWORD& type) {
        DWORD size = 0;
        if (::RegQueryValueExW(key.get(), valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
        data.resize(size);
        return ::RegQueryValueExW(key.get(), valueName, nullptr, &type, data.data(), &size) == ERROR_SUCCESS;
    };
    std::vector<BYTE> before;
    DWORD beforeType = REG_MULTI_SZ;
    const bool existed = read(before, beforeType);

    const std::wstring source = scratchFile(L"pending.txt");
    const std::wstring target = scratchFile(L"renamed.txt");
    std::ofstream(source.c_str()) << "x";
    LocalRef<jstring> from(env, str(source.c_str()));
    LocalRef<jstring> to(env, str(target.c_str()));
    const bool moved = Java_com_stowline_runtime_installer_platform_win32_Misc_moveWithDelayUntilReboot0(env, nullptr, from.get(), to.get());
    const bool deleted = Java_com_stowline_runtime_installer_platform_win32_Misc_moveWithDelayUntilReboot0(env, nullptr, from.get(), nullptr);
    std::vector<BYTE> after;
    DWORD afterType = 0;
    const bool listed = read(after, afterType);
    if (existed)
        ::RegSetValueExW(key.get(), valueName, 0, beforeType, before.data(), static_cast<DWORD>(before.size()));
    else
        ::RegDeleteValueW(key.get(), valueName);

    EXPECT_TRUE(moved);
    EXPECT_TRUE(deleted);
    ASSERT_TRUE(listed);
    const std::wstring list(reinterpret_cast<const wchar_t*>(after.data()), after.size() / sizeof(wchar_t));
    // Each operation is a source and a target, NUL-separated; a deletion has an empty target.
    EXPECT_NE(list.find(target + std::wstring(1, L'\0')), std::wstring::npos);
    EXPECT_NE(list.find(source + std::wstring(2, L'\0')), std::wstring::npos);
    EXPECT_TRUE(::DeleteFileW(source.c_str()));  // nothing moved yet
}

}  // namespace
