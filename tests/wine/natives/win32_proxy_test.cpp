#include "natives/network/win32_proxy.h"

#include <windows.h>
#include <wininet.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "native_fixture.h"
#include "network_test_support.h"
#include "windows/base/registry.h"

namespace {

constexpr auto loadFunctions0 = &Java_com_stowline_runtime_installer_platform_win32_Win32Proxy_loadFunctions0;
constexpr auto getIEConfig0 = &Java_com_stowline_runtime_installer_platform_win32_Win32Proxy_getIEConfig0;
constexpr auto getDefaultConfig0 = &Java_com_stowline_runtime_installer_platform_win32_Win32Proxy_getDefaultConfig0;
constexpr auto getAutoProxyConfig0 = &Java_com_stowline_runtime_installer_platform_win32_Win32Proxy_getAutoProxyConfig0;

const wchar_t kSettings[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const wchar_t kConnections[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
constexpr jint kConfigUrl = 2;  // WINHTTP_AUTOPROXY_CONFIG_URL

// A value of the current user's settings as it was, put back when the test ends.
struct SavedValue {
    const wchar_t* key;
    const wchar_t* name;
    std::optional<std::vector<BYTE>> data;
    DWORD type = 0;

    SavedValue(const wchar_t* keyPath, const wchar_t* valueName) : key(keyPath), name(valueName)
    {
        unique_hkey opened = openKey(HKEY_CURRENT_USER, key, KEY_READ);
        if (opened) data = readBytes(opened.get(), name, &type);
    }
    ~SavedValue()
    {
        unique_hkey opened = createKey(HKEY_CURRENT_USER, key, KEY_SET_VALUE);
        if (!opened) return;
        if (data)
            ::RegSetValueExW(opened.get(), name, 0, type, data->data(), static_cast<DWORD>(data->size()));
        else
            ::RegDeleteValueW(opened.get(), name);
    }
};

void appendDword(std::vector<BYTE>& out, DWORD value)
{
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&value);
    out.insert(out.end(), bytes, bytes + sizeof value);
}

void appendText(std::vector<BYTE>& out, const std::string& text)
{
    appendDword(out, static_cast<DWORD>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}

// The per-user settings as the Internet Options write them: the legacy values that WinInet reads
// and the connection blob (version, counter, flags, proxy, bypass, script URL) that WinHTTP reads.
void writeUserProxy(bool enabled, const std::string& server, const std::string& bypass)
{
    unique_hkey settings = createKey(HKEY_CURRENT_USER, kSettings, KEY_SET_VALUE);
    ASSERT_TRUE(settings);
    writeDword(settings.get(), L"ProxyEnable", enabled ? 1 : 0);
    writeString(settings.get(), L"ProxyServer", std::wstring(server.begin(), server.end()));
    writeString(settings.get(), L"ProxyOverride", std::wstring(bypass.begin(), bypass.end()));
    std::vector<BYTE> blob;
    appendDword(blob, 0x46);
    appendDword(blob, 1);
    appendDword(blob, enabled ? 3 : 1);  // 1 direct, 2 named proxy
    appendText(blob, server);
    appendText(blob, bypass);
    appendText(blob, "");
    for (int i = 0; i < 8; ++i) appendDword(blob, 0);
    unique_hkey connections = createKey(HKEY_CURRENT_USER, kConnections, KEY_SET_VALUE);
    ASSERT_TRUE(connections);
    ASSERT_EQ(::RegSetValueExW(connections.get(), L"DefaultConnectionSettings", 0, REG_BINARY, blob.data(),
                               static_cast<DWORD>(blob.size())),
              ERROR_SUCCESS);
}

}  // namespace

class Win32ProxyTest : public NetworkTest {
protected:
    void SetUp() override
    {
        NetworkTest::SetUp();
        ASSERT_TRUE(loadFunctions0(env, nullptr));
    }

    // A String[count] filled with "unset", so that untouched elements show.
    jobjectArray outArray(int count) { return wideArrayToJava(env, std::vector<std::wstring>(count, L"unset")); }

    // GET path through WinInet with the system's configured proxy; the body.
    std::string fetchPreconfigured(const wchar_t* path)
    {
        jlong handle = wininet::connect0(env, nullptr, str(L"proxy test"), INTERNET_OPEN_TYPE_PRECONFIG, nullptr,
                                         nullptr, 0, str(L"127.0.0.1"), static_cast<jint>(peer.origin), 0);
        wininet::openRequest0(env, nullptr, handle, str(L"GET"), str(path), static_cast<jint>(INTERNET_FLAG_RELOAD), 0);
        std::string body;
        if (wininet::sendRequest0(env, nullptr, handle, nullptr, nullptr) == 200) body = wininet::readBody(env, handle);
        wininet::destroy0(env, nullptr, handle);
        return body;
    }
};

TEST_F(Win32ProxyTest, UserSettingsAreReportedAndUsedByWinInet)
{
    SavedValue saved[] = {{kSettings, L"ProxyEnable"},
                          {kSettings, L"ProxyServer"},
                          {kSettings, L"ProxyOverride"},
                          {kConnections, L"DefaultConnectionSettings"}};
    const std::string proxy = "127.0.0.1:" + std::to_string(peer.proxy);
    const std::wstring wideProxy(proxy.begin(), proxy.end());
    const std::string origin = "127.0.0.1:" + std::to_string(peer.origin);
    struct Case {
        bool enabled;
        std::vector<std::wstring> reported;
        std::string body;
    } cases[] = {
        {true, {L"false", L"unset", wideProxy, L"<local>"}, "via proxy: GET http://" + origin + "/hello"},
        {false, {L"false", L"unset", L"unset", L"unset"}, "hello from the peer\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.enabled ? "proxy on" : "proxy off");
        writeUserProxy(c.enabled, proxy, "<local>");
        jobjectArray out = outArray(4);
        EXPECT_EQ(getIEConfig0(env, nullptr, out), 0);
        EXPECT_EQ(texts(out), c.reported);
        EXPECT_EQ(fetchPreconfigured(L"/hello"), c.body);
    }
}

TEST_F(Win32ProxyTest, AutoProxyAndDefaultConfiguration)
{
    const std::wstring pac = L"http://127.0.0.1:" + std::to_wstring(peer.origin) + L"/proxy.pac";
    const std::wstring unreachable = L"http://127.0.0.1:" + std::to_wstring(peer.closed) + L"/proxy.pac";
    const std::wstring proxy = L"127.0.0.1:" + std::to_wstring(peer.proxy);
    struct Case {
        const wchar_t* url;
        const wchar_t* script;
        jlong stage;  // the result's upper half
        std::vector<std::wstring> out;
    } cases[] = {
        {nullptr, pac.c_str(), 0, {L"unset", L"unset", L"unset"}},
        {L"http://127.0.0.1/anything", pac.c_str(), 0, {L"true", proxy, L"unset"}},
        {L"http://127.0.0.1/anything", unreachable.c_str(), 2, {L"unset", L"unset", L"unset"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.url ? "url" : "no url") << " stage " << c.stage);
        jobjectArray out = outArray(3);
        jlong result = getAutoProxyConfig0(env, nullptr, out, str(c.url), str(c.script), kConfigUrl, 0, JNI_FALSE);
        EXPECT_EQ(result >> 32, c.stage);
        EXPECT_EQ(result == 0, c.stage == 0) << result;
        EXPECT_EQ(texts(out), c.out);
    }

    // With no WinHTTP proxy configured for the machine: direct access, no lists.
    jobjectArray out = outArray(3);
    EXPECT_EQ(getDefaultConfig0(env, nullptr, out), 0);
    EXPECT_EQ(texts(out), (std::vector<std::wstring>{L"false", L"unset", L"unset"}));
}
