#include "natives/files/acl_handling.h"

#include <windows.h>
#include <aclapi.h>

#include <cstdio>
#include <vector>

#include "natives/jni_support.h"
#include "windows/base/handles.h"
#include "windows/base/security.h"

namespace {

// The trustee's SID: an account's own copy, or one built from an authority (FreeSid'd).
struct TrusteeSid {
    std::vector<BYTE> account;
    unique_sid allocated;
    PSID get() const { return !account.empty() ? const_cast<BYTE*>(account.data()) : allocated.get(); }
};

bool wellKnownSid(SID_IDENTIFIER_AUTHORITY authority, DWORD subAuthority, TrusteeSid& sid)
{
    return ::AllocateAndInitializeSid(&authority, 1, subAuthority, 0, 0, 0, 0, 0, 0, 0, sid.allocated.put()) != FALSE;
}

bool accountSid(JNIEnv* env, jstring account, TrusteeSid& sid)
{
    if (account == nullptr) return false;
    sid.account = sidOfAccount(JavaText(env, account).get());
    return !sid.account.empty();
}

bool trusteeSid(JNIEnv* env, jint kind, jstring account, TrusteeSid& sid)
{
    switch (kind) {
    case 1: return wellKnownSid(SECURITY_NT_AUTHORITY, SECURITY_AUTHENTICATED_USER_RID, sid);
    case 3: return accountSid(env, account, sid);
    case 5: return wellKnownSid(SECURITY_LOCAL_SID_AUTHORITY, 547, sid);
    default: return wellKnownSid(SECURITY_WORLD_SID_AUTHORITY, SECURITY_WORLD_RID, sid);
    }
}


}  // namespace

extern "C" JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_ACLHandling_addACE(
    JNIEnv* env, jclass, jstring path, jboolean registry, jboolean read, jboolean write, jboolean execute,
    jboolean all, jint trusteeKind, jstring account) noexcept
{
    return guarded(JNI_FALSE, [&]() -> jboolean {
        DWORD access = 0;
        if (read) access |= GENERIC_READ;
        if (write) access |= GENERIC_WRITE;
        if (execute) access |= GENERIC_EXECUTE;
        if (all) access |= GENERIC_ALL;
        const SE_OBJECT_TYPE objectType = registry ? SE_REGISTRY_KEY : SE_FILE_OBJECT;
        TrusteeSid sid;
        if (!trusteeSid(env, trusteeKind, account, sid)) return JNI_FALSE;

        const JavaText objectPath(env, path);
        PACL dacl = nullptr;
        unique_local descriptor;
        DWORD status = ERROR_INVALID_PARAMETER;
        if (!objectPath.isNull())
            status = ::GetNamedSecurityInfoW(objectPath.get(), objectType, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                             nullptr, reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put()));
        if (status != ERROR_SUCCESS) {
            std::printf("GetNamedSecurityInfo Error %u %S\n", static_cast<unsigned>(status),
                        objectPath.isNull() ? L"(null)" : objectPath.get());
            std::fflush(stdout);
            return JNI_FALSE;
        }

        EXPLICIT_ACCESS_W entry{};
        entry.grfAccessPermissions = access;
        entry.grfAccessMode = GRANT_ACCESS;
        entry.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
        entry.Trustee.pMultipleTrustee = nullptr;
        entry.Trustee.MultipleTrusteeOperation = NO_MULTIPLE_TRUSTEE;
        entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
        entry.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
        entry.Trustee.ptstrName = static_cast<LPWSTR>(sid.get());
        PACL newAcl = nullptr;
        status = ::SetEntriesInAclW(1, &entry, dacl, &newAcl);
        unique_local newAclOwner(newAcl);
        if (status != ERROR_SUCCESS) {
            std::printf("SetEntriesInAcl Error %u\n", static_cast<unsigned>(status));
            std::fflush(stdout);
            return JNI_FALSE;
        }

        status = ::SetNamedSecurityInfoW(const_cast<LPWSTR>(objectPath.get()), objectType, DACL_SECURITY_INFORMATION, nullptr,
                                         nullptr, newAcl, nullptr);
        if (status != ERROR_SUCCESS) {
            std::printf("SetNamedSecurityInfo Error %u\n", static_cast<unsigned>(status));
            std::fflush(stdout);
            return JNI_FALSE;
        }
        return JNI_TRUE;
    });
}

// The rows this file binds, in registration order (registration.cpp orders the classes).
constexpr NativeMethodName kACLHandlingRows[] = {
    PLATFORM_ROW(ACLHandling, addACE, "(Ljava/lang/String;ZZZZZILjava/lang/String;)Z"),
};
constexpr NativeClass kACLHandlingNatives =
    nativeClass("com/stowline/runtime/installer/platform/win32/ACLHandling", kACLHandlingRows);
