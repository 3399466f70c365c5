#include "natives/network/win_inet.h"

#include <windows.h>
#include <wininet.h>

#include <string>
#include <vector>

#include "native_fixture.h"
#include "network_test_support.h"

namespace {

constexpr jint kFresh = static_cast<jint>(INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE);
constexpr jint kNoRedirect = kFresh | static_cast<jint>(INTERNET_FLAG_NO_AUTO_REDIRECT);

}  // namespace

class WinInetTest : public NetworkTest {
protected:
    void TearDown() override
    {
        for (jlong handle : handles) wininet::destroy0(env, nullptr, handle);
        NetworkTest::TearDown();
    }

    jlong connect(const wchar_t* host, unsigned port, jint accessType = INTERNET_OPEN_TYPE_DIRECT)
    {
        jlong handle = wininet::connect0(env, nullptr, str(L"net test"), accessType, nullptr, nullptr, 0, str(host),
                                         static_cast<jint>(port), 0);
        handles.push_back(handle);
        return handle;
    }
    jlong request(const wchar_t* verb, const wchar_t* path, jint flags = kFresh, unsigned port = 0)
    {
        jlong handle = connect(L"127.0.0.1", port != 0 ? port : peer.origin);
        wininet::openRequest0(env, nullptr, handle, str(verb), str(path), flags, 0);
        return handle;
    }
    jint send(jlong handle, const wchar_t* headers = nullptr, const std::string& body = {}, bool withBody = false)
    {
        jbyteArray bytes = withBody ? bytesToJava(env, body.data(), body.size()) : nullptr;
        return wininet::sendRequest0(env, nullptr, handle, str(headers), bytes);
    }
    jint read(jlong handle, jbyteArray array, jint offset, jint length)
    {
        return wininet::read0(env, nullptr, handle, array, offset, length);
    }
    std::string readAll(jlong handle, jint piece = 4096, jint offset = 0, jint* last = nullptr)
    {
        return wininet::readBody(env, handle, piece, offset, last);
    }
    std::string headers(jlong handle)
    {
        LocalRef<jbyteArray> array(env, wininet::getHeaders0(env, nullptr, handle));
        if (!array) return "<null>";
        std::vector<uint8_t> bytes = javaToBytes(env, array.get());
        return std::string(bytes.begin(), bytes.end());
    }
    jint location(jlong handle) { return wininet::getErrorLocation0(env, nullptr, handle); }
    jint code(jlong handle) { return wininet::getErrorCode0(env, nullptr, handle); }

    std::vector<jlong> handles;
};

TEST_F(WinInetTest, RequestsAnswerWithStatusHeadersAndBody)
{
    struct Case {
        const wchar_t* verb;
        const wchar_t* path;
        jint flags;
        const wchar_t* extraHeaders;
        const char* body;  // null: no body
        jint status;
        const char* answer;
        const char* header;  // a line the response headers hold
    } cases[] = {
        {L"GET", L"/hello", kFresh, nullptr, nullptr, 200, "hello from the peer\n", "X-Peer: origin"},
        {L"GET", L"/chunked", kFresh, nullptr, nullptr, 200, "one,two,three", "Transfer-Encoding: chunked"},
        {L"GET", L"/missing", kFresh, nullptr, nullptr, 404, "not here", "Content-Length: 8"},
        {L"GET", L"/redirect", kFresh, nullptr, nullptr, 200, "hello from the peer\n", "X-Peer: origin"},
        {L"GET", L"/redirect", kNoRedirect, nullptr, nullptr, 302, "", "Location: /hello"},
        {L"POST", L"/echo", kFresh, L"X-Probe: custom\r\n", "a=1&b=2", 200, "a=1&b=2", "X-Echo-Probe: custom"},
        {L"PUT", L"/echo", kFresh, nullptr, "", 200, "", "X-Echo-Method: PUT"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.path, c.path + wcslen(c.path)) << " flags " << c.flags);
        jlong handle = request(c.verb, c.path, c.flags);
        ASSERT_NE(handle, 0);
        EXPECT_EQ(send(handle, c.extraHeaders, c.body ? c.body : "", c.body != nullptr), c.status);
        const std::string head = headers(handle);
        EXPECT_EQ(head.rfind("HTTP/1.1 " + std::to_string(c.status), 0), 0u) << head;
        EXPECT_NE(head.find(std::string("\r\n") + c.header + "\r\n"), std::string::npos) << head;
        jint last = 0;
        EXPECT_EQ(readAll(handle, 5, 0, &last), c.answer);
        EXPECT_EQ(last, -1);
        // At the end: -1 again for a positive length, 0 for length 0.
        LocalRef<jbyteArray> array(env, (*env)->NewByteArray(env, 8));
        EXPECT_EQ(read(handle, array.get(), 0, 8), -1);
        EXPECT_EQ(read(handle, array.get(), 8, 0), 0);
        EXPECT_EQ(location(handle), 0) << code(handle);
    }
}

TEST_F(WinInetTest, LargeBodyIsEchoedByteForByte)
{
    std::string body(1 << 20, '\0');
    uint32_t state = 12345;
    for (char& c : body) c = static_cast<char>((state = state * 1103515245u + 12345u) >> 24);
    jlong handle = request(L"POST", L"/echo");
    ASSERT_EQ(send(handle, L"Content-Type: application/octet-stream\r\n", body, true), 200);
    // 64 KiB pieces placed behind 100 bytes of the array: the offset is honoured.
    EXPECT_TRUE(readAll(handle, 65536, 100) == body);
    EXPECT_EQ(location(handle), 0);
}

TEST_F(WinInetTest, FailuresAreRecordedWithTheirStep)
{
    // Nothing listens: WinInet connects when the request is sent, so the send is the failing step.
    jlong refused = request(L"GET", L"/hello", kFresh, peer.closed);
    ASSERT_NE(refused, 0);
    EXPECT_EQ(location(refused), 0);
    EXPECT_EQ(send(refused), 0);
    EXPECT_EQ(location(refused), 4);
    EXPECT_EQ(code(refused), ERROR_INTERNET_CANNOT_CONNECT);

    // A host InternetConnectW refuses at once: still a handle, with location 2.
    jlong noHost = connect(L"", peer.origin);
    ASSERT_NE(noHost, 0);
    EXPECT_EQ(location(noHost), 2);
    EXPECT_NE(code(noHost), 0);

    // No response yet: no headers, and no error for that.
    jlong unsent = request(L"GET", L"/hello");
    EXPECT_EQ(headers(unsent), "<null>");
    EXPECT_EQ(location(unsent), 0);

    // A body that stops after 1000 bytes: the receive timeout ends the read with location 5. A
    // synchronous read waits for all it asked for, so pieces of 100 bytes get the 1000 first.
    jlong stalled = request(L"GET", L"/stall");
    const DWORD timeout = 500;
    LocalRef<jbyteArray> option(env, bytesToJava(env, &timeout, sizeof timeout));
    wininet::setOption0(env, nullptr, stalled, INTERNET_OPTION_RECEIVE_TIMEOUT, option.get());
    ASSERT_EQ(location(stalled), 0);
    EXPECT_EQ(send(stalled), 200);
    jint last = 1;
    EXPECT_EQ(readAll(stalled, 100, 0, &last), std::string(1000, 's'));
    EXPECT_EQ(last, 0);
    EXPECT_EQ(location(stalled), 5);
    // Windows says ERROR_INTERNET_TIMEOUT; Wine passes the socket's WSAETIMEDOUT through.
    EXPECT_TRUE(code(stalled) == ERROR_INTERNET_TIMEOUT || code(stalled) == WSAETIMEDOUT) << code(stalled);
}

TEST_F(WinInetTest, BadArgumentsDoNoHarm)
{
    // An option WinInet does not know is the option step's failure, and a recorded error holds
    // back the send until it is cleared.
    jlong handle = request(L"GET", L"/hello");
    wininet::setDwordOption0(env, nullptr, handle, 0x7FFF, 1);
    EXPECT_EQ(location(handle), 11);
    EXPECT_EQ(send(handle), 0);
    EXPECT_EQ(location(handle), 11);
    wininet::clearError0(env, nullptr, handle);
    ASSERT_EQ(send(handle), 200);

    LocalRef<jbyteArray> array(env, (*env)->NewByteArray(env, 16));
    struct Window {
        jbyteArray array;
        jint offset, length;
    } outside[] = {{array.get(), 0, 17}, {array.get(), 16, 1}, {array.get(), -1, 4}, {array.get(), 4, -1},
                   {array.get(), 0x7FFFFFFF, 0x7FFFFFFF}, {nullptr, 0, 1}};
    for (const Window& w : outside) {
        EXPECT_EQ(read(handle, w.array, w.offset, w.length), 0) << w.offset << " " << w.length;
        EXPECT_EQ(location(handle), 5);
        EXPECT_EQ(code(handle), ERROR_INVALID_PARAMETER);
        wininet::clearError0(env, nullptr, handle);
    }
    // Nothing was consumed by the refused reads.
    EXPECT_EQ(readAll(handle), "hello from the peer\n");

    // 0, a destroyed handle and one never given out: nothing happens, every answer is 0 or null.
    wininet::destroy0(env, nullptr, handle);
    for (jlong stale : {jlong{0}, handle, handle + 1000}) {
        EXPECT_EQ(location(stale), 0);
        EXPECT_EQ(code(stale), 0);
        EXPECT_EQ(send(stale), 0);
        EXPECT_EQ(read(stale, array.get(), 0, 16), 0);
        EXPECT_EQ(headers(stale), "<null>");
        EXPECT_EQ(wininet::internetErrorDlg0(env, nullptr, stale, 0, 0, 0), 0);
        wininet::destroy0(env, nullptr, stale);
    }
}

TEST_F(WinInetTest, ErrorDialogWithoutUserInterface)
{
    // With FLAGS_ERROR_UI_FLAGS_NO_UI nothing is shown: a good response passes the filter, an
    // error that needs the user's consent is declined.
    const jint flags = FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_NO_UI;
    struct Case {
        jint error, result;
    } cases[] = {{ERROR_SUCCESS, ERROR_SUCCESS}, {ERROR_INTERNET_SEC_CERT_DATE_INVALID, ERROR_CANCELLED}};
    for (const Case& c : cases) {
        jlong handle = request(L"GET", L"/hello");
        ASSERT_EQ(send(handle), 200);
        EXPECT_EQ(wininet::internetErrorDlg0(env, nullptr, handle, c.error, flags, 0), c.result) << c.error;
    }
}

TEST_F(WinInetTest, ErrorMessagesComeFromTheSystemAndWinInet)
{
    struct Case {
        jint code;
        bool known;
    } cases[] = {{ERROR_FILE_NOT_FOUND, true}, {ERROR_INTERNET_CANNOT_CONNECT, true}, {ERROR_INTERNET_TIMEOUT, true},
                 {0x3FFFFFFF, false}};
    for (const Case& c : cases) {
        LocalRef<jstring> message(env, wininet::getErrorMessage0(env, nullptr, c.code));
        ASSERT_TRUE(message) << c.code;
        EXPECT_EQ(!text(message.get()).empty(), c.known) << c.code;
    }
}
