// Acquiring a runtime when none is usable: downloading "jre.tar.gz" from the configured address
// (config key 150) into the extraction directory through WinInet, or letting the user locate a
// java.exe. Progress goes to a progress window (bar 1001, status line 1002, text 1003) or nowhere.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <string>

// The WinInet functions of a download, resolved by name from the system's wininet.dll, and the
// pause between tries (replaceable in tests).
struct InternetFunctions {
    HINTERNET(WINAPI* openUrl)(HINTERNET, LPCWSTR, LPCWSTR, DWORD, DWORD, DWORD_PTR) = nullptr;
    HINTERNET(WINAPI* open)(LPCWSTR, DWORD, LPCWSTR, LPCWSTR, DWORD) = nullptr;
    BOOL(WINAPI* queryInfo)(HINTERNET, DWORD, LPVOID, LPDWORD, LPDWORD) = nullptr;
    DWORD(WINAPI* attemptConnect)(DWORD) = nullptr;
    BOOL(WINAPI* closeHandle)(HINTERNET) = nullptr;
    BOOL(WINAPI* readFile)(HINTERNET, LPVOID, DWORD, LPDWORD) = nullptr;
    void (*pause)(DWORD milliseconds) = nullptr;
};

enum class RuntimeAcquisition {
    None,        // the choice dialog ended otherwise (or could not be shown)
    Downloaded,  // "jre.tar.gz" lies in the extraction directory: unpack it as an included runtime
    Located,     // the user's java.exe was loaded
};

// The acquisition step: downloads without asking when config key 157 is set and "-manual" is
// not, else asks through the runtime choice dialog (owner window). Failed downloads end the process.
RuntimeAcquisition downloadOrLocateRuntime(HWND window);
// What the last downloadOrLocateRuntime achieved (None before the first).
RuntimeAcquisition lastRuntimeAcquisition();

// Downloads url to "jre.tar.gz" in the current directory in up to three attempts; ends the
// process with message 20002 (no WinInet) or 20003 (three failed attempts). An address ending in
// "#sha256=<64 hex digits>" is fetched without that fragment and the archive must hash to it, else
// it is deleted and the process ends with the corrupted-runtime text; a malformed sha256 fragment
// ends it with message 20003 before anything is fetched. Plain http without a hash logs a warning.
void downloadRuntime(HWND window, const std::wstring& configuredUrl);
// The three attempts with the given functions into file; false when all failed.
bool downloadWithRetries(const InternetFunctions& net, HWND window, const std::wstring& url, const std::wstring& file);
// One attempt: connect, open url, ask for the content length (20 tries), transfer. False on any
// failure, with no file left behind (unless the file could not be created at all).
bool downloadAttempt(const InternetFunctions& net, HWND window, const std::wstring& url, const std::wstring& file);
// Moves exactly length bytes of request into file and closes both handles; false on a failure
// (the partial file is deleted).
bool transferToFile(const InternetFunctions& net, HWND window, HINTERNET internet, HINTERNET request, DWORD length,
                    const std::wstring& file);

// The system's wininet.dll functions (loaded once); null when the library or a function is missing.
const InternetFunctions* loadInternetFunctions();

// The status line text: message 20008's format with the four figures (a format that would read
// anything but doubles is replaced by the built-in one).
std::wstring downloadStatusText(const std::wstring& format, double doneMegabytes, double totalMegabytes, double percent,
                                double bytesPerMillisecond);

// Asks for a java.exe with the file dialog (title message 20004, owner window) and loads it with
// error messages; records it among the located runtimes. False when cancelled or unusable.
bool locateRuntime(HWND owner);
