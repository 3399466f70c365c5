// pipe_peer MODE ARG...: the other end of a pipe for the pipe natives' tests and benchmark.
//   echo NAME               connects with the natives and sends every block back until the pipe
//                           breaks; exit 0 then, 10 when it could not connect, 11 when a write failed
//   raw-echo NAME           the same with plain ReadFile/WriteFile (the benchmark's reference)
//   raw-echo-64k NAME       the same, each payload written in 64 KiB WriteFile calls
//   die-mid-block NAME      connects, sends a prefix announcing 100000 bytes and 1000 of them, dies
//   read-part-and-die NAME  connects, reads a prefix and 1000 bytes, dies
//   connect-and-die NAME MS connects, reads nothing, dies after MS milliseconds
//   squat NAME MS           creates the pipe NAME first (any number of instances, default security),
//                           as a process that wants the product's peer would, and holds it MS ms
//   exit CODE               ends at once with CODE
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <string>
#include <vector>

#include "natives/pipes/win32_communication_backend.h"
#include "peer_vm.h"
#include "windows/base/handles.h"

namespace {

#define NATIVE(name) Java_com_stowline_runtime_installer_platform_win32_Win32CommunicationBackend_##name

// Writes size bytes in calls of at most piece bytes each.
bool rawWrite(HANDLE pipe, const void* data, DWORD size, DWORD piece = MAXDWORD)
{
    const auto* at = static_cast<const uint8_t*>(data);
    for (DWORD done = 0; done < size;) {
        const DWORD wanted = std::min(size - done, piece);
        DWORD written = 0;
        if (!::WriteFile(pipe, at + done, wanted, &written, nullptr) || written != wanted) return false;
        done += wanted;
    }
    return true;
}

HANDLE rawConnect(const wchar_t* name)
{
    for (int tries = 0; tries < 200; ++tries) {
        ::WaitNamedPipeW(name, 1000);
        HANDLE pipe = ::CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (pipe != INVALID_HANDLE_VALUE) return pipe;
        ::Sleep(10);
    }
    return INVALID_HANDLE_VALUE;
}

int rawEcho(HANDLE pipe, DWORD piece)
{
    std::vector<uint8_t> buffer;
    for (;;) {
        uint32_t length = 0;
        if (!readExactly(pipe, &length, 4)) return 0;
        buffer.resize(length);
        if (length > 0 && !readExactly(pipe, buffer.data(), length)) return 0;
        if (!rawWrite(pipe, &length, 4) || (length > 0 && !rawWrite(pipe, buffer.data(), length, piece)) ||
            !::FlushFileBuffers(pipe))
            return 11;
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) return 2;
    const std::wstring mode = argv[1];
    if (mode == L"exit") return _wtoi(argv[2]);
    if (mode == L"squat" && argc >= 4) {
        unique_handle pipe(::CreateNamedPipeW(argv[2], PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, PIPE_UNLIMITED_INSTANCES,
                                              4096, 4096, 0, nullptr));
        if (!pipe) return 10;
        ::Sleep(static_cast<DWORD>(_wtoi(argv[3])));
        return 0;
    }
    if (mode == L"raw-echo" || mode == L"raw-echo-64k") {
        unique_file pipe(rawConnect(argv[2]));
        return pipe ? rawEcho(pipe.get(), mode == L"raw-echo" ? MAXDWORD : 65536) : 10;
    }

    JNIEnv* env = startTestVm();
    if (env == nullptr) return 3;
    const jstring name = (*env)->NewString(env, reinterpret_cast<const jchar*>(argv[2]),
                                           static_cast<jsize>(std::wcslen(argv[2])));
    const jlong handle = NATIVE(connectClient0)(env, nullptr, name);
    if (handle == 0) return 10;
    const HANDLE pipe = reinterpret_cast<HANDLE>(static_cast<intptr_t>(handle));

    if (mode == L"echo") {
        for (;;) {
            jbyteArray block = NATIVE(readDataBlock0)(env, nullptr, handle);
            if (block == nullptr) break;
            const bool written = NATIVE(writeDataBlock0)(env, nullptr, handle, block);
            (*env)->DeleteLocalRef(env, block);
            if (!written) return 11;
        }
        NATIVE(closeHandle0)(env, nullptr, handle);
        return 0;
    }
    if (mode == L"die-mid-block") {
        const uint32_t length = 100000;
        std::vector<uint8_t> part(1000, 0x5A);
        rawWrite(pipe, &length, 4);
        rawWrite(pipe, part.data(), static_cast<DWORD>(part.size()));
        dieNow(9);
    }
    if (mode == L"read-part-and-die") {
        std::vector<uint8_t> part(1004);
        readExactly(pipe, part.data(), static_cast<DWORD>(part.size()));
        dieNow(9);
    }
    if (mode == L"connect-and-die" && argc >= 4) {
        ::Sleep(static_cast<DWORD>(_wtoi(argv[3])));
        dieNow(9);
    }
    return 2;
}
