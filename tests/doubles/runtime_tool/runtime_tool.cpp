// runtime_tool.exe: see README.md.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "core/command_line.h"
#include "windows/base/wide_text.h"
#include "windows/config_block.h"
#include "windows/error_exit.h"
#include "windows/launcher_state.h"
#include "windows/native_log.h"
#include "windows/payload_check.h"
#include "windows/runtime_archive.h"
#include "windows/runtime_choice.h"
#include "windows/runtime_download.h"
#include "windows/work_flow.h"

namespace {

int usage()
{
    std::fputs("usage: runtime_tool verify|untar|unpack-included|download|acquire|unpack-jars|unpack-jar ...\n", stderr);
    return 2;
}

std::string narrow(const wchar_t* text) { return wideToNarrow(text); }

}  // namespace

int wmain(int count, wchar_t** arguments)
{
    LauncherState& state = launcherState();
    for (int i = 0; i < count; ++i) state.arguments.push_back(arguments[i]);
    state.quiet = true;
    state.integrityCheck = true;
    state.instance = ::GetModuleHandleW(nullptr);
    setGuiErrors(false);
    {
        unique_file own = openOwnExecutable();
        if (!own) fatal(kOwnFileNotOpened);
        const ReadError error = readConfigBlock(own.get());
        if (error.failure != ReadFailure::None) fatal(readFailureText(error));
    }
    if (count < 2) return usage();
    const std::wstring command = arguments[1];

    if (command == L"verify") {
        if (count > 2 && std::wcscmp(arguments[2], L"-nocheck") == 0) state.integrityCheck = false;
        verifyPayload(nullptr);
        std::puts("payload verified");
    } else if (command == L"untar" && count >= 4) {
        int64_t expected = count > 4 ? _wtoi64(arguments[4]) : 0;
        bool ok = untarGzip(arguments[2], arguments[3], quietProgress(), expected);
        std::puts(ok ? "untar succeeded" : "untar failed");
        return ok ? 0 : 1;
    } else if (command == L"unpack-included") {
        unpackIncludedRuntime(quietProgress());
        loadIncludedRuntime();
        std::puts("runtime loaded");
    } else if (command == L"download" && count >= 3) {
        downloadRuntime(quietProgress(), arguments[2]);
        std::puts("download done");
    } else if (command == L"acquire") {
        std::printf("acquired %d\n", static_cast<int>(downloadOrLocateRuntime(nullptr)));
    } else if (command == L"unpack-jars" && count >= 3) {
        unpackRuntimeJars(narrow(arguments[2]));
    } else if (command == L"unpack-jar" && count >= 4) {
        unpackPackedJar(narrow(arguments[2]), narrow(arguments[3]));
    } else {
        return usage();
    }
    std::fflush(stdout);
    return 0;
}
