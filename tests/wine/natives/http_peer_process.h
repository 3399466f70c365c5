// The HTTP peer (tests/doubles/http_peer) for the tests of the network natives: started once per
// suite, ended with the suite (and by itself when this process ends).
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

#include "windows/base/handles.h"

struct HttpPeer {
    unique_handle process;
    unsigned origin = 0;  // the HTTP server
    unsigned proxy = 0;   // the proxy
    unsigned closed = 0;  // a port nothing listens on

    // Starts the peer from the build's doubles folder (testsFolder is …\tests); false when it did
    // not report its ports within ten seconds.
    bool start(const std::wstring& testsFolder)
    {
        wchar_t temp[MAX_PATH + 1];
        ::GetTempPathW(MAX_PATH + 1, temp);
        const std::wstring portFile =
            std::wstring(temp) + L"http_peer_ports_" + std::to_wstring(::GetCurrentProcessId()) + L".txt";
        ::DeleteFileW(portFile.c_str());
        std::wstring command = L"\"" + testsFolder + L"\\doubles\\http_peer\\http_peer.exe\" \"" + portFile + L"\" " +
                               std::to_wstring(::GetCurrentProcessId());
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                              &startup, &started))
            return false;
        process.reset(started.hProcess);
        unique_handle thread(started.hThread);
        for (int wait = 0; wait < 200; ++wait) {
            FILE* in = ::_wfopen(portFile.c_str(), L"rb");
            if (in != nullptr) {
                const bool read = std::fscanf(in, "%u %u %u", &origin, &proxy, &closed) == 3;
                std::fclose(in);
                ::DeleteFileW(portFile.c_str());
                return read;
            }
            if (::WaitForSingleObject(process.get(), 50) == WAIT_OBJECT_0) return false;
        }
        return false;
    }

    void stop()
    {
        if (process) ::TerminateProcess(process.get(), 0);
        process.reset();
    }
};
