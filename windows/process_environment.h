// Shaping the process before a Java runtime is loaded into it: DLL search, common controls,
// console, PATH and the environment variables through which Java options could be injected.
#pragma once

// DLLs are found in the system directory and added directories only (not on Windows Vista).
void restrictDllSearch();
// Loads "davhlpr.dll" and "fwbase.dll" by name, once; results are ignored.
void preloadSystemDlls();
// InitCommonControls of comctl32 (from the system directory); nothing when missing.
void initCommonControls();
// Attaches to the parent's console or allocates one; false only when allocation failed.
bool attachConsole();
// Removes _JAVA_OPTIONS, JDK_JAVA_OPTIONS and JAVA_TOOL_OPTIONS from every copy of the environment.
void clearJavaOptionVariables();
// With config key 10010: keeps only the PATH entries under the Windows directory.
void reducePath();
