#include "natives/privileges.h"

#include "windows/base/handles.h"

bool setPrivilege(const wchar_t* name, DWORD attributes)
{
    unique_handle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put())) return false;
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = attributes;
    if (!::LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid)) return false;
    ::AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
    // AdjustTokenPrivileges succeeds even when it assigned nothing; only the last error tells.
    return ::GetLastError() == ERROR_SUCCESS;
}

bool enablePrivilege(const wchar_t* name) { return setPrivilege(name, SE_PRIVILEGE_ENABLED); }
