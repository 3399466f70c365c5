#include "windows/base/security.h"

#include <aclapi.h>
#include <ntsecapi.h>
#include <sddl.h>

#include <vector>

#include "windows/base/system_functions.h"

namespace {

// The token information of one class, or an empty buffer.
std::vector<BYTE> tokenInformation(TOKEN_INFORMATION_CLASS kind)
{
    unique_handle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
    DWORD size = 0;
    ::GetTokenInformation(token.get(), kind, nullptr, 0, &size);
    if (size == 0) return {};
    std::vector<BYTE> buffer(size);
    if (!::GetTokenInformation(token.get(), kind, buffer.data(), size, &size)) return {};
    return buffer;
}

std::wstring sidString(PSID sid)
{
    LPWSTR text = nullptr;
    if (sid == nullptr || !::ConvertSidToStringSidW(sid, &text)) return {};
    unique_local owner(text);
    return text;
}

bool trustedOwner(PSID owner, const std::wstring& user)
{
    // NT SERVICE\TrustedInstaller owns the system's own directories.
    static const wchar_t kTrustedInstaller[] = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
    if (::IsWellKnownSid(owner, WinLocalSystemSid) || ::IsWellKnownSid(owner, WinBuiltinAdministratorsSid))
        return true;
    const std::wstring text = sidString(owner);
    return !text.empty() && (text == kTrustedInstaller || text == user);
}

}  // namespace

std::wstring processUserSid()
{
    std::vector<BYTE> user = tokenInformation(TokenUser);
    return user.empty() ? std::wstring() : sidString(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid);
}

bool processIsElevated()
{
    std::vector<BYTE> user = tokenInformation(TokenUser);
    if (!user.empty() && ::IsWellKnownSid(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, WinLocalSystemSid))
        return true;
    std::vector<BYTE> elevation = tokenInformation(TokenElevation);
    return elevation.size() >= sizeof(TOKEN_ELEVATION) &&
           reinterpret_cast<TOKEN_ELEVATION*>(elevation.data())->TokenIsElevated != 0;
}

std::wstring processIntegritySid()
{
    std::vector<BYTE> level = tokenInformation(TokenIntegrityLevel);
    return level.empty() ? std::wstring()
                         : sidString(reinterpret_cast<TOKEN_MANDATORY_LABEL*>(level.data())->Label.Sid);
}

std::wstring privateDaclSddl(bool inheritable)
{
    const std::wstring flags = inheritable ? L"OICI" : L"";
    std::wstring sddl = L"D:P(A;" + flags + L";FA;;;SY)(A;" + flags + L";FA;;;BA)";
    const std::wstring user = processIsElevated() ? std::wstring() : processUserSid();
    if (!user.empty()) sddl += L"(A;" + flags + L";FA;;;" + user + L")";
    return sddl;
}

std::wstring privateLabeledSddl(bool inheritable)
{
    const std::wstring level = processIntegritySid();
    std::wstring sddl = privateDaclSddl(inheritable);
    if (!level.empty()) sddl += L"S:(ML;" + std::wstring(inheritable ? L"OICI" : L"") + L";NW;;;" + level + L")";
    return sddl;
}

unique_local securityDescriptor(const std::wstring& sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
        return unique_local();
    return unique_local(descriptor);
}

PrivateObjectSecurity::PrivateObjectSecurity(Principals principals)
{
    const std::wstring user = processUserSid();
    if (user.empty()) return;
    std::wstring sddl = L"D:P(A;;FA;;;" + user + L")";
    if (principals == Principals::UserSystemAndAdministrators) sddl += L"(A;;FA;;;SY)(A;;FA;;;BA)";
    descriptor_ = securityDescriptor(sddl);
    attributes_ = SECURITY_ATTRIBUTES{sizeof attributes_, descriptor_.get(), FALSE};
}

bool ownedByTrustedAccounts(const std::wstring& path)
{
    const std::wstring user = processUserSid();
    std::wstring directory = path;
    while (!directory.empty() && (directory.back() == L'\\' || directory.back() == L'/')) directory.pop_back();
    for (;;) {
        PSID owner = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        // The root of a drive is asked for with its backslash ("c:\").
        const std::wstring asked = directory.size() == 2 && directory[1] == L':' ? directory + L"\\" : directory;
        if (::GetNamedSecurityInfoW(asked.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                                    nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
            return false;
        unique_local held(descriptor);
        if (!trustedOwner(owner, user)) return false;
        const size_t separator = directory.find_last_of(L"\\/");
        if (separator == std::wstring::npos || asked.size() <= 3) return true;
        directory.resize(separator);
    }
}

bool unpredictableBytes(void* buffer, ULONG size)
{
    // RtlGenRandom, exported by advapi32 under this name.
    static const auto generate = SYSTEM_FUNCTION(L"advapi32.dll", SystemFunction036);
    return generate != nullptr && generate(buffer, size) != FALSE;
}

bool isReparsePoint(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool reachedThroughReparsePoint(const std::wstring& path)
{
    // From the first component after the root ("c:\" or "\\server\share\") up to path's parent.
    size_t start = 0;
    if (path.size() >= 3 && path[1] == L':') start = 3;
    else if (path.rfind(L"\\\\", 0) == 0) start = path.find(L'\\', path.find(L'\\', 2) + 1) + 1;
    if (start == 0 || start >= path.size()) return false;
    for (size_t end = path.find(L'\\', start); end != std::wstring::npos; end = path.find(L'\\', end + 1)) {
        if (end > start && isReparsePoint(path.substr(0, end))) return true;
    }
    return false;
}

bool setPrivilege(const wchar_t* name, DWORD attributes)
{
    unique_handle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put())) return false;
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = attributes;
    if (!::LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid)) return false;
    // AdjustTokenPrivileges succeeds even when it assigned nothing; only the last error tells.
    return ::AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr) &&
           ::GetLastError() == ERROR_SUCCESS;
}

bool enablePrivilege(const wchar_t* name) { return setPrivilege(name, SE_PRIVILEGE_ENABLED); }

unique_local sidFromText(const wchar_t* text)
{
    static const auto convert = LOADED_FUNCTION(L"advapi32.dll", ConvertStringSidToSidW);
    PSID sid = nullptr;
    // A null text is the system's to refuse: the caller reports its error (invalid parameter).
    if (convert == nullptr || !convert(text, &sid)) return unique_local();
    return unique_local(sid);
}

std::vector<BYTE> sidOfAccountName(const wchar_t* name)
{
    constexpr DWORD kSidBytes = 8192;
    constexpr DWORD kDomainCharacters = 8192;
    std::vector<BYTE> sid(kSidBytes, 0);
    std::vector<wchar_t> domain(kDomainCharacters, L'\0');
    DWORD sidSize = kSidBytes;
    DWORD domainSize = kDomainCharacters;
    SID_NAME_USE use;
    if (name == nullptr ||
        !::LookupAccountNameW(nullptr, name, sid.data(), &sidSize, domain.data(), &domainSize, &use))
        return {};
    sid.resize(::GetLengthSid(sid.data()));
    return sid;
}

std::vector<BYTE> sidOfAccount(const wchar_t* account)
{
    if (unique_local converted = sidFromText(account)) {
        const BYTE* bytes = static_cast<const BYTE*>(converted.get());
        return std::vector<BYTE>(bytes, bytes + ::GetLengthSid(converted.get()));
    }
    return sidOfAccountName(account);
}
