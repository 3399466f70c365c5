#include "peer_vm.h"

#include "windows/base/wide_text.h"

std::wstring programDirectory()
{
    const std::wstring exe = moduleFileName();
    return exe.substr(0, exe.find_last_of(L'\\'));
}

JNIEnv* startTestVm()
{
    const std::wstring doubles = programDirectory().substr(0, programDirectory().find_last_of(L'\\'));
    HMODULE module = ::LoadLibraryW((doubles + L"\\test_vm\\jvm.dll").c_str());
    if (module == nullptr) return nullptr;
    auto create = reinterpret_cast<JniCreateJavaVMFn>(
        reinterpret_cast<void*>(::GetProcAddress(module, "JNI_CreateJavaVM")));
    if (create == nullptr) return nullptr;
    JavaVMInitArgs args{JNI_VERSION_1_2, 0, nullptr, JNI_TRUE};
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    return create(&vm, reinterpret_cast<void**>(&env), &args) == JNI_OK ? env : nullptr;
}

void dieNow(UINT code)
{
    ::TerminateProcess(::GetCurrentProcess(), code);
    for (;;) ::Sleep(INFINITE);
}

bool readExactly(HANDLE pipe, void* data, DWORD size)
{
    auto* at = static_cast<unsigned char*>(data);
    while (size > 0) {
        DWORD got = 0;
        if (!::ReadFile(pipe, at, size, &got, nullptr) || got == 0) return false;
        at += got;
        size -= got;
    }
    return true;
}
