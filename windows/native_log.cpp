#include "windows/native_log.h"

#include <cstdarg>
#include <cstdlib>
#include <ctime>

#include "core/config_keys.h"
#include "windows/config_block.h"
#include "windows/launcher_state.h"
#include "windows/base/path_forms.h"
#include "windows/splash.h"
#include "windows/temp_dirs.h"
#include "windows/base/wide_text.h"

namespace {

enum class LogState { Unopened, Open, Disabled };

struct Log {
    CRITICAL_SECTION lock;
    LogState state = LogState::Unopened;
    std::wstring path;
    ULONGLONG startTime = 0;  // milliseconds since 1601
    bool kept = false;
    bool deleteAtExit = false;
    bool guiErrors = true;
    HWND ownerWindow = nullptr;

    Log() { ::InitializeCriticalSection(&lock); }
};

// Created on first use, never destroyed: threads may still log while the process exits.
Log& theLog()
{
    static Log* log = new Log();
    return *log;
}

class LogLock {
public:
    LogLock() { ::EnterCriticalSection(&theLog().lock); }
    ~LogLock() { ::LeaveCriticalSection(&theLog().lock); }
};

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
    LogLock lock;
    if (log.deleteAtExit && !log.kept && !log.path.empty()) ::DeleteFileW(log.path.c_str());
}

bool appendUtf8(const std::wstring& path, const std::string& bytes, DWORD disposition)
{
    DWORD access = disposition == CREATE_ALWAYS ? GENERIC_WRITE : FILE_APPEND_DATA;
    unique_file file(::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

// Creates the log file and writes its first line. Called under the lock, once.
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

    std::wstring directory = userTempDirectoryWide(false);
    if (directory.empty()) directory = L"c:\\";
    if (directory.back() != L'\\' && directory.back() != L'/') directory += L'\\';

    std::wstring path;
    for (int number = 1; number <= 1000; ++number) {
        path = formatWide(L"%sstw_nlog_%d.log", directory.c_str(), number);
        if (number == 1000 || ::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) break;
    }

    time_t now = time(nullptr);
    const char* localTime = ctime(&now);
    std::wstring firstLine =
        formatWide(L"Started executable %s at %S\n", moduleFileName().c_str(), localTime ? localTime : "\n");
    std::string bytes = "\xEF\xBB\xBF" + wideToNarrow(firstLine, CP_UTF8);
    if (!appendUtf8(path, bytes, CREATE_ALWAYS)) {
        path = L"c:\\stw_nlog";
        if (!appendUtf8(path, bytes, CREATE_ALWAYS)) {
            log.state = LogState::Disabled;
            return;
        }
    }
    log.path = path;
    log.startTime = millisecondsSince1601();
    log.state = LogState::Open;
}

void writeLine(bool error, const wchar_t* format, va_list arguments)
{
    DWORD lastError = ::GetLastError();
    Log& log = theLog();
    {
        LogLock lock;
        if (log.state == LogState::Unopened) openLog(log);
        if (log.state == LogState::Open) {
            ULONGLONG elapsed = millisecondsSince1601() - log.startTime;
            std::wstring line = formatWide(L"[%d:%d] ", static_cast<int>(elapsed / 1000), static_cast<int>(elapsed % 1000));
            if (error) line += L"ERROR: ";
            line += formatWideV(format, arguments);
            line += L'\n';
            appendUtf8(log.path, wideToNarrow(line, CP_UTF8), OPEN_ALWAYS);
        }
    }
    ::SetLastError(lastError);
}

void writeToConsoleOrStandardError(const std::wstring& text)
{
    HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (output != nullptr && output != INVALID_HANDLE_VALUE && ::GetFileType(output) == FILE_TYPE_CHAR) {
        DWORD written = 0;
        if (::WriteConsoleW(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) {
            ::FlushFileBuffers(output);
            return;
        }
    }
    HANDLE errorOutput = ::GetStdHandle(STD_ERROR_HANDLE);
    if (errorOutput == nullptr || errorOutput == INVALID_HANDLE_VALUE) return;
    std::string narrow = wideToNarrow(text, CP_ACP) + "\n";
    DWORD written = 0;
    ::WriteFile(errorOutput, narrow.data(), static_cast<DWORD>(narrow.size()), &written, nullptr);
    ::FlushFileBuffers(errorOutput);
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
    LogLock lock;
    if (log.state == LogState::Unopened) openLog(log);
    if (log.state != LogState::Open) return {};
    log.kept = true;
    return log.path;
}

void cleanupLog() { deleteLogAtExit(); }

void setGuiErrors(bool gui) { theLog().guiErrors = gui; }
bool guiErrors() { return theLog().guiErrors; }
void setErrorOwnerWindow(HWND window) { theLog().ownerWindow = window; }

void showError(const std::wstring& text)
{
    closeSplash();
    std::wstring composed = text;
    std::wstring path = logPath();
    if (!path.empty()) {
        std::wstring longForm = longPathWide(path);
        composed = formatWide(L"%s\n\nLog: %s", text.c_str(), (longForm.empty() ? path : longForm).c_str());
    }
    if (theLog().guiErrors) {
        std::wstring title = messageText(messages::kErrorTitle);
        // A box that cannot be shown (no desktop, a service session) must not swallow the error.
        if (::MessageBoxW(theLog().ownerWindow, composed.c_str(), title.c_str(), MB_ICONERROR | MB_OK) <= 0)
            writeToConsoleOrStandardError(composed);
    } else {
        writeToConsoleOrStandardError(composed);
    }
}

std::wstring messageWithArgument(int key, const wchar_t* argument)
{
    std::wstring text = messageText(key);
    if (argument != nullptr) {
        size_t placeholder = text.find(L"{0}");
        if (placeholder != std::wstring::npos) text.replace(placeholder, 3, argument);
    }
    return text;
}

void showErrorMessage(int key, const wchar_t* argument) { showError(messageWithArgument(key, argument)); }

void fatal(const std::wstring& text)
{
    showError(text);
    terminate(1);
}

void fatalMessage(int key, const wchar_t* argument)
{
    showErrorMessage(key, argument);
    terminate(1);
}

void fatalNarrow(int key, const char* argument)
{
    if (argument == nullptr) fatalMessage(key, nullptr);
    std::string limited(argument, strnlen(argument, 6000));
    std::wstring wide = narrowToWide(limited, CP_ACP);
    fatalMessage(key, wide.c_str());
}

void fatalMessageOnly(int key)
{
    showError(messageString(key));
    terminate(1);
}

void terminate(int exitCode)
{
    if (!launcherState().languageRestart) {
        std::string directory = temporaryDirectoryName();
        if (!directory.empty()) deleteTree(directory, true);
    }
    std::exit(exitCode);
}

bool reportJavaException(JNIEnv* env, bool describe)
{
    if (!(*env)->ExceptionCheck(env)) return true;
    logError(L"an exception occurred");
    jthrowable exception = (*env)->ExceptionOccurred(env);
    // toString runs with the exception cleared, then the exception is put back for Describe.
    (*env)->ExceptionClear(env);
    // toString is looked up on Throwable: a String method ID must not be called on another class.
    jclass stringClass = exception ? (*env)->FindClass(env, "java/lang/Throwable") : nullptr;
    jmethodID toString = stringClass ? (*env)->GetMethodID(env, stringClass, "toString", "()Ljava/lang/String;") : nullptr;
    jstring text = toString ? static_cast<jstring>((*env)->CallObjectMethod(env, exception, toString)) : nullptr;
    if ((*env)->ExceptionCheck(env)) {
        (*env)->ExceptionClear(env);
        text = nullptr;
    }
    if (text != nullptr) {
        const jchar* characters = (*env)->GetStringChars(env, text, nullptr);
        if (characters != nullptr) {
            jsize length = (*env)->GetStringLength(env, text);
            std::wstring wide(reinterpret_cast<const wchar_t*>(characters), static_cast<size_t>(length));
            logError(L"%s", wide.c_str());
            (*env)->ReleaseStringChars(env, text, characters);
        }
    }
    if (exception != nullptr) (*env)->Throw(env, exception);
    if (describe) (*env)->ExceptionDescribe(env);
    (*env)->ExceptionClear(env);
    return false;
}
