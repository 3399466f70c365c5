// Round trips per second of getValue0 and setValue0 through the test VM's JNIEnv, against plain
// loops doing the same registry work (open, query or set, close) in the same run; and
// enumSubKeys0 over 10,000 subkeys with the peak of live local references it holds, counted by
// interposing on the JNI function table (the test VM itself keeps no count).
//
//   registry_bench.exe <path of the test VM's jvm.dll> [seconds per figure]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "natives/jni_support.h"
#include "natives/registry/registry.h"
#include "windows/base/handles.h"
#include "windows/base/registry.h"

namespace {

using Clock = std::chrono::steady_clock;
const wchar_t* const kKey = L"Software\\launcher-tests\\registry-bench";

// Calls body until the time is up; calls per second.
template <typename Body>
double rate(double seconds, Body body)
{
    const auto start = Clock::now();
    long calls = 0;
    double elapsed = 0;
    do {
        for (int i = 0; i < 100; ++i) body();
        calls += 100;
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    } while (elapsed < seconds);
    return calls / elapsed;
}

// Live local references: made by the functions below, dropped by DeleteLocalRef.
const JNINativeInterface_* real = nullptr;
long live = 0, peak = 0;
void made(const void* reference)
{
    if (reference != nullptr && ++live > peak) peak = live;
}
jclass JNICALL countFindClass(JNIEnv* env, const char* name)
{
    jclass r = real->FindClass(env, name);
    made(r);
    return r;
}
jstring JNICALL countNewString(JNIEnv* env, const jchar* text, jsize length)
{
    jstring r = real->NewString(env, text, length);
    made(r);
    return r;
}
jobjectArray JNICALL countNewObjectArray(JNIEnv* env, jsize length, jclass type, jobject initial)
{
    jobjectArray r = real->NewObjectArray(env, length, type, initial);
    made(r);
    return r;
}
jobject JNICALL countGetObjectArrayElement(JNIEnv* env, jobjectArray array, jsize index)
{
    jobject r = real->GetObjectArrayElement(env, array, index);
    made(r);
    return r;
}
void JNICALL countDeleteLocalRef(JNIEnv* env, jobject reference)
{
    if (reference != nullptr) --live;
    real->DeleteLocalRef(env, reference);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: registry_bench <jvm.dll> [seconds]\n");
        return 2;
    }
    const double seconds = argc > 2 ? _wtof(argv[2]) : 1.0;
    HMODULE vmModule = ::LoadLibraryW(argv[1]);
    auto create = vmModule ? reinterpret_cast<JniCreateJavaVMFn>(reinterpret_cast<void*>(::GetProcAddress(vmModule, "JNI_CreateJavaVM")))
                           : nullptr;
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    JavaVMInitArgs args{JNI_VERSION_1_2, 0, nullptr, JNI_TRUE};
    if (create == nullptr || create(&vm, reinterpret_cast<void**>(&env), &args) != JNI_OK) {
        std::fprintf(stderr, "cannot create the test VM from %ls\n", argv[1]);
        return 1;
    }
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
    const std::wstring data = L"C:\\Program Files\\Example Product\\bin";
    const DWORD dataBytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    jstring path = wideToJava(env, kKey);
    jstring name = wideToJava(env, L"InstallDir");
    jstring value = wideToJava(env, data);

    const double nativeSet = rate(seconds, [&] {
        Java_com_stowline_runtime_installer_platform_win32_Registry_setValue0(env, nullptr, 2, path, name, value, 1, 0);
    });
    const double plainSet = rate(seconds, [&] {
        unique_hkey key = createKey(HKEY_CURRENT_USER, kKey, KEY_ALL_ACCESS);
        ::RegSetValueExW(key.get(), L"InstallDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()), dataBytes);
    });
    const double nativeGet = rate(seconds, [&] {
        jobject read = Java_com_stowline_runtime_installer_platform_win32_Registry_getValue0(env, nullptr, 2, path, name, 0);
        (*env)->DeleteLocalRef(env, read);
    });
    const double plainGet = rate(seconds, [&] {
        unique_hkey key = openKey(HKEY_CURRENT_USER, kKey, KEY_READ);
        wchar_t buffer[512];
        DWORD type = 0, size = sizeof buffer;
        ::RegQueryValueExW(key.get(), L"InstallDir", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    });
    std::printf("setValue0 (REG_SZ, %u bytes): %9.0f calls/s; RegCreateKeyExW+RegSetValueExW+close: %9.0f/s; ratio %.2f\n",
                static_cast<unsigned>(dataBytes), nativeSet, plainSet, plainSet / nativeSet);
    std::printf("getValue0 (REG_SZ, %u bytes): %9.0f calls/s; RegOpenKeyExW+RegQueryValueExW+close: %9.0f/s; ratio %.2f\n",
                static_cast<unsigned>(dataBytes), nativeGet, plainGet, plainGet / nativeGet);

    const std::wstring many = std::wstring(kKey) + L"\\many";
    {
        unique_hkey parent = createKey(HKEY_CURRENT_USER, many.c_str(), KEY_ALL_ACCESS);
        for (int i = 0; i < 10000; ++i) createKey(parent.get(), (L"subkey-" + std::to_wstring(i)).c_str(), KEY_READ);
    }
    jstring manyPath = wideToJava(env, many);
    // Interpose on the function table of this thread's JNIEnv to count live local references.
    real = *env;
    JNINativeInterface_ counting = *real;
    counting.FindClass = countFindClass;
    counting.NewString = countNewString;
    counting.NewObjectArray = countNewObjectArray;
    counting.GetObjectArrayElement = countGetObjectArrayElement;
    counting.DeleteLocalRef = countDeleteLocalRef;
    std::vector<double> nativeTimes, plainTimes;
    jsize count = 0;
    for (int run = 0; run < 5; ++run) {
        *env = &counting;
        live = peak = 0;
        auto start = Clock::now();
        jobjectArray names = Java_com_stowline_runtime_installer_platform_win32_Registry_enumSubKeys0(env, nullptr, 2, manyPath, 0);
        nativeTimes.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        *env = real;
        count = names ? (*env)->GetArrayLength(env, names) : -1;
        start = Clock::now();
        unique_hkey key = openKey(HKEY_CURRENT_USER, many.c_str(), KEY_READ);
        const size_t plainCount = subkeyNames(key.get()).size();
        plainTimes.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        if (plainCount != 10000) std::printf("plain enumeration found %u\n", static_cast<unsigned>(plainCount));
    }
    std::sort(nativeTimes.begin(), nativeTimes.end());
    std::sort(plainTimes.begin(), plainTimes.end());
    std::printf("enumSubKeys0 over 10,000 subkeys: %d names, %.1f ms (median of 5); RegEnumKeyExW loop alone %.1f ms\n",
                static_cast<int>(count), nativeTimes[2] * 1000, plainTimes[2] * 1000);
    std::printf("enumSubKeys0 peak live local references: %ld (the returned array included)\n", peak);

    ::RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
    (*vm)->DestroyJavaVM(vm);
    return 0;
}
