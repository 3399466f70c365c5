// ACLHandling.addACE on a scratch directory and the scratch registry key.
#include "natives/files/acl_handling.h"

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "native_fixture.h"
#include "native_output.h"
#include "windows/base/handles.h"
#include "windows/base/registry.h"

namespace {

class ACLHandling : public NativeTest {
protected:
    // "SID mask" of every allowed entry of the object's access list; empty when it cannot be read.
    static std::set<std::wstring> allowedEntries(const std::wstring& path, SE_OBJECT_TYPE type)
    {
        std::set<std::wstring> entries;
        PACL dacl = nullptr;
        unique_local descriptor;
        if (::GetNamedSecurityInfoW(path.c_str(), type, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                                    reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put())) != ERROR_SUCCESS ||
            dacl == nullptr)
            return entries;
        for (DWORD i = 0; i < dacl->AceCount; ++i) {
            void* ace = nullptr;
            if (!::GetAce(dacl, i, &ace) || static_cast<ACE_HEADER*>(ace)->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
            auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
            wchar_t* sid = nullptr;
            if (!::ConvertSidToStringSidW(&allowed->SidStart, &sid)) continue;
            unique_local owner(sid);
            entries.insert(std::wstring(sid) + L" " + std::to_wstring(allowed->Mask));
        }
        return entries;
    }
    jboolean addACE(const std::wstring* path, bool registry, bool read, bool write, jint kind, const wchar_t* account)
    {
        return Java_com_stowline_runtime_installer_platform_win32_ACLHandling_addACE(
            env, nullptr, path ? str(path->c_str()) : nullptr, registry, read, write, false, false, kind, str(account));
    }
};

bool holds(const std::set<std::wstring>& entries, const std::wstring& sid)
{
    for (const std::wstring& entry : entries)
        if (entry.rfind(sid + L" ", 0) == 0) return true;
    return false;
}

// Wine keeps access lists of registry keys; on its file system (without extended attributes) it
// accepts a file's new list but keeps none, so the trustee kinds are checked on a key.
TEST_F(ACLHandling, TrusteeKindsOnARegistryKey)
{
    ASSERT_TRUE(createKey(HKEY_CURRENT_USER, scratchKey.c_str(), KEY_ALL_ACCESS));
    const std::wstring key = L"CURRENT_USER\\" + scratchKey;
    struct Case {
        jint kind;
        const wchar_t* account;
        const wchar_t* sid;  // nullptr: refused, the list unchanged
    };
    const Case cases[] = {
        {3, L"S-1-5-32-545", L"S-1-5-32-545"},              // a SID string is used as it is
        {1, L"S-1-5-32-546", L"S-1-5-11"},                  // the account is read for kind 3 only
        {5, nullptr, L"S-1-2-547"},
        {2, nullptr, L"S-1-1-0"},
        {3, L"no-such-account-for-launcher-tests", nullptr},
        {3, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << " " << (c.account ? c.account : L"null"));
        const std::set<std::wstring> before = allowedEntries(key, SE_REGISTRY_KEY);
        EXPECT_EQ(addACE(&key, true, true, false, c.kind, c.account), c.sid != nullptr);
        const std::set<std::wstring> after = allowedEntries(key, SE_REGISTRY_KEY);
        if (c.sid == nullptr)
            EXPECT_EQ(after, before);
        else
            EXPECT_TRUE(holds(after, c.sid)) << testing::PrintToString(after);
    }
    EXPECT_FALSE(holds(allowedEntries(key, SE_REGISTRY_KEY), L"S-1-5-32-546"));
}

TEST_F(ACLHandling, FilesAndFailingSteps)
{
    const std::wstring directory = scratchFile(L"acl");
    ASSERT_TRUE(::CreateDirectoryW(directory.c_str(), nullptr));
    EXPECT_TRUE(addACE(&directory, false, true, true, 3, L"S-1-5-32-545"));

    const std::wstring missing = scratchFile(L"missing");
    struct Case {
        const std::wstring* path;
        std::string printed;
    };
    const Case cases[] = {
        {nullptr, "GetNamedSecurityInfo Error 87 (null)\n"},
        {&missing, "GetNamedSecurityInfo Error 2 " + std::string(missing.begin(), missing.end()) + "\n"},
    };
    for (const Case& c : cases) {
        CapturedOutput output(scratchFile(L"out.txt"));
        EXPECT_FALSE(addACE(c.path, false, true, false, 0, nullptr));
        EXPECT_EQ(output.finish(), c.printed);
    }
}

// A key whose access list has no room for one more entry: the merge fails. (Wine lets every
// list that it reads be written back, so the last step's line cannot be shown here.)
TEST_F(ACLHandling, FullListPrintsTheMergeFailure)
{
    const std::wstring full = L"CURRENT_USER\\" + scratchPath(L"full");
    std::vector<BYTE> acl(0xFFFC);
    auto* list = reinterpret_cast<PACL>(acl.data());
    ASSERT_TRUE(::InitializeAcl(list, static_cast<DWORD>(acl.size()), ACL_REVISION));
    PSID everyone = nullptr;
    ASSERT_TRUE(::ConvertStringSidToSidW(L"S-1-1-0", &everyone));
    unique_local everyoneOwner(everyone);
    while (::AddAccessAllowedAce(list, ACL_REVISION, KEY_ALL_ACCESS, everyone)) {
    }
    unique_hkey key = createKey(HKEY_CURRENT_USER, scratchPath(L"full").c_str(), KEY_ALL_ACCESS);
    ASSERT_TRUE(key);
    ASSERT_EQ(::SetSecurityInfo(key.get(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                nullptr, nullptr, list, nullptr), 0u);
    CapturedOutput output(scratchFile(L"out.txt"));
    EXPECT_FALSE(addACE(&full, true, true, true, 3, L"S-1-5-32-545"));
    EXPECT_EQ(output.finish(), "SetEntriesInAcl Error 87\n");
}

}  // namespace
