// WinInet's functions, bound at run time from the system's wininet.dll once, all or none: the
// runtime download and the WinInet natives share them, as do internet handle owners.
#pragma once

#include <windows.h>
#include <wininet.h>

#include "windows/base/system_functions.h"

struct InternetFunctions {
    decltype(&::InternetOpenW) open = nullptr;
    decltype(&::InternetOpenUrlW) openUrl = nullptr;
    decltype(&::InternetConnectW) connect = nullptr;
    decltype(&::InternetAttemptConnect) attemptConnect = nullptr;
    decltype(&::InternetCloseHandle) closeHandle = nullptr;
    decltype(&::InternetReadFile) readFile = nullptr;
    decltype(&::InternetWriteFile) writeFile = nullptr;
    decltype(&::InternetSetOptionW) setOption = nullptr;
    decltype(&::InternetQueryOptionW) queryOption = nullptr;
    decltype(&::InternetErrorDlg) errorDialog = nullptr;
    decltype(&::HttpOpenRequestW) openRequest = nullptr;
    decltype(&::HttpSendRequestW) sendRequest = nullptr;
    decltype(&::HttpEndRequestW) endRequest = nullptr;
    decltype(&::HttpQueryInfoA) queryInfo = nullptr;  // narrow: header text goes to Java as bytes
    decltype(&::HttpQueryInfoW) queryInfoW = nullptr;
};

// The group and how its binding went (NoLibrary: no wininet.dll; NoFunctions: one was missing).
const BoundGroup<InternetFunctions>& boundInternetFunctions();
// The functions, or null when they could not all be bound.
inline const InternetFunctions* internetFunctions() { return boundInternetFunctions().get(); }
