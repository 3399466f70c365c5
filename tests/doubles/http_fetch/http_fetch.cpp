// http_fetch.exe HOST PORT PATH [PIECE [direct]]
//
// Downloads http://HOST:PORT/PATH through the WinInet natives as the Java side calls them
// (connect0, openRequest0, sendRequest0, then read0 into a byte[] of PIECE bytes, 65536 by
// default, each piece copied out of the array), inside the test VM (..\test_vm\jvm.dll). With
// "direct", the same requests go to WinInet itself (InternetReadFile into a buffer of PIECE bytes),
// which shows what the natives add. Prints "status=<code> bytes=<count> seconds=<time from the
// connection to the last read> crc=<crc32 hex>"; exit code 1 when the download failed.
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "core/crc32.h"
#include "natives/jni_support.h"
#include "natives/network/win_inet.h"
#include "windows/base/handles.h"
#include "windows/base/system_functions.h"

namespace {

// The download straight through WinInet: status, body; false when a step failed.
bool fetchDirect(const wchar_t* host, int port, const wchar_t* path, DWORD piece, DWORD& status,
                 std::vector<char>& body)
{
    HMODULE wininet = loadSystemLibrary(L"wininet.dll");
    auto open = boundFunction<decltype(&::InternetOpenW)>(wininet, "InternetOpenW");
    auto connect = boundFunction<decltype(&::InternetConnectW)>(wininet, "InternetConnectW");
    auto openRequest = boundFunction<decltype(&::HttpOpenRequestW)>(wininet, "HttpOpenRequestW");
    auto send = boundFunction<decltype(&::HttpSendRequestW)>(wininet, "HttpSendRequestW");
    auto query = boundFunction<decltype(&::HttpQueryInfoA)>(wininet, "HttpQueryInfoA");
    auto read = boundFunction<decltype(&::InternetReadFile)>(wininet, "InternetReadFile");
    if (!open || !connect || !openRequest || !send || !query || !read) return false;
    unique_internet session(open(L"http_fetch", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    unique_internet connection(connect(session.get(), host, static_cast<INTERNET_PORT>(port), nullptr, nullptr,
                                       INTERNET_SERVICE_HTTP, 0, 0));
    const wchar_t* accept[] = {L"*/*", nullptr};
    unique_internet request(openRequest(connection.get(), L"GET", path, nullptr, nullptr, accept,
                                        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0));
    DWORD size = sizeof status;
    if (!send(request.get(), nullptr, 0, nullptr, 0) ||
        !query(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
        return false;
    std::vector<char> buffer(piece);
    DWORD got = 0;
    while (read(request.get(), buffer.data(), piece, &got) && got > 0)
        body.insert(body.end(), buffer.data(), buffer.data() + got);
    return got == 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4) {
        std::fputs("usage: http_fetch HOST PORT PATH [PIECE]\n", stderr);
        return 2;
    }
    const jint piece = argc > 4 ? static_cast<jint>(std::wcstol(argv[4], nullptr, 10)) : 65536;
    const int port = static_cast<int>(std::wcstol(argv[2], nullptr, 10));
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    if (argc > 5 && std::wcscmp(argv[5], L"direct") == 0) {
        DWORD status = 0;
        std::vector<char> body;
        ::QueryPerformanceCounter(&start);
        const bool done = fetchDirect(argv[1], port, argv[3], static_cast<DWORD>(piece), status, body);
        ::QueryPerformanceCounter(&end);
        std::printf("status=%d bytes=%zu seconds=%.4f crc=%08x\n", static_cast<int>(status), body.size(),
                    static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart),
                    crc32Update(kCrc32Initial, body.data(), body.size()));
        return done && status == 200 ? 0 : 1;
    }
    wchar_t self[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder(self, length);
    folder = folder.substr(0, folder.find_last_of(L'\\'));
    HMODULE vmModule = ::LoadLibraryW((folder.substr(0, folder.find_last_of(L'\\')) + L"\\test_vm\\jvm.dll").c_str());
    auto create = reinterpret_cast<JniCreateJavaVMFn>(
        reinterpret_cast<void*>(::GetProcAddress(vmModule, "JNI_CreateJavaVM")));
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    JavaVMInitArgs args{JNI_VERSION_1_2, 0, nullptr, JNI_TRUE};
    if (create == nullptr || create(&vm, reinterpret_cast<void**>(&env), &args) != JNI_OK) {
        std::fputs("no test VM\n", stderr);
        return 1;
    }
    if (!Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_init0(env, nullptr)) return 1;

    ::QueryPerformanceCounter(&start);
    jlong handle = Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_connect0(
        env, nullptr, wideToJava(env, L"http_fetch"), 1, nullptr, nullptr, 0, wideToJava(env, argv[1]), port, 0);
    Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_openRequest0(
        env, nullptr, handle, wideToJava(env, L"GET"), wideToJava(env, argv[3]),
        static_cast<jint>(INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE), 0);
    const jint status = Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_sendRequest0(
        env, nullptr, handle, nullptr, nullptr);
    jbyteArray array = (*env)->NewByteArray(env, piece);
    std::vector<jbyte> body;
    std::vector<jbyte> copy(static_cast<size_t>(piece));
    jint got;
    while ((got = Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_read0(env, nullptr, handle, array,
                                                                                           0, piece)) > 0) {
        (*env)->GetByteArrayRegion(env, array, 0, got, copy.data());
        body.insert(body.end(), copy.begin(), copy.begin() + got);
    }
    ::QueryPerformanceCounter(&end);
    const jint location =
        Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_getErrorLocation0(env, nullptr, handle);
    Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_destroy0(env, nullptr, handle);
    std::printf("status=%d bytes=%zu seconds=%.4f crc=%08x\n", static_cast<int>(status), body.size(),
                static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart),
                crc32Update(kCrc32Initial, body.data(), body.size()));
    (*vm)->DestroyJavaVM(vm);
    return status == 200 && got == -1 && location == 0 ? 0 : 1;
}
