#include "windows/base/file_probe.h"

#include <windows.h>

namespace {

bool isPresent(DWORD attributes) { return attributes != INVALID_FILE_ATTRIBUTES; }
bool isFile(DWORD attributes) { return isPresent(attributes) && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0; }
bool isDirectory(DWORD attributes) { return isPresent(attributes) && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

}  // namespace

bool pathExists(const std::wstring& path) { return isPresent(::GetFileAttributesW(path.c_str())); }
bool pathExists(const std::string& path) { return isPresent(::GetFileAttributesA(path.c_str())); }
bool fileExists(const std::wstring& path) { return isFile(::GetFileAttributesW(path.c_str())); }
bool fileExists(const std::string& path) { return isFile(::GetFileAttributesA(path.c_str())); }
bool directoryExists(const std::wstring& path) { return isDirectory(::GetFileAttributesW(path.c_str())); }
bool directoryExists(const std::string& path) { return isDirectory(::GetFileAttributesA(path.c_str())); }
