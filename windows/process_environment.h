// Shaping the process before a Java runtime is loaded into it: DLL search, common controls,
// console, PATH and the environment variables through which Java options could be injected.
#pragma once

#include <string>

// DLLs are found in the system directory and added directories only (not on Windows Vista).
void restrictDllSearch();
// Loads "davhlpr.dll" and "fwbase.dll" by name, once; results are ignored.
void preloadSystemDlls();
// InitCommonControls of comctl32 (from the system directory); nothing when missing.
void initCommonControls();
// initCommonControls on a thread of its own (at once when no thread can be made), so that loading
// comctl32 and its theme overlaps the creation of the VM; nothing when comctl32 is loaded already.
// Called once, before anything awaits them.
void startCommonControls();
// Returns once the common controls started by startCommonControls are ready (at once when they
// were never started); any thread, any number of times. Before the natives are registered, since
// they use a comctl32 that is already loaded.
void awaitCommonControls();
// Attaches to the parent's console or allocates one; false only when allocation failed.
bool attachConsole();
// Puts a narrow directory (ANSI code page, OEM when the file APIs are set to OEM) on the DLL search
// path; returns the cookie, or null when the system lacks AddDllDirectory or the call fails.
void* addDllDirectory(const std::string& directory);
// Takes a directory off the DLL search path again; a null cookie does nothing.
void removeDllDirectory(void* cookie);
// The native library directories of config key 10004 (expanded, resolved against the
// executable's directory) go on the DLL search path and in front of PATH.
void addNativeLibraryDirectories();
// Removes _JAVA_OPTIONS, JDK_JAVA_OPTIONS and JAVA_TOOL_OPTIONS from every copy of the environment.
void clearJavaOptionVariables();
// With config key 10010: keeps only the PATH entries under the Windows directory.
void reducePath();
