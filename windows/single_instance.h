// Instance coordination: the instance semaphore, the running-instance registry value, the hand-over
// of a second start's command line through a mailslot, and the top-level windows of a process.
#pragma once

#include <windows.h>

#include <string>

#include "jni/jni.h"
#include "windows/base/handles.h"

// Claims this executable's semaphore. In the first instance (or without single-instance mode) it
// returns; a second instance in single-instance mode raises the first one's windows, forwards its
// command-line tail when forward is set, and ends the process with exit code 0.
void claimInstance(bool forward);

// The semaphore name this process holds ("Local\..." or "Global\..."); empty before claimInstance.
const std::string& instanceSemaphoreName();

// The executable's full path in lower case with runs of backslashes after the first character
// collapsed to one (a leading "\\" stays).
std::string instanceKey(const std::string& fullPath);
// "Global\" (global set) or "Local\" followed by key with every "\" and blank turned into "_".
std::string semaphoreBaseName(const std::string& key, bool global);

// What follows the program name on a command line: after a leading quoted part (or the first
// word), the first blank, and the blanks after it. Empty when nothing follows.
std::wstring commandLineTail(const wchar_t* commandLine);

// "\\.\mailslot\stowline_notification_<pid>".
std::string mailslotName(DWORD processId);
// Sends tail (or "__stw_empty_command_line" when empty) to the mailslot of processId; retries the
// open for about 5 s. False when nothing was delivered (logged).
bool sendCommandLine(DWORD processId, const std::wstring& tail);
// This process's mailslot ("\\.\mailslot\stowline_notification_<pid>", 64 KiB messages, reads
// wait for ever), writable only by this process's user; empty on failure.
unique_handle createOwnMailslot();
// Creates this process's mailslot and starts the thread that hands each message to
// com/tallow/Controller.startupPerformed; false when the mailslot cannot be created (logged).
bool startCommandLineListener();
// The VM the listener attaches to; until one is set (or the launch reports a running VM) the
// listener waits, keeping messages queued in the mailslot.
void setListenerJavaVm(JavaVM* vm);

// Visible top-level windows of processId, leaving out this process's own console window.
int countVisibleWindows(DWORD processId);
// Brings every visible top-level window of processId to the front, restoring minimised ones when
// restore is set.
void activateWindows(DWORD processId, bool restore);

// Binds NativeLogger.cleanup0 to the native log's clean-up; failures are logged, a pending Java
// exception is cleared.
void registerNativeLoggerCleanup(JNIEnv* env);

// The running-instance registry value of key (HKCU\SOFTWARE\fenmoor\tallow\pids): the stored
// process id, or 0 when missing or not a 4-byte REG_DWORD.
DWORD readInstanceProcessId(const std::string& key);
// Stores processId under key; false when the key cannot be created or written.
bool writeInstanceProcessId(const std::string& key, DWORD processId);
