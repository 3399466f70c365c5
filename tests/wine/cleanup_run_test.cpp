#include "windows/cleanup_run.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "windows/handles.h"
#include "windows/temp_dirs.h"
#include "windows/wide_text.h"

namespace {

bool exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

struct Holder {
    std::wstring name;
    std::atomic<bool> released{false};
};

DWORD WINAPI holdSemaphore(void* argument)
{
    Holder* holder = static_cast<Holder*>(argument);
    unique_handle semaphore(::CreateSemaphoreW(nullptr, 1, 1, holder->name.c_str()));
    ::Sleep(300);
    holder->released = true;
    return 0;  // the handle closes here: the semaphore is gone
}

}  // namespace

TEST(SemaphoreWait, ReturnsOnlyAfterTheHolderHasLetGo)
{
    Holder holder;
    holder.name = L"Local\\cleanup_run_test_" + std::to_wstring(::GetCurrentProcessId());
    unique_handle ready(::CreateSemaphoreW(nullptr, 1, 1, holder.name.c_str()));  // exists before the thread runs
    unique_handle thread(::CreateThread(nullptr, 0, holdSemaphore, &holder, 0, nullptr));
    ASSERT_TRUE(thread);
    ::Sleep(50);
    ready.reset();
    waitForSemaphoreRelease(holder.name);
    EXPECT_TRUE(holder.released);
    ::WaitForSingleObject(thread.get(), INFINITE);
}

TEST(DeletionRun, DeletesFilesThenDirectoriesThenTheList)
{
    wchar_t temp[MAX_PATH + 1];
    DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
    const std::wstring root =
        std::wstring(temp, length) + L"cleanup_run_test_" + std::to_wstring(::GetCurrentProcessId());
    ASSERT_TRUE(::CreateDirectoryW(root.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((root + L"\\sub").c_str(), nullptr));
    for (const wchar_t* name : {L"\\a.txt", L"\\sub\\b.txt"}) {
        unique_file file(::CreateFileW((root + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file);
    }
    std::wstring text = L"\r\nnone\r\nEOSMARKER\r\nEOSMARKER\r\n" + root + L"\\a.txt\r\n" + root + L"\\sub\\b.txt\r\n\r\n" +
                        root + L"\\sub\r\n" + root + L"\r\n";
    const std::wstring list = std::wstring(temp, length) + L"cleanup_run_test.lst";
    {
        unique_file file(::CreateFileW(list.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
    }
    wchar_t before[MAX_PATH + 1];
    ::GetCurrentDirectoryW(MAX_PATH + 1, before);
    EXPECT_EQ(deleteListed(list, false), 0);
    wchar_t during[MAX_PATH + 1];
    ::GetCurrentDirectoryW(MAX_PATH + 1, during);
    ::SetCurrentDirectoryW(before);
    EXPECT_FALSE(exists(root));
    EXPECT_FALSE(exists(list));
    std::wstring current(during);
    if (current.back() != L'\\') current += L'\\';
    EXPECT_EQ(_wcsicmp(current.c_str(), executableDirectoryWide().c_str()), 0);
}

TEST(DeletionRun, AListThatCannotBeOpenedIsAnEmptyList)
{
    EXPECT_EQ(deleteListed(L"C:\\no\\such\\list.lst", false), 0);
}
