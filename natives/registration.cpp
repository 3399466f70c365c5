#include "natives/registration.h"

#include <iterator>
#include <string>
#include <type_traits>
#include <vector>

#include "core/jni_names.h"
#include "jni/jni_helpers.h"
#include "natives/guarded.h"
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

// The launcher finds these by name and calls them through the types it shares with the natives.
static_assert(std::is_same_v<NativeModule, HMODULE>);
static_assert(std::is_same_v<decltype(&registerNatives), RegisterNativesFn>);
static_assert(std::is_same_v<decltype(&registerNativesFlatlaf), RegisterExtensionFn>);

namespace {

void ignoreError(const wchar_t*, ...) {}

// The error writer handed to registerNatives; the extension registration that the Java side asks
// for later reports through the same one. Written on the VM thread before Java code runs.
NativeErrorFunction registrationError = &ignoreError;

LocalRef<jclass> findTableClass(JNIEnv* env, const char* name, const ClassFinder& finder)
{
    if (finder.loader == nullptr && finder.forName == nullptr) return LocalRef<jclass>(env, findClassQuietly(env, name));
    LocalRef<jstring> dotted(env, (*env)->NewStringUTF(env, name));
    if (!dotted) {
        clearPendingException(env);
        return LocalRef<jclass>(env, nullptr);
    }
    jvalue arguments[3];
    arguments[0].l = dotted.get();
    arguments[1].z = JNI_FALSE;
    arguments[2].l = finder.loader;
    LocalRef<jclass> found(
        env, static_cast<jclass>((*env)->CallStaticObjectMethodA(env, finder.classClass, finder.forName, arguments)));
    if (clearPendingException(env)) found.reset();
    return found;
}

bool registerClass(JNIEnv* env, HMODULE module, const NativeClass& table, const ClassFinder& finder,
                   NativeErrorFunction error)
{
    LocalRef<jclass> found = findTableClass(env, table.name, finder);
    if (!found) {
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
            return false;
        }
        entries.push_back(JNINativeMethod{const_cast<char*>(method.name), const_cast<char*>(method.signature), function});
    }
    jint result = (*env)->RegisterNatives(env, found.get(), entries.data(), static_cast<jint>(entries.size()));
    if (result != JNI_OK) {
        clearPendingException(env);
        error(L"register %S failed %d", table.name, static_cast<int>(result));
        return false;
    }
    return true;
}

}  // namespace

// The order in which the classes are bound; each class file holds its own rows.
const NativeClass* const kPlatformClasses[] = {
    &kFileVersionNatives,
    &kFolderInfoNatives,
    &kMiscNatives,
    &kObjectPickerNatives,
    &kShellLinkNatives,
    &kVistaFileChooserNatives,
    &kVistaTaskDialogNatives,
    &kWin32CommunicationBackendNatives,
    &kWin32ProxyNatives,
    &kWin32UserInfoNatives,
    &kWinGuiHelperNatives,
    &kWinInetNatives,
    &kWinTaskBarNatives,
    &kACLHandlingNatives,
    &kRegistryNatives,
    &kWin32ExecNatives,
    &kWin32HandleNatives,
    &kWin32ServicesNatives,
};
const NativeClass* const kWindowBorderClasses[] = {
    &kFlatWindowsNativeWindowBorderWndProcNatives,
    &kFlatWindowsNativeWindowBorderNatives,
};
const size_t kPlatformClassCount = std::size(kPlatformClasses);
const size_t kWindowBorderClassCount = std::size(kWindowBorderClasses);

bool registerClasses(JNIEnv* env, HMODULE module, const NativeClass* const* classes, size_t count,
                     const ClassFinder& finder, NativeErrorFunction error)
{
    if (error == nullptr) error = ignoreError;
    for (size_t i = 0; i < count; ++i)
        if (!registerClass(env, module, *classes[i], finder, error)) return false;
    return true;
}

jboolean registerNatives(JNIEnv* env, HMODULE module, NativeErrorFunction error) noexcept
{
    registrationError = error != nullptr ? error : &ignoreError;
    return guarded(JNI_FALSE, [&]() -> jboolean {
        return registerClasses(env, module, kPlatformClasses, kPlatformClassCount, ClassFinder{}, error) ? JNI_TRUE
                                                                                                         : JNI_FALSE;
    });
}

jboolean registerNativesFlatlaf(JNIEnv* env, jobject loader, jclass classClass, jmethodID forName, HMODULE module,
                                NativeErrorFunction error) noexcept
{
    ClassFinder finder;
    finder.loader = loader;
    finder.classClass = classClass;
    finder.forName = forName;
    return guarded(JNI_FALSE, [&]() -> jboolean {
        return registerClasses(env, module, kWindowBorderClasses, kWindowBorderClassCount, finder, error) ? JNI_TRUE
                                                                                                         : JNI_FALSE;
    });
}

extern "C" JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_Misc_registerExtensionFunctions0(
    JNIEnv* env, jclass, jobject loader, jstring functionName) noexcept
{
    return guarded(JNI_FALSE, [&]() -> jboolean {
        HMODULE module = nullptr;
        if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                  reinterpret_cast<LPCWSTR>(&registerNatives), &module))
            return JNI_FALSE;
        LocalRef<jclass> classClass(env, findClassQuietly(env, "java/lang/Class"));
        if (!classClass) return JNI_FALSE;
        jmethodID forName = staticMethodQuietly(env, classClass.get(), "forName",
                                                "(Ljava/lang/String;ZLjava/lang/ClassLoader;)Ljava/lang/Class;");
        if (forName == nullptr || functionName == nullptr) return JNI_FALSE;
        const char* name = (*env)->GetStringUTFChars(env, functionName, nullptr);
        if (name == nullptr) {
            clearPendingException(env);
            return JNI_FALSE;
        }
        auto extension = reinterpret_cast<RegisterExtensionFn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
        jboolean result = JNI_FALSE;
        if (extension == nullptr) {
            registrationError(L"did not find register natives extension in helper dll (%S)", name);
        } else if (!extension(env, loader, classClass.get(), forName, module, registrationError)) {
            registrationError(L"registering helper dll extension failed");
        } else {
            result = JNI_TRUE;
        }
        (*env)->ReleaseStringUTFChars(env, functionName, name);
        return result;
    });
}
