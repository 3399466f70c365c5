#include "natives/registration.h"

#include <iterator>
#include <string>
#include <vector>

#include "core/jni_names.h"

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

constexpr NativeMethodName kFileVersion[] = {
    {"compare0", "(Ljava/lang/String;Ljava/lang/String;)I"},
};
constexpr NativeMethodName kFolderInfo[] = {
    {"getSpecialFolder0", "(IZ)Ljava/lang/String;"},
    {"getPathFromRegistry0", "(Ljava/lang/String;)Ljava/lang/String;"},
    {"getWindowsDirectory0", "()Ljava/lang/String;"},
    {"getSystemDirectory0", "()Ljava/lang/String;"},
    {"getDriveType0", "(Ljava/lang/String;)I"},
    {"getShortPathName0", "(Ljava/lang/String;)Ljava/lang/String;"},
    {"getUniversalPathName0", "(Ljava/lang/String;)Ljava/lang/String;"},
};
constexpr NativeMethodName kMisc[] = {
    {"reboot0", "()V"},
    {"getRunningModules0", "(Z)[Ljava/lang/String;"},
    {"getEnvVarPairs0", "()[Ljava/lang/String;"},
    {"broadcastSettingChange0", "()V"},
    {"getPhysicalMemory0", "()J"},
    {"getFreeDiskSpace0", "(Ljava/lang/String;)J"},
    {"moveWithDelayUntilReboot0", "(Ljava/lang/String;Ljava/lang/String;)Z"},
    {"toFront0", "()V"},
    {"terminateProcesses0", "([IZI)I"},
    {"getWindowTitle0", "(I)Ljava/lang/String;"},
    {"setForegroundWindow0", "(J)V"},
    {"getTopLevelWindows0", "(Ljava/lang/Class;I)[Lcom/stowline/api/windows/WindowInfo;"},
    {"getPidFromHandle0", "(J)I"},
    {"registerExtensionFunctions0", "(Ljava/lang/ClassLoader;Ljava/lang/String;)Z"},
};
constexpr NativeMethodName kObjectPicker[] = {
    {"show0", "(ZZZZZ)[Lcom/stowline/runtime/installer/platform/win32/ObjectPicker$Result;"},
};
constexpr NativeMethodName kShellLink[] = {
    {"createWide0", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;ZLjava/lang/String;I)Z"},
    {"changeNotify0", "([B[B)Z"},
    {"initialize0", "()Z"},
    {"uninitialize", "()Z"},
};
constexpr NativeMethodName kVistaFileChooser[] = {
    {"initialize0", "()V"},
    {"displayDialog0", "(JLjava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;IIZLjava/lang/String;[Ljava/lang/String;[Ljava/lang/String;I[Ljava/lang/String;[Z)[Ljava/lang/String;"},
};
constexpr NativeMethodName kVistaTaskDialog[] = {
    {"show0", "(JLjava/lang/String;Ljava/lang/String;Ljava/lang/String;IIILjava/lang/String;[Ljava/lang/String;I)I"},
    {"init0", "()V"},
};
constexpr NativeMethodName kWin32CommunicationBackend[] = {
    {"getInvalidHandle0", "()J"},
    {"createListener0", "(Ljava/lang/String;)J"},
    {"readDataBlock0", "(J)[B"},
    {"writeDataBlock0", "(J[B)Z"},
    {"connectClient0", "(Ljava/lang/String;)J"},
    {"connectNamedPipe0", "(J)Z"},
    {"disconnectNamedPipe0", "(J)V"},
    {"closeHandle0", "(J)V"},
    {"isProcessAlive0", "(I)Z"},
    {"getCurrentProcessId0", "()I"},
};
constexpr NativeMethodName kWin32Proxy[] = {
    {"getIEConfig0", "([Ljava/lang/String;)I"},
    {"getDefaultConfig0", "([Ljava/lang/String;)I"},
    {"getAutoProxyConfig0", "([Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;IIZ)J"},
    {"loadFunctions0", "()Z"},
};
constexpr NativeMethodName kWin32UserInfo[] = {
    {"isMemberOfGroup0", "(I)Z"},
    {"executeElevated0", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;I)Z"},
    {"getElevationType0", "()I"},
    {"addUser0", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;ZZ)Ljava/lang/String;"},
    {"deleteUser0", "(Ljava/lang/String;Ljava/lang/String;)I"},
    {"deleteLocalGroup0", "(Ljava/lang/String;Ljava/lang/String;)I"},
    {"getAccountName0", "(Ljava/lang/String;Z)Ljava/lang/String;"},
    {"getUserProfileDirectory0", "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;"},
    {"getUserSid0", "()Ljava/lang/String;"},
    {"setLsaAccountRight0", "(Ljava/lang/String;Ljava/lang/String;Z)Z"},
};
constexpr NativeMethodName kWinGuiHelper[] = {
    {"getPeer0", "(Ljava/awt/Window;Ljava/lang/Class;)Ljava/lang/Object;"},
    {"getHwnd0", "(Ljava/lang/Object;Ljava/lang/reflect/Method;)J"},
    {"destroyHIcon0", "(J)V"},
    {"createHIcon0", "([BII)J"},
    {"flashWindow0", "(JZ)V"},
};
constexpr NativeMethodName kWinInet[] = {
    {"init0", "()Z"},
    {"getErrorMessage0", "(I)Ljava/lang/String;"},
    {"getErrorCode0", "(J)I"},
    {"getErrorLocation0", "(J)I"},
    {"clearError0", "(J)V"},
    {"destroy0", "(J)V"},
    {"connect0", "(Ljava/lang/String;ILjava/lang/String;Ljava/lang/String;ILjava/lang/String;II)J"},
    {"openRequest0", "(JLjava/lang/String;Ljava/lang/String;II)V"},
    {"getHeaders0", "(J)[B"},
    {"read0", "(J[BII)I"},
    {"internetErrorDlg0", "(JIIJ)I"},
    {"sendRequest0", "(JLjava/lang/String;[B)I"},
    {"setOption0", "(JI[B)V"},
    {"setDwordOption0", "(JII)V"},
};
constexpr NativeMethodName kWinTaskBar[] = {
    {"initTaskBar0", "()V"},
    {"setOverlayIcon0", "(JJ)V"},
    {"setProgress0", "(JJJ)V"},
    {"setState0", "(JI)V"},
};
constexpr NativeMethodName kACLHandling[] = {
    {"addACE", "(Ljava/lang/String;ZZZZZILjava/lang/String;)Z"},
};
constexpr NativeMethodName kRegistry[] = {
    {"keyExists0", "(ILjava/lang/String;I)Z"},
    {"createKey0", "(ILjava/lang/String;I)Z"},
    {"getValue0", "(ILjava/lang/String;Ljava/lang/String;I)Ljava/lang/Object;"},
    {"setValue0", "(ILjava/lang/String;Ljava/lang/String;Ljava/lang/Object;II)Z"},
    {"deleteValue0", "(ILjava/lang/String;Ljava/lang/String;I)V"},
    {"deleteKey0", "(ILjava/lang/String;ZI)V"},
    {"saveKey0", "(ILjava/lang/String;Ljava/lang/String;I)Z"},
    {"restoreKey0", "(ILjava/lang/String;Ljava/lang/String;I)Z"},
    {"enumSubKeys0", "(ILjava/lang/String;I)[Ljava/lang/String;"},
    {"enumValues0", "(ILjava/lang/String;I)[Ljava/lang/String;"},
    {"changeNotifyAssociations0", "()V"},
};
constexpr NativeMethodName kWin32Exec[] = {
    {"launch0", "(Ljava/lang/String;Ljava/lang/String;)I"},
};
constexpr NativeMethodName kWin32Handle[] = {
    {"list0", "()[Ljava/lang/Object;"},
    {"close0", "(I)Z"},
    {"getDeviceName0", "(Ljava/lang/String;)Ljava/lang/String;"},
};
constexpr NativeMethodName kWin32Services[] = {
    {"installService0", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)I"},
    {"changeServiceConfig0", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;IILjava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)I"},
    {"setRestartServiceConfig0", "(Ljava/lang/String;ZIII)I"},
    {"setDelayedAutoStart0", "(Ljava/lang/String;Z)I"},
    {"stopService0", "(Ljava/lang/String;I)I"},
    {"startService0", "(Ljava/lang/String;[Ljava/lang/String;)I"},
    {"uninstallService0", "(Ljava/lang/String;)I"},
    {"queryStatus0", "(Ljava/lang/String;)I"},
    {"getStartType0", "(Ljava/lang/String;)I"},
    {"getServiceBinary0", "(Ljava/lang/String;)Ljava/lang/String;"},
};
constexpr NativeMethodName kFlatWindowsNativeWindowBorder_WndProc[] = {
    {"installImpl", "(J)J"},
    {"uninstallImpl", "(J)V"},
    {"updateFrame", "(JI)V"},
    {"setWindowBackground", "(JIII)V"},
    {"showWindow", "(JI)V"},
};
constexpr NativeMethodName kFlatWindowsNativeWindowBorder[] = {
    {"registryGetIntValue", "(Ljava/lang/String;Ljava/lang/String;I)I"},
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
