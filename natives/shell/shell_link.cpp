#include "natives/shell/shell_link.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>
#include <vector>

#include "natives/jni_support.h"
#include "natives/shell_functions.h"
#include "windows/base/handles.h"

namespace {

constexpr CLSID kShellLinkNatives = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr DWORD kRunAsUser = 0x2000;  // SLDF_RUNAS_USER

// The text of a byte array up to its first NUL; an array without one ends at its last byte, so
// nothing past the array is ever read. Null for a null array.
class ByteText {
public:
    ByteText(JNIEnv* env, jbyteArray array)
    {
        std::vector<uint8_t> bytes = javaToBytes(env, array, &null_);
        size_t end = 0;
        while (end < bytes.size() && bytes[end] != 0) ++end;
        text_.assign(bytes.begin(), bytes.begin() + end);
    }
    const char* get() const { return null_ ? nullptr : text_.c_str(); }

private:
    std::string text_;
    bool null_ = false;
};

// The same for UTF-16 text (an odd last byte is dropped).
std::wstring wideBytes(JNIEnv* env, jbyteArray array, bool& isNull)
{
    std::vector<uint8_t> bytes = javaToBytes(env, array, &isNull);
    std::wstring text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        wchar_t unit = static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8));
        if (unit == 0) break;
        text.push_back(unit);
    }
    return text;
}

// Sets the run-as flag when asked and saves the file; the outcome of the last step reached.
template <typename Link>
bool saveLink(const com_ptr<Link>& link, const wchar_t* file, bool runAsAdministrator)
{
    com_ptr<IPersistFile> persist = link.template query<IPersistFile>(__uuidof(IPersistFile));
    if (!persist) return false;
    if (runAsAdministrator) {
        com_ptr<IShellLinkDataList> data = link.template query<IShellLinkDataList>(__uuidof(IShellLinkDataList));
        DWORD flags = 0;
        if (!data || FAILED(data->GetFlags(&flags)) || FAILED(data->SetFlags(flags | kRunAsUser))) return false;
    }
    return SUCCEEDED(persist->Save(file, TRUE));
}

// The shared steps of both forms over IShellLinkW or IShellLinkA. The setters' outcomes are not
// checked; a text that is absent is not passed on (the link keeps its empty default).
template <typename Link, typename Char>
bool createLink(const IID& id, const wchar_t* file, const Char* target, const Char* directory, const Char* icon,
                const Char* arguments, bool runAsAdministrator, const Char* description, const int* showCommand)
{
    if (file == nullptr) return false;
    com_ptr<Link> link;
    if (FAILED(::CoCreateInstance(kShellLinkNatives, nullptr, CLSCTX_INPROC_SERVER, id, link.putVoid()))) return false;
    if (target != nullptr) link->SetPath(target);
    if (directory != nullptr) link->SetWorkingDirectory(directory);
    if (icon != nullptr) link->SetIconLocation(icon, 0);
    if (arguments != nullptr) link->SetArguments(arguments);
    if (description != nullptr) link->SetDescription(description);
    if (showCommand != nullptr) link->SetShowCmd(*showCommand);
    return saveLink(link, file, runAsAdministrator);
}

}  // namespace

extern "C" {

JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_ShellLink_createWide0(
    JNIEnv* env, jclass, jstring file, jstring target, jstring workingDirectory, jstring icon, jstring arguments,
    jboolean runAsAdministrator, jstring description, jint showCommand) noexcept
{
    return guarded(JNI_FALSE, [&]() -> jboolean {
        const JavaText path(env, file), to(env, target), directory(env, workingDirectory), iconFile(env, icon),
            argumentText(env, arguments), descriptionText(env, description);
        const int show = showCommand;
        return createLink<IShellLinkW>(__uuidof(IShellLinkW), path.get(), to.get(), directory.get(), iconFile.get(),
                                       argumentText.get(), runAsAdministrator != JNI_FALSE, descriptionText.get(),
                                       &show)
                   ? JNI_TRUE
                   : JNI_FALSE;
    });
}

JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_ShellLink_create0(
    JNIEnv* env, jclass, jstring file, jbyteArray target, jbyteArray workingDirectory, jbyteArray icon,
    jbyteArray arguments, jboolean runAsAdministrator, jbyteArray description) noexcept
{
    return guarded(JNI_FALSE, [&]() -> jboolean {
        const JavaText path(env, file);
        const ByteText to(env, target), directory(env, workingDirectory), iconFile(env, icon),
            argumentText(env, arguments), descriptionText(env, description);
        return createLink<IShellLinkA>(__uuidof(IShellLinkA), path.get(), to.get(), directory.get(), iconFile.get(),
                                       argumentText.get(), runAsAdministrator != JNI_FALSE, descriptionText.get(),
                                       static_cast<const int*>(nullptr))
                   ? JNI_TRUE
                   : JNI_FALSE;
    });
}

JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_ShellLink_changeNotify0(
    JNIEnv* env, jclass, jbyteArray created, jbyteArray updatedDirectory) noexcept
{
    return guarded(JNI_FALSE, [&]() -> jboolean {
        try {
            bool createdNull = false, updatedNull = false;
            const std::wstring item = wideBytes(env, created, createdNull);
            const std::wstring directory = wideBytes(env, updatedDirectory, updatedNull);
            shellChangeNotify(SHCNE_CREATE, SHCNF_PATHW, createdNull ? nullptr : item.c_str(), nullptr);
            shellChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHW | SHCNF_FLUSH, updatedNull ? nullptr : directory.c_str(),
                              nullptr);
        } catch (...) {
        }
        return JNI_TRUE;
    });
}

JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_ShellLink_initialize0(JNIEnv*,
                                                                                                    jclass) noexcept
{
    return guarded(JNI_FALSE, [&]() -> jboolean {
        // Balanced by the Java side's call of uninitialize, so no scope owns it.
        ::CoInitialize(nullptr);
        return JNI_TRUE;
    });
}

JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_ShellLink_uninitialize(JNIEnv*,
                                                                                                     jclass) noexcept
{
    return guarded(JNI_FALSE, [&]() -> jboolean {
        ::CoUninitialize();
        return JNI_TRUE;
    });
}

}  // extern "C"

// The rows this file binds, in registration order (registration.cpp orders the classes).
constexpr NativeMethodName kShellLinkRows[] = {
    PLATFORM_ROW(ShellLink, createWide0, "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;ZLjava/lang/String;I)Z"),
    PLATFORM_ROW(ShellLink, changeNotify0, "([B[B)Z"),
    PLATFORM_ROW(ShellLink, initialize0, "()Z"),
    PLATFORM_ROW(ShellLink, uninitialize, "()Z"),
};
constexpr NativeClass kShellLinkNatives =
    nativeClass("com/stowline/runtime/installer/platform/win32/ShellLink", kShellLinkRows);
