#include "windows/native_log.h"

#include <windows.h>

#include <cstdarg>
#include <cstdlib>
#include <ctime>

#include "windows/base/critical_section.h"
#include "windows/base/handles.h"
#include "windows/base/wide_text.h"
#include "windows/launcher_paths.h"
#include "windows/launcher_state.h"

namespace {

enum class LogState { Unopened, Open, Disabled };

struct Log {
    CriticalSection lock;
    LogState state = LogState::Unopened;
    std::wstring path;
    ULONGLONG startTime = 0;  // milliseconds since 1601
    bool kept = false;
    bool deleteAtExit = false;
};

// Created on first use, never destroyed: threads may still log while the process exits.
Log& theLog()
{
    static Log* log = new Log();
    return *log;
}

ULONGLONG millisecondsSince1601()
{
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    return ((static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime) / 10000;
}

bool environmentIsYes(const wchar_t* name)
{
    wchar_t value[8];
    DWORD length = ::GetEnvironmentVariableW(name, value, 8);
    return length == 3 && wcscmp(value, L"yes") == 0;
}

void deleteLogAtExit()
{
    Log& log = theLog();
    CriticalSectionLock lock(log.lock);
    if (log.deleteAtExit && !log.kept && !log.path.empty()) ::DeleteFileW(log.path.c_str());
}

// Writes bytes to path. CREATE_NEW makes the file and fails on any existing name; OPEN_EXISTING
// appends to the file this log made. Neither follows a reparse point planted at the name.
bool writeUtf8(const std::wstring& path, const std::string& bytes, DWORD disposition)
{
    DWORD access = disposition == CREATE_NEW ? GENERIC_WRITE : FILE_APPEND_DATA;
    unique_file file(::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                   nullptr));
    if (!file) return false;
    DWORD written = 0;
    return ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

// Appends one line to the open log. Called under the lock.
void appendLine(const Log& log, bool error, const std::wstring& text)
{
    ULONGLONG elapsed = millisecondsSince1601() - log.startTime;
    std::wstring line = formatWide(L"[%d:%d] ", static_cast<int>(elapsed / 1000), static_cast<int>(elapsed % 1000));
    if (error) line += L"ERROR: ";
    line += text;
    line += L'\n';
    writeUtf8(log.path, wideToNarrow(line, CP_UTF8), OPEN_EXISTING);
}

// Creates the log file and writes its first line, then the lines of the temp directory choice the
// file's place came from. Called under the lock, once.
void openLog(Log& log)
{
    const LauncherState& state = launcherState();
    bool requested = state.logRequested || environmentIsYes(L"TALLOW_LOG") || environmentIsYes(L"STOWLINE_LOG");
    if (!requested) {
        if (state.deletionMode) {
            log.state = LogState::Disabled;
            return;
        }
        log.deleteAtExit = true;
        std::atexit(deleteLogAtExit);
    }

    PathNotes notes;
    std::wstring directory = userTempDirectory(notes).wide;
    if (directory.empty()) directory = L"c:\\";
    if (directory.back() != L'\\' && directory.back() != L'/') directory += L'\\';

    time_t now = time(nullptr);
    const char* localTime = ctime(&now);
    std::wstring firstLine =
        formatWide(L"Started executable %s at %S\n", moduleFileName().c_str(), localTime ? localTime : "\n");
    std::string bytes = "\xEF\xBB\xBF" + wideToNarrow(firstLine, CP_UTF8);
    // Only a name this run creates is written: in a temp directory others may write to, an
    // existing file (or link) of any number may be someone else's. With all 1,000 taken, and the
    // fallback too, the run logs nowhere.
    std::wstring path;
    bool created = false;
    for (int number = 1; number <= 1000 && !created; ++number) {
        path = formatWide(L"%sstw_nlog_%d.log", directory.c_str(), number);
        created = writeUtf8(path, bytes, CREATE_NEW);
        if (!created && ::GetLastError() != ERROR_FILE_EXISTS && ::GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    if (!created) {
        path = L"c:\\stw_nlog";
        if (!writeUtf8(path, bytes, CREATE_NEW)) {
            log.state = LogState::Disabled;
            return;
        }
    }
    log.path = path;
    log.startTime = millisecondsSince1601();
    log.state = LogState::Open;
    for (const std::wstring& note : notes) appendLine(log, false, note);
}

void writeLine(bool error, const wchar_t* format, va_list arguments)
{
    DWORD lastError = ::GetLastError();
    Log& log = theLog();
    {
        CriticalSectionLock lock(log.lock);
        if (log.state == LogState::Unopened) openLog(log);
        if (log.state == LogState::Open) appendLine(log, error, formatWideV(format, arguments));
    }
    ::SetLastError(lastError);
}

}  // namespace

void logInfo(const wchar_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    writeLine(false, format, arguments);
    va_end(arguments);
}

void logError(const wchar_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    writeLine(true, format, arguments);
    va_end(arguments);
}

std::wstring logPath()
{
    Log& log = theLog();
    CriticalSectionLock lock(log.lock);
    if (log.state == LogState::Unopened) openLog(log);
    if (log.state != LogState::Open) return {};
    log.kept = true;
    return log.path;
}

void cleanupLog() { deleteLogAtExit(); }
