// native_host JVM_DLL CLASS...: creates the test VM of JVM_DLL (its script and report from
// TEST_VM_SCRIPT and TEST_VM_REPORT), registers the natives of each platform CLASS (slash name)
// from this program's exports, and runs the script's main actions through the launcher class's
// main. Exit code 0; 2 usage, 3 no VM, 4 a class did not register, 5 no main.
// native_host --link-baseline COUNT DIRECTORY: writes COUNT shortcuts into DIRECTORY through the
// shell's link object directly (no JNI, no natives) and prints "baseline <seconds>", the figure
// the shortcut benchmark compares createWide0 with.
#include <windows.h>
#include <commctrl.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#include <shobjidl.h>

#include "jni/jni.h"
#include "natives/registration.h"
#include "windows/base/handles.h"

namespace {

void printError(const wchar_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    std::vfwprintf(stderr, format, arguments);
    va_end(arguments);
    std::fputwc(L'\n', stderr);
}

std::string narrow(const wchar_t* text)
{
    std::string out;
    for (; *text; ++text) out.push_back(static_cast<char>(*text));
    return out;
}

// The same steps as createWide0 for a plain shortcut, straight through COM.
int linkBaseline(int count, const std::wstring& directory)
{
    com_scope com;
    const CLSID linkClass = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    for (int i = 1; i <= count; ++i) {
        com_ptr<IShellLinkW> link;
        if (FAILED(::CoCreateInstance(linkClass, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IShellLinkW), link.putVoid())))
            return 6;
        link->SetPath(L"C:\\windows\\notepad.exe");
        link->SetWorkingDirectory(directory.c_str());
        link->SetArguments((L"-x" + std::to_wstring(i)).c_str());
        link->SetDescription(L"bench");
        link->SetShowCmd(SW_SHOWNORMAL);
        com_ptr<IPersistFile> file = link.query<IPersistFile>(__uuidof(IPersistFile));
        if (!file || FAILED(file->Save((directory + L"\\base" + std::to_wstring(i) + L".lnk").c_str(), TRUE))) return 6;
    }
    ::QueryPerformanceCounter(&end);
    std::printf("baseline %.6f\n", static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 4 && std::wcscmp(argv[1], L"--link-baseline") == 0)
        return linkBaseline(std::wcstol(argv[2], nullptr, 10), argv[3]);
    if (argc < 2) return 2;
    // The dialogs find the common controls loaded, as they are in the launcher.
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    HMODULE vmModule = ::LoadLibraryW(argv[1]);
    auto create =
        reinterpret_cast<JniCreateJavaVMFn>(reinterpret_cast<void*>(::GetProcAddress(vmModule, "JNI_CreateJavaVM")));
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    JavaVMInitArgs init{JNI_VERSION_1_2, 0, nullptr, JNI_TRUE};
    if (create == nullptr || create(&vm, reinterpret_cast<void**>(&env), &init) != JNI_OK) return 3;
    for (int i = 2; i < argc; ++i) {
        const std::string name = narrow(argv[i]);
        const NativeClass* const* found = nullptr;
        for (size_t c = 0; c < kPlatformClassCount; ++c)
            if (name == kPlatformClasses[c]->name) found = &kPlatformClasses[c];
        if (found == nullptr || !registerClasses(env, ::GetModuleHandleW(nullptr), found, 1, ClassFinder{}, printError))
            return 4;
    }
    jclass launcher = (*env)->FindClass(env, "com/stowline/runtime/launcher/WinLauncher");
    jmethodID mainMethod =
        launcher ? (*env)->GetStaticMethodID(env, launcher, "main", "([Ljava/lang/String;)V") : nullptr;
    if (mainMethod == nullptr) return 5;
    jobjectArray arguments = (*env)->NewObjectArray(env, 0, (*env)->FindClass(env, "java/lang/String"), nullptr);
    (*env)->CallStaticVoidMethod(env, launcher, mainMethod, arguments);
    (*vm)->DestroyJavaVM(vm);
    return 0;
}
