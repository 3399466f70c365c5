// The privilege step the registry, process and account natives share.
#pragma once

#include <windows.h>

// Sets the privilege's attributes in the process token (SE_PRIVILEGE_ENABLED, or 0 to disable);
// true exactly when the adjustment left no error, so a privilege the account does not hold
// (ERROR_NOT_ALL_ASSIGNED) is failure.
bool setPrivilege(const wchar_t* name, DWORD attributes);
// setPrivilege(name, SE_PRIVILEGE_ENABLED).
bool enablePrivilege(const wchar_t* name);
