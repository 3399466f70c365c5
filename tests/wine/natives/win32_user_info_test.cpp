// The account natives against what the system's security and network functions implement: the
// token's user, groups and elevation, account names, profile texts, local users and account rights.
#include <windows.h>
#include <lm.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "native_fixture.h"
#include "natives/services/win32_user_info.h"
#include "windows/base/handles.h"

namespace {

std::wstring currentUserName()
{
    wchar_t name[UNLEN + 1];
    DWORD size = UNLEN + 1;
    return ::GetUserNameW(name, &size) ? name : L"";
}

// S-1-5-32-<rid>, to ask the system itself whether the current token holds it.
bool systemSaysMember(DWORD rid)
{
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    unique_sid sid;
    BOOL member = FALSE;
    if (!::AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, rid, 0, 0, 0, 0, 0, 0, sid.put()) ||
        !::CheckTokenMembership(nullptr, sid.get(), &member))
        ADD_FAILURE() << "membership of " << rid << " unknown: " << ::GetLastError();
    return member != FALSE;
}

class UserInfoTest : public NativeTest {
protected:
    std::wstring accountName(const wchar_t* sid, bool nameOnly)
    {
        return text(Java_com_stowline_runtime_installer_platform_win32_Win32UserInfo_getAccountName0(
            env, nullptr, str(sid), nameOnly ? JNI_TRUE : JNI_FALSE));
    }
    bool member(jint rid)
    {
        return Java_com_stowline_runtime_installer_platform_win32_Win32UserInfo_isMemberOfGroup0(env, nullptr, rid) != JNI_FALSE;
    }
    std::wstring userSid() { return text(Java_com_stowline_runtime_installer_platform_win32_Win32UserInfo_getUserSid0(env, nullptr)); }
};

}  // namespace

TEST_F(UserInfoTest, CurrentUserSidAndName)
{
    const std::wstring sid = userSid();
    ASSERT_EQ(sid.rfind(L"S-1-5-", 0), 0u) << sid;
    const std::wstring user = currentUserName();
    ASSERT_FALSE(user.empty());
    EXPECT_EQ(accountName(sid.c_str(), true), user);
    // A local account outside the built-in domain is named with its domain.
    const std::wstring qualified = accountName(sid.c_str(), false);
    ASSERT_GT(qualified.size(), user.size() + 1) << qualified;
    EXPECT_EQ(qualified.substr(qualified.size() - user.size() - 1), L"\\" + user);
    EXPECT_NE(qualified.rfind(L".\\", 0), 0u);
}

TEST_F(UserInfoTest, AccountNamesOfWellKnownAndBadSids)
{
    struct Case {
        const wchar_t* sid;
        bool nameOnly;
        const wchar_t* expected;
    } cases[] = {
        {L"S-1-5-18", false, L"NT AUTHORITY\\System"},
        {L"S-1-5-18", true, L"NT AUTHORITY\\System"},
        {L"S-1-5-19", false, L"NT AUTHORITY\\LocalService"},
        {L"S-1-5-20", true, L"NT AUTHORITY\\NetworkService"},
        {L"S-1-5-32-544", false, L".\\Administrators"},
        {L"S-1-5-32-544", true, L"Administrators"},
        {L"S-1-5-32-545", false, L".\\Users"},
        {L"S-1-5-11", false, L"NT AUTHORITY\\Authenticated Users"},
        {L"S-1-1-0", false, L".\\Everyone"},  // no domain
        {L"not a sid", false, L" 1337"},      // ERROR_INVALID_SID
        {L"S-1-5-21-1-2-3-4999", false, L" 1332"},  // ERROR_NONE_MAPPED
        {nullptr, false, L" 87"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(accountName(c.sid, c.nameOnly), c.expected) << (c.sid ? c.sid : L"<null>") << " " << c.nameOnly;
}

TEST_F(UserInfoTest, GroupMembershipFollowsTheTokenAndIgnoresDenyOnlyGroups)
{
    const DWORD rids[] = {DOMAIN_ALIAS_RID_ADMINS, DOMAIN_ALIAS_RID_USERS, DOMAIN_ALIAS_RID_GUESTS, DOMAIN_ALIAS_RID_POWER_USERS,
                          0xFFFF};
    for (DWORD rid : rids) EXPECT_EQ(member(static_cast<jint>(rid)), systemSaysMember(rid)) << rid;
    ASSERT_TRUE(member(DOMAIN_ALIAS_RID_ADMINS)) << "the test process is expected to hold the administrators group";

    // The same token with the administrators group kept for denial only, worn by this thread.
    unique_handle process;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_ALL_ACCESS, process.put()));
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    unique_sid administrators;
    ASSERT_TRUE(::AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0,
                                           0, 0, 0, administrators.put()));
    SID_AND_ATTRIBUTES disabled{administrators.get(), 0};
    unique_handle restricted, impersonation;
    ASSERT_TRUE(::CreateRestrictedToken(process.get(), 0, 1, &disabled, 0, nullptr, 0, nullptr, restricted.put()));
    ASSERT_TRUE(::DuplicateTokenEx(restricted.get(), TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenImpersonation,
                                   impersonation.put()));
    ASSERT_TRUE(::SetThreadToken(nullptr, impersonation.get()));
    const bool administrator = member(DOMAIN_ALIAS_RID_ADMINS);
    const bool user = member(DOMAIN_ALIAS_RID_USERS);
    const std::wstring sid = userSid();
    ::RevertToSelf();
    EXPECT_FALSE(administrator);
    EXPECT_EQ(user, systemSaysMember(DOMAIN_ALIAS_RID_USERS));
    EXPECT_EQ(sid, userSid());
}

TEST_F(UserInfoTest, ElevationTypeAgreesWithTheToken)
{
    const jint type = Java_com_stowline_runtime_installer_platform_win32_Win32UserInfo_getElevationType0(env, nullptr);
    ASSERT_GE(type, 1);
    ASSERT_LE(type, 3);
    unique_handle token;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()));
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    ASSERT_TRUE(::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size));
    if (type == TokenElevationTypeFull) {
        EXPECT_TRUE(elevation.TokenIsElevated);
    }
    if (type == TokenElevationTypeLimited) {
        EXPECT_FALSE(elevation.TokenIsElevated);
    }
}

TEST_F(UserInfoTest, ExecuteElevatedStartsTheProgram)
{
    const std::wstring tests = testDirectory();
    const std::wstring program = tests.substr(0, tests.find_last_of(L'\\')) + L"\\doubles\\test_service\\test_service.exe";
    const std::wstring marker = scratchFile(L"started by runas.txt");
    const std::wstring parameters = L"--touch \"" + marker + L"\"";
    EXPECT_TRUE(Java_com_stowline_runtime_installer_platform_win32_Win32UserInfo_executeElevated0(
        env, nullptr, str(program.c_str()), str(parameters.c_str()), nullptr, SW_HIDE));
    bool appeared = false;
    for (int i = 0; i < 200 && !appeared; ++i, ::Sleep(50))
        appeared = ::GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES;
    EXPECT_TRUE(appeared);

    const std::wstring missing = scratchFile(L"missing.exe");
    EXPECT_FALSE(Java_com_stowline_runtime_installer_platform_win32_Win32UserInfo_executeElevated0(
        env, nullptr, str(missing.c_str()), nullptr, nullptr, SW_HIDE));
    EXPECT_FALSE(Java_com_stowline_runtime_installer_platform_win32_Win32UserInfo_executeElevated0(
        env, nullptr, nullptr, nullptr, nullptr, SW_HIDE));
}

TEST_F(UserInfoTest, ProfileDirectoryStatusTexts)
{
    struct Case {
        const wchar_t* sid;
        const wchar_t* expected;  // the whole text, or its beginning when it ends in "*"
    } cases[] = {
        {L"S-1-5-18", L" no user account"},
        {L"S-1-5-19", L" no user account"},
        {L"S-1-5-20", L" no user account"},
        {L"not a sid", L" could not convert sid 1337"},
        {nullptr, L" could not convert sid 87"},
        {L"S-1-5-21-1-2-3-4999", L" could not look up account name 1332"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(text(Java_com_stowline_runtime_installer_platform_win32_Win32UserInfo_getUserProfileDirectory0(
                      env, nullptr, str(c.sid), str(L"wrong password"))),
                  c.expected)
            << (c.sid ? c.sid : L"<null>");
    // The current user with a wrong password: Windows refuses the logon; Wine hands out a token
    // that has no profile. Either way a status text, never a path.
    const std::wstring sid = userSid();
    const std::wstring answer = text(Java_com_stowline_runtime_installer_platform_win32_Win32UserInfo_getUserProfileDirectory0(
        env, nullptr, str(sid.c_str()), str(L"wrong password")));
    EXPECT_EQ(answer.rfind(L" could not get ", 0), 0u) << answer;
}

TEST_F(UserInfoTest, LocalUsersAndGroupsThroughTheNetworkFunctions)
{
    const std::wstring user = L"lt" + std::to_wstring(::GetCurrentProcessId());
    auto addUser = [&](const wchar_t* name, const wchar_t* group, bool create, bool mustBeNew) {
        return text(Java_com_stowline_runtime_installer_platform_win32_Win32UserInfo_addUser0(
            env, nullptr, str(name), str(L"Pw-12345678"), str(L"a test account"), str(group), str(L"a test group"),
            create ? JNI_TRUE : JNI_FALSE, mustBeNew ? JNI_TRUE : JNI_FALSE));
    };
    auto deleteUser = [&](const wchar_t* name) {
        return Java_com_stowline_runtime_installer_platform_win32_Win32UserInfo_deleteUser0(env, nullptr, nullptr, str(name));
    };

    const std::wstring added = addUser(user.c_str(), nullptr, false, false);
    // What the system answers for the new user decides the text: its SID, or the failure of the
    // read-back step with the system's own code.
    LPBYTE raw = nullptr;
    const NET_API_STATUS readBack = ::NetUserGetInfo(nullptr, user.c_str(), 23, &raw);
    unique_netapi_buffer info(raw);
    if (readBack == NERR_Success) {
        wchar_t* sidText = nullptr;
        ASSERT_TRUE(::ConvertSidToStringSidW(reinterpret_cast<USER_INFO_23*>(raw)->usri23_user_sid, &sidText));
        unique_local owned(sidText);
        EXPECT_EQ(added, sidText);
    } else {
        EXPECT_EQ(added, L"3 " + std::to_wstring(readBack));
    }
    EXPECT_EQ(deleteUser(user.c_str()), static_cast<jint>(NERR_Success));
    EXPECT_EQ(deleteUser(user.c_str()), static_cast<jint>(NERR_UserNotFound));

    // Names the user step refuses: too long for an account, and none at all.
    EXPECT_EQ(addUser(L"a-name-longer-than-twenty", nullptr, false, false), L"2 2202 0");  // NERR_BadUsername
    EXPECT_EQ(addUser(nullptr, nullptr, false, false), L"2 87 1");
    EXPECT_EQ(addUser(nullptr, L"launcher test group", true, true), L"2 87 1");

    // Group deletion passes the system's status on unchanged.
    const std::wstring group = L"launcher_test_group_" + std::to_wstring(::GetCurrentProcessId());
    const jint expected = static_cast<jint>(::NetLocalGroupDel(nullptr, (group + L"_other").c_str()));
    EXPECT_EQ(Java_com_stowline_runtime_installer_platform_win32_Win32UserInfo_deleteLocalGroup0(env, nullptr, nullptr,
                                                                                                 str(group.c_str())),
              expected);
}

TEST_F(UserInfoTest, AccountRightsNeedAnAccountTheSystemKnows)
{
    struct Case {
        const wchar_t* account;
        const wchar_t* right;
        bool add;
        bool expected;
    } cases[] = {
        {L"S-1-5-32-545", L"SeServiceLogonRight", true, true},
        {L"Users", L"SeServiceLogonRight", true, true},  // looked up by name
        {L"S-1-5-32-545", L"SeServiceLogonRight", false, true},
        {L"S-1-5-32-545", nullptr, false, true},  // all rights
        {L"launcher_no_such_account", L"SeServiceLogonRight", true, false},
        {nullptr, L"SeServiceLogonRight", true, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Java_com_stowline_runtime_installer_platform_win32_Win32UserInfo_setLsaAccountRight0(
                      env, nullptr, str(c.account), str(c.right), c.add ? JNI_TRUE : JNI_FALSE) != JNI_FALSE,
                  c.expected)
            << (c.account ? c.account : L"<null>") << " " << c.add;
    // A right name longer than a counted string can hold (32,766 characters and the NUL).
    const std::wstring tooLong(32767, L'x');
    EXPECT_FALSE(Java_com_stowline_runtime_installer_platform_win32_Win32UserInfo_setLsaAccountRight0(
        env, nullptr, str(L"S-1-5-32-545"), str(tooLong.c_str()), JNI_TRUE));
}
