#include "windows/cleanup_run.h"

#include <windows.h>

#include <cstdlib>
#include <ctime>
#include <vector>

#include "core/deletion_list.h"
#include "windows/base/file_probe.h"
#include "windows/base/handles.h"
#include "windows/base/registry.h"
#include "windows/base/security.h"
#include "windows/base/wide_text.h"
#include "windows/native_log.h"
#include "windows/temp_dirs.h"

namespace {

constexpr wchar_t kTitle[] = L"stowline";
constexpr wchar_t kProductKey[] = L"SOFTWARE\\fenmoor\\stowline\\";
// How long the run waits for the installer to end: a semaphore name held for ever by another
// process must not keep an elevated clean-up alive for ever.
constexpr DWORD kSemaphoreWaitLimit = 30 * 60 * 1000;

// A path whose directories include a link is left alone: an elevated run would delete wherever it
// points.
bool reachableDirectly(const std::u16string& path)
{
    if (!reachedThroughReparsePoint(toWide(path))) return true;
    logInfo(L"not deleting %s: a link on its way", toWide(path).c_str());
    return false;
}

std::vector<uint8_t> readWholeFile(const std::wstring& path)
{
    std::vector<uint8_t> bytes;
    unique_file file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return bytes;
    uint8_t buffer[16384];
    DWORD got = 0;
    while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    return bytes;
}

bool scheduleAtReboot(const std::wstring& path)
{
    return ::MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
}

// A reboot needs the shutdown privilege in the process token first.
bool reboot()
{
    if (!enablePrivilege(L"SeShutdownPrivilege")) return false;
    return ::ExitWindowsEx(EWX_REBOOT, SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_FLAG_PLANNED) != FALSE;
}

void showRebootFailure(const std::u16string& text)
{
    if (text.size() > 5) ::MessageBoxW(nullptr, toWide(text).c_str(), kTitle, MB_OK | MB_ICONWARNING);
}

void writeRebootCheckFile(HKEY root, const std::wstring& marker)
{
    unique_hkey key = createKey(root, kProductKey, KEY_SET_VALUE);
    if (!key) return;
    writeString(key.get(), L"RebootCheckFile", marker);
}

std::wstring markerDirectory()
{
    wchar_t buffer[MAX_PATH + 1];
    DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
    if (length > 0 && length <= MAX_PATH) {
        ::CreateDirectoryW(buffer, nullptr);
        return std::wstring(buffer, length);
    }
    wchar_t drive[MAX_PATH + 1] = L"";
    wchar_t home[MAX_PATH + 1] = L"";
    DWORD driveLength = ::GetEnvironmentVariableW(L"HOMEDRIVE", drive, MAX_PATH + 1);
    DWORD homeLength = ::GetEnvironmentVariableW(L"HOMEPATH", home, MAX_PATH + 1);
    if (driveLength == 0 || driveLength > MAX_PATH || homeLength == 0 || homeLength > MAX_PATH) return {};
    std::wstring directory = std::wstring(drive) + home;
    if (directory.back() != L'\\') directory += L'\\';
    return directory;
}

// The marker lives until the next reboot deletes it: a later run can tell whether the machine
// has been restarted since.
void recordPendingReboot()
{
    const std::wstring directory = markerDirectory();
    wchar_t name[MAX_PATH + 1] = L"";
    std::wstring marker;
    if (!directory.empty() && ::GetTempFileNameW(directory.c_str(), L"ide", 0, name) != 0) {
        marker = name;
    } else {
        std::srand(static_cast<unsigned>(::GetCurrentProcessId() * static_cast<unsigned>(std::time(nullptr))));
        marker = formatWide(L"%stlw%d", directory.c_str(), std::rand());
        unique_file file(::CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                       nullptr));
    }
    if (!scheduleAtReboot(marker)) return;
    writeRebootCheckFile(HKEY_LOCAL_MACHINE, marker);
    writeRebootCheckFile(HKEY_CURRENT_USER, marker);
}

}  // namespace

bool waitForSemaphoreRelease(const std::wstring& name, DWORD limitMs)
{
    const ULONGLONG start = ::GetTickCount64();
    for (;;) {
        unique_handle semaphore(::CreateSemaphoreW(nullptr, 1, 1, name.c_str()));
        if (::GetLastError() != ERROR_ALREADY_EXISTS) return true;
        semaphore.reset();
        if (::GetTickCount64() - start >= limitMs) return false;
        ::Sleep(200);
    }
}

int deleteListed(const std::wstring& listFile, bool deleteOwnExecutable)
{
    // The run must not hold the directory it is to remove as its current directory.
    ::SetCurrentDirectoryW(executableDirectoryWide().c_str());
    const DeletionList list = parseDeletionList(readWholeFile(listFile));
    if (!list.semaphore.empty() && !waitForSemaphoreRelease(toWide(list.semaphore), kSemaphoreWaitLimit))
        logInfo(L"semaphore still held after %d s", static_cast<int>(kSemaphoreWaitLimit / 1000));

    DeletionOperations operations;
    operations.deleteFile = [](const std::u16string& path) {
        return reachableDirectly(path) && ::DeleteFileW(toWide(path).c_str()) != FALSE;
    };
    operations.removeDirectory = [](const std::u16string& path) {
        return reachableDirectly(path) && ::RemoveDirectoryW(toWide(path).c_str()) != FALSE;
    };
    operations.exists = [](const std::u16string& path) { return pathExists(toWide(path)); };
    operations.scheduleAtReboot = [](const std::u16string& path) {
        return reachableDirectly(path) && scheduleAtReboot(toWide(path));
    };
    operations.sleep = [](unsigned milliseconds) { ::Sleep(milliseconds); };
    const DeletionOutcome outcome = runDeletionPasses(list, operations);
    logInfo(L"deletion passes %d, scheduled %d, remaining %d", outcome.passes,
            static_cast<int>(outcome.scheduled.size()), static_cast<int>(outcome.remaining.size()));

    ::DeleteFileW(listFile.c_str());
    if (deleteOwnExecutable && list.rebootDeletion) scheduleAtReboot(executablePathWide());

    if (list.forceReboot) {
        if (!reboot()) showRebootFailure(list.rebootFailureText);
    } else if (outcome.rebootNeeded) {
        if (list.rebootQuestion.size() > 5 &&
            ::MessageBoxW(nullptr, toWide(list.rebootQuestion).c_str(), kTitle, MB_YESNO | MB_ICONQUESTION) == IDYES) {
            if (!reboot()) showRebootFailure(list.rebootFailureText);
        } else {
            recordPendingReboot();
        }
    }
    return 0;
}

void rebootAfterDelay()
{
    ::Sleep(5000);
    reboot();
}
