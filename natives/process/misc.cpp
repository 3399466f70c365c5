#include "natives/process/misc.h"

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "natives/jni_support.h"
#include "windows/base/handles.h"
#include "windows/base/security.h"
#include "windows/base/system_functions.h"

namespace {

// A running-program entry ("<id> <path>") holds at most this many characters, its NUL included.
constexpr size_t kEntryLimit = 4096;
// Window titles and class names are read into buffers of this many characters.
constexpr int kTextLimit = 4096;
// EnumProcesses is first asked for this many ids; a full answer may have been cut, so the buffer
// grows until the answer leaves room, up to the last size.
constexpr DWORD kFirstProcessIds = 8196;
constexpr DWORD kLastProcessIds = 8196 * 128;

DWORD windowProcess(HWND window)
{
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    return processId;
}

// The state of one terminateProcesses0 call, handed to its window callback.
struct CloseRound {
    const std::vector<jint>& ids;
    std::vector<bool> seen;
    bool postFailed = false;
};

BOOL CALLBACK closeVisibleWindows(HWND window, LPARAM parameter)
{
    auto& round = *reinterpret_cast<CloseRound*>(parameter);
    if (!::IsWindowVisible(window)) return TRUE;
    const DWORD processId = windowProcess(window);
    for (size_t i = 0; i < round.ids.size(); ++i) {
        if (static_cast<DWORD>(round.ids[i]) != processId) continue;
        round.seen[i] = true;
        if (!::PostMessageW(window, WM_CLOSE, 0, 0)) round.postFailed = true;
    }
    return TRUE;
}

jint terminateByForce(const std::vector<jint>& ids)
{
    jint status = 1;
    for (jint id : ids) {
        unique_handle process(::OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(id)));
        if (!process || !::TerminateProcess(process.get(), 0)) status = 0;
    }
    return status;
}

jint closeAndWait(const std::vector<jint>& ids, DWORD timeout)
{
    CloseRound round{ids, std::vector<bool>(ids.size(), false)};
    ::EnumWindows(closeVisibleWindows, reinterpret_cast<LPARAM>(&round));
    if (round.postFailed) return 0;
    for (bool seen : round.seen)
        if (!seen) return 0;

    // One handle per process: a wait for all over two handles of one process fails on Windows,
    // so an id listed twice is waited for once.
    std::vector<unique_handle> owners;
    std::vector<HANDLE> processes;
    std::vector<jint> opened;
    for (jint id : ids) {
        if (std::find(opened.begin(), opened.end(), id) != opened.end()) continue;
        owners.emplace_back(::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(id)));
        if (!owners.back()) return 2;
        opened.push_back(id);
        processes.push_back(owners.back().get());
    }
    // Nothing to wait for, or more ids than one wait takes (MAXIMUM_WAIT_OBJECTS): the wait fails.
    if (ids.empty() || ids.size() > MAXIMUM_WAIT_OBJECTS) return 2;
    const DWORD result =
        ::WaitForMultipleObjects(static_cast<DWORD>(processes.size()), processes.data(), TRUE, timeout);
    if (result == WAIT_TIMEOUT) return 3;
    return result == WAIT_OBJECT_0 ? 1 : 2;
}

// The state of one getWindowTitle0 call.
struct TitleSearch {
    DWORD processId;
    std::wstring title;
};

BOOL CALLBACK findTitle(HWND window, LPARAM parameter)
{
    auto& search = *reinterpret_cast<TitleSearch*>(parameter);
    if (windowProcess(window) != search.processId) return TRUE;
    wchar_t text[kTextLimit];
    const int length = ::GetWindowTextW(window, text, kTextLimit);
    if (length <= 0) return TRUE;
    search.title.assign(text, static_cast<size_t>(length));
    return ::IsWindowVisible(window) ? FALSE : TRUE;
}

struct WindowSearch {
    DWORD processId;
    std::vector<HWND> windows;
};

BOOL CALLBACK collectTopLevelWindows(HWND window, LPARAM parameter)
{
    auto& search = *reinterpret_cast<WindowSearch*>(parameter);
    if (windowProcess(window) == search.processId && ::GetWindow(window, GW_OWNER) == nullptr &&
        ::IsWindowVisible(window))
        search.windows.push_back(window);
    return TRUE;
}

BOOL CALLBACK raiseOwnWindows(HWND window, LPARAM)
{
    if (windowProcess(window) == ::GetCurrentProcessId() && ::IsWindowVisible(window)) {
        ::SetForegroundWindow(window);
        ::SetForegroundWindow(::GetLastActivePopup(window));
    }
    return TRUE;
}

// One window's description object, or null when the window lacks a class name, style or title.
jobject describeWindow(JNIEnv* env, jclass infoClass, jmethodID constructor, HWND window)
{
    const jint style = static_cast<jint>(::GetWindowLongPtrW(window, GWL_STYLE));
    wchar_t className[kTextLimit];
    const int classLength = ::GetClassNameW(window, className, kTextLimit);
    wchar_t title[kTextLimit];
    const int titleLength = ::GetWindowTextW(window, title, kTextLimit);
    if (classLength <= 0 || style == 0 || titleLength <= 0) return nullptr;
    LocalRef<jstring> classText(env, wideToJava(env, std::wstring(className, static_cast<size_t>(classLength))));
    LocalRef<jstring> titleText(env, wideToJava(env, std::wstring(title, static_cast<size_t>(titleLength))));
    if (!classText || !titleText) return nullptr;
    jvalue arguments[4];
    arguments[0].j = handleToJava(window);
    arguments[1].i = style;
    arguments[2].l = classText.get();
    arguments[3].l = titleText.get();
    jobject info = (*env)->NewObjectA(env, infoClass, constructor, arguments);
    clearPendingException(env);
    return info;
}

// "<id> " followed by the path read by read(buffer, capacity), within kEntryLimit; empty when the
// path could not be read or did not fit (a cut path would name another file).
template <typename Read>
std::wstring moduleEntry(DWORD processId, Read read)
{
    std::wstring entry = std::to_wstring(processId) + L" ";
    std::vector<wchar_t> path(kEntryLimit - entry.size());
    const DWORD length = read(path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length + 1 >= path.size()) return {};
    return entry.append(path.data(), length);
}

using EnumProcessesFunction = decltype(&::EnumProcesses);

std::vector<DWORD> processIds(EnumProcessesFunction enumProcesses)
{
    for (DWORD count = kFirstProcessIds; count <= kLastProcessIds; count *= 2) {
        std::vector<DWORD> ids(count);
        DWORD bytes = 0;
        if (!enumProcesses(ids.data(), count * sizeof(DWORD), &bytes)) return {};
        if (bytes < count * sizeof(DWORD) || count == kLastProcessIds) {
            ids.resize(bytes / sizeof(DWORD));
            return ids;
        }
    }
    return {};
}

// The running programs through the process-status functions; empty when they are missing.
std::vector<std::wstring> processStatusModules()
{
    // Loaded for the call and released with it.
    unique_module psapi(loadSystemLibrary(L"psapi.dll"));
    auto enumProcesses = BOUND_FUNCTION(psapi.get(), EnumProcesses);
    auto moduleFileName = BOUND_FUNCTION(psapi.get(), GetModuleFileNameExW);
    auto imageName = KERNEL_FUNCTION(QueryFullProcessImageNameW);
    if (enumProcesses == nullptr || (moduleFileName == nullptr && imageName == nullptr)) return {};

    auto readByModule = [&](DWORD id) {
        unique_handle process(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id));
        if (!process) return std::wstring();
        return moduleEntry(id, [&](wchar_t* buffer, DWORD capacity) {
            return moduleFileName(process.get(), nullptr, buffer, capacity);
        });
    };
    std::vector<std::wstring> entries;
    for (DWORD id : processIds(enumProcesses)) {
        if (id == 0) continue;
        std::wstring entry;
        if (imageName != nullptr) {
            unique_handle process(::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, id));
            if (process) {
                entry = moduleEntry(id, [&](wchar_t* buffer, DWORD capacity) {
                    DWORD size = capacity;
                    return imageName(process.get(), 0, buffer, &size) ? size : 0;
                });
            }
            // A program started from a ".tmp" file: the module name tells the file it runs from,
            // where it can be read; the image name stays otherwise.
            if (moduleFileName != nullptr && entry.size() > 4 && entry.compare(entry.size() - 4, 4, L".tmp") == 0) {
                process.reset();
                std::wstring byModule = readByModule(id);
                if (!byModule.empty()) entry = std::move(byModule);
            }
        } else {
            entry = readByModule(id);
        }
        if (!entry.empty()) entries.push_back(std::move(entry));
    }
    return entries;
}

}  // namespace

std::vector<std::wstring> toolHelpModules()
{
    auto createSnapshot = KERNEL_FUNCTION(CreateToolhelp32Snapshot);
    auto processFirst = KERNEL_FUNCTION(Process32FirstW);
    auto processNext = KERNEL_FUNCTION(Process32NextW);
    auto moduleFirst = KERNEL_FUNCTION(Module32FirstW);
    if (createSnapshot == nullptr || processFirst == nullptr || processNext == nullptr) {
        const DWORD error = ::GetLastError();
        std::printf("could not load functions %p %p %p %p %p %d\n", reinterpret_cast<void*>(createSnapshot),
                    reinterpret_cast<void*>(processFirst), reinterpret_cast<void*>(processNext),
                    reinterpret_cast<void*>(moduleFirst), static_cast<void*>(::GetModuleHandleW(L"kernel32.dll")),
                    static_cast<int>(error));
        std::fflush(stdout);
        return {};
    }
    std::vector<std::wstring> entries;
    unique_snapshot snapshot(createSnapshot(TH32CS_SNAPALL, ::GetCurrentProcessId()));
    if (!snapshot) return entries;
    PROCESSENTRY32W process{};
    process.dwSize = sizeof process;
    for (BOOL more = processFirst(snapshot.get(), &process); more; more = processNext(snapshot.get(), &process)) {
        if (process.th32ProcessID == 0 || moduleFirst == nullptr) continue;
        unique_snapshot modules(createSnapshot(TH32CS_SNAPMODULE, process.th32ProcessID));
        MODULEENTRY32W module{};
        module.dwSize = sizeof module;
        if (modules && moduleFirst(modules.get(), &module))
            entries.push_back(std::to_wstring(process.th32ProcessID) + L" " + module.szExePath);
    }
    return entries;
}

extern "C" JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_Misc_reboot0(JNIEnv*, jclass) noexcept
{
    guarded([&] {
        if (enablePrivilege(L"SeShutdownPrivilege")) ::ExitWindowsEx(EWX_REBOOT, 0);
    });
}

extern "C" JNIEXPORT jobjectArray JNICALL Java_com_stowline_runtime_installer_platform_win32_Misc_getRunningModules0(
    JNIEnv* env, jclass, jboolean debug) noexcept
{
    return guarded(nullptr, [&]() -> jobjectArray {
        setPrivilege(L"SeDebugPrivilege", debug ? 0 : SE_PRIVILEGE_ENABLED);
        std::vector<std::wstring> entries = processStatusModules();
        if (entries.empty()) entries = toolHelpModules();
        if (entries.empty()) return nullptr;
        return wideArrayToJava(env, entries);
    });
}

extern "C" JNIEXPORT jobjectArray JNICALL Java_com_stowline_runtime_installer_platform_win32_Misc_getEnvVarPairs0(
    JNIEnv* env, jclass) noexcept
{
    return guarded(nullptr, [&]() -> jobjectArray {
        std::vector<std::wstring> entries;
        unique_environment block(::GetEnvironmentStringsW());
        if (block) {
            for (const wchar_t* entry = block.get(); *entry != L'\0'; entry += std::wcslen(entry) + 1)
                entries.emplace_back(entry);
        }
        return wideArrayToJava(env, entries);
    });
}

extern "C" JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_Misc_broadcastSettingChange0(
    JNIEnv*, jclass) noexcept
{
    guarded([&] {
        DWORD_PTR result = 0;
        ::SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Environment"),
                              SMTO_ABORTIFHUNG, 5000, &result);
    });
}

extern "C" JNIEXPORT jlong JNICALL Java_com_stowline_runtime_installer_platform_win32_Misc_getPhysicalMemory0(
    JNIEnv*, jclass) noexcept
{
    return guarded(0, [&]() -> jlong {
        if (auto statusEx = KERNEL_FUNCTION(GlobalMemoryStatusEx)) {
            MEMORYSTATUSEX status{};
            status.dwLength = sizeof status;
            if (statusEx(&status)) return static_cast<jlong>(status.ullTotalPhys);
            std::printf("error %d\n", static_cast<int>(::GetLastError()));
            std::fflush(stdout);
        }
        MEMORYSTATUS status{};
        status.dwLength = sizeof status;
        ::GlobalMemoryStatus(&status);
        return static_cast<jlong>(status.dwTotalPhys);
    });
}

extern "C" JNIEXPORT jlong JNICALL Java_com_stowline_runtime_installer_platform_win32_Misc_getFreeDiskSpace0(
    JNIEnv* env, jclass, jstring directory) noexcept
{
    return guarded(-1, [&]() -> jlong {
        const JavaText path(env, directory);
        ULARGE_INTEGER available, total, totalFree;
        if (!::GetDiskFreeSpaceExW(path.get(), &available, &total, &totalFree)) return -1;
        return static_cast<jlong>(available.QuadPart);
    });
}

extern "C" JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_Misc_moveWithDelayUntilReboot0(
    JNIEnv* env, jclass, jstring source, jstring target) noexcept
{
    return guarded(JNI_FALSE, [&]() -> jboolean {
        using MoveFileExFunction = decltype(&::MoveFileExW);
        // Looked up until found, then kept for the life of the process.
        static std::atomic<MoveFileExFunction> cached{nullptr};
        MoveFileExFunction move = cached.load();
        if (move == nullptr) {
            move = KERNEL_FUNCTION(MoveFileExW);
            if (move == nullptr) return JNI_FALSE;
            cached.store(move);
        }
        const JavaText from(env, source);
        const JavaText to(env, target);
        return move(from.get(), to.get(), MOVEFILE_DELAY_UNTIL_REBOOT) ? JNI_TRUE : JNI_FALSE;
    });
}

extern "C" JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_Misc_toFront0(JNIEnv*, jclass) noexcept
{
    guarded([&] {
        ::EnumWindows(raiseOwnWindows, 0);
    });
}

extern "C" JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_Misc_terminateProcesses0(
    JNIEnv* env, jclass, jintArray ids, jboolean force, jint timeout) noexcept
{
    return guarded(0, [&]() -> jint {
        // A null array is read as an empty one.
        const std::vector<jint> processIds = javaToInts(env, ids);
        return force ? terminateByForce(processIds) : closeAndWait(processIds, static_cast<DWORD>(timeout));
    });
}

extern "C" JNIEXPORT jstring JNICALL Java_com_stowline_runtime_installer_platform_win32_Misc_getWindowTitle0(
    JNIEnv* env, jclass, jint processId) noexcept
{
    return guarded(nullptr, [&]() -> jstring {
        TitleSearch search{static_cast<DWORD>(processId), {}};
        ::EnumWindows(findTitle, reinterpret_cast<LPARAM>(&search));
        return wideToJava(env, search.title);
    });
}

extern "C" JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_Misc_setForegroundWindow0(
    JNIEnv*, jclass, jlong handle) noexcept
{
    guarded([&] {
        HWND window = javaToHandle<HWND>(handle);
        WINDOWPLACEMENT placement{};
        placement.length = sizeof placement;
        if (::GetWindowPlacement(window, &placement) && placement.showCmd == SW_SHOWMINIMIZED)
            ::ShowWindow(window, SW_RESTORE);
        ::SetForegroundWindow(window);
    });
}

extern "C" JNIEXPORT jobjectArray JNICALL Java_com_stowline_runtime_installer_platform_win32_Misc_getTopLevelWindows0(
    JNIEnv* env, jclass, jclass infoClass, jint processId) noexcept
{
    return guarded(nullptr, [&]() -> jobjectArray {
        WindowSearch search{static_cast<DWORD>(processId), {}};
        ::EnumWindows(collectTopLevelWindows, reinterpret_cast<LPARAM>(&search));
        if (search.windows.empty() || infoClass == nullptr) return nullptr;
        jmethodID constructor = (*env)->GetMethodID(env, infoClass, "<init>", "(JILjava/lang/String;Ljava/lang/String;)V");
        if (constructor == nullptr) {
            clearPendingException(env);
            std::fprintf(stderr, "window info constructor not found");
            std::fflush(stderr);
            return nullptr;
        }
        jobjectArray array = (*env)->NewObjectArray(env, static_cast<jsize>(search.windows.size()), infoClass, nullptr);
        if (array == nullptr) {
            clearPendingException(env);
            std::fprintf(stderr, "could not create window info array");
            std::fflush(stderr);
            return nullptr;
        }
        jsize next = 0;
        for (HWND window : search.windows) {
            LocalRef<jobject> info(env, describeWindow(env, infoClass, constructor, window));
            if (!info) continue;
            (*env)->SetObjectArrayElement(env, array, next++, info.get());
            clearPendingException(env);
        }
        return array;
    });
}

extern "C" JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_Misc_getPidFromHandle0(
    JNIEnv*, jclass, jlong process) noexcept
{
    return guarded(0, [&]() -> jint {
        return static_cast<jint>(::GetProcessId(javaToHandle(process)));
    });
}

// The rows this file binds, in registration order (registration.cpp orders the classes).
constexpr NativeMethodName kMiscRows[] = {
    PLATFORM_ROW(Misc, reboot0, "()V"),
    PLATFORM_ROW(Misc, getRunningModules0, "(Z)[Ljava/lang/String;"),
    PLATFORM_ROW(Misc, getEnvVarPairs0, "()[Ljava/lang/String;"),
    PLATFORM_ROW(Misc, broadcastSettingChange0, "()V"),
    PLATFORM_ROW(Misc, getPhysicalMemory0, "()J"),
    PLATFORM_ROW(Misc, getFreeDiskSpace0, "(Ljava/lang/String;)J"),
    PLATFORM_ROW(Misc, moveWithDelayUntilReboot0, "(Ljava/lang/String;Ljava/lang/String;)Z"),
    PLATFORM_ROW(Misc, toFront0, "()V"),
    PLATFORM_ROW(Misc, terminateProcesses0, "([IZI)I"),
    PLATFORM_ROW(Misc, getWindowTitle0, "(I)Ljava/lang/String;"),
    PLATFORM_ROW(Misc, setForegroundWindow0, "(J)V"),
    PLATFORM_ROW(Misc, getTopLevelWindows0, "(Ljava/lang/Class;I)[Lcom/stowline/api/windows/WindowInfo;"),
    PLATFORM_ROW(Misc, getPidFromHandle0, "(J)I"),
    PLATFORM_ROW(Misc, registerExtensionFunctions0, "(Ljava/lang/ClassLoader;Ljava/lang/String;)Z"),
};
constexpr NativeClass kMiscNatives = nativeClass("com/stowline/runtime/installer/platform/win32/Misc", kMiscRows);
