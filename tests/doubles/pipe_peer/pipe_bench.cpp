// pipe_bench [ROUND_TRIPS_1K] [ROUND_TRIPS_1M] [RUNS]: round trips of 1 KiB and 1 MiB blocks between
// this process and pipe_peer.exe, once through writeDataBlock0/readDataBlock0 on both ends and once
// through plain WriteFile/ReadFile (prefix, payload, flush) on the same kind of pipe, the payload
// written by one call and by calls of 64 KiB (the pipe's buffer size; Wine moves a large write
// more slowly than the same bytes in buffer-sized calls). Prints the median of RUNS runs per case
// and the ratio of the natives to each plain exchange; asserts nothing.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <tuple>
#include <vector>

#include "natives/jni_support.h"
#include "natives/pipes/win32_communication_backend.h"
#include "peer_vm.h"
#include "windows/base/handles.h"

namespace {

#define NATIVE(name) Java_com_stowline_runtime_installer_platform_win32_Win32CommunicationBackend_##name

JNIEnv* env = nullptr;

double now()
{
    LARGE_INTEGER counter, frequency;
    ::QueryPerformanceCounter(&counter);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

unique_handle startPeer(const std::wstring& mode, const std::wstring& name)
{
    const std::wstring exe = programDirectory() + L"\\pipe_peer.exe";
    std::wstring commandLine = L"\"" + exe + L"\" " + mode + L" " + name;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return unique_handle();
    unique_handle thread(info.hThread);
    return unique_handle(info.hProcess);
}

enum class Exchange { Natives, Plain, Plain64k };

// Seconds for count round trips of size bytes; negative on failure.
double run(Exchange exchange, size_t size, int count)
{
    static int serial = 0;
    const std::wstring name = L"\\\\.\\pipe\\pipe-bench-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                              std::to_wstring(++serial);
    std::vector<uint8_t> payload(size, 0x5A), back(size);
    double seconds = -1;
    if (exchange == Exchange::Natives) {
        jstring text = (*env)->NewString(env, reinterpret_cast<const jchar*>(name.c_str()), static_cast<jsize>(name.size()));
        const jlong listener = NATIVE(createListener0)(env, nullptr, text);
        unique_handle peer = startPeer(L"echo", name);
        if (listener == -1 || !peer || !NATIVE(connectNamedPipe0)(env, nullptr, listener)) return -1;
        jbyteArray block = bytesToJava(env, payload.data(), payload.size());
        bool ok = true;
        double start = 0;
        for (int i = -10; i < count && ok; ++i) {  // ten round trips to warm up
            if (i == 0) start = now();
            ok = NATIVE(writeDataBlock0)(env, nullptr, listener, block);
            jbyteArray echoed = NATIVE(readDataBlock0)(env, nullptr, listener);
            ok = ok && echoed != nullptr && (*env)->GetArrayLength(env, echoed) == static_cast<jsize>(size);
            if (echoed) (*env)->DeleteLocalRef(env, echoed);
        }
        if (ok) seconds = now() - start;
        NATIVE(disconnectNamedPipe0)(env, nullptr, listener);
        ::WaitForSingleObject(peer.get(), 30000);
        NATIVE(closeHandle0)(env, nullptr, listener);
        (*env)->DeleteLocalRef(env, block);
        (*env)->DeleteLocalRef(env, text);
    } else {
        unique_handle listener(::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX,
                                             PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                                             1, 65536, 65536, 0, nullptr));
        const bool chunked = exchange == Exchange::Plain64k;
        unique_handle peer = startPeer(chunked ? L"raw-echo-64k" : L"raw-echo", name);
        if (!listener || !peer) return -1;
        if (!::ConnectNamedPipe(listener.get(), nullptr) && ::GetLastError() != ERROR_PIPE_CONNECTED) return -1;
        bool ok = true;
        double start = 0;
        const uint32_t length = static_cast<uint32_t>(size);
        for (int i = -10; i < count && ok; ++i) {
            if (i == 0) start = now();
            DWORD written = 0;
            uint32_t echoed = 0;
            ok = ::WriteFile(listener.get(), &length, 4, &written, nullptr) && written == 4;
            for (uint32_t done = 0; ok && done < length; done += written) {
                const DWORD piece = chunked ? std::min<uint32_t>(length - done, 65536) : length;
                ok = ::WriteFile(listener.get(), payload.data() + done, piece, &written, nullptr) && written == piece;
            }
            ok = ok && ::FlushFileBuffers(listener.get()) && readExactly(listener.get(), &echoed, 4) && echoed == length &&
                 readExactly(listener.get(), back.data(), length);
        }
        if (ok) seconds = now() - start;
        ::DisconnectNamedPipe(listener.get());
        ::WaitForSingleObject(peer.get(), 30000);
    }
    return seconds;
}

// Seconds for count times the VM work of one round trip that is not the natives': each end reads
// one block into a new array and writes one from an array, so two new arrays filled and two read.
double arrayWork(size_t size, int count)
{
    std::vector<uint8_t> bytes(size, 0x5A);
    const double start = now();
    for (int i = 0; i < 2 * count; ++i) {
        jbyteArray array = bytesToJava(env, bytes.data(), size);
        if (array == nullptr) return -1;
        (*env)->GetByteArrayRegion(env, array, 0, static_cast<jsize>(size), reinterpret_cast<jbyte*>(bytes.data()));
        (*env)->DeleteLocalRef(env, array);
    }
    return now() - start;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const int small = argc > 1 ? _wtoi(argv[1]) : 5000;
    const int large = argc > 2 ? _wtoi(argv[2]) : 300;
    const int runs = argc > 3 ? std::max(1, _wtoi(argv[3])) : 3;
    env = startTestVm();
    if (env == nullptr) {
        std::printf("the test VM could not be started\n");
        return 3;
    }
    std::printf("pipe round trips (write a block, read its echo), median of %d runs\n", runs);
    for (const auto& [size, count, label] :
         {std::make_tuple(size_t{1024}, small, "1 KiB"), std::make_tuple(size_t{1048576}, large, "1 MiB")}) {
        std::vector<double> natives, plain, plain64k, arrays;
        for (int r = 0; r < runs; ++r) {  // alternated, so all see the same machine load
            natives.push_back(run(Exchange::Natives, size, count));
            plain.push_back(run(Exchange::Plain, size, count));
            plain64k.push_back(run(Exchange::Plain64k, size, count));
            arrays.push_back(arrayWork(size, count));
        }
        const double n = median(natives), p = median(plain), c = median(plain64k);
        if (n <= 0 || p <= 0 || c <= 0) {
            std::printf("%s: a run failed\n", label);
            return 1;
        }
        const double bytes = 2.0 * static_cast<double>(size) * count;
        std::printf("%s blocks, %d round trips:\n", label, count);
        std::printf("  natives: %8.1f us per round trip, %8.1f MB/s\n", n / count * 1e6, bytes / n / 1e6);
        std::printf("  plain:   %8.1f us per round trip, %8.1f MB/s\n", p / count * 1e6, bytes / p / 1e6);
        std::printf("  plain, 64 KiB writes: %8.1f us per round trip, %8.1f MB/s\n", c / count * 1e6, bytes / c / 1e6);
        std::printf("  natives/plain time ratio: %.2f (throughput ratio %.2f)\n", n / p, p / n);
        std::printf("  natives/(plain, 64 KiB writes) time ratio: %.2f\n", n / c);
        const double a = median(arrays);
        std::printf("  of which the test VM's arrays (two made and filled, two read): %8.1f us per round trip\n",
                    a / count * 1e6);
        std::printf("  natives without them/(plain, 64 KiB writes) time ratio: %.2f\n", (n - a) / c);
    }
    return 0;
}
