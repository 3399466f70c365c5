// The native log.
//
// Every thread may log; lines are UTF-8 (the file starts with a byte-order mark), each prefixed
// "[seconds:milliseconds] " since the log started, error lines continuing with "ERROR: ". The file
// is opened and closed around every line so each line survives a crash. The log is deleted at a
// normal exit unless it was requested or its path was handed out.
#pragma once

#include <string>

// Writes an information line (wide printf format: %s wide, %S narrow). Never fails visibly.
void logInfo(const wchar_t* format, ...);
// Writes an error line. Never fails visibly.
void logError(const wchar_t* format, ...);

// The log file's path (empty when there is no log); the log is then kept at exit.
std::wstring logPath();
// Deletes the log file now unless it was requested or its path was handed out (NativeLogger.cleanup0).
void cleanupLog();
