// FolderInfo against the environment Wine's profile sets up.
#include "natives/files/folder_info.h"

#include <gtest/gtest.h>

#include "native_fixture.h"
#include "windows/base/file_probe.h"

namespace {

class FolderInfo : public NativeTest {
protected:
    static std::wstring variable(const wchar_t* name)
    {
        wchar_t value[MAX_PATH + 1] = {};
        DWORD length = ::GetEnvironmentVariableW(name, value, MAX_PATH + 1);
        return std::wstring(value, length <= MAX_PATH ? length : 0);
    }
    std::wstring folder(jint code, bool allUsers)
    {
        return text(Java_com_stowline_runtime_installer_platform_win32_FolderInfo_getSpecialFolder0(env, nullptr, code, allUsers));
    }
};

TEST_F(FolderInfo, SpecialFoldersByCsidlAndKnownFolder)
{
    const std::wstring profile = variable(L"USERPROFILE");
    ASSERT_FALSE(profile.empty());
    struct Case {
        jint code;
        bool allUsers;
        std::wstring path;
    };
    const Case cases[] = {
        {8, true, variable(L"PUBLIC") + L"\\Documents"},
        {8, false, profile + L"\\Documents"},
        {12, false, profile + L"\\Desktop"},    // unknown codes up to 1000: the desktop
        {1000, true, profile + L"\\Desktop"},
        {-3, false, profile + L"\\Desktop"},
        {1001, false, profile + L"\\Downloads"},
        {2000, true, profile},                   // unknown codes above 1000: the profile
        {11, true, variable(L"LOCALAPPDATA")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.code << (c.allUsers ? " all users" : " current user"));
        const std::wstring path = folder(c.code, c.allUsers);
        EXPECT_EQ(_wcsicmp(path.c_str(), c.path.c_str()), 0) << path.c_str() << " != " << c.path.c_str();
        EXPECT_TRUE(directoryExists(path));
    }
}

TEST_F(FolderInfo, DirectoriesAndDriveTypes)
{
    const std::wstring windows = variable(L"SystemRoot");
    EXPECT_EQ(text(Java_com_stowline_runtime_installer_platform_win32_FolderInfo_getWindowsDirectory0(env, nullptr)), windows);
    EXPECT_EQ(_wcsicmp(text(Java_com_stowline_runtime_installer_platform_win32_FolderInfo_getSystemDirectory0(env, nullptr)).c_str(),
                       (windows + L"\\system32").c_str()),
              0);
    EXPECT_EQ(text(Java_com_stowline_runtime_installer_platform_win32_FolderInfo_getPathFromRegistry0(env, nullptr,
                                                                                                   str(L"ProgramFilesDir"))),
              variable(L"ProgramFiles"));
    EXPECT_EQ(Java_com_stowline_runtime_installer_platform_win32_FolderInfo_getPathFromRegistry0(env, nullptr, str(L"NoSuchValue")),
              nullptr);
    EXPECT_EQ(Java_com_stowline_runtime_installer_platform_win32_FolderInfo_getDriveType0(env, nullptr, str(L"C:\\")), DRIVE_FIXED);
    EXPECT_EQ(Java_com_stowline_runtime_installer_platform_win32_FolderInfo_getDriveType0(env, nullptr, str(L"C:\\no-such-dir\\")),
              DRIVE_NO_ROOT_DIR);
}

TEST_F(FolderInfo, ShortAndUniversalForms)
{
    jstring missing = str(scratchFile(L"no such long directory name").c_str());
    jstring shortMissing = Java_com_stowline_runtime_installer_platform_win32_FolderInfo_getShortPathName0(env, nullptr, missing);
    EXPECT_TRUE((*env)->IsSameObject(env, shortMissing, missing));  // the very argument
    EXPECT_EQ(Java_com_stowline_runtime_installer_platform_win32_FolderInfo_getShortPathName0(env, nullptr, nullptr), nullptr);

    const std::wstring existing = scratchFile(L"a rather long directory name");
    ASSERT_TRUE(::CreateDirectoryW(existing.c_str(), nullptr));
    const std::wstring shortForm =
        text(Java_com_stowline_runtime_installer_platform_win32_FolderInfo_getShortPathName0(env, nullptr, str(existing.c_str())));
    EXPECT_EQ(shortForm.find(L' '), std::wstring::npos) << shortForm.c_str();
    wchar_t longForm[MAX_PATH + 1] = {};
    ASSERT_NE(::GetLongPathNameW(shortForm.c_str(), longForm, MAX_PATH + 1), 0u);
    EXPECT_EQ(_wcsicmp(longForm, existing.c_str()), 0);

    // A local disk has no UNC form: ";" and the status of the failed call.
    const std::wstring universal = text(
        Java_com_stowline_runtime_installer_platform_win32_FolderInfo_getUniversalPathName0(env, nullptr, str(existing.c_str())));
    ASSERT_GE(universal.size(), 2u) << universal.c_str();
    EXPECT_EQ(universal[0], L';');
    EXPECT_GT(std::stol(universal.substr(1)), 0);
    EXPECT_EQ(universal.find_first_not_of(L"0123456789", 1), std::wstring::npos) << universal.c_str();
}

}  // namespace
