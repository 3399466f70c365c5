// The process's identity and private objects: who this process runs as, security descriptors that
// let only it (and the system's own accounts) in, and who owns a directory. An elevated installer
// creates its files, pipes and mailslots with these so that no other process can steer it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "windows/base/handles.h"

// The SID text ("S-1-5-21-...") of this process's user; empty when the token cannot be read.
std::wstring processUserSid();
// True when the process token is elevated or belongs to SYSTEM.
bool processIsElevated();
// The SID text of the process token's integrity level ("S-1-16-12288"); empty when unknown.
std::wstring processIntegritySid();

// SDDL of a DACL that grants full access to SYSTEM, Administrators and, unless the process is
// elevated, its user; protected from the parent's inheritable entries. With inheritable, the
// entries pass on to objects created inside (files and directories).
std::wstring privateDaclSddl(bool inheritable);
// privateDaclSddl plus a mandatory label at the process's integrity level (no write up), which
// objects created inside inherit; the DACL alone when the level is unknown.
std::wstring privateLabeledSddl(bool inheritable);
// A security descriptor from SDDL (LocalFree'd by the owner); empty when the text is refused.
unique_local securityDescriptor(const std::wstring& sddl);

// Creation attributes for a kernel object the product names (a pipe, a mailslot) that another
// process could otherwise open or steer: a protected DACL with full file access for the process's
// user, and for SYSTEM and Administrators when asked, and for nobody else.
class PrivateObjectSecurity {
public:
    enum class Principals { User, UserSystemAndAdministrators };
    explicit PrivateObjectSecurity(Principals principals);
    // Null when the descriptor could not be built (the last error then says why).
    SECURITY_ATTRIBUTES* attributes() { return descriptor_ ? &attributes_ : nullptr; }

private:
    unique_local descriptor_;
    SECURITY_ATTRIBUTES attributes_{};
};

// True when every directory from path up to its root is owned by SYSTEM, Administrators,
// TrustedInstaller or this process's user: nobody else can rename or replace what is created in it.
bool ownedByTrustedAccounts(const std::wstring& path);

// The binary SID of SID text ("S-1-5-32-544"), LocalFree'd by its owner; empty when the text is
// no SID (or the system lacks the conversion).
unique_local sidFromText(const wchar_t* text);
// The SID an account name stands for (LookupAccountNameW, up to 8192 bytes); empty when unknown.
std::vector<BYTE> sidOfAccountName(const wchar_t* name);
// The SID of an account given as SID text, else as a name; empty when it is neither.
std::vector<BYTE> sidOfAccount(const wchar_t* account);

// Sets the privilege's attributes in the process token (SE_PRIVILEGE_ENABLED, or 0 to disable);
// true exactly when the adjustment left no error, so a privilege the account does not hold
// (ERROR_NOT_ALL_ASSIGNED) is failure.
bool setPrivilege(const wchar_t* name, DWORD attributes);
// setPrivilege(name, SE_PRIVILEGE_ENABLED).
bool enablePrivilege(const wchar_t* name);

// Fills buffer with bytes from the system's random generator; false when it is missing or fails.
bool unpredictableBytes(void* buffer, ULONG size);
// True when path names a reparse point (a symbolic link, junction or mount point): something the
// launcher never follows inside the directories it creates.
bool isReparsePoint(const std::wstring& path);
// True when a directory on the way to path (not path itself) is a reparse point: deleting or
// writing there would reach wherever the link points.
bool reachedThroughReparsePoint(const std::wstring& path);
