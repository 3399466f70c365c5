// test_vm_host JVM_DLL MODE ...: loads a jvm.dll and drives it the way the launcher does, for
// behaviour that ends the process.
//   main CLASS ARG...         VM with an "exit" hook (which ends the process with code + 100),
//                             then CLASS.main(ARG...); exit code 0, or 3 when main threw
//   main-nohook CLASS ARG...  the same without the hook
//   slot N                    calls slot N of the JNIEnv table with null arguments
//   bad-reference             passes a pointer the VM never handed out to GetObjectClass
#include <windows.h>

#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "jni/jni.h"

namespace {

void JNICALL exitHook(jint code) { ::ExitProcess(static_cast<UINT>(code + 100)); }

std::string narrow(const wchar_t* text)
{
    int length = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(length > 0 ? length - 1 : 0), '\0');
    if (length > 1) {
        ::WideCharToMultiByte(CP_ACP, 0, text, -1, &out[0], length, nullptr, nullptr);
    }
    return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) {
        return 2;
    }
    HMODULE module = ::LoadLibraryW(argv[1]);
    if (!module) {
        return 4;
    }
    auto create = reinterpret_cast<JniCreateJavaVMFn>(reinterpret_cast<void*>(::GetProcAddress(module, "JNI_CreateJavaVM")));
    if (!create) {
        return 5;
    }
    std::wstring mode = argv[2];
    std::vector<JavaVMOption> options;
    char property[] = "-Dhost.mode=test";
    char exitName[] = "exit";
    options.push_back({property, nullptr});
    if (mode == L"main") {
        options.push_back({exitName, reinterpret_cast<void*>(&exitHook)});
    }
    JavaVMInitArgs init{JNI_VERSION_1_2, static_cast<jint>(options.size()), options.data(), JNI_TRUE};
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    if (create(&vm, reinterpret_cast<void**>(&env), &init) != JNI_OK) {
        return 6;
    }
    if (mode == L"slot" && argc == 4) {
        int index = std::wcstol(argv[3], nullptr, 10);
        using AnySlot = void(JNICALL*)(void*, void*, void*, void*);
        auto slots = reinterpret_cast<void* const*>(*env);
        reinterpret_cast<AnySlot>(slots[index])(env, nullptr, nullptr, nullptr);
        return 7;
    }
    if (mode == L"bad-reference") {
        static int notAnObject = 0;
        (*env)->GetObjectClass(env, reinterpret_cast<jobject>(&notAnObject));
        return 7;
    }
    if ((mode == L"main" || mode == L"main-nohook") && argc >= 4) {
        std::string className = narrow(argv[3]);
        jclass launcher = (*env)->FindClass(env, className.c_str());
        if (!launcher) {
            return 8;
        }
        jmethodID mainMethod = (*env)->GetStaticMethodID(env, launcher, "main", "([Ljava/lang/String;)V");
        jclass stringClass = (*env)->FindClass(env, "java/lang/String");
        jobjectArray args = (*env)->NewObjectArray(env, argc - 4, stringClass, nullptr);
        for (int i = 4; i < argc; ++i) {
            jstring text = (*env)->NewString(env, reinterpret_cast<const jchar*>(argv[i]),
                                             static_cast<jsize>(std::wcslen(argv[i])));
            (*env)->SetObjectArrayElement(env, args, i - 4, text);
        }
        (*env)->CallStaticVoidMethod(env, launcher, mainMethod, args);
        bool threw = (*env)->ExceptionCheck(env);
        (*vm)->DestroyJavaVM(vm);
        return threw ? 3 : 0;
    }
    return 2;
}
