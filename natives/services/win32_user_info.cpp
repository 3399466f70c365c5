#include "natives/services/win32_user_info.h"

#include <windows.h>
#include <lm.h>
#include <ntsecapi.h>
#include <userenv.h>

#include <string>
#include <vector>

#include "core/service_rules.h"
#include "natives/jni_support.h"
#include "natives/sid_text.h"
#include "natives/shell_functions.h"
#include "windows/base/handles.h"
#include "windows/base/security.h"
#include "windows/base/system_functions.h"
#include "windows/base/wide_text.h"

namespace {

using AllocateAndInitializeSidFunction = decltype(&::AllocateAndInitializeSid);
using EqualSidFunction = decltype(&::EqualSid);
using GetTokenInformationFunction = decltype(&::GetTokenInformation);
using OpenProcessTokenFunction = decltype(&::OpenProcessToken);
using OpenThreadTokenFunction = decltype(&::OpenThreadToken);
using LookupAccountSidFunction = decltype(&::LookupAccountSidW);

constexpr DWORD kNameCapacity = 8192;  // characters of account, domain and profile buffers

HMODULE netapi()
{
    HMODULE module = ::GetModuleHandleW(L"netapi32.dll");
    return module != nullptr ? module : loadSystemLibrary(L"netapi32.dll");
}

// The five token functions; all are needed.
struct TokenFunctions {
    AllocateAndInitializeSidFunction allocateSid = LOADED_FUNCTION(L"advapi32.dll", AllocateAndInitializeSid);
    EqualSidFunction equalSid = LOADED_FUNCTION(L"advapi32.dll", EqualSid);
    GetTokenInformationFunction information = LOADED_FUNCTION(L"advapi32.dll", GetTokenInformation);
    OpenProcessTokenFunction openProcessToken = LOADED_FUNCTION(L"advapi32.dll", OpenProcessToken);
    OpenThreadTokenFunction openThreadToken = LOADED_FUNCTION(L"advapi32.dll", OpenThreadToken);
    bool complete() const
    {
        return allocateSid && equalSid && information && openProcessToken && openThreadToken;
    }
};

// The thread's token when it impersonates, else the process token; empty when neither opens.
unique_handle userToken(const TokenFunctions& functions)
{
    HANDLE token = nullptr;
    if (!functions.openThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &token) &&
        !functions.openProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        token = nullptr;
    return unique_handle(token);
}

enum class TokenRead { Read, SizeUnknown, Unreadable };

// Token information in two calls: its size, then into a buffer of that size.
TokenRead readToken(const TokenFunctions& functions, HANDLE token, TOKEN_INFORMATION_CLASS kind,
                    std::vector<BYTE>& buffer)
{
    DWORD size = 0;
    if (!functions.information(token, kind, nullptr, 0, &size) && ::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return TokenRead::SizeUnknown;
    buffer.assign(size, 0);
    if (size == 0 || !functions.information(token, kind, buffer.data(), size, &size)) return TokenRead::Unreadable;
    return TokenRead::Read;
}

// The text as Win32 reads it: up to its first NUL; empty for null.
std::u16string win32Text(const JavaText& text) { return text.isNull() ? u"" : toU16(std::wstring(text.get())); }

std::wstring status(const wchar_t* text, DWORD error) { return text + std::to_wstring(static_cast<long>(error)); }

struct Account {
    std::wstring name;
    std::wstring domain;
};

// LookupAccountSidW into buffers of kNameCapacity characters; false with the error left in place.
bool lookUpAccount(LookupAccountSidFunction lookUp, PSID sid, Account& account)
{
    std::vector<wchar_t> name(kNameCapacity, L'\0');
    std::vector<wchar_t> domain(kNameCapacity, L'\0');
    DWORD nameSize = kNameCapacity;
    DWORD domainSize = kNameCapacity;
    SID_NAME_USE use;
    if (!lookUp(nullptr, sid, name.data(), &nameSize, domain.data(), &domainSize, &use)) return false;
    account.name = name.data();
    account.domain = domain.data();
    return true;
}

}  // namespace

extern "C" {

JNIEXPORT jstring JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32UserInfo_getUserSid0(JNIEnv* env,
                                                                                                      jclass) noexcept
{
    return guarded(nullptr, [&]() -> jstring {
        const TokenFunctions functions;
        if (!functions.complete()) return nullptr;
        unique_handle token = userToken(functions);
        std::vector<BYTE> buffer;
        if (!token || readToken(functions, token.get(), TokenUser, buffer) != TokenRead::Read) return nullptr;
        const std::wstring text = sidText(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid);
        return text.empty() ? nullptr : wideToJava(env, text);
    });
}

JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32UserInfo_isMemberOfGroup0(
    JNIEnv*, jclass, jint rid) noexcept
{
    return guarded(JNI_FALSE, [&]() -> jboolean {
        const TokenFunctions functions;
        if (!functions.complete()) return JNI_TRUE;
        SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
        unique_sid group;
        if (!functions.allocateSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, static_cast<DWORD>(rid), 0, 0, 0, 0, 0, 0,
                                   group.put()))
            return JNI_TRUE;
        unique_handle token = userToken(functions);
        if (!token) return JNI_TRUE;
        std::vector<BYTE> buffer;
        const TokenRead read = readToken(functions, token.get(), TokenGroups, buffer);
        if (read != TokenRead::Read) return read == TokenRead::SizeUnknown ? JNI_TRUE : JNI_FALSE;
        const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
        for (DWORD i = 0; i < groups->GroupCount; ++i) {
            // A group kept only to deny access (a filtered administrator token) is no membership.
            const DWORD attributes = groups->Groups[i].Attributes & (SE_GROUP_ENABLED | SE_GROUP_USE_FOR_DENY_ONLY);
            if (functions.equalSid(groups->Groups[i].Sid, group.get()) && attributes == SE_GROUP_ENABLED) return JNI_TRUE;
        }
        return JNI_FALSE;
    });
}

JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32UserInfo_getElevationType0(
    JNIEnv*, jclass) noexcept
{
    return guarded(0, [&]() -> jint {
        const TokenFunctions functions;
        if (!functions.complete()) return 0;
        unique_handle token;
        if (!functions.openProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return 0;
        DWORD type = 0;
        DWORD size = 0;
        if (!functions.information(token.get(), TokenElevationType, &type, sizeof type, &size)) return 0;
        return static_cast<jint>(type);
    });
}

JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32UserInfo_executeElevated0(
    JNIEnv* env, jclass, jstring file, jstring parameters, jstring directory, jint show) noexcept
{
    return guarded(JNI_FALSE, [&]() -> jboolean {
        // Loaded once, before the shell needs it for the elevation prompt.
        static const HMODULE preloaded = loadSystemLibrary(L"sspicli.dll");
        (void)preloaded;
        const JavaText program(env, file);
        if (program.isNull()) return JNI_FALSE;
        const JavaText arguments(env, parameters);
        const JavaText folder(env, directory);
        HINSTANCE result = shellExecute(nullptr, L"runas", program.get(), arguments.get(), folder.get(), show);
        return reinterpret_cast<INT_PTR>(result) > 32 ? JNI_TRUE : JNI_FALSE;
    });
}

JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32UserInfo_deleteUser0(
    JNIEnv* env, jclass, jstring server, jstring user) noexcept
{
    return guarded(-1, [&]() -> jint {
        auto remove = BOUND_FUNCTION(netapi(), NetUserDel);
        if (remove == nullptr) return -1;
        return static_cast<jint>(remove(JavaText(env, server).get(), JavaText(env, user).get()));
    });
}

JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32UserInfo_deleteLocalGroup0(
    JNIEnv* env, jclass, jstring server, jstring group) noexcept
{
    return guarded(-1, [&]() -> jint {
        auto remove = BOUND_FUNCTION(netapi(), NetLocalGroupDel);
        if (remove == nullptr) return -1;
        return static_cast<jint>(remove(JavaText(env, server).get(), JavaText(env, group).get()));
    });
}

JNIEXPORT jstring JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32UserInfo_addUser0(
    JNIEnv* env, jclass, jstring user, jstring password, jstring comment, jstring group, jstring groupComment,
    jboolean createGroup, jboolean groupMustBeNew) noexcept
{
    return guarded(nullptr, [&]() -> jstring {
        const HMODULE module = netapi();
        auto groupAdd = BOUND_FUNCTION(module, NetLocalGroupAdd);
        auto groupInfo = BOUND_FUNCTION(module, NetLocalGroupGetInfo);
        auto bufferFree = BOUND_FUNCTION(module, NetApiBufferFree);
        auto userAdd = BOUND_FUNCTION(module, NetUserAdd);
        auto userInfo = BOUND_FUNCTION(module, NetUserGetInfo);
        auto addMembers = BOUND_FUNCTION(module, NetLocalGroupAddMembers);
        auto userDel = BOUND_FUNCTION(module, NetUserDel);
        auto groupDel = BOUND_FUNCTION(module, NetLocalGroupDel);
        if (!groupAdd || !groupInfo || !bufferFree || !userAdd || !userInfo || !addMembers || !userDel || !groupDel)
            return nullptr;

        const JavaText userName(env, user);
        // A user without a name is refused as the user step would refuse a bad name field, before a
        // group is made for it; the system's user functions read both texts without a null check.
        if (userName.isNull())
            return wideToJava(env, formatWide(L"%d %d %d", 2, ERROR_INVALID_PARAMETER, USER_NAME_PARMNUM));
        const JavaText secret(env, password);
        const JavaText userComment(env, comment);
        const JavaText groupName(env, group);
        const JavaText aboutGroup(env, groupComment);
        const bool withGroup = !groupName.isNull();
        bool groupCreated = false;
        std::wstring result;

        if (withGroup && createGroup) {
            LOCALGROUP_INFO_1 info{const_cast<wchar_t*>(groupName.get()), const_cast<wchar_t*>(aboutGroup.get())};
            const NET_API_STATUS added = groupAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&info), nullptr);
            const GroupAdd outcome = groupAddOutcome(added, groupMustBeNew != JNI_FALSE);
            groupCreated = outcome == GroupAdd::Created;
            if (outcome == GroupAdd::Failed) result = formatWide(L"%d %d", 1, static_cast<int>(added));
        } else if (withGroup) {
            LPBYTE raw = nullptr;
            const NET_API_STATUS found = groupInfo(nullptr, groupName.get(), 1, &raw);
            unique_netapi_buffer info(raw);
            if (found != NERR_Success) result = formatWide(L"%d %d", 6, static_cast<int>(found));
        }

        unique_netapi_buffer created;
        if (result.empty()) {
            USER_INFO_1 info{};
            info.usri1_name = const_cast<wchar_t*>(userName.get());
            info.usri1_password = const_cast<wchar_t*>(secret.text().c_str());  // null: an empty password
            info.usri1_priv = USER_PRIV_USER;
            info.usri1_comment = const_cast<wchar_t*>(userComment.get());
            info.usri1_flags = UF_SCRIPT;
            DWORD badField = 0;
            const NET_API_STATUS added = userAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&info), &badField);
            if (added != NERR_Success)
                result = formatWide(L"%d %d %d", 2, static_cast<int>(added), static_cast<int>(badField));
        }
        if (result.empty()) {
            LPBYTE raw = nullptr;
            const NET_API_STATUS read = userInfo(nullptr, userName.get(), 23, &raw);
            created.reset(raw);
            if (read != NERR_Success) result = formatWide(L"%d %d", 3, static_cast<int>(read));
        }
        PSID userSid = result.empty() ? reinterpret_cast<USER_INFO_23*>(created.get())->usri23_user_sid : nullptr;
        if (result.empty() && withGroup) {
            LOCALGROUP_MEMBERS_INFO_0 member{userSid};
            const NET_API_STATUS added = addMembers(nullptr, groupName.get(), 0, reinterpret_cast<LPBYTE>(&member), 1);
            if (added != NERR_Success && added != ERROR_MEMBER_IN_ALIAS)
                result = formatWide(L"%d %d", 4, static_cast<int>(added));
        }
        if (result.empty()) {
            result = sidText(userSid);
            if (result.empty()) {
                result = L"5";
            } else if (withGroup) {
                const std::vector<BYTE> groupSid = sidOfAccountName(groupName.get());
                if (!groupSid.empty()) {
                    const std::wstring groupText = sidText(const_cast<BYTE*>(groupSid.data()));
                    if (!groupText.empty()) result += L" " + groupText + (groupCreated ? L" true" : L" false");
                }
            }
        }
        return result.empty() ? nullptr : wideToJava(env, result);
    });
}

JNIEXPORT jstring JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32UserInfo_getUserProfileDirectory0(
    JNIEnv* env, jclass, jstring sid, jstring password) noexcept
{
    return guarded(nullptr, [&]() -> jstring {
        const HMODULE advapi32 = ::GetModuleHandleW(L"advapi32.dll");
        // Loaded for this call only and released with it.
        unique_module userenv(loadSystemLibrary(L"userenv.dll"));
        if (advapi32 == nullptr || !userenv) return wideToJava(env, status(L" could not load library ", ::GetLastError()));
        const JavaText sidString(env, sid);
        if (!serviceAccountForSid(win32Text(sidString)).empty()) return wideToJava(env, L" no user account");

        auto lookUp = BOUND_FUNCTION(advapi32, LookupAccountSidW);
        auto logOn = BOUND_FUNCTION(advapi32, LogonUserW);
        auto profileDirectory = BOUND_FUNCTION(userenv.get(), GetUserProfileDirectoryW);
        if (!lookUp || !logOn || !profileDirectory)
            return wideToJava(env, status(L" could not get functions ", ::GetLastError()));

        unique_local binarySid = sidFromText(sidString.get());
        if (!binarySid) return wideToJava(env, status(L" could not convert sid ", ::GetLastError()));
        Account account;
        if (!lookUpAccount(lookUp, binarySid.get(), account))
            return wideToJava(env, status(L" could not look up account name ", ::GetLastError()));
        if (isBuiltinSid(win32Text(sidString)) || account.domain.empty()) account.domain = L".";

        unique_handle token;
        if (!logOn(account.name.c_str(), account.domain.c_str(), JavaText(env, password).get(), LOGON32_LOGON_NETWORK,
                   LOGON32_PROVIDER_DEFAULT, token.put()))
            return wideToJava(env, status(L" could not get token ", ::GetLastError()));
        std::vector<wchar_t> directory(kNameCapacity, L'\0');
        DWORD size = kNameCapacity;
        if (!profileDirectory(token.get(), directory.data(), &size))
            return wideToJava(env, status(L" could not get user profile dir ", ::GetLastError()));
        return wideToJava(env, directory.data());
    });
}

JNIEXPORT jstring JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32UserInfo_getAccountName0(
    JNIEnv* env, jclass, jstring sid, jboolean nameOnly) noexcept
{
    return guarded(nullptr, [&]() -> jstring {
        const JavaText sidString(env, sid);
        const std::u16string fixed = serviceAccountForSid(win32Text(sidString));
        if (!fixed.empty()) return wideToJava(env, toWide(fixed));
        auto lookUp = LOADED_FUNCTION(L"advapi32.dll", LookupAccountSidW);
        if (lookUp == nullptr) return wideToJava(env, L"");

        unique_local binarySid = sidFromText(sidString.get());
        if (!binarySid) return wideToJava(env, status(L" ", ::GetLastError()));
        Account account;
        if (!lookUpAccount(lookUp, binarySid.get(), account)) return wideToJava(env, status(L" ", ::GetLastError()));
        return wideToJava(env, toWide(displayedAccountName(win32Text(sidString), toU16(account.domain),
                                                           toU16(account.name), nameOnly != JNI_FALSE)));
    });
}

JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32UserInfo_setLsaAccountRight0(
    JNIEnv* env, jclass, jstring account, jstring right, jboolean add) noexcept
{
    return guarded(JNI_FALSE, [&]() -> jboolean {
        auto openPolicy = LOADED_FUNCTION(L"advapi32.dll", LsaOpenPolicy);
        auto addRights = LOADED_FUNCTION(L"advapi32.dll", LsaAddAccountRights);
        auto removeRights = LOADED_FUNCTION(L"advapi32.dll", LsaRemoveAccountRights);
        auto close = LOADED_FUNCTION(L"advapi32.dll", LsaClose);
        if (!openPolicy || !addRights || !removeRights || !close) return JNI_FALSE;

        const JavaText accountName(env, account);
        const JavaText rightName(env, right);
        if (accountName.isNull()) return JNI_FALSE;
        // The right travels as a counted string of at most 65,535 bytes, its NUL included.
        const std::wstring rightText = toWide(win32Text(rightName));
        if (rightText.size() > (0xFFFF - sizeof(wchar_t)) / sizeof(wchar_t)) return JNI_FALSE;

        // The account as a SID string first, else as a name.
        std::vector<BYTE> accountSid = sidOfAccount(accountName.get());
        if (accountSid.empty()) return JNI_FALSE;
        PSID sid = accountSid.data();

        LSA_OBJECT_ATTRIBUTES attributes{};
        unique_lsa policy;
        if (openPolicy(nullptr, &attributes, POLICY_CREATE_ACCOUNT | POLICY_LOOKUP_NAMES, policy.put()) != 0)
            return JNI_FALSE;
        LSA_UNICODE_STRING counted{};
        counted.Buffer = const_cast<wchar_t*>(rightText.c_str());
        counted.Length = static_cast<USHORT>(rightText.size() * sizeof(wchar_t));
        counted.MaximumLength = static_cast<USHORT>(counted.Length + sizeof(wchar_t));
        const NTSTATUS result = add ? addRights(policy.get(), sid, &counted, 1)
                                    : removeRights(policy.get(), sid, rightName.isNull() ? TRUE : FALSE, &counted, 1);
        return result == 0 ? JNI_TRUE : JNI_FALSE;
    });
}

}  // extern "C"

// The rows this file binds, in registration order (registration.cpp orders the classes).
constexpr NativeMethodName kWin32UserInfoRows[] = {
    PLATFORM_ROW(Win32UserInfo, isMemberOfGroup0, "(I)Z"),
    PLATFORM_ROW(Win32UserInfo, executeElevated0, "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;I)Z"),
    PLATFORM_ROW(Win32UserInfo, getElevationType0, "()I"),
    PLATFORM_ROW(Win32UserInfo, addUser0, "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;ZZ)Ljava/lang/String;"),
    PLATFORM_ROW(Win32UserInfo, deleteUser0, "(Ljava/lang/String;Ljava/lang/String;)I"),
    PLATFORM_ROW(Win32UserInfo, deleteLocalGroup0, "(Ljava/lang/String;Ljava/lang/String;)I"),
    PLATFORM_ROW(Win32UserInfo, getAccountName0, "(Ljava/lang/String;Z)Ljava/lang/String;"),
    PLATFORM_ROW(Win32UserInfo, getUserProfileDirectory0, "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;"),
    PLATFORM_ROW(Win32UserInfo, getUserSid0, "()Ljava/lang/String;"),
    PLATFORM_ROW(Win32UserInfo, setLsaAccountRight0, "(Ljava/lang/String;Ljava/lang/String;Z)Z"),
};
constexpr NativeClass kWin32UserInfoNatives =
    nativeClass("com/stowline/runtime/installer/platform/win32/Win32UserInfo", kWin32UserInfoRows);
