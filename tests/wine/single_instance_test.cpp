#include "windows/single_instance.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "native_fixture.h"

namespace {

TEST(InstanceKey, PathsThatNameTheSameFileShareOneKey)
{
    const std::string expected = "c:\\program files\\app\\setup.exe";
    EXPECT_EQ(instanceKey("C:\\Program Files\\App\\Setup.EXE"), expected);
    EXPECT_EQ(instanceKey("c:\\\\program files\\\\\\app\\setup.exe"), expected);
    // The leading pair of a network path stays; doubled separators after it collapse.
    EXPECT_EQ(instanceKey("\\\\Server\\Share\\\\x.exe"), "\\\\server\\share\\x.exe");
}

TEST(InstanceKey, SemaphoreNamesReplaceSeparatorsAndBlanks)
{
    const std::string key = instanceKey("C:\\My Apps\\setup.exe");
    EXPECT_EQ(semaphoreBaseName(key, false), "Local\\c:_my_apps_setup.exe");
    EXPECT_EQ(semaphoreBaseName(key, true), "Global\\c:_my_apps_setup.exe");
}

TEST(CommandLineTail, OnlyTheArgumentsAreForwarded)
{
    struct Case {
        const wchar_t* commandLine;
        const wchar_t* tail;
    };
    const Case cases[] = {
        {L"\"C:\\My Apps\\setup.exe\"   -q  \"two words\"", L"-q  \"two words\""},
        {L"setup.exe a b", L"a b"},
        {L"setup.exe", L""},
        {L"\"C:\\My Apps\\setup.exe\"", L""},
        {L"\"C:\\My Apps\\setup.exe\"   ", L""},
        {L"\"C:\\unterminated a b", L""},
        {L"", L""},
    };
    for (const Case& c : cases) EXPECT_EQ(commandLineTail(c.commandLine), c.tail) << c.commandLine;
}

TEST(CommandLineListener, MailslotIsWritableOnlyByTheUser)
{
    unique_handle mailslot = createOwnMailslot();
    ASSERT_TRUE(mailslot);
    // Wine keeps and reads back the descriptor; only Windows refuses another user's writer.
    const auto entries = daclEntries(mailslot.get());
    ASSERT_TRUE(entries) << "the mailslot's DACL cannot be read back";
    EXPECT_EQ(*entries, std::vector<std::wstring>{processUserSidText() + L"=1f01ff"});  // FILE_ALL_ACCESS
    // The name is this process's: a second one is refused, and it is gone with the handle.
    EXPECT_FALSE(createOwnMailslot());
    mailslot.reset();
    EXPECT_TRUE(createOwnMailslot());
}

}  // namespace
