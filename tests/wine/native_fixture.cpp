#include "native_fixture.h"

#include <aclapi.h>
#include <sddl.h>

#include <atomic>
#include <cwchar>
#include <fstream>
#include <thread>

#include "natives/jni_support.h"
#include "windows/base/handles.h"
#include "windows/base/security.h"
#include "windows/base/wide_text.h"

namespace {

std::wstring testName()
{
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::wstring name = narrowToWide(std::string(info->test_suite_name()) + "." + info->name());
    for (wchar_t& c : name)
        if (c == L'/' || c == L'\\') c = L'_';
    return name;
}

void removeTree(const std::wstring& directory)
{
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW((directory + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring path = directory + L"\\" + name;
            ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeTree(path);
            else
                ::DeleteFileW(path.c_str());
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
    }
    ::RemoveDirectoryW(directory.c_str());
}

}  // namespace

bool NativeTest::inFreshProcess()
{
    wchar_t mark[2];
    if (::GetEnvironmentVariableW(L"NATIVE_TEST_FRESH", mark, 2) == 1) return true;
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::wstring line = L"\"" + moduleFileName() + L"\" --gtest_filter=" +
                        narrowToWide(std::string(info->test_suite_name()) + "." + info->name());
    ::SetEnvironmentVariableW(L"NATIVE_TEST_FRESH", L"1");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created{};
    const BOOL started = ::CreateProcessW(moduleFileName().c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                          nullptr, &startup, &created);
    ::SetEnvironmentVariableW(L"NATIVE_TEST_FRESH", nullptr);
    EXPECT_TRUE(started);
    if (!started) return false;
    unique_handle process(created.hProcess), thread(created.hThread);
    DWORD code = STILL_ACTIVE;
    EXPECT_EQ(::WaitForSingleObject(process.get(), 120000), WAIT_OBJECT_0);
    ::GetExitCodeProcess(process.get(), &code);
    EXPECT_EQ(code, 0u) << "the test failed in its own process";
    return false;
}

void NativeTest::atOnce(int threads, const std::function<void(int)>& call)
{
    // A spin rather than an event: every thread leaves it within the same moment.
    std::atomic<int> waiting{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> running;
    for (int i = 0; i < threads; ++i)
        running.emplace_back([&, i] {
            ++waiting;
            while (!go.load()) std::this_thread::yield();
            call(i);
        });
    while (waiting.load() < threads) std::this_thread::yield();
    go.store(true);
    for (std::thread& thread : running) thread.join();
}

std::wstring NativeTest::testDirectory()
{
    std::wstring exe = moduleFileName();
    return exe.substr(0, exe.find_last_of(L'\\'));
}

void NativeTest::SetUp()
{
    const std::wstring name = testName();
    wchar_t temp[MAX_PATH + 1];
    ::GetTempPathW(MAX_PATH + 1, temp);
    const std::wstring suffix = name + L"_" + std::to_wstring(::GetCurrentProcessId());
    report = std::wstring(temp) + L"native_report_" + suffix + L".txt";
    ::DeleteFileW(report.c_str());
    scratchDirectory = std::wstring(temp) + L"native_scratch_" + suffix;
    removeTree(scratchDirectory);
    ASSERT_TRUE(::CreateDirectoryW(scratchDirectory.c_str(), nullptr));
    scratchKey = L"Software\\launcher-tests\\" + name;
    ::RegDeleteTreeW(HKEY_CURRENT_USER, scratchKey.c_str());

    ::SetEnvironmentVariableW(L"TEST_VM_REPORT", report.c_str());
    ::SetEnvironmentVariableW(L"TEST_VM_SCRIPT", nullptr);
    const std::wstring tests = testDirectory();
    vmModule_ = ::LoadLibraryW((tests.substr(0, tests.find_last_of(L'\\')) + L"\\doubles\\test_vm\\jvm.dll").c_str());
    ASSERT_NE(vmModule_, nullptr) << "build the jvm target";
    auto create = reinterpret_cast<JniCreateJavaVMFn>(
        reinterpret_cast<void*>(::GetProcAddress(vmModule_, "JNI_CreateJavaVM")));
    ASSERT_NE(create, nullptr);
    JavaVMInitArgs args{JNI_VERSION_1_2, 0, nullptr, JNI_TRUE};
    ASSERT_EQ(create(&vm, reinterpret_cast<void**>(&env), &args), JNI_OK);
}

void NativeTest::TearDown()
{
    if (vm) (*vm)->DestroyJavaVM(vm);
    vm = nullptr;
    env = nullptr;
    if (!allowWarnings) {
        for (const std::string& line : reportLines()) EXPECT_NE(line.rfind("warning", 0), 0u) << line;
    }
    ::DeleteFileW(report.c_str());
    ::RegDeleteTreeW(HKEY_CURRENT_USER, scratchKey.c_str());
    removeTree(scratchDirectory);
}

jstring NativeTest::str(const wchar_t* value) { return value == nullptr ? nullptr : wideToJava(env, value); }

std::wstring NativeTest::text(jobject string)
{
    if (string == nullptr) return L"<null>";
    return javaToWide(env, static_cast<jstring>(string));
}

std::vector<std::wstring> NativeTest::texts(jobject array)
{
    std::vector<std::wstring> result;
    if (array == nullptr) return result;
    auto objects = static_cast<jobjectArray>(array);
    jsize length = (*env)->GetArrayLength(env, objects);
    for (jsize i = 0; i < length; ++i) {
        LocalRef<jobject> element(env, (*env)->GetObjectArrayElement(env, objects, i));
        result.push_back(text(element.get()));
    }
    return result;
}

std::vector<std::string> NativeTest::reportLines() const
{
    std::vector<std::string> lines;
    std::ifstream in(report.c_str());
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

namespace {

std::wstring sidText(PSID sid)
{
    LPWSTR text = nullptr;
    if (!::ConvertSidToStringSidW(sid, &text)) return L"<bad sid>";
    unique_local owned(text);
    return text;
}

}  // namespace

std::optional<std::vector<std::wstring>> daclEntries(HANDLE object)
{
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                          &descriptor) != ERROR_SUCCESS)
        return std::nullopt;
    unique_local owned(descriptor);
    std::vector<std::wstring> entries;
    if (dacl == nullptr) return entries;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(dacl, i, &ace)) return std::nullopt;
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            entries.push_back(L"type " + std::to_wstring(header->AceType));
            continue;
        }
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        wchar_t mask[16];
        std::swprintf(mask, 16, L"%lx", static_cast<unsigned long>(allowed->Mask));
        entries.push_back(sidText(const_cast<DWORD*>(&allowed->SidStart)) + L"=" + mask);
    }
    return entries;
}

std::wstring processUserSidText()
{
    const std::wstring sid = processUserSid();
    return sid.empty() ? L"<no user>" : sid;
}
