// What the tests of the network natives share: short names for the WinInet natives, a read loop,
// and the HTTP peer (tests/doubles/http_peer), started once per suite and ended with the suite
// (and by itself when this process ends).
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "native_fixture.h"
#include "natives/jni_support.h"
#include "natives/network/win_inet.h"
#include "windows/base/handles.h"

namespace wininet {
#define WININET_NATIVE(name) \
    constexpr auto name = &Java_com_stowline_runtime_installer_platform_win32_wininet_WinInet_##name;
WININET_NATIVE(init0)
WININET_NATIVE(getErrorMessage0)
WININET_NATIVE(getErrorCode0)
WININET_NATIVE(getErrorLocation0)
WININET_NATIVE(clearError0)
WININET_NATIVE(destroy0)
WININET_NATIVE(connect0)
WININET_NATIVE(openRequest0)
WININET_NATIVE(getHeaders0)
WININET_NATIVE(read0)
WININET_NATIVE(internetErrorDlg0)
WININET_NATIVE(sendRequest0)
WININET_NATIVE(setOption0)
WININET_NATIVE(setDwordOption0)
#undef WININET_NATIVE

// Reads a response to its end through read0, piece bytes at a time placed at offset of a larger
// array; *last gets the final answer (-1 at the end, 0 on failure). At most 100000 reads.
inline std::string readBody(JNIEnv* env, jlong handle, jint piece = 4096, jint offset = 0, jint* last = nullptr)
{
    LocalRef<jbyteArray> array(env, (*env)->NewByteArray(env, offset + piece));
    std::string body;
    std::vector<jbyte> bytes(static_cast<size_t>(piece));
    jint got = 0;
    for (int i = 0; i < 100000 && (got = read0(env, nullptr, handle, array.get(), offset, piece)) > 0; ++i) {
        (*env)->GetByteArrayRegion(env, array.get(), offset, got, bytes.data());
        body.append(reinterpret_cast<const char*>(bytes.data()), static_cast<size_t>(got));
    }
    if (last != nullptr) *last = got;
    return body;
}
}  // namespace wininet

struct HttpPeer {
    unique_handle process;
    unsigned origin = 0;  // the HTTP server
    unsigned proxy = 0;   // the proxy
    unsigned closed = 0;  // a port nothing listens on

    // Starts the peer from the build's doubles folder (testsFolder is …\tests); false when it did
    // not report its ports within ten seconds.
    bool start(const std::wstring& testsFolder)
    {
        wchar_t temp[MAX_PATH + 1];
        ::GetTempPathW(MAX_PATH + 1, temp);
        const std::wstring portFile =
            std::wstring(temp) + L"http_peer_ports_" + std::to_wstring(::GetCurrentProcessId()) + L".txt";
        ::DeleteFileW(portFile.c_str());
        std::wstring command = L"\"" + testsFolder + L"\\doubles\\http_peer\\http_peer.exe\" \"" + portFile + L"\" " +
                               std::to_wstring(::GetCurrentProcessId());
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                              &startup, &started))
            return false;
        process.reset(started.hProcess);
        unique_handle thread(started.hThread);
        for (int wait = 0; wait < 200; ++wait) {
            FILE* in = ::_wfopen(portFile.c_str(), L"rb");
            if (in != nullptr) {
                const bool read = std::fscanf(in, "%u %u %u", &origin, &proxy, &closed) == 3;
                std::fclose(in);
                ::DeleteFileW(portFile.c_str());
                return read;
            }
            if (::WaitForSingleObject(process.get(), 50) == WAIT_OBJECT_0) return false;
        }
        return false;
    }

    void stop()
    {
        if (process) ::TerminateProcess(process.get(), 0);
        process.reset();
    }
};

// The fixture of the network natives: the native fixture plus the HTTP peer for the suite.
class NetworkTest : public NativeTest {
protected:
    static void SetUpTestSuite()
    {
        const std::wstring tests = testDirectory();
        peerStarted = peer.start(tests.substr(0, tests.find_last_of(L'\\')));
    }
    static void TearDownTestSuite() { peer.stop(); }
    void SetUp() override
    {
        NativeTest::SetUp();
        ASSERT_TRUE(peerStarted) << "build the http_peer target";
        ASSERT_TRUE(wininet::init0(env, nullptr));
    }

    inline static HttpPeer peer;
    inline static bool peerStarted = false;
};
