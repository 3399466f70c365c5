// Downloading a runtime, "jre.tar.gz", from the configured address (config key 150) into the
// extraction directory through WinInet, with its progress reported as work's progress.
#pragma once

#include <windows.h>

#include <string>

#include "windows/base/internet_functions.h"
#include "windows/work_progress.h"

// The WinInet functions of a download and the pause between tries (both replaceable in tests).
struct DownloadFunctions : InternetFunctions {
    void (*pause)(DWORD milliseconds) = nullptr;
};

// Downloads url to "jre.tar.gz" in the current directory in up to three attempts; ends the
// process with message 20002 (no WinInet) or 20003 (three failed attempts). An address ending in
// "#sha256=<64 hex digits>" is fetched without that fragment and the archive must hash to it, else
// it is deleted and the process ends with the corrupted-runtime text; a malformed sha256 fragment
// ends it with message 20003 before anything is fetched. Plain http without a hash logs a warning.
void downloadRuntime(WorkProgress& progress, const std::wstring& configuredUrl);
// The three attempts with the given functions into file; false when all failed.
bool downloadWithRetries(const DownloadFunctions& net, WorkProgress& progress, const std::wstring& url,
                         const std::wstring& file);
// One attempt: connect, open url, ask for the content length (20 tries), transfer. False on any
// failure, with no file left behind (unless the file could not be created at all).
bool downloadAttempt(const DownloadFunctions& net, WorkProgress& progress, const std::wstring& url,
                     const std::wstring& file);
// Moves exactly length bytes of request into file and closes both handles; false on a failure
// (the partial file is deleted).
bool transferToFile(const DownloadFunctions& net, WorkProgress& progress, HINTERNET internet, HINTERNET request,
                    DWORD length, const std::wstring& file);

// The system's wininet.dll functions with a sleeping pause; null when the library or a function is missing.
const DownloadFunctions* downloadFunctions();

// The status line text: message 20008's format with the four figures (a format that would read
// anything but doubles is replaced by the built-in one).
std::wstring downloadStatusText(const std::wstring& format, double doneMegabytes, double totalMegabytes, double percent,
                                double bytesPerMillisecond);
