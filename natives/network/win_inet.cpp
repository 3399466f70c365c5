#include "natives/network/win_inet.h"

#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <iterator>
#include <map>
#include <memory>
#include <new>
#include <vector>

#include "core/transfer_rules.h"
#include "natives/jni_support.h"
#include "windows/base/critical_section.h"
#include "windows/base/handles.h"
#include "windows/base/internet_functions.h"

namespace {

enum ErrorLocation : jint {
    kOpenFailed = 1,
    kConnectFailed = 2,
    kOpenRequestFailed = 3,
    kSendFailed = 4,
    kReadFailed = 5,
    kBodyUnavailable = 6,
    kHeaderQueryFailed = 7,
    kHeaderArrayFailed = 8,
    kHeaderSizeFailed = 9,
    kOptionBytesUnavailable = 10,
    kSetOptionFailed = 11,
};

// The error code recorded when Java's bytes could not be had or an array or buffer not be made.
constexpr DWORD kNoMemory = 6;
// The request's HTTP protocol option: 0 keeps WinInet to HTTP/1.1.
constexpr DWORD kHttpProtocolOption = 148;

// WinInet, bound once by whichever native comes first (init0 is expected to, but a native called
// before it must not jump through a null pointer).
const InternetFunctions* internet() { return internetFunctions(); }

struct Connection {
    unique_internet session;
    unique_internet connection;
    unique_internet request;
    jint errorLocation = 0;
    DWORD errorCode = 0;
    std::vector<char> readBuffer;

    void fail(jint location, DWORD code)
    {
        errorLocation = location;
        errorCode = code;
    }
    bool failed() const { return errorLocation != 0; }
};

// The records Java holds, by handle. Handles are numbers that are never reused, so a handle that
// was destroyed (or never given out) finds nothing instead of freed memory; a record stays alive
// while a native still works with it, even when another thread destroys its handle meanwhile.
struct ConnectionTable {
    CriticalSection lock;
    std::map<jlong, std::shared_ptr<Connection>> records;
    jlong lastHandle = 0;
};

ConnectionTable& table()
{
    static ConnectionTable* instance = new ConnectionTable();
    return *instance;
}

std::shared_ptr<Connection> find(jlong handle)
{
    if (handle == 0) return nullptr;
    CriticalSectionLock lock(table().lock);
    auto found = table().records.find(handle);
    return found != table().records.end() ? found->second : nullptr;
}

jlong keep(std::shared_ptr<Connection> record)
{
    CriticalSectionLock lock(table().lock);
    const jlong handle = ++table().lastHandle;
    table().records.emplace(handle, std::move(record));
    return handle;
}

std::shared_ptr<Connection> forget(jlong handle)
{
    if (handle == 0) return nullptr;
    CriticalSectionLock lock(table().lock);
    auto found = table().records.find(handle);
    if (found == table().records.end()) return nullptr;
    std::shared_ptr<Connection> record = std::move(found->second);
    table().records.erase(found);
    return record;
}

// One message-table lookup into text; false when the table has no entry for the language.
bool formatMessage(DWORD source, HMODULE module, DWORD code, DWORD language, std::wstring& text)
{
    wchar_t buffer[1024];
    DWORD length = ::FormatMessageW(source | FORMAT_MESSAGE_IGNORE_INSERTS, module, code, language, buffer,
                                    static_cast<DWORD>(std::size(buffer)), nullptr);
    if (length == 0) return false;
    text.assign(buffer, length);
    return true;
}

}  // namespace

extern "C" JNIEXPORT jboolean JNICALL
Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_init0(JNIEnv*, jclass) noexcept
{
    return guarded(JNI_FALSE, [&]() -> jboolean {
        switch (boundInternetFunctions().result) {
        case GroupBinding::Bound:
            return JNI_TRUE;
        case GroupBinding::NoLibrary:
            std::fputs("Could not load wininet.dll\n", stdout);
            break;
        case GroupBinding::NoFunctions:
            std::fputs("Could not load wininet.dll functions\n", stdout);
            break;
        }
        std::fflush(stdout);
        return JNI_FALSE;
    });
}

extern "C" JNIEXPORT jstring JNICALL
Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_getErrorMessage0(JNIEnv* env, jclass,
                                                                                    jint code) noexcept
{
    return guarded(nullptr, [&]() -> jstring {
        const DWORD error = static_cast<DWORD>(code);
        const DWORD english = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
        const DWORD neutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);
        std::wstring text;
        const bool inEnglish = formatMessage(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, error, english, text);
        const bool inDefault = !inEnglish && formatMessage(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, error, neutral, text);
        // WinInet's own codes (12001 and up) are in its message table, not the system's.
        HMODULE wininet = ::GetModuleHandleW(L"wininet.dll");
        if (!inDefault && wininet != nullptr) {
            if (!formatMessage(FORMAT_MESSAGE_FROM_HMODULE, wininet, error, english, text))
                formatMessage(FORMAT_MESSAGE_FROM_HMODULE, wininet, error, neutral, text);
        }
        return wideToJava(env, text);
    });
}

extern "C" JNIEXPORT jint JNICALL
Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_getErrorCode0(JNIEnv*, jclass, jlong handle) noexcept
{
    return guarded(0, [&]() -> jint {
        std::shared_ptr<Connection> record = find(handle);
        return record ? static_cast<jint>(record->errorCode) : 0;
    });
}

extern "C" JNIEXPORT jint JNICALL
Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_getErrorLocation0(JNIEnv*, jclass,
                                                                                     jlong handle) noexcept
{
    return guarded(0, [&]() -> jint {
        std::shared_ptr<Connection> record = find(handle);
        return record ? record->errorLocation : 0;
    });
}

extern "C" JNIEXPORT void JNICALL
Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_clearError0(JNIEnv*, jclass, jlong handle) noexcept
{
    guarded([&] {
        if (std::shared_ptr<Connection> record = find(handle)) record->fail(0, 0);
    });
}

extern "C" JNIEXPORT void JNICALL
Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_destroy0(JNIEnv*, jclass, jlong handle) noexcept
{
    guarded([&] {
        std::shared_ptr<Connection> record = forget(handle);
        if (!record) return;
        // Closed now, in this order, even while another thread still reads: closing is how WinInet
        // cancels a blocked read.
        record->request.reset();
        record->connection.reset();
        record->session.reset();
    });
}

extern "C" JNIEXPORT jlong JNICALL Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_connect0(
    JNIEnv* env, jclass, jstring agent, jint accessType, jstring proxy, jstring bypass, jint openFlags, jstring host,
    jint port, jint connectFlags) noexcept
{
    return guarded(0, [&]() -> jlong {
        auto record = std::make_shared<Connection>();
        const InternetFunctions* net = internet();
        if (net == nullptr) {
            record->fail(kOpenFailed, ERROR_PROC_NOT_FOUND);
            return keep(std::move(record));
        }
        const JavaText agentText(env, agent), proxyText(env, proxy), bypassText(env, bypass), hostText(env, host);
        record->session.reset(net->open(agentText.get(), static_cast<DWORD>(accessType), proxyText.get(),
                                        bypassText.get(), static_cast<DWORD>(openFlags)));
        if (!record->session) {
            record->fail(kOpenFailed, ::GetLastError());
        } else {
            record->connection.reset(net->connect(record->session.get(), hostText.get(),
                                                  static_cast<INTERNET_PORT>(port), nullptr, nullptr,
                                                  INTERNET_SERVICE_HTTP, static_cast<DWORD>(connectFlags), 0));
            if (!record->connection) record->fail(kConnectFailed, ::GetLastError());
        }
        return keep(std::move(record));
    });
}

extern "C" JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_openRequest0(
    JNIEnv* env, jclass, jlong handle, jstring verb, jstring path, jint flags, jint securityFlags) noexcept
{
    guarded([&] {
        std::shared_ptr<Connection> record = find(handle);
        const InternetFunctions* net = internet();
        if (!record || net == nullptr) return;
        const JavaText verbText(env, verb), pathText(env, path);
        const wchar_t* acceptTypes[] = {L"*/*", nullptr};
        record->request.reset(net->openRequest(record->connection.get(), verbText.get(), pathText.get(), nullptr, nullptr,
                                               acceptTypes, static_cast<DWORD>(flags), 0));
        if (!record->request) {
            record->fail(kOpenRequestFailed, ::GetLastError());
        } else if (securityFlags != 0) {
            DWORD current = 0;
            DWORD size = sizeof current;
            net->queryOption(record->request.get(), INTERNET_OPTION_SECURITY_FLAGS, &current, &size);
            current |= static_cast<DWORD>(securityFlags);
            net->setOption(record->request.get(), INTERNET_OPTION_SECURITY_FLAGS, &current, sizeof current);
        }
        if (!record->failed()) {
            DWORD protocols = 0;
            net->setOption(record->request.get(), kHttpProtocolOption, &protocols, sizeof protocols);
        }
        ::SetLastError(0);
    });
}

extern "C" JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_sendRequest0(
    JNIEnv* env, jclass, jlong handle, jstring headers, jbyteArray body) noexcept
{
    return guarded(0, [&]() -> jint {
        std::shared_ptr<Connection> record = find(handle);
        const InternetFunctions* net = internet();
        if (!record || net == nullptr) return 0;
        const ByteElements bytes(env, body);
        if (!bytes.available()) record->fail(kBodyUnavailable, kNoMemory);
        if (record->failed()) return 0;
        const JavaText headerText(env, headers);
        // -1: the headers are NUL-terminated; with no headers the length is not read.
        if (!net->sendRequest(record->request.get(), headerText.get(), static_cast<DWORD>(-1), bytes.data(), bytes.size())) {
            record->fail(kSendFailed, ::GetLastError());
            return 0;
        }
        DWORD status = 0;
        DWORD size = sizeof status;
        if (!net->queryInfo(record->request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
            return 0;
        return static_cast<jint>(status);
    });
}

extern "C" JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_read0(
    JNIEnv* env, jclass, jlong handle, jbyteArray array, jint offset, jint length) noexcept
{
    return guarded(-1, [&]() -> jint {
        std::shared_ptr<Connection> record = find(handle);
        const InternetFunctions* net = internet();
        if (!record || net == nullptr) return 0;
        const jsize capacity = array != nullptr ? (*env)->GetArrayLength(env, array) : 0;
        if (!windowFits(capacity, offset, length)) {
            // Nothing is read, so no response data is lost to a window that cannot take it.
            record->fail(kReadFailed, ERROR_INVALID_PARAMETER);
            return 0;
        }
        if (length == 0) return 0;
        try {
            if (record->readBuffer.size() < static_cast<size_t>(length)) record->readBuffer.resize(static_cast<size_t>(length));
        } catch (const std::bad_alloc&) {
            record->fail(kReadFailed, kNoMemory);
            return 0;
        }
        DWORD got = 0;
        if (!net->readFile(record->request.get(), record->readBuffer.data(), static_cast<DWORD>(length), &got)) {
            record->fail(kReadFailed, ::GetLastError());
            return 0;
        }
        if (got == 0) return -1;
        (*env)->SetByteArrayRegion(env, array, offset, static_cast<jsize>(got),
                                   reinterpret_cast<const jbyte*>(record->readBuffer.data()));
        return static_cast<jint>(got);
    });
}

extern "C" JNIEXPORT jbyteArray JNICALL
Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_getHeaders0(JNIEnv* env, jclass, jlong handle) noexcept
{
    return guarded(nullptr, [&]() -> jbyteArray {
        std::shared_ptr<Connection> record = find(handle);
        const InternetFunctions* net = internet();
        if (!record || net == nullptr) return nullptr;
        DWORD size = 0;
        if (net->queryInfo(record->request.get(), HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &size, nullptr)) return nullptr;
        const DWORD first = ::GetLastError();
        if (first == ERROR_HTTP_HEADER_NOT_FOUND) return nullptr;
        if (first != ERROR_INSUFFICIENT_BUFFER) {
            record->fail(kHeaderSizeFailed, first);
            return nullptr;
        }
        std::vector<char> headers;
        try {
            headers.resize(size);
        } catch (const std::bad_alloc&) {
            record->fail(kHeaderArrayFailed, kNoMemory);
            return nullptr;
        }
        if (!net->queryInfo(record->request.get(), HTTP_QUERY_RAW_HEADERS_CRLF, headers.data(), &size, nullptr)) {
            record->fail(kHeaderQueryFailed, ::GetLastError());
            return nullptr;
        }
        // A request that has no response yet may answer with a bare line end: that is no headers either.
        if (!headerBlockHasLines(headers.data(), size)) return nullptr;
        jbyteArray result = bytesToJava(env, headers.data(), size);
        if (result == nullptr) record->fail(kHeaderArrayFailed, kNoMemory);
        return result;
    });
}

extern "C" JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_internetErrorDlg0(
    JNIEnv*, jclass, jlong handle, jint error, jint flags, jlong window) noexcept
{
    return guarded(0, [&]() -> jint {
        std::shared_ptr<Connection> record = find(handle);
        const InternetFunctions* net = internet();
        if (!record || net == nullptr) return 0;
        HWND owner = window != 0 ? javaToHandle<HWND>(window) : ::GetDesktopWindow();
        return static_cast<jint>(
            net->errorDialog(owner, record->request.get(), static_cast<DWORD>(error), static_cast<DWORD>(flags), nullptr));
    });
}

extern "C" JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_setOption0(
    JNIEnv* env, jclass, jlong handle, jint option, jbyteArray value) noexcept
{
    guarded([&] {
        std::shared_ptr<Connection> record = find(handle);
        const InternetFunctions* net = internet();
        if (!record || net == nullptr) return;
        const ByteElements bytes(env, value);
        if (!bytes.available()) record->fail(kOptionBytesUnavailable, kNoMemory);
        if (record->failed()) return;
        if (!net->setOption(record->request.get(), static_cast<DWORD>(option), bytes.data(), bytes.size()))
            record->fail(kSetOptionFailed, ::GetLastError());
    });
}

extern "C" JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_setDwordOption0(
    JNIEnv*, jclass, jlong handle, jint option, jint value) noexcept
{
    guarded([&] {
        std::shared_ptr<Connection> record = find(handle);
        const InternetFunctions* net = internet();
        if (!record || net == nullptr) return;
        DWORD data = static_cast<DWORD>(value);
        if (!net->setOption(record->request.get(), static_cast<DWORD>(option), &data, sizeof data))
            record->fail(kSetOptionFailed, ::GetLastError());
    });
}

// The rows this file binds, in registration order (registration.cpp orders the classes).
constexpr NativeMethodName kWinInetRows[] = {
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
constexpr NativeClass kWinInetNatives =
    nativeClass("com/stowline/runtime/installer/platform/win32/wininet/WinInet", kWinInetRows);
