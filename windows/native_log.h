// The native log and the one fatal path.
//
// Every thread may log; lines are UTF-8 (the file starts with a byte-order mark), each prefixed
// "[seconds:milliseconds] " since the log started, error lines continuing with "ERROR: ". The file
// is opened and closed around every line so each line survives a crash. The log is deleted at a
// normal exit unless it was requested or its path was handed out.
#pragma once

#include <windows.h>

#include <string>

#include "natives/jni.h"

// Writes an information line (wide printf format: %s wide, %S narrow). Never fails visibly.
void logInfo(const wchar_t* format, ...);
// Writes an error line. Never fails visibly.
void logError(const wchar_t* format, ...);

// The log file's path (empty when there is no log); the log is then kept at exit.
std::wstring logPath();
// Deletes the log file now unless it was requested or its path was handed out (NativeLogger.cleanup0).
void cleanupLog();

// Clears message boxes as the way errors are shown: errors go to the console or standard error.
void setGuiErrors(bool gui);
bool guiErrors();
// The progress dialog, owner of error message boxes from now on.
void setErrorOwnerWindow(HWND window);

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

// For a JNI caller: false after logging (and, with describe, printing) and clearing a pending
// Java exception; true when none was pending.
bool reportJavaException(JNIEnv* env, bool describe);
