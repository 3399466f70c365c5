#include "windows/temp_dirs.h"
#include "windows/launcher_paths.h"

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <algorithm>
#include <regex>
#include <string>

#include "windows/base/handles.h"
#include "windows/base/security.h"
#include "windows/extraction.h"
#include "windows/base/wide_text.h"

namespace {

bool exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring longPath(const std::wstring& path)
{
    wchar_t buffer[MAX_PATH * 2];
    DWORD length = ::GetLongPathNameW(path.c_str(), buffer, MAX_PATH * 2);
    return length ? std::wstring(buffer, length) : std::wstring();
}

std::wstring shortPath(const std::wstring& path)
{
    wchar_t buffer[MAX_PATH * 2];
    DWORD length = ::GetShortPathNameW(path.c_str(), buffer, MAX_PATH * 2);
    return length ? std::wstring(buffer, length) : std::wstring();
}

// Entries of directory other than "." and "..".
int entryCount(const std::wstring& directory)
{
    WIN32_FIND_DATAW entry;
    unique_find find(::FindFirstFileW((directory + L"\\*").c_str(), &entry));
    int count = 0;
    if (!find) return 0;
    do {
        if (wcscmp(entry.cFileName, L".") != 0 && wcscmp(entry.cFileName, L"..") != 0) ++count;
    } while (::FindNextFileW(find.get(), &entry));
    return count;
}

class TempDirs : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH + 1];
        DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
        static int counter = 0;
        root_ = std::wstring(temp, length) + L"temp_dirs_test_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
                std::to_wstring(++counter);
        ASSERT_TRUE(::CreateDirectoryW(root_.c_str(), nullptr));
        rootNarrow_ = wideToNarrow(root_);
    }
    void TearDown() override { deleteTree(rootNarrow_, true); }

    std::wstring root_;
    std::string rootNarrow_;
    PathNotes notes_;
};

}  // namespace

TEST_F(TempDirs, UsableDirectoriesPassTheProbeAndKeepNoProbeBehind)
{
    std::string narrow = rootNarrow_;
    EXPECT_TRUE(usableDirectoryNarrow(narrow, false, true, false, notes_));
    EXPECT_TRUE(usableDirectoryWide(root_, false, true, notes_));
    EXPECT_EQ(entryCount(root_), 0);

    std::string missing = rootNarrow_ + "\\missing";
    EXPECT_FALSE(usableDirectoryNarrow(missing, false, false, false, notes_));
    EXPECT_FALSE(usableDirectoryWide(root_ + L"\\missing", false, false, notes_));
    std::string empty;
    EXPECT_FALSE(usableDirectoryNarrow(empty, true, false, false, notes_));
    EXPECT_FALSE(usableDirectoryWide(L"", true, false, notes_));

    std::string created = rootNarrow_ + "\\created";
    EXPECT_TRUE(usableDirectoryNarrow(created, true, false, false, notes_));
    EXPECT_TRUE(usableDirectoryWide(root_ + L"\\created wide", true, false, notes_));
    EXPECT_TRUE(exists(root_ + L"\\created wide"));
}

TEST_F(TempDirs, ALongFormOutsideTheCodePageFailsOnlyWhenTheLongFormIsTested)
{
    const std::wstring foreign = root_ + L"\\\u0416\u0443\u043a";  // Cyrillic: not in code page 1252
    ASSERT_TRUE(::CreateDirectoryW(foreign.c_str(), nullptr));
    const std::wstring shortForm = shortPath(foreign);
    bool lossy = true;
    std::string narrow = wideToNarrow(shortForm, CP_ACP, &lossy);
    ASSERT_FALSE(lossy) << "the short form must be plain ASCII";
    std::string tested = narrow;
    EXPECT_FALSE(usableDirectoryNarrow(tested, false, true, false, notes_));
    tested = narrow;
    EXPECT_TRUE(usableDirectoryNarrow(tested, false, false, false, notes_));
    // The wide form is fine: the characters fold to themselves.
    EXPECT_TRUE(usableDirectoryWide(foreign, false, true, notes_));
    // Switching never takes a long form that names nothing.
    tested = narrow;
    EXPECT_TRUE(usableDirectoryNarrow(tested, false, false, true, notes_));
    EXPECT_EQ(tested, narrow);
}

TEST_F(TempDirs, AShortFormIsSwitchedToTheLongFormOnlyWhenAsked)
{
    const std::wstring longName = root_ + L"\\a rather long directory name";
    ASSERT_TRUE(::CreateDirectoryW(longName.c_str(), nullptr));
    const std::string shortForm = wideToNarrow(shortPath(longName));
    ASSERT_NE(shortForm, wideToNarrow(longName));
    std::string kept = shortForm;
    EXPECT_TRUE(usableDirectoryNarrow(kept, false, true, false, notes_));
    EXPECT_EQ(kept, shortForm);
    EXPECT_TRUE(notes_.empty());
    std::string switched = shortForm;
    EXPECT_TRUE(usableDirectoryNarrow(switched, false, true, true, notes_));
    EXPECT_EQ(_stricmp(switched.c_str(), wideToNarrow(longName).c_str()), 0) << switched;
    // The switch is told to the caller, which logs it.
    ASSERT_EQ(notes_.size(), 1u);
    EXPECT_EQ(notes_[0], L"using long path " + narrowToWide(switched));
}

TEST_F(TempDirs, CombiningSequencesFailTheFoldingTest)
{
    const std::wstring decomposed = root_ + L"\\cafe\u0301";  // e + combining acute folds to one character
    ASSERT_TRUE(::CreateDirectoryW(decomposed.c_str(), nullptr));
    EXPECT_FALSE(usableDirectoryWide(decomposed, false, false, notes_));
    ASSERT_EQ(notes_.size(), 1u);
    EXPECT_EQ(notes_[0].rfind(L"folding error " + decomposed + L" ", 0), 0u) << notes_[0];
    EXPECT_TRUE(usableDirectoryWide(root_ + L"\\caf\u00e9", true, true, notes_));
    EXPECT_EQ(notes_.size(), 1u);
}

TEST_F(TempDirs, DeleteTreeEmptiesNestedDirectoriesAndRefusesRelativeOrEmptyPaths)
{
    const std::wstring tree = root_ + L"\\tree";
    ::CreateDirectoryW(tree.c_str(), nullptr);
    ::CreateDirectoryW((tree + L"\\a").c_str(), nullptr);
    ::CreateDirectoryW((tree + L"\\a\\b").c_str(), nullptr);
    for (const wchar_t* name : {L"\\x.txt", L"\\a\\y.txt", L"\\a\\b\\z.txt"}) {
        unique_file file(::CreateFileW((tree + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file);
    }
    ::SetFileAttributesW((tree + L"\\a\\y.txt").c_str(), FILE_ATTRIBUTE_READONLY);

    EXPECT_FALSE(deleteTree("", true));
    EXPECT_FALSE(deleteTree(".\\tree", true));
    EXPECT_TRUE(exists(tree + L"\\a\\b\\z.txt"));

    EXPECT_FALSE(deleteTree(wideToNarrow(tree), false));  // subdirectories stay without recursion
    EXPECT_TRUE(exists(tree + L"\\a\\b\\z.txt"));
    EXPECT_FALSE(exists(tree + L"\\x.txt"));

    // The run's current directory is the extraction directory: removal steps out of it first.
    wchar_t before[MAX_PATH + 1];
    ::GetCurrentDirectoryW(MAX_PATH + 1, before);
    ASSERT_TRUE(::SetCurrentDirectoryW((tree + L"\\a").c_str()));
    EXPECT_TRUE(deleteTree(wideToNarrow(tree), true));
    EXPECT_FALSE(exists(tree));
    ::SetCurrentDirectoryW(before);
}

TEST_F(TempDirs, ShortPathByShellNamesTheSameDirectory)
{
    const std::wstring longName = root_ + L"\\long directory name\\inner folder here";
    ::CreateDirectoryW((root_ + L"\\long directory name").c_str(), nullptr);
    ASSERT_TRUE(::CreateDirectoryW(longName.c_str(), nullptr));
    const std::string result = shortPathByShell(longName, notes_);
    ASSERT_FALSE(result.empty());
    EXPECT_EQ(result.find_first_of("\r\n\"?"), std::string::npos) << result;
    EXPECT_EQ(_wcsicmp(longPath(narrowToWide(result)).c_str(), longPath(longName).c_str()), 0) << result;
    EXPECT_TRUE(shortPathByShell(root_ + L"\\not there", notes_).empty());
}

TEST(ExecutablePath, NarrowAndWideFormsNameTheRunningExecutable)
{
    const std::wstring& wide = executablePathWide();
    const std::string& narrow = executablePathNarrow();
    ASSERT_GE(narrow.size(), 5u);
    EXPECT_EQ(_stricmp(narrow.c_str() + narrow.size() - 4, ".exe"), 0);
    EXPECT_EQ(_wcsicmp(longPath(narrowToWide(narrow)).c_str(), longPath(wide).c_str()), 0);
    EXPECT_EQ(executableDirectoryWide().back(), L'\\');
    EXPECT_EQ(wide.compare(0, executableDirectoryWide().size(), executableDirectoryWide()), 0);
    EXPECT_EQ(wide.find(L"\\\\", 1), std::wstring::npos);
    // Found again, the same paths come back with the lines the launcher logs first.
    PathNotes notes;
    const ExecutablePaths again = findExecutablePaths(notes);
    EXPECT_EQ(again.pathWide, wide);
    EXPECT_EQ(again.pathNarrow, narrow);
    ASSERT_FALSE(notes.empty());
    EXPECT_EQ(notes[0].rfind(L"init file name ", 0), 0u) << notes[0];
}

// The extraction directory as another process would meet it: a name it cannot guess, a DACL and
// a label that read back as set, and files that cannot be changed while the launcher loads them.
TEST_F(TempDirs, TheExtractionDirectoryIsPrivateAndHoldsTheFilesItLoads)
{
    createTemporaryDirectory();
    const std::string directory = temporaryDirectoryName();
    const std::wstring wide = narrowToWide(directory);
    scope_exit remove([&] {
        deleteTree(directory, true);
        ::DeleteFileW(wide.substr(0, wide.rfind(L"_dir")).c_str());
        clearTemporaryDirectoryName();
    });
    const size_t name = directory.rfind('\\') + 1;
    EXPECT_TRUE(std::regex_match(directory.substr(name), std::regex("tlw[0-9A-F]{16}\\.tmp_dir[0-9]+"))) << directory;
    EXPECT_TRUE(exists(wide.substr(0, wide.rfind(L"_dir"))));  // the empty temp file beside it

    // The descriptor the directory is created with (Wine stores none: it shows a DACL made from
    // the Unix mode, so what Windows keeps cannot be read back here). The system's own parser
    // must take the text whole, or the creation would fall back.
    unique_local descriptor = securityDescriptor(privateLabeledSddl(true));
    ASSERT_TRUE(descriptor);
    LPWSTR text = nullptr;
    ASSERT_TRUE(::ConvertSecurityDescriptorToStringSecurityDescriptorW(
        descriptor.get(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr));
    unique_local textOwner(text);
    const std::wstring sddl = text;
    // Protected from the parent's entries, inherited below; SYSTEM, Administrators and (unelevated) the user only.
    EXPECT_EQ(sddl.rfind(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", 0), 0u) << sddl;
    const bool userListed = sddl.find(L"(A;OICI;FA;;;" + processUserSid() + L")") != std::wstring::npos;
    EXPECT_EQ(userListed, !processIsElevated()) << sddl;
    EXPECT_EQ(std::count(sddl.begin(), sddl.end(), L'('), processIsElevated() ? 2 : 3) << sddl;
    // The label: no write up from lower levels, at this process's level, passed on to what is inside.
    BOOL present = FALSE, defaulted = FALSE;
    PACL sacl = nullptr;
    ASSERT_TRUE(::GetSecurityDescriptorSacl(descriptor.get(), &present, &sacl, &defaulted));
    ASSERT_TRUE(present && sacl != nullptr && sacl->AceCount == 1);
    SYSTEM_MANDATORY_LABEL_ACE* label = nullptr;
    ASSERT_TRUE(::GetAce(sacl, 0, reinterpret_cast<void**>(&label)));
    EXPECT_EQ(label->Header.AceType, SYSTEM_MANDATORY_LABEL_ACE_TYPE);
    EXPECT_EQ(label->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    EXPECT_EQ(label->Mask, static_cast<DWORD>(SYSTEM_MANDATORY_LABEL_NO_WRITE_UP));
    LPWSTR level = nullptr;
    ASSERT_TRUE(::ConvertSidToStringSidW(&label->SidStart, &level));
    unique_local levelOwner(level);
    EXPECT_EQ(std::wstring(level), processIntegritySid());

    // Held while loaded: no writer, no rename. Outside the directory nothing is held or refused.
    const std::wstring dll = wide + L"\\jvm.dll";
    unique_file(::CreateFileW(dll.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    HeldFile hold = holdExtractedFile(dll);
    ASSERT_TRUE(hold.file);
    EXPECT_FALSE(hold.refused);
    EXPECT_FALSE(unique_file(::CreateFileW(dll.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, 0, nullptr)));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(::MoveFileW(dll.c_str(), (wide + L"\\other.dll").c_str()));
    hold = holdExtractedFile(root_ + L"\\jvm.dll");
    EXPECT_FALSE(hold.file || hold.refused);
}

TEST_F(TempDirs, OnlyDirectoriesOfTrustedOwnersAreTakenAsSharedParents)
{
    EXPECT_TRUE(ownedByTrustedAccounts(root_));  // the user's own, up to the drive's root
    const std::wstring shared = root_ + L"\\shared";
    ASSERT_TRUE(::CreateDirectoryW(shared.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((shared + L"\\below").c_str(), nullptr));
    PSID users = nullptr;
    ASSERT_TRUE(::ConvertStringSidToSidW(L"S-1-5-32-545", &users));
    unique_local usersOwner(users);
    ::SetNamedSecurityInfoW(const_cast<wchar_t*>(shared.c_str()), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, users,
                            nullptr, nullptr, nullptr);
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR held = nullptr;
    ::GetNamedSecurityInfoW(shared.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                            nullptr, &held);
    unique_local heldOwner(held);
    if (owner == nullptr || !::EqualSid(owner, users)) GTEST_SKIP() << "Wine keeps no owner but the Unix one";
    EXPECT_FALSE(ownedByTrustedAccounts(shared));
    EXPECT_FALSE(ownedByTrustedAccounts(shared + L"\\below"));  // the user's, below another's
}
