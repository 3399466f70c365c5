// Security for the kernel objects the product names (pipes, mailslots) that another process could
// otherwise open or steer: a descriptor whose DACL grants full access to a fixed set of principals
// and to nobody else.
#pragma once

#include <windows.h>

#include <vector>

class PrivateObjectSecurity {
public:
    enum class Principals {
        User,                          // the process token's user
        UserSystemAndAdministrators,   // ... and LocalSystem and BUILTIN\Administrators
    };
    explicit PrivateObjectSecurity(Principals principals);
    PrivateObjectSecurity(const PrivateObjectSecurity&) = delete;
    PrivateObjectSecurity& operator=(const PrivateObjectSecurity&) = delete;

    // The attributes to create the object with (not inheritable); null when the descriptor could
    // not be built (the last error then says why).
    SECURITY_ATTRIBUTES* attributes() { return built_ ? &attributes_ : nullptr; }

private:
    bool build(Principals principals);
    std::vector<BYTE> userSid_;
    BYTE systemSid_[SECURITY_MAX_SID_SIZE] = {};
    BYTE administratorsSid_[SECURITY_MAX_SID_SIZE] = {};
    std::vector<BYTE> acl_;
    SECURITY_DESCRIPTOR descriptor_{};
    SECURITY_ATTRIBUTES attributes_{};
    bool built_ = false;
};

// The SID of the process token's user (empty on failure).
std::vector<BYTE> processUserSid();
