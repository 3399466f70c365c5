// The service natives against the system's service manager and a real service (test_service.exe):
// installed, configured, started, stopped and removed; every service a test makes is removed
// after it, stopped or killed first when needed.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "native_fixture.h"
#include "natives/jni_support.h"
#include "natives/services/win32_services.h"
#include "windows/base/handles.h"
#include "windows/base/registry.h"

namespace {

constexpr jint kStopped = -static_cast<jint>(SERVICE_STOPPED);
constexpr jint kRunning = -static_cast<jint>(SERVICE_RUNNING);

// The configuration as the service manager tells it, read without the natives.
struct Config {
    std::wstring display, binary, account;
    std::vector<std::wstring> dependencies;
    DWORD startType = 0;
};

class ServicesTest : public NativeTest {
protected:
    void TearDown() override
    {
        for (const std::wstring& name : services_) removeService(name);
        NativeTest::TearDown();
    }

    // A name no other test or run uses; the service of that name is removed after the test.
    std::wstring newName()
    {
        static int counter = 0;
        std::wstring name = L"launcher_test_" + std::to_wstring(::GetCurrentProcessId()) + L"_" + std::to_wstring(++counter);
        services_.push_back(name);
        return name;
    }
    static std::wstring serviceCommand(const std::wstring& options)
    {
        const std::wstring tests = testDirectory();
        return L"\"" + tests.substr(0, tests.find_last_of(L'\\')) + L"\\doubles\\test_service\\test_service.exe\" " + options;
    }

    jint install(const std::wstring& name, const std::wstring& options)
    {
        return Java_com_stowline_runtime_installer_platform_win32_Win32Services_installService0(
            env, nullptr, str(name.c_str()), str((L"Display " + name).c_str()), str(serviceCommand(options).c_str()));
    }
    jint status(const wchar_t* name)
    {
        return Java_com_stowline_runtime_installer_platform_win32_Win32Services_queryStatus0(env, nullptr, str(name));
    }
    jint startType(const wchar_t* name)
    {
        return Java_com_stowline_runtime_installer_platform_win32_Win32Services_getStartType0(env, nullptr, str(name));
    }
    std::wstring binary(const wchar_t* name)
    {
        return text(Java_com_stowline_runtime_installer_platform_win32_Win32Services_getServiceBinary0(env, nullptr, str(name)));
    }
    jint start(const wchar_t* name, jobjectArray arguments)
    {
        jint result = Java_com_stowline_runtime_installer_platform_win32_Win32Services_startService0(
            env, nullptr, str(name), arguments);
        // Wine's service manager answers the very first start in a new prefix with
        // ERROR_INTERNAL_ERROR and starts services normally from then on; only that answer is
        // asked again, once.
        if (result == static_cast<jint>(ERROR_INTERNAL_ERROR))
            result = Java_com_stowline_runtime_installer_platform_win32_Win32Services_startService0(
                env, nullptr, str(name), arguments);
        return result;
    }
    jint stop(const wchar_t* name, jint timeout)
    {
        return Java_com_stowline_runtime_installer_platform_win32_Win32Services_stopService0(env, nullptr, str(name), timeout);
    }
    jint uninstall(const wchar_t* name)
    {
        return Java_com_stowline_runtime_installer_platform_win32_Win32Services_uninstallService0(env, nullptr, str(name));
    }
    jint change(const std::wstring& name, const wchar_t* display, const wchar_t* binaryPath, jint serviceType, jint start,
                const wchar_t* dependencies, const wchar_t* account, const wchar_t* description)
    {
        return Java_com_stowline_runtime_installer_platform_win32_Win32Services_changeServiceConfig0(
            env, nullptr, str(name.c_str()), str(display), str(binaryPath), serviceType, start, str(dependencies),
            str(account), nullptr, str(description));
    }

    // The process the service runs in, as the service manager tells it (0 when none).
    static DWORD processOf(const std::wstring& name)
    {
        unique_service manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        unique_service service(::OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_STATUS));
        SERVICE_STATUS_PROCESS process{};
        DWORD needed = 0;
        if (!service || !::QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&process),
                                                sizeof process, &needed))
            return 0;
        return process.dwProcessId;
    }
    // Waits up to ten seconds for a process to end; true when it has (or was gone already).
    static bool ended(DWORD processId)
    {
        unique_handle process(::OpenProcess(SYNCHRONIZE, FALSE, processId));
        return !process || ::WaitForSingleObject(process.get(), 10000) == WAIT_OBJECT_0;
    }

    // Polls queryStatus0 until it answers expected or about ten seconds pass.
    bool reaches(const std::wstring& name, jint expected)
    {
        for (int i = 0; i < 200; ++i) {
            if (status(name.c_str()) == expected) return true;
            ::Sleep(50);
        }
        return false;
    }

    static Config readConfig(const std::wstring& name)
    {
        Config config;
        unique_service manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        unique_service service(::OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_CONFIG));
        DWORD needed = 0;
        ::QueryServiceConfigW(service.get(), nullptr, 0, &needed);
        std::vector<unsigned long long> buffer(needed / 8 + 1);
        auto* raw = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
        if (!service || !::QueryServiceConfigW(service.get(), raw, static_cast<DWORD>(buffer.size() * 8), &needed)) {
            ADD_FAILURE() << "configuration of the service unreadable: " << ::GetLastError();
            return config;
        }
        config.display = raw->lpDisplayName ? raw->lpDisplayName : L"";
        config.binary = raw->lpBinaryPathName ? raw->lpBinaryPathName : L"";
        config.account = raw->lpServiceStartName ? raw->lpServiceStartName : L"";
        config.startType = raw->dwStartType;
        // The service manager keeps the dependencies in the service's key; Wine's query leaves them out.
        unique_hkey key = openKey(HKEY_LOCAL_MACHINE, (L"System\\CurrentControlSet\\Services\\" + name).c_str(), KEY_READ);
        const auto value = readBytes(key.get(), L"DependOnService");
        if (value && !value->empty()) {
            std::wstring list(reinterpret_cast<const wchar_t*>(value->data()), value->size() / sizeof(wchar_t));
            list.push_back(L'\0');
            for (const wchar_t* d = list.c_str(); *d != L'\0'; d += wcslen(d) + 1) config.dependencies.push_back(d);
        }
        return config;
    }
    static std::wstring description(const std::wstring& name)
    {
        unique_service manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        unique_service service(::OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_CONFIG));
        std::vector<unsigned long long> buffer(1024);
        DWORD needed = 0;
        if (!::QueryServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, reinterpret_cast<BYTE*>(buffer.data()),
                                    8192, &needed))
            return L"<unreadable>";
        const wchar_t* text = reinterpret_cast<SERVICE_DESCRIPTIONW*>(buffer.data())->lpDescription;
        return text ? text : L"<none>";
    }

private:
    // Stops (or kills) and deletes the service, whatever state the test left it in.
    static void removeService(const std::wstring& name)
    {
        unique_service manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        unique_service service(::OpenServiceW(manager.get(), name.c_str(), SERVICE_ALL_ACCESS));
        if (!service) return;
        SERVICE_STATUS_PROCESS process{};
        DWORD needed = 0;
        if (::QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&process), sizeof process,
                                   &needed) &&
            process.dwCurrentState != SERVICE_STOPPED) {
            SERVICE_STATUS ignored;
            ::ControlService(service.get(), SERVICE_CONTROL_STOP, &ignored);
            for (int i = 0; i < 20 && process.dwCurrentState != SERVICE_STOPPED; ++i) {
                ::Sleep(50);
                ::QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&process),
                                       sizeof process, &needed);
            }
            if (process.dwCurrentState != SERVICE_STOPPED && process.dwProcessId != 0) {
                unique_handle running(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, process.dwProcessId));
                ::TerminateProcess(running.get(), 1);
                ::WaitForSingleObject(running.get(), 5000);
            }
        }
        ::DeleteService(service.get());
    }

    std::vector<std::wstring> services_;
};

}  // namespace

TEST_F(ServicesTest, LifeCycleOfARealService)
{
    const std::wstring name = newName();
    const std::wstring record = scratchFile(L"arguments.txt");
    ASSERT_EQ(install(name, L"--record \"" + record + L"\""), 0);
    EXPECT_EQ(install(name, L""), static_cast<jint>(ERROR_SERVICE_EXISTS));
    EXPECT_EQ(status(name.c_str()), kStopped);
    EXPECT_EQ(startType(name.c_str()), -static_cast<jint>(SERVICE_DEMAND_START));
    EXPECT_EQ(binary(name.c_str()), serviceCommand(L"--record \"" + record + L"\""));
    EXPECT_EQ(readConfig(name).account, L"LocalSystem");
    EXPECT_EQ(stop(name.c_str(), 0), static_cast<jint>(ERROR_SERVICE_NOT_ACTIVE));

    LocalRef<jobjectArray> arguments(env, wideArrayToJava(env, {L"first", L"two words"}));
    ASSERT_EQ(start(name.c_str(), arguments.get()), 0);
    ASSERT_TRUE(reaches(name, kRunning)) << status(name.c_str());
    const DWORD firstProcess = processOf(name);
    EXPECT_NE(firstProcess, 0u);
    EXPECT_EQ(start(name.c_str(), nullptr), static_cast<jint>(ERROR_SERVICE_ALREADY_RUNNING));
    // The service writes what its main received: its name, then the arguments in order.
    unique_file file(::CreateFileW(record.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    wchar_t content[512] = {};
    DWORD read = 0;
    ASSERT_TRUE(::ReadFile(file.get(), content, sizeof content - sizeof(wchar_t), &read, nullptr));
    EXPECT_EQ(std::wstring(content), name + L"\nfirst\ntwo words\n");

    // A time-out of 0 still answers 0 for a service that stops at once: the state is checked
    // before the time is.
    EXPECT_EQ(stop(name.c_str(), 0), 0);
    EXPECT_EQ(status(name.c_str()), kStopped);
    EXPECT_EQ(stop(name.c_str(), 1000), static_cast<jint>(ERROR_SERVICE_NOT_ACTIVE));

    // Started again without arguments, once the first process has ended, then removed.
    ASSERT_TRUE(ended(firstProcess));
    ASSERT_EQ(start(name.c_str(), nullptr), 0);
    ASSERT_TRUE(reaches(name, kRunning));
    EXPECT_EQ(stop(name.c_str(), 5000), 0);
    EXPECT_EQ(uninstall(name.c_str()), 0);
    EXPECT_EQ(status(name.c_str()), static_cast<jint>(ERROR_SERVICE_DOES_NOT_EXIST));
    EXPECT_EQ(uninstall(name.c_str()), static_cast<jint>(ERROR_SERVICE_DOES_NOT_EXIST));
}

TEST_F(ServicesTest, MissingServiceOrNameGivesTheError)
{
    const std::wstring missing = newName();
    const jint noService = ERROR_SERVICE_DOES_NOT_EXIST;
    for (const wchar_t* name : {missing.c_str(), static_cast<const wchar_t*>(nullptr)}) {
        const jint expected = name ? noService : static_cast<jint>(ERROR_INVALID_NAME);
        EXPECT_EQ(status(name), expected);
        EXPECT_EQ(startType(name), expected);
        EXPECT_EQ(binary(name), L" " + std::to_wstring(expected));
        EXPECT_EQ(start(name, nullptr), expected);
        EXPECT_EQ(stop(name, 0), expected);
        EXPECT_EQ(uninstall(name), expected);
        EXPECT_EQ(Java_com_stowline_runtime_installer_platform_win32_Win32Services_setDelayedAutoStart0(
                      env, nullptr, str(name), JNI_TRUE),
                  expected);
        EXPECT_EQ(Java_com_stowline_runtime_installer_platform_win32_Win32Services_setRestartServiceConfig0(
                      env, nullptr, str(name), JNI_TRUE, 1000, 1, 60),
                  expected);
        EXPECT_EQ(Java_com_stowline_runtime_installer_platform_win32_Win32Services_changeServiceConfig0(
                      env, nullptr, str(name), nullptr, nullptr, -1, -1, nullptr, nullptr, nullptr, nullptr),
                  expected);
    }
    EXPECT_EQ(Java_com_stowline_runtime_installer_platform_win32_Win32Services_installService0(
                  env, nullptr, nullptr, str(L"display"), str(serviceCommand(L"").c_str())),
              static_cast<jint>(ERROR_INVALID_NAME));
}

TEST_F(ServicesTest, ChangeConfigurationMapsTheAccountAndSplitsDependencies)
{
    const std::wstring name = newName();
    ASSERT_EQ(install(name, L""), 0);
    // 31 names of 255 characters and one of 254 fill the 8,192-character list exactly.
    std::wstring longest;
    for (int i = 0; i < 31; ++i) longest += std::wstring(255, static_cast<wchar_t>(L'a' + i % 26)) + L",";
    const std::wstring fits = longest + std::wstring(254, L'z');
    const std::wstring tooLong = fits + L"z";

    struct Case {
        const wchar_t* dependencies;
        const wchar_t* account;
        jint result;
        std::vector<std::wstring> expectedDependencies;
        const wchar_t* expectedAccount;
    } cases[] = {
        {L"alpha,,beta", L"NT AUTHORITY\\LocalSystem", 0, {L"alpha", L"beta"}, L"LocalSystem"},
        {L",gamma,", L"nt authority\\localsystem", 0, {L"gamma"}, L"nt authority\\localsystem"},
        {L"", L"NT AUTHORITY\\SYSTEM", 0, {}, L"NT AUTHORITY\\SYSTEM"},
        {L"alpha,beta", L".\\launcher_test_account", 0, {L"alpha", L"beta"}, L".\\launcher_test_account"},
        {nullptr, nullptr, 0, {}, L".\\launcher_test_account"},  // null: no dependencies, account unchanged
        {L",,,", L"NT AUTHORITY\\System", 0, {}, L"LocalSystem"},
        {fits.c_str(), nullptr, 0, {}, L"LocalSystem"},
        {tooLong.c_str(), nullptr, static_cast<jint>(ERROR_INSUFFICIENT_BUFFER), {}, L"LocalSystem"},
    };
    for (Case& c : cases) {
        if (c.dependencies == fits.c_str()) {
            for (size_t begin = 0; begin < fits.size(); begin += 256) c.expectedDependencies.push_back(fits.substr(begin, 255));
        }
        if (c.dependencies == tooLong.c_str()) c.expectedDependencies = readConfig(name).dependencies;  // untouched
        SCOPED_TRACE(c.dependencies ? std::wstring(c.dependencies).substr(0, 40) : L"<null>");
        EXPECT_EQ(change(name, nullptr, nullptr, static_cast<jint>(SERVICE_NO_CHANGE), static_cast<jint>(SERVICE_NO_CHANGE),
                         c.dependencies, c.account, nullptr),
                  c.result);
        const Config config = readConfig(name);
        EXPECT_EQ(config.dependencies, c.expectedDependencies);
        EXPECT_EQ(config.account, c.expectedAccount);
    }

    // Start type, display name, binary and description; SERVICE_NO_CHANGE and null leave the rest.
    const std::wstring otherBinary = serviceCommand(L"--stuck");
    ASSERT_EQ(change(name, L"Renamed", otherBinary.c_str(), static_cast<jint>(SERVICE_NO_CHANGE),
                     static_cast<jint>(SERVICE_AUTO_START), L"alpha", nullptr, L"what it does"),
              0);
    EXPECT_EQ(startType(name.c_str()), -static_cast<jint>(SERVICE_AUTO_START));
    EXPECT_EQ(binary(name.c_str()), otherBinary);
    EXPECT_EQ(readConfig(name).display, L"Renamed");
    EXPECT_EQ(description(name), L"what it does");
    ASSERT_EQ(change(name, nullptr, nullptr, static_cast<jint>(SERVICE_NO_CHANGE), static_cast<jint>(SERVICE_DISABLED),
                     L"alpha", nullptr, nullptr),
              0);
    EXPECT_EQ(startType(name.c_str()), -static_cast<jint>(SERVICE_DISABLED));
    EXPECT_EQ(readConfig(name).display, L"Renamed");
    EXPECT_EQ(description(name), L"what it does");
}

TEST_F(ServicesTest, StopWaitsWhileTheServiceProgressesAndGivesUpWhenItDoesNot)
{
    const std::wstring stuck = newName();
    const std::wstring slow = newName();
    const std::wstring abrupt = newName();
    const std::pair<std::wstring, const wchar_t*> services[] = {{stuck, L"--stuck"}, {slow, L"--slow"}, {abrupt, L"--abrupt"}};
    for (const auto& [name, how] : services) {
        ASSERT_EQ(install(name, how), 0);
        ASSERT_EQ(start(name.c_str(), nullptr), 0);
        ASSERT_TRUE(reaches(name, kRunning)) << how;
    }
    // No progress after the stop request: one poll and the wait ends.
    EXPECT_EQ(stop(stuck.c_str(), 0), 50001);
    EXPECT_EQ(status(stuck.c_str()), -static_cast<jint>(SERVICE_STOP_PENDING));
    // A check point that keeps growing is waited for beyond the time-out, until the service stops.
    EXPECT_EQ(stop(slow.c_str(), 0), 0);
    EXPECT_EQ(status(slow.c_str()), kStopped);
    // A service that ends inside its stop handler leaves the control unanswered: it stopped all the same.
    EXPECT_EQ(stop(abrupt.c_str(), 0), 0);
    EXPECT_EQ(status(abrupt.c_str()), kStopped);
}

TEST_F(ServicesTest, FailureActionsAndDelayedStart)
{
    // Wine accepts failure actions without keeping them, so only the count's bounds show here;
    // the action list itself is the portable rule's.
    const std::wstring name = newName();
    ASSERT_EQ(install(name, L""), 0);
    const jint invalid = ERROR_INVALID_PARAMETER;
    struct Case {
        jboolean restart;
        jint count, result;
    } cases[] = {{JNI_TRUE, 2, 0},           {JNI_TRUE, 0, 0},        {JNI_FALSE, -5, 0},
                 {JNI_TRUE, 1024, 0},        {JNI_TRUE, 1025, invalid}, {JNI_TRUE, -1, invalid}};
    for (const Case& c : cases)
        EXPECT_EQ(Java_com_stowline_runtime_installer_platform_win32_Win32Services_setRestartServiceConfig0(
                      env, nullptr, str(name.c_str()), c.restart, 1500, c.count, 86400),
                  c.result)
            << c.count;

    // Wine knows no delayed start: the manager's refusal is passed on unchanged.
    unique_service manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    unique_service service(::OpenServiceW(manager.get(), name.c_str(), SERVICE_ALL_ACCESS));
    SERVICE_DELAYED_AUTO_START_INFO info{TRUE};
    const jint direct = ::ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &info)
                            ? 0
                            : static_cast<jint>(::GetLastError());
    EXPECT_EQ(Java_com_stowline_runtime_installer_platform_win32_Win32Services_setDelayedAutoStart0(
                  env, nullptr, str(name.c_str()), JNI_TRUE),
              direct);
}
