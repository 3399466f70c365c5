// Win32Exec.launch0 starting real programs and failing on missing ones.
#include "natives/process/win32_exec.h"

#include <windows.h>

#include <string>

#include "native_fixture.h"
#include "natives/jni_support.h"
#include "window_child.h"

namespace {

class Win32Exec : public NativeTest {
protected:
    jint launch(const wchar_t* application, const wchar_t* commandLine)
    {
        LocalRef<jstring> program(env, str(application));
        LocalRef<jstring> line(env, str(commandLine));
        return Java_com_stowline_runtime_installer_platform_win32_Win32Exec_launch0(env, nullptr, program.get(), line.get());
    }
};

TEST_F(Win32Exec, Launch)
{
    const std::wstring child = windowChildPath();
    const std::wstring missing = scratchFile(L"missing.exe");
    const std::wstring event = childEventName();
    const std::wstring readyLine = L"\"" + child + L"\" ready " + event;
    struct Row {
        const char* name;
        const wchar_t* application;
        std::wstring commandLine;
        bool nullLine;
        jint result;
        bool runs;  // the child sets the event
    };
    const Row rows[] = {
        {"a missing program on the search path", nullptr, L"no_such_program_here.exe /x", false, ERROR_FILE_NOT_FOUND, false},
        {"a missing program by full path", nullptr, L"\"" + missing + L"\" /x", false, ERROR_FILE_NOT_FOUND, false},
        {"a missing application", missing.c_str(), L"x", false, ERROR_FILE_NOT_FOUND, false},
        {"the program named by the command line", nullptr, readyLine, false, 0, true},
        {"the application with its own command line", child.c_str(), L"window_child ready " + event, false, 0, true},
        {"the application without a command line", child.c_str(), L"", true, 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        unique_handle ready(::CreateEventW(nullptr, TRUE, FALSE, event.c_str()));
        ASSERT_TRUE(ready);
        // An earlier row's child may still hold the named event, signalled: only this row's may set it.
        ::ResetEvent(ready.get());
        EXPECT_EQ(launch(row.application, row.nullLine ? nullptr : row.commandLine.c_str()), row.result);
        EXPECT_EQ(::WaitForSingleObject(ready.get(), row.runs ? 20000 : 0), row.runs ? WAIT_OBJECT_0 : WAIT_TIMEOUT);
    }
}

}  // namespace
