#include "windows/base/object_security.h"

#include "windows/base/handles.h"

std::vector<BYTE> processUserSid()
{
    unique_handle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return {};
    std::vector<BYTE> information(size);
    if (!::GetTokenInformation(token.get(), TokenUser, information.data(), size, &size)) return {};
    const PSID sid = reinterpret_cast<const TOKEN_USER*>(information.data())->User.Sid;
    if (!::IsValidSid(sid)) return {};
    const BYTE* bytes = static_cast<const BYTE*>(sid);
    return std::vector<BYTE>(bytes, bytes + ::GetLengthSid(sid));
}

PrivateObjectSecurity::PrivateObjectSecurity(Principals principals) { built_ = build(principals); }

bool PrivateObjectSecurity::build(Principals principals)
{
    userSid_ = processUserSid();
    if (userSid_.empty()) return false;
    std::vector<PSID> sids = {userSid_.data()};
    if (principals == Principals::UserSystemAndAdministrators) {
        DWORD size = sizeof systemSid_;
        if (!::CreateWellKnownSid(WinLocalSystemSid, nullptr, systemSid_, &size)) return false;
        size = sizeof administratorsSid_;
        if (!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administratorsSid_, &size)) return false;
        sids.push_back(systemSid_);
        sids.push_back(administratorsSid_);
    }
    DWORD aclSize = sizeof(ACL);
    for (PSID sid : sids) aclSize += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + ::GetLengthSid(sid);
    acl_.assign(aclSize, 0);
    ACL* acl = reinterpret_cast<ACL*>(acl_.data());
    if (!::InitializeAcl(acl, aclSize, ACL_REVISION)) return false;
    // Pipes and mailslots are file objects: the file rights, spelt out rather than generic.
    for (PSID sid : sids)
        if (!::AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid)) return false;
    if (!::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) ||
        !::SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
        return false;
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = &descriptor_;
    attributes_.bInheritHandle = FALSE;
    return true;
}
