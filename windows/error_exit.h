// How errors reach the user, and the one path that ends the process early.
//
// An error is shown in a message box (owned by the progress dialog once it exists) or, when
// message boxes are off or cannot be shown, on the console or standard error; it names the log
// when there is one. Every early end goes through terminate, which removes the extraction
// directory on the way.
#pragma once

#include <windows.h>

#include <string>

// Clears message boxes as the way errors are shown: errors go to the console or standard error.
void setGuiErrors(bool gui);
bool guiErrors();
// The progress dialog, owner of error message boxes from now on.
void setErrorOwnerWindow(HWND window);

// Writes text to the console when standard output is one, else as ANSI text and a line end to
// standard error.
void writeToConsoleOrStandardError(const std::wstring& text);
// Shows text (message box, console or standard error), naming the log when there is one.
void showError(const std::wstring& text);
// Shows the message of key with the first "{0}" replaced by argument (no replacement when null).
void showErrorMessage(int key, const wchar_t* argument);
// The message text of key with the first "{0}" replaced by argument (no replacement when null).
std::wstring messageWithArgument(int key, const wchar_t* argument);

// Show, then terminate(1). They never return.
[[noreturn]] void fatal(const std::wstring& text);
[[noreturn]] void fatalMessage(int key, const wchar_t* argument);
[[noreturn]] void fatalNarrow(int key, const char* argument);
// The message table's text of key only (no config-string fallback).
[[noreturn]] void fatalMessageOnly(int key);
// Removes the extraction directory (unless this is a language restart) and ends the process.
[[noreturn]] void terminate(int exitCode);
