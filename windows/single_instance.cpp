#include "windows/base/path_forms.h"
#include "windows/single_instance.h"

#include <atomic>
#include <cstdio>
#include <vector>

#include "core/config_keys.h"
#include "jni/jni_helpers.h"
#include "windows/base/handles.h"
#include "windows/base/registry.h"
#include "windows/base/security.h"
#include "windows/base/wide_text.h"
#include "windows/config_block.h"
#include "windows/error_exit.h"
#include "windows/java_exception.h"
#include "windows/native_log.h"

namespace {

constexpr const char* kPidsKey = "SOFTWARE\\fenmoor\\tallow\\pids";
constexpr const wchar_t kEmptyCommandLine[] = L"__stw_empty_command_line";
constexpr size_t kEmptyCommandLineLength = sizeof kEmptyCommandLine / sizeof kEmptyCommandLine[0] - 1;
constexpr int kSemaphoreNumberLimit = 100000;

struct InstanceState {
    std::string semaphoreName;
    unique_handle semaphore;  // held until the process ends
    std::atomic<JavaVM*> listenerVm{nullptr};
    bool consoleWindowKnown = false;
    HWND consoleWindow = nullptr;
};

InstanceState& instanceState()
{
    static InstanceState* state = new InstanceState();
    return *state;
}

std::string ownExecutableNarrow()
{
    std::string name(MAX_PATH, '\0');
    for (;;) {
        DWORD length = ::GetModuleFileNameA(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) return {};
        if (length < name.size()) {
            name.resize(length);
            return name;
        }
        name.resize(name.size() * 2);
    }
}

// Second instance: the first instance may not have written its process id yet.
DWORD waitForInstanceProcessId(const std::string& key)
{
    DWORD processId = readInstanceProcessId(key);
    for (int retry = 0; processId == 0 && retry < 50; ++retry) {
        ::Sleep(100);
        processId = readInstanceProcessId(key);
    }
    return processId;
}

JavaVM* listenerJavaVm()
{
    return instanceState().listenerVm.load();
}

struct StartupMethod {
    jclass controller = nullptr;  // global reference
    jmethodID startupPerformed = nullptr;
};

bool resolveStartupMethod(JNIEnv* env, StartupMethod& method)
{
    if (method.controller != nullptr && method.startupPerformed != nullptr) return true;
    LocalRef<jclass> local(env, findClassQuietly(env, "com/tallow/Controller"));
    clearPendingException(env);
    jmethodID id = local ? staticMethodQuietly(env, local.get(), "startupPerformed", "(Ljava/lang/String;)V") : nullptr;
    if (!local || id == nullptr) {
        logError(L"error mailslot methods %p %p", static_cast<void*>(local.get()), static_cast<void*>(id));
        return false;
    }
    method.controller = static_cast<jclass>((*env)->NewGlobalRef(env, local.get()));
    method.startupPerformed = id;
    return method.controller != nullptr;
}

// Attaches as a daemon thread: the listener never ends by itself, and an ordinary attached thread
// would keep DestroyJavaVM waiting for ever once main has returned.
JNIEnv* attachToVm()
{
    for (;;) {
        JavaVM* vm = listenerJavaVm();
        if (vm != nullptr) {
            void* env = nullptr;
            if ((*vm)->AttachCurrentThreadAsDaemon(vm, &env, nullptr) == 0 && env != nullptr)
                return static_cast<JNIEnv*>(env);
        }
        ::Sleep(100);
    }
}

void deliver(JNIEnv* env, StartupMethod& method, const std::vector<wchar_t>& message, size_t units)
{
    if (!resolveStartupMethod(env, method)) return;
    bool empty = units == kEmptyCommandLineLength &&
                 wmemcmp(message.data(), kEmptyCommandLine, kEmptyCommandLineLength) == 0;
    if (empty) {
        (*env)->CallStaticVoidMethod(env, method.controller, method.startupPerformed, static_cast<jstring>(nullptr));
    } else {
        LocalRef<jstring> text(env, wideToJava(env, std::wstring(message.data(), units)));
        if (!text) {
            logError(L"error mailslot string");
            return;
        }
        (*env)->CallStaticVoidMethod(env, method.controller, method.startupPerformed, text.get());
    }
    // An exception out of startupPerformed must not stay pending on this thread's next message.
    reportJavaException(env, true);
}

DWORD WINAPI listenToMailslot(LPVOID parameter)
{
    unique_handle mailslot(static_cast<HANDLE>(parameter));
    logInfo(L"listening to mailslot");
    JNIEnv* env = nullptr;
    StartupMethod method;
    bool wasEmpty = false;
    for (;;) {
        DWORD read = 0;
        // Blocks until a message waits; a zero-byte buffer is too small for any message. Wine does
        // not block and answers ERROR_BROKEN_PIPE at once: the mailslot is then polled below.
        if (!::ReadFile(mailslot.get(), nullptr, 0, &read, nullptr)) {
            DWORD error = ::GetLastError();
            if (error != ERROR_INSUFFICIENT_BUFFER && error != ERROR_BROKEN_PIPE) {
                logError(L"error waiting for mailslot %d", static_cast<int>(error));
                break;
            }
        }
        DWORD size = 0;
        DWORD count = 0;
        if (!::GetMailslotInfo(mailslot.get(), nullptr, &size, &count, nullptr)) {
            logError(L"error reading from mailslot %d", static_cast<int>(::GetLastError()));
            break;
        }
        if (size == MAILSLOT_NO_MESSAGE) {
            // Where the wait does not block this repeats every second: one line per quiet spell.
            if (!wasEmpty) logInfo(L"mailslot empty");
            wasEmpty = true;
            ::Sleep(1000);
            continue;
        }
        wasEmpty = false;
        std::vector<wchar_t> message(size / 2 + 2, L'\0');
        DWORD got = 0;
        if (!::ReadFile(mailslot.get(), message.data(), size, &got, nullptr)) {
            logError(L"error mailslot ReadFile %d", static_cast<int>(::GetLastError()));
            break;
        }
        if (got != size) {
            logError(L"error mailslot read %d instead of %d", static_cast<int>(got), static_cast<int>(size));
            break;
        }
        if (env == nullptr) env = attachToVm();
        deliver(env, method, message, size / 2);
    }
    return 0;
}

// The console window is found by giving the console a title nobody else has.
HWND ownConsoleWindow()
{
    InstanceState& state = instanceState();
    if (state.consoleWindowKnown) return state.consoleWindow;
    state.consoleWindowKnown = true;
    if (configInt(keys::kLauncherType) == 1) return nullptr;
    char saved[1024];
    if (::GetConsoleTitleA(saved, sizeof saved) == 0) return nullptr;
    char unique[64];
    std::snprintf(unique, sizeof unique, "%lu/%lu", static_cast<unsigned long>(::GetTickCount()),
                  static_cast<unsigned long>(::GetCurrentProcessId()));
    ::SetConsoleTitleA(unique);
    ::Sleep(40);
    state.consoleWindow = ::FindWindowA(nullptr, unique);
    ::SetConsoleTitleA(saved);
    return state.consoleWindow;
}

struct WindowCount {
    DWORD processId;
    HWND excluded;
    int count;
};

BOOL CALLBACK countWindow(HWND window, LPARAM parameter)
{
    auto* counting = reinterpret_cast<WindowCount*>(parameter);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == counting->processId && window != counting->excluded && ::IsWindowVisible(window)) ++counting->count;
    return TRUE;
}

struct Activation {
    DWORD processId;
    bool restore;
};

BOOL CALLBACK activateWindow(HWND window, LPARAM parameter)
{
    auto* activation = reinterpret_cast<Activation*>(parameter);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner != activation->processId || !::IsWindowVisible(window)) return TRUE;
    logInfo(L"found window %p", static_cast<void*>(window));
    if (activation->restore && ::IsIconic(window)) {
        logInfo(L"restore");
        ::ShowWindow(window, SW_RESTORE);
    }
    logInfo(L"foreground");
    ::SetForegroundWindow(window);
    logInfo(L"popup");
    ::SetForegroundWindow(::GetLastActivePopup(window));
    logInfo(L"done");
    return TRUE;
}

void JNICALL nativeLoggerCleanup(JNIEnv*, jclass) { cleanupLog(); }

}  // namespace

std::string instanceKey(const std::string& fullPath)
{
    std::string lower = fullPath;
    if (!lower.empty()) ::CharLowerBuffA(lower.data(), static_cast<DWORD>(lower.size()));
    std::string key;
    for (size_t i = 0; i < lower.size(); ++i) {
        if (i > 1 && lower[i] == '\\' && key.back() == '\\') continue;
        key += lower[i];
    }
    return key;
}

std::string semaphoreBaseName(const std::string& key, bool global)
{
    std::string name = global ? "Global\\" : "Local\\";
    for (char c : key) name += (c == '\\' || c == ' ') ? '_' : c;
    return name;
}

std::wstring commandLineTail(const wchar_t* commandLine)
{
    if (commandLine == nullptr) return {};
    const wchar_t* position = commandLine;
    if (*position == L'"') {
        position = wcschr(position + 1, L'"');
        if (position == nullptr) return {};
    }
    position = wcschr(position, L' ');
    if (position == nullptr) return {};
    while (*position == L' ') ++position;
    return position;
}

std::string mailslotName(DWORD processId)
{
    char name[64];
    std::snprintf(name, sizeof name, "%s%lu", "\\\\.\\mailslot\\stowline_notification_",
                  static_cast<unsigned long>(processId));
    return name;
}

DWORD readInstanceProcessId(const std::string& key)
{
    unique_hkey registry = openKey(HKEY_CURRENT_USER, kPidsKey, KEY_QUERY_VALUE);
    if (!registry) return 0;
    return readDword(registry.get(), key.c_str()).value_or(0);
}

bool writeInstanceProcessId(const std::string& key, DWORD processId)
{
    unique_hkey registry = createKey(HKEY_CURRENT_USER, kPidsKey, KEY_ALL_ACCESS);
    if (!registry) return false;
    return writeDword(registry.get(), key.c_str(), processId) == ERROR_SUCCESS;
}

bool sendCommandLine(DWORD processId, const std::wstring& tail)
{
    std::string name = mailslotName(processId);
    logInfo(L"mailslot name %S", name.c_str());
    unique_file mailslot(::CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    for (int retry = 0; !mailslot && retry < 50; ++retry) {
        ::Sleep(100);
        mailslot.reset(::CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    if (!mailslot) {
        logError(L"error mailslot CreateFile %d", static_cast<int>(::GetLastError()));
        return false;
    }
    const std::wstring message = tail.empty() ? std::wstring(kEmptyCommandLine) : tail;
    DWORD expected = static_cast<DWORD>(message.size() * sizeof(wchar_t));
    DWORD written = 0;
    if (!::WriteFile(mailslot.get(), message.data(), expected, &written, nullptr)) {
        logError(L"error mailslot WriteFile %d", static_cast<int>(::GetLastError()));
        return false;
    }
    if (written != expected) {
        logError(L"error mailslot WriteFile length %d %d", static_cast<int>(written), static_cast<int>(expected));
        return false;
    }
    return true;
}

unique_handle createOwnMailslot()
{
    // Only this process's user may write to it: whatever arrives is handed to Java as a command line.
    PrivateObjectSecurity security(PrivateObjectSecurity::Principals::User);
    if (security.attributes() == nullptr) return unique_handle();
    return unique_handle(::CreateMailslotA(mailslotName(::GetCurrentProcessId()).c_str(), 65536,
                                           MAILSLOT_WAIT_FOREVER, security.attributes()));
}

bool startCommandLineListener()
{
    unique_handle mailslot = createOwnMailslot();
    if (!mailslot) {
        logError(L"creating mailslot failed");
        return false;
    }
    logInfo(L"creating mailslot successful");
    unique_handle thread(::CreateThread(nullptr, 0, listenToMailslot, mailslot.get(), 0, nullptr));
    if (!thread) {
        logError(L"could not start mailslot listener %d", static_cast<int>(::GetLastError()));
        return false;
    }
    mailslot.release();  // the listener owns it now
    return true;
}

void setListenerJavaVm(JavaVM* vm) { instanceState().listenerVm.store(vm); }

void claimInstance(bool forward)
{
    InstanceState& state = instanceState();
    const std::string key = instanceKey(fullPathNarrow(ownExecutableNarrow()));
    const std::string base = semaphoreBaseName(key, configFlag(keys::kGlobalSemaphore));
    DWORD error = 0;

    if (!configFlag(keys::kSingleInstance)) {
        for (int number = 0;; ++number) {
            state.semaphoreName = base + std::to_string(number);
            state.semaphore.reset(::CreateSemaphoreA(nullptr, 1, 1, state.semaphoreName.c_str()));
            error = ::GetLastError();
            if (error != ERROR_ALREADY_EXISTS || number >= kSemaphoreNumberLimit) break;
        }
        logInfo(L"semaphore name %S, code %d, value %p", state.semaphoreName.c_str(), static_cast<int>(error),
                static_cast<void*>(state.semaphore.get()));
        return;
    }

    logInfo(L"single instance mode");
    state.semaphoreName = base;
    state.semaphore.reset(::CreateSemaphoreA(nullptr, 1, 1, base.c_str()));
    error = ::GetLastError();
    logInfo(L"semaphore name %S, code %d, value %p", base.c_str(), static_cast<int>(error),
            static_cast<void*>(state.semaphore.get()));

    if (error == ERROR_ALREADY_EXISTS) {
        state.semaphore.reset();
        DWORD other = waitForInstanceProcessId(key);
        logInfo(L"other pid %d", static_cast<int>(other));
        if (other != 0) {
            if (configFlag(keys::kActivateFirstInstance)) activateWindows(other, true);
            if (forward) sendCommandLine(other, commandLineTail(::GetCommandLineW()));
        }
        logInfo(L"exiting");
        terminate(0);
    }

    writeInstanceProcessId(key, ::GetCurrentProcessId());
    if (forward) startCommandLineListener();
}

const std::string& instanceSemaphoreName() { return instanceState().semaphoreName; }

int countVisibleWindows(DWORD processId)
{
    WindowCount counting{processId, ownConsoleWindow(), 0};
    ::EnumWindows(countWindow, reinterpret_cast<LPARAM>(&counting));
    return counting.count;
}

void activateWindows(DWORD processId, bool restore)
{
    Activation activation{processId, restore};
    ::EnumWindows(activateWindow, reinterpret_cast<LPARAM>(&activation));
}

void registerNativeLoggerCleanup(JNIEnv* env)
{
    LocalRef<jclass> logger(env, findClassQuietly(env, "com/stowline/runtime/installer/helper/NativeLogger"));
    if (!logger) {
        logError(L"did not find NativeLogger class");
        return;
    }
    JNINativeMethod method{const_cast<char*>("cleanup0"), const_cast<char*>("()V"),
                           reinterpret_cast<void*>(nativeLoggerCleanup)};
    jint result = (*env)->RegisterNatives(env, logger.get(), &method, 1);
    if (result != 0) logError(L"could not register NativeLogger class %d", static_cast<int>(result));
    clearPendingException(env);
}
