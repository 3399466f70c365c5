#include "natives/registration.h"

#include <iterator>
#include <string>
#include <vector>

#include "core/jni_names.h"
#include "natives/descriptor_check.h"
#include "natives/files/acl_handling.h"
#include "natives/files/file_version.h"
#include "natives/files/folder_info.h"
#include "natives/files/win32_handle.h"
#include "natives/network/win32_proxy.h"
#include "natives/network/win_inet.h"
#include "natives/pipes/win32_communication_backend.h"
#include "natives/process/misc.h"
#include "natives/process/win32_exec.h"
#include "natives/registry/registry.h"
#include "natives/services/win32_services.h"
#include "natives/services/win32_user_info.h"
#include "natives/shell/object_picker.h"
#include "natives/shell/shell_link.h"
#include "natives/shell/vista_file_chooser.h"
#include "natives/shell/vista_task_dialog.h"
#include "natives/shell/win_gui_helper.h"
#include "natives/shell/win_task_bar.h"
#include "natives/window_border/flat_windows_native_window_border.h"

namespace {

void ignoreError(const wchar_t*, ...) {}

// The error writer handed to registerNatives; the extension registration that the Java side asks
// for later reports through the same one. Written on the VM thread before Java code runs.
NativeErrorFunction registrationError = &ignoreError;

jclass findTableClass(JNIEnv* env, const char* name, const ClassFinder& finder)
{
    if (finder.loader == nullptr && finder.forName == nullptr) {
        jclass found = (*env)->FindClass(env, name);
        if (found == nullptr) (*env)->ExceptionClear(env);
        return found;
    }
    jstring dotted = (*env)->NewStringUTF(env, name);
    if (dotted == nullptr) {
        (*env)->ExceptionClear(env);
        return nullptr;
    }
    jvalue arguments[3];
    arguments[0].l = dotted;
    arguments[1].z = JNI_FALSE;
    arguments[2].l = finder.loader;
    jclass found = static_cast<jclass>((*env)->CallStaticObjectMethodA(env, finder.classClass, finder.forName, arguments));
    if ((*env)->ExceptionCheck(env)) {
        (*env)->ExceptionClear(env);
        found = nullptr;
    }
    (*env)->DeleteLocalRef(env, dotted);
    return found;
}

bool registerClass(JNIEnv* env, HMODULE module, const NativeClass& table, const ClassFinder& finder,
                   NativeErrorFunction error)
{
    jclass found = findTableClass(env, table.name, finder);
    if (found == nullptr) {
        error(L"could not load class %S", table.name);
        return false;
    }
    std::vector<JNINativeMethod> entries;
    for (size_t i = 0; i < table.methodCount; ++i) {
        const NativeMethodName& method = table.methods[i];
        std::string exported = jniExportName(table.name, method.name);
        void* function = reinterpret_cast<void*>(::GetProcAddress(module, exported.c_str()));
        if (function == nullptr) {
            error(L"did not find %S", exported.c_str());
            (*env)->DeleteLocalRef(env, found);
            return false;
        }
        entries.push_back(JNINativeMethod{const_cast<char*>(method.name), const_cast<char*>(method.signature), function});
    }
    jint result = (*env)->RegisterNatives(env, found, entries.data(), static_cast<jint>(entries.size()));
    if (result != JNI_OK) (*env)->ExceptionClear(env);
    (*env)->DeleteLocalRef(env, found);
    if (result != JNI_OK) {
        error(L"register %S failed %d", table.name, static_cast<int>(result));
        return false;
    }
    return true;
}

// A row names its method and descriptor; the function its exported name reaches is checked
// against the descriptor when the table is compiled (natives/descriptor_check.h).
#define PLATFORM_ROW(klass, method, descriptor) \
    CHECKED_NATIVE_ROW(Java_com_stowline_runtime_installer_platform_win32_##klass##_##method, #method, descriptor)
#define BORDER_ROW(klass, method, descriptor) \
    CHECKED_NATIVE_ROW(Java_com_stowline_runtime_flatlaf_##klass##_##method, #method, descriptor)

constexpr NativeMethodName kFileVersion[] = {
    PLATFORM_ROW(FileVersion, compare0, "(Ljava/lang/String;Ljava/lang/String;)I"),
};
constexpr NativeMethodName kFolderInfo[] = {
    PLATFORM_ROW(FolderInfo, getSpecialFolder0, "(IZ)Ljava/lang/String;"),
    PLATFORM_ROW(FolderInfo, getPathFromRegistry0, "(Ljava/lang/String;)Ljava/lang/String;"),
    PLATFORM_ROW(FolderInfo, getWindowsDirectory0, "()Ljava/lang/String;"),
    PLATFORM_ROW(FolderInfo, getSystemDirectory0, "()Ljava/lang/String;"),
    PLATFORM_ROW(FolderInfo, getDriveType0, "(Ljava/lang/String;)I"),
    PLATFORM_ROW(FolderInfo, getShortPathName0, "(Ljava/lang/String;)Ljava/lang/String;"),
    PLATFORM_ROW(FolderInfo, getUniversalPathName0, "(Ljava/lang/String;)Ljava/lang/String;"),
};
constexpr NativeMethodName kMisc[] = {
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
constexpr NativeMethodName kObjectPicker[] = {
    PLATFORM_ROW(ObjectPicker, show0, "(ZZZZZ)[Lcom/stowline/runtime/installer/platform/win32/ObjectPicker$Result;"),
};
constexpr NativeMethodName kShellLink[] = {
    PLATFORM_ROW(ShellLink, createWide0, "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;ZLjava/lang/String;I)Z"),
    PLATFORM_ROW(ShellLink, changeNotify0, "([B[B)Z"),
    PLATFORM_ROW(ShellLink, initialize0, "()Z"),
    PLATFORM_ROW(ShellLink, uninitialize, "()Z"),
};
constexpr NativeMethodName kVistaFileChooser[] = {
    PLATFORM_ROW(VistaFileChooser, initialize0, "()V"),
    PLATFORM_ROW(VistaFileChooser, displayDialog0, "(JLjava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;IIZLjava/lang/String;[Ljava/lang/String;[Ljava/lang/String;I[Ljava/lang/String;[Z)[Ljava/lang/String;"),
};
constexpr NativeMethodName kVistaTaskDialog[] = {
    PLATFORM_ROW(VistaTaskDialog, show0, "(JLjava/lang/String;Ljava/lang/String;Ljava/lang/String;IIILjava/lang/String;[Ljava/lang/String;I)I"),
    PLATFORM_ROW(VistaTaskDialog, init0, "()V"),
};
constexpr NativeMethodName kWin32CommunicationBackend[] = {
    PLATFORM_ROW(Win32CommunicationBackend, getInvalidHandle0, "()J"),
    PLATFORM_ROW(Win32CommunicationBackend, createListener0, "(Ljava/lang/String;)J"),
    PLATFORM_ROW(Win32CommunicationBackend, readDataBlock0, "(J)[B"),
    PLATFORM_ROW(Win32CommunicationBackend, writeDataBlock0, "(J[B)Z"),
    PLATFORM_ROW(Win32CommunicationBackend, connectClient0, "(Ljava/lang/String;)J"),
    PLATFORM_ROW(Win32CommunicationBackend, connectNamedPipe0, "(J)Z"),
    PLATFORM_ROW(Win32CommunicationBackend, disconnectNamedPipe0, "(J)V"),
    PLATFORM_ROW(Win32CommunicationBackend, closeHandle0, "(J)V"),
    PLATFORM_ROW(Win32CommunicationBackend, isProcessAlive0, "(I)Z"),
    PLATFORM_ROW(Win32CommunicationBackend, getCurrentProcessId0, "()I"),
};
constexpr NativeMethodName kWin32Proxy[] = {
    PLATFORM_ROW(Win32Proxy, getIEConfig0, "([Ljava/lang/String;)I"),
    PLATFORM_ROW(Win32Proxy, getDefaultConfig0, "([Ljava/lang/String;)I"),
    PLATFORM_ROW(Win32Proxy, getAutoProxyConfig0, "([Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;IIZ)J"),
    PLATFORM_ROW(Win32Proxy, loadFunctions0, "()Z"),
};
constexpr NativeMethodName kWin32UserInfo[] = {
    PLATFORM_ROW(Win32UserInfo, isMemberOfGroup0, "(I)Z"),
    PLATFORM_ROW(Win32UserInfo, executeElevated0, "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;I)Z"),
    PLATFORM_ROW(Win32UserInfo, getElevationType0, "()I"),
    PLATFORM_ROW(Win32UserInfo, addUser0, "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;ZZ)Ljava/lang/String;"),
    PLATFORM_ROW(Win32UserInfo, deleteUser0, "(Ljava/lang/String;Ljava/lang/String;)I"),
    PLATFORM_ROW(Win32UserInfo, deleteLocalGroup0, "(Ljava/lang/String;Ljava/lang/String;)I"),
    PLATFORM_ROW(Win32UserInfo, getAccountName0, "(Ljava/lang/String;Z)Ljava/lang/String;"),
    PLATFORM_ROW(Win32UserInfo, getUserProfileDirectory0, "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;"),
    PLATFORM_ROW(Win32UserInfo, getUserSid0, "()Ljava/lang/String;"),
    PLATFORM_ROW(Win32UserInfo, setLsaAccountRight0, "(Ljava/lang/String;Ljava/lang/String;Z)Z"),
};
constexpr NativeMethodName kWinGuiHelper[] = {
    PLATFORM_ROW(WinGuiHelper, getPeer0, "(Ljava/awt/Window;Ljava/lang/Class;)Ljava/lang/Object;"),
    PLATFORM_ROW(WinGuiHelper, getHwnd0, "(Ljava/lang/Object;Ljava/lang/reflect/Method;)J"),
    PLATFORM_ROW(WinGuiHelper, destroyHIcon0, "(J)V"),
    PLATFORM_ROW(WinGuiHelper, createHIcon0, "([BII)J"),
    PLATFORM_ROW(WinGuiHelper, flashWindow0, "(JZ)V"),
};
constexpr NativeMethodName kWinInet[] = {
    PLATFORM_ROW(wininet_WinInet, init0, "()Z"),
    PLATFORM_ROW(wininet_WinInet, getErrorMessage0, "(I)Ljava/lang/String;"),
    PLATFORM_ROW(wininet_WinInet, getErrorCode0, "(J)I"),
    PLATFORM_ROW(wininet_WinInet, getErrorLocation0, "(J)I"),
    PLATFORM_ROW(wininet_WinInet, clearError0, "(J)V"),
    PLATFORM_ROW(wininet_WinInet, destroy0, "(J)V"),
    PLATFORM_ROW(wininet_WinInet, connect0, "(Ljava/lang/String;ILjava/lang/String;Ljava/lang/String;ILjava/lang/String;II)J"),
    PLATFORM_ROW(wininet_WinInet, openRequest0, "(JLjava/lang/String;Ljava/lang/String;II)V"),
    PLATFORM_ROW(wininet_WinInet, getHeaders0, "(J)[B"),
    PLATFORM_ROW(wininet_WinInet, read0, "(J[BII)I"),
    PLATFORM_ROW(wininet_WinInet, internetErrorDlg0, "(JIIJ)I"),
    PLATFORM_ROW(wininet_WinInet, sendRequest0, "(JLjava/lang/String;[B)I"),
    PLATFORM_ROW(wininet_WinInet, setOption0, "(JI[B)V"),
    PLATFORM_ROW(wininet_WinInet, setDwordOption0, "(JII)V"),
};
constexpr NativeMethodName kWinTaskBar[] = {
    PLATFORM_ROW(WinTaskBar, initTaskBar0, "()V"),
    PLATFORM_ROW(WinTaskBar, setOverlayIcon0, "(JJ)V"),
    PLATFORM_ROW(WinTaskBar, setProgress0, "(JJJ)V"),
    PLATFORM_ROW(WinTaskBar, setState0, "(JI)V"),
};
constexpr NativeMethodName kACLHandling[] = {
    PLATFORM_ROW(ACLHandling, addACE, "(Ljava/lang/String;ZZZZZILjava/lang/String;)Z"),
};
constexpr NativeMethodName kRegistry[] = {
    PLATFORM_ROW(Registry, keyExists0, "(ILjava/lang/String;I)Z"),
    PLATFORM_ROW(Registry, createKey0, "(ILjava/lang/String;I)Z"),
    PLATFORM_ROW(Registry, getValue0, "(ILjava/lang/String;Ljava/lang/String;I)Ljava/lang/Object;"),
    PLATFORM_ROW(Registry, setValue0, "(ILjava/lang/String;Ljava/lang/String;Ljava/lang/Object;II)Z"),
    PLATFORM_ROW(Registry, deleteValue0, "(ILjava/lang/String;Ljava/lang/String;I)V"),
    PLATFORM_ROW(Registry, deleteKey0, "(ILjava/lang/String;ZI)V"),
    PLATFORM_ROW(Registry, saveKey0, "(ILjava/lang/String;Ljava/lang/String;I)Z"),
    PLATFORM_ROW(Registry, restoreKey0, "(ILjava/lang/String;Ljava/lang/String;I)Z"),
    PLATFORM_ROW(Registry, enumSubKeys0, "(ILjava/lang/String;I)[Ljava/lang/String;"),
    PLATFORM_ROW(Registry, enumValues0, "(ILjava/lang/String;I)[Ljava/lang/String;"),
    PLATFORM_ROW(Registry, changeNotifyAssociations0, "()V"),
};
constexpr NativeMethodName kWin32Exec[] = {
    PLATFORM_ROW(Win32Exec, launch0, "(Ljava/lang/String;Ljava/lang/String;)I"),
};
constexpr NativeMethodName kWin32Handle[] = {
    PLATFORM_ROW(Win32Handle, list0, "()[Ljava/lang/Object;"),
    PLATFORM_ROW(Win32Handle, close0, "(I)Z"),
    PLATFORM_ROW(Win32Handle, getDeviceName0, "(Ljava/lang/String;)Ljava/lang/String;"),
};
constexpr NativeMethodName kWin32Services[] = {
    PLATFORM_ROW(Win32Services, installService0, "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)I"),
    PLATFORM_ROW(Win32Services, changeServiceConfig0, "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;IILjava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)I"),
    PLATFORM_ROW(Win32Services, setRestartServiceConfig0, "(Ljava/lang/String;ZIII)I"),
    PLATFORM_ROW(Win32Services, setDelayedAutoStart0, "(Ljava/lang/String;Z)I"),
    PLATFORM_ROW(Win32Services, stopService0, "(Ljava/lang/String;I)I"),
    PLATFORM_ROW(Win32Services, startService0, "(Ljava/lang/String;[Ljava/lang/String;)I"),
    PLATFORM_ROW(Win32Services, uninstallService0, "(Ljava/lang/String;)I"),
    PLATFORM_ROW(Win32Services, queryStatus0, "(Ljava/lang/String;)I"),
    PLATFORM_ROW(Win32Services, getStartType0, "(Ljava/lang/String;)I"),
    PLATFORM_ROW(Win32Services, getServiceBinary0, "(Ljava/lang/String;)Ljava/lang/String;"),
};
constexpr NativeMethodName kFlatWindowsNativeWindowBorder_WndProc[] = {
    BORDER_ROW(FlatWindowsNativeWindowBorder_00024WndProc, installImpl, "(J)J"),
    BORDER_ROW(FlatWindowsNativeWindowBorder_00024WndProc, uninstallImpl, "(J)V"),
    BORDER_ROW(FlatWindowsNativeWindowBorder_00024WndProc, updateFrame, "(JI)V"),
    BORDER_ROW(FlatWindowsNativeWindowBorder_00024WndProc, setWindowBackground, "(JIII)V"),
    BORDER_ROW(FlatWindowsNativeWindowBorder_00024WndProc, showWindow, "(JI)V"),
};
constexpr NativeMethodName kFlatWindowsNativeWindowBorder[] = {
    BORDER_ROW(FlatWindowsNativeWindowBorder, registryGetIntValue, "(Ljava/lang/String;Ljava/lang/String;I)I"),
};

}  // namespace

const NativeClass kPlatformClasses[] = {
    {"com/stowline/runtime/installer/platform/win32/FileVersion", kFileVersion, std::size(kFileVersion)},
    {"com/stowline/runtime/installer/platform/win32/FolderInfo", kFolderInfo, std::size(kFolderInfo)},
    {"com/stowline/runtime/installer/platform/win32/Misc", kMisc, std::size(kMisc)},
    {"com/stowline/runtime/installer/platform/win32/ObjectPicker", kObjectPicker, std::size(kObjectPicker)},
    {"com/stowline/runtime/installer/platform/win32/ShellLink", kShellLink, std::size(kShellLink)},
    {"com/stowline/runtime/installer/platform/win32/VistaFileChooser", kVistaFileChooser, std::size(kVistaFileChooser)},
    {"com/stowline/runtime/installer/platform/win32/VistaTaskDialog", kVistaTaskDialog, std::size(kVistaTaskDialog)},
    {"com/stowline/runtime/installer/platform/win32/Win32CommunicationBackend", kWin32CommunicationBackend, std::size(kWin32CommunicationBackend)},
    {"com/stowline/runtime/installer/platform/win32/Win32Proxy", kWin32Proxy, std::size(kWin32Proxy)},
    {"com/stowline/runtime/installer/platform/win32/Win32UserInfo", kWin32UserInfo, std::size(kWin32UserInfo)},
    {"com/stowline/runtime/installer/platform/win32/WinGuiHelper", kWinGuiHelper, std::size(kWinGuiHelper)},
    {"com/stowline/runtime/installer/platform/win32/wininet/WinInet", kWinInet, std::size(kWinInet)},
    {"com/stowline/runtime/installer/platform/win32/WinTaskBar", kWinTaskBar, std::size(kWinTaskBar)},
    {"com/stowline/runtime/installer/platform/win32/ACLHandling", kACLHandling, std::size(kACLHandling)},
    {"com/stowline/runtime/installer/platform/win32/Registry", kRegistry, std::size(kRegistry)},
    {"com/stowline/runtime/installer/platform/win32/Win32Exec", kWin32Exec, std::size(kWin32Exec)},
    {"com/stowline/runtime/installer/platform/win32/Win32Handle", kWin32Handle, std::size(kWin32Handle)},
    {"com/stowline/runtime/installer/platform/win32/Win32Services", kWin32Services, std::size(kWin32Services)},
};
const NativeClass kWindowBorderClasses[] = {
    {"com.stowline.runtime.flatlaf.FlatWindowsNativeWindowBorder$WndProc", kFlatWindowsNativeWindowBorder_WndProc, std::size(kFlatWindowsNativeWindowBorder_WndProc)},
    {"com.stowline.runtime.flatlaf.FlatWindowsNativeWindowBorder", kFlatWindowsNativeWindowBorder, std::size(kFlatWindowsNativeWindowBorder)},
};
const size_t kPlatformClassCount = std::size(kPlatformClasses);
const size_t kWindowBorderClassCount = std::size(kWindowBorderClasses);

bool registerClasses(JNIEnv* env, HMODULE module, const NativeClass* classes, size_t count, const ClassFinder& finder,
                     NativeErrorFunction error)
{
    if (error == nullptr) error = ignoreError;
    for (size_t i = 0; i < count; ++i)
        if (!registerClass(env, module, classes[i], finder, error)) return false;
    return true;
}

jboolean registerNatives(JNIEnv* env, HMODULE module, NativeErrorFunction error) noexcept
{
    registrationError = error != nullptr ? error : &ignoreError;
    return registerClasses(env, module, kPlatformClasses, kPlatformClassCount, ClassFinder{}, error) ? JNI_TRUE
                                                                                                     : JNI_FALSE;
}

jboolean registerNativesFlatlaf(JNIEnv* env, jobject loader, jclass classClass, jmethodID forName, HMODULE module,
                                NativeErrorFunction error) noexcept
{
    ClassFinder finder;
    finder.loader = loader;
    finder.classClass = classClass;
    finder.forName = forName;
    return registerClasses(env, module, kWindowBorderClasses, kWindowBorderClassCount, finder, error) ? JNI_TRUE
                                                                                                     : JNI_FALSE;
}

extern "C" JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_Misc_registerExtensionFunctions0(
    JNIEnv* env, jclass, jobject loader, jstring functionName) noexcept
{
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              reinterpret_cast<LPCWSTR>(&registerNatives), &module))
        return JNI_FALSE;
    jclass classClass = (*env)->FindClass(env, "java/lang/Class");
    if (classClass == nullptr) {
        (*env)->ExceptionClear(env);
        return JNI_FALSE;
    }
    jmethodID forName =
        (*env)->GetStaticMethodID(env, classClass, "forName", "(Ljava/lang/String;ZLjava/lang/ClassLoader;)Ljava/lang/Class;");
    if (forName == nullptr || functionName == nullptr) {
        (*env)->ExceptionClear(env);
        (*env)->DeleteLocalRef(env, classClass);
        return JNI_FALSE;
    }
    const char* name = (*env)->GetStringUTFChars(env, functionName, nullptr);
    if (name == nullptr) {
        (*env)->ExceptionClear(env);
        (*env)->DeleteLocalRef(env, classClass);
        return JNI_FALSE;
    }
    auto extension = reinterpret_cast<RegisterExtensionFn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
    jboolean result = JNI_FALSE;
    if (extension == nullptr) {
        registrationError(L"did not find register natives extension in helper dll (%S)", name);
    } else if (!extension(env, loader, classClass, forName, module, registrationError)) {
        registrationError(L"registering helper dll extension failed");
    } else {
        result = JNI_TRUE;
    }
    (*env)->ReleaseStringUTFChars(env, functionName, name);
    (*env)->DeleteLocalRef(env, classClass);
    return result;
}
