// The two shell entry points the registry, shell and account natives call, bound at run time from
// shell32 once per process, both or neither. Without them the wrappers do nothing.
#pragma once

#include <windows.h>

// True when SHChangeNotify and ShellExecuteW are both bound (loading shell32 on first use, after
// the preload of davhlpr.dll and fwbase.dll).
bool loadShellFunctions();
// SHChangeNotify with its four arguments; nothing when the shell functions are unavailable.
void shellChangeNotify(LONG eventId, UINT flags, const void* item1, const void* item2);
// ShellExecuteW with its six arguments; 0 (a failure value) when unavailable.
HINSTANCE shellExecute(HWND window, const wchar_t* verb, const wchar_t* file, const wchar_t* parameters,
                       const wchar_t* directory, int show);
