#include "windows/single_instance.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdarg>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace {

TEST(InstanceKey, PathsThatNameTheSameFileShareOneKey)
{
    const std::string expected = "c:\\program files\\app\\setup.exe";
    EXPECT_EQ(instanceKey("C:\\Program Files\\App\\Setup.EXE"), expected);
    EXPECT_EQ(instanceKey("c:\\\\program files\\\\\\app\\setup.exe"), expected);
    // The leading pair of a network path stays; doubled separators after it collapse.
    EXPECT_EQ(instanceKey("\\\\Server\\Share\\\\x.exe"), "\\\\server\\share\\x.exe");
}

TEST(InstanceKey, SemaphoreNamesReplaceSeparatorsAndBlanks)
{
    const std::string key = instanceKey("C:\\My Apps\\setup.exe");
    EXPECT_EQ(semaphoreBaseName(key, false), "Local\\c:_my_apps_setup.exe");
    EXPECT_EQ(semaphoreBaseName(key, true), "Global\\c:_my_apps_setup.exe");
}

TEST(CommandLineTail, OnlyTheArgumentsAreForwarded)
{
    struct Case {
        const wchar_t* commandLine;
        const wchar_t* tail;
    };
    const Case cases[] = {
        {L"\"C:\\My Apps\\setup.exe\"   -q  \"two words\"", L"-q  \"two words\""},
        {L"setup.exe a b", L"a b"},
        {L"setup.exe", L""},
        {L"\"C:\\My Apps\\setup.exe\"", L""},
        {L"\"C:\\My Apps\\setup.exe\"   ", L""},
        {L"\"C:\\unterminated a b", L""},
        {L"", L""},
    };
    for (const Case& c : cases) EXPECT_EQ(commandLineTail(c.commandLine), c.tail) << c.commandLine;
}

TEST(InstanceRegistry, StoredProcessIdReadsBackAndOtherTypesReadAsZero)
{
    const std::string name = "single_instance_test\\" + std::to_string(::GetCurrentProcessId());
    ASSERT_TRUE(writeInstanceProcessId(name, 4242));
    EXPECT_EQ(readInstanceProcessId(name), 4242u);

    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\fenmoor\\tallow\\pids", 0, KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    ::RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>("4242"), 5);
    EXPECT_EQ(readInstanceProcessId(name), 0u);
    const unsigned long long wide = 4242;
    ::RegSetValueExA(key, name.c_str(), 0, REG_QWORD, reinterpret_cast<const BYTE*>(&wide), sizeof wide);
    EXPECT_EQ(readInstanceProcessId(name), 0u);
    ::RegDeleteValueA(key, name.c_str());
    ::RegCloseKey(key);
    EXPECT_EQ(readInstanceProcessId(name), 0u);
}

TEST(Mailslot, NameCarriesTheOwnersProcessId)
{
    EXPECT_EQ(mailslotName(1234), "\\\\.\\mailslot\\stowline_notification_1234");
}

// A VM that knows com/tallow/Controller.startupPerformed and records each call.
struct FakeVm {
    std::mutex lock;
    std::vector<std::optional<std::u16string>> calls;
    std::vector<std::u16string> strings;  // the jstrings handed out, by index + 1
    bool attachedAsDaemon = false;
    bool attachedOrdinary = false;
    bool exceptionPending = false;

    JNINativeInterface_ functions{};
    const JNINativeInterface_* envTable = &functions;
    JNIInvokeInterface_ invoke{};
    const JNIInvokeInterface_* vmTable = &invoke;
};

FakeVm* fake = nullptr;
int controllerTag;
int methodTag;

jclass JNICALL fakeFindClass(JNIEnv*, const char* name)
{
    if (std::string(name) == "com/tallow/Controller") return reinterpret_cast<jclass>(&controllerTag);
    fake->exceptionPending = true;
    return nullptr;
}
jmethodID JNICALL fakeGetStaticMethodID(JNIEnv*, jclass clazz, const char* name, const char* signature)
{
    if (clazz == reinterpret_cast<jclass>(&controllerTag) && std::string(name) == "startupPerformed" &&
        std::string(signature) == "(Ljava/lang/String;)V")
        return reinterpret_cast<jmethodID>(&methodTag);
    return nullptr;
}
jobject JNICALL fakeNewGlobalRef(JNIEnv*, jobject object) { return object; }
void JNICALL fakeDeleteLocalRef(JNIEnv*, jobject) {}
jboolean JNICALL fakeExceptionCheck(JNIEnv*) { return fake->exceptionPending ? 1 : 0; }
void JNICALL fakeExceptionClear(JNIEnv*) { fake->exceptionPending = false; }
jstring JNICALL fakeNewString(JNIEnv*, const jchar* characters, jsize length)
{
    std::lock_guard<std::mutex> guard(fake->lock);
    fake->strings.emplace_back(reinterpret_cast<const char16_t*>(characters), static_cast<size_t>(length));
    return reinterpret_cast<jstring>(static_cast<intptr_t>(fake->strings.size()));
}
void JNICALL fakeCallStaticVoidMethod(JNIEnv*, jclass clazz, jmethodID method, ...)
{
    va_list arguments;
    va_start(arguments, method);
    jstring text = va_arg(arguments, jstring);
    va_end(arguments);
    std::lock_guard<std::mutex> guard(fake->lock);
    if (clazz != reinterpret_cast<jclass>(&controllerTag) || method != reinterpret_cast<jmethodID>(&methodTag)) return;
    if (text == nullptr)
        fake->calls.emplace_back(std::nullopt);
    else
        fake->calls.emplace_back(fake->strings.at(static_cast<size_t>(reinterpret_cast<intptr_t>(text)) - 1));
}
jint JNICALL fakeAttachAsDaemon(JavaVM*, void** env, void*)
{
    fake->attachedAsDaemon = true;
    *env = &fake->envTable;
    return 0;
}
jint JNICALL fakeAttach(JavaVM*, void** env, void*)
{
    fake->attachedOrdinary = true;
    *env = &fake->envTable;
    return 0;
}

size_t callCount()
{
    std::lock_guard<std::mutex> guard(fake->lock);
    return fake->calls.size();
}

// Waits (bounded) until count calls arrived; the listener polls the mailslot once a second where
// the wait for a message does not block.
bool waitForCalls(size_t count)
{
    for (int i = 0; i < 300 && callCount() < count; ++i) ::Sleep(50);
    return callCount() >= count;
}

TEST(MailslotListener, ForwardedLinesReachStartupPerformedInOrderOnceTheVmExists)
{
    static FakeVm vm;
    fake = &vm;
    vm.functions.FindClass = fakeFindClass;
    vm.functions.GetStaticMethodID = fakeGetStaticMethodID;
    vm.functions.NewGlobalRef = fakeNewGlobalRef;
    vm.functions.DeleteLocalRef = fakeDeleteLocalRef;
    vm.functions.ExceptionCheck = fakeExceptionCheck;
    vm.functions.ExceptionClear = fakeExceptionClear;
    vm.functions.NewString = fakeNewString;
    vm.functions.CallStaticVoidMethod = fakeCallStaticVoidMethod;
    vm.invoke.AttachCurrentThreadAsDaemon = fakeAttachAsDaemon;
    vm.invoke.AttachCurrentThread = fakeAttach;

    ASSERT_TRUE(startCommandLineListener());
    const DWORD self = ::GetCurrentProcessId();
    // Sent before any VM exists: the messages wait in the mailslot.
    ASSERT_TRUE(sendCommandLine(self, L"-q \"C:\\two words\""));
    ASSERT_TRUE(sendCommandLine(self, L""));
    ::Sleep(300);
    EXPECT_EQ(callCount(), 0u);

    setListenerJavaVm(reinterpret_cast<JavaVM*>(&vm.vmTable));
    ASSERT_TRUE(waitForCalls(2));
    ASSERT_TRUE(sendCommandLine(self, L"__stw_empty_command_line x"));
    ASSERT_TRUE(waitForCalls(3));

    std::lock_guard<std::mutex> guard(vm.lock);
    ASSERT_EQ(vm.calls.size(), 3u);
    EXPECT_EQ(vm.calls[0], std::optional<std::u16string>(u"-q \"C:\\two words\""));
    EXPECT_EQ(vm.calls[1], std::nullopt);  // an empty tail arrives as a null string
    EXPECT_EQ(vm.calls[2], std::optional<std::u16string>(u"__stw_empty_command_line x"));
    // An ordinary attached thread would keep DestroyJavaVM waiting for ever.
    EXPECT_TRUE(vm.attachedAsDaemon);
    EXPECT_FALSE(vm.attachedOrdinary);
    setListenerJavaVm(nullptr);
}

}  // namespace

namespace {

// Top-level windows need a display: under Wine without one, no window can be created.
HWND makeTopLevelWindow(DWORD style)
{
    return ::CreateWindowExW(0, L"STATIC", L"single_instance_test", WS_OVERLAPPEDWINDOW | style, 10, 10, 200, 100,
                             nullptr, nullptr, nullptr, nullptr);
}

TEST(ProcessWindows, OnlyVisibleTopLevelWindowsOfTheProcessCount)
{
    HWND hidden = makeTopLevelWindow(0);
    if (hidden == nullptr) GTEST_SKIP() << "no display";
    const DWORD self = ::GetCurrentProcessId();
    const int before = countVisibleWindows(self);
    HWND visible = makeTopLevelWindow(WS_VISIBLE);
    ASSERT_NE(visible, nullptr);
    EXPECT_EQ(countVisibleWindows(self), before + 1);
    ::ShowWindow(hidden, SW_SHOW);
    EXPECT_EQ(countVisibleWindows(self), before + 2);
    ::ShowWindow(visible, SW_HIDE);
    ::ShowWindow(hidden, SW_HIDE);
    EXPECT_EQ(countVisibleWindows(self), before);
    ::DestroyWindow(visible);
    ::DestroyWindow(hidden);
}

TEST(ProcessWindows, ActivationRestoresMinimisedWindowsOnlyWhenAsked)
{
    HWND window = makeTopLevelWindow(WS_VISIBLE);
    if (window == nullptr) GTEST_SKIP() << "no display";
    ::ShowWindow(window, SW_MINIMIZE);
    ASSERT_TRUE(::IsIconic(window));
    activateWindows(::GetCurrentProcessId(), false);
    EXPECT_TRUE(::IsIconic(window));
    activateWindows(::GetCurrentProcessId(), true);
    EXPECT_FALSE(::IsIconic(window));
    ::DestroyWindow(window);
}

}  // namespace
