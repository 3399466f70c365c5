#include "natives/pipes/win32_communication_backend.h"

#include <windows.h>
#include <psapi.h>

#include <cstdint>
#include <cwchar>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "native_fixture.h"
#include "native_output.h"
#include "natives/jni_support.h"
#include "natives/pipes/pipe_retry_settings.h"
#include "windows/base/handles.h"
#include "windows/base/wide_text.h"

#define NATIVE(name) Java_com_stowline_runtime_installer_platform_win32_Win32CommunicationBackend_##name

namespace {

using Bytes = std::vector<uint8_t>;

std::wstring pipeName(const wchar_t* tag)
{
    static int counter = 0;
    return L"\\\\.\\pipe\\pipe-test-" + std::wstring(tag) + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(++counter);
}

// A plain function on its own thread (a raw Win32 end of a pipe; it never touches JNI).
class Thread {
public:
    explicit Thread(std::function<void()> work) : work_(std::move(work))
    {
        handle_.reset(::CreateThread(nullptr, 0, &Thread::run, this, 0, nullptr));
    }
    ~Thread() { join(); }
    void join()
    {
        if (handle_) ::WaitForSingleObject(handle_.get(), INFINITE);
        handle_.reset();
    }

private:
    static DWORD WINAPI run(void* self)
    {
        static_cast<Thread*>(self)->work_();
        return 0;
    }
    std::function<void()> work_;
    unique_handle handle_;
};

// A started pipe_peer.exe.
struct Peer {
    unique_handle process;
    DWORD id = 0;
    Peer() = default;
    Peer(Peer&&) = default;
    // A test that stopped early leaves no peer behind.
    ~Peer()
    {
        if (process) ::TerminateProcess(process.get(), 98);
    }
    // The exit code, or STILL_ACTIVE when it did not end within the time (it is then killed).
    DWORD wait(DWORD milliseconds = 30000)
    {
        DWORD code = STILL_ACTIVE;
        if (::WaitForSingleObject(process.get(), milliseconds) != WAIT_OBJECT_0) {
            ::TerminateProcess(process.get(), 99);
            ::WaitForSingleObject(process.get(), INFINITE);
            return STILL_ACTIVE;
        }
        ::GetExitCodeProcess(process.get(), &code);
        return code;
    }
};

// The retry settings for one test; the product's come back after it.
class RetrySettings {
public:
    RetrySettings(int retries, DWORD pause) : saved_(pipeRetrySettings())
    {
        pipeRetrySettings() = {retries, retries, pause, pause, pause};
    }
    ~RetrySettings() { pipeRetrySettings() = saved_; }

private:
    PipeRetrySettings saved_;
};

// The client end of a pipe, opened the plain way.
HANDLE openClient(const std::wstring& name)
{
    return ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

// Everything the raw end receives until the pipe breaks.
Bytes readUntilBroken(HANDLE pipe)
{
    Bytes all;
    uint8_t buffer[8192];
    DWORD got = 0;
    while (::ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) all.insert(all.end(), buffer, buffer + got);
    return all;
}

bool writeRaw(HANDLE pipe, const Bytes& bytes)
{
    DWORD written = 0;
    return ::WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes pattern(size_t size, uint32_t seed)
{
    Bytes bytes(size);
    uint32_t x = seed * 2654435761u + 1;
    for (uint8_t& b : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x);
    }
    return bytes;
}

SIZE_T peakPagefileUsage()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakPagefileUsage;
}

}  // namespace

class Win32CommunicationBackend : public NativeTest {
protected:
    // pipe_peer.exe (tests/doubles/pipe_peer) with the given arguments.
    Peer startPeer(const std::wstring& arguments)
    {
        const std::wstring tests = testDirectory();
        const std::wstring exe = tests.substr(0, tests.find_last_of(L'\\')) + L"\\doubles\\pipe_peer\\pipe_peer.exe";
        std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        Peer peer;
        if (::CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
            unique_handle thread(info.hThread);
            peer.process.reset(info.hProcess);
            peer.id = info.dwProcessId;
        }
        return peer;
    }
    jlong listen(const std::wstring& name)
    {
        LocalRef<jstring> text(env, str(name.c_str()));
        return NATIVE(createListener0)(env, nullptr, text.get());
    }
    jlong connect(const std::wstring& name)
    {
        LocalRef<jstring> text(env, str(name.c_str()));
        return NATIVE(connectClient0)(env, nullptr, text.get());
    }
    bool write(jlong handle, const Bytes& bytes)
    {
        LocalRef<jbyteArray> array(env, bytesToJava(env, bytes.data(), bytes.size()));
        return NATIVE(writeDataBlock0)(env, nullptr, handle, array.get());
    }
    // False when the native gave null; bytes holds the block otherwise.
    bool read(jlong handle, Bytes& bytes)
    {
        LocalRef<jbyteArray> array(env, NATIVE(readDataBlock0)(env, nullptr, handle));
        bytes = javaToBytes(env, array.get());
        return static_cast<bool>(array);
    }
};

TEST_F(Win32CommunicationBackend, InvalidHandleAndNullNameFailWithoutAWin32Call)
{
    const jlong invalid = NATIVE(getInvalidHandle0)(env, nullptr);
    ASSERT_EQ(invalid, -1);
    LocalRef<jbyteArray> block(env, bytesToJava(env, "x", 1));
    const struct {
        const char* call;
        std::function<bool()> failed;
    } cases[] = {
        {"readDataBlock0", [&] { return NATIVE(readDataBlock0)(env, nullptr, invalid) == nullptr; }},
        {"writeDataBlock0", [&] { return !NATIVE(writeDataBlock0)(env, nullptr, invalid, block.get()); }},
        {"connectNamedPipe0", [&] { return !NATIVE(connectNamedPipe0)(env, nullptr, invalid); }},
        {"closeHandle0", [&] { return NATIVE(closeHandle0)(env, nullptr, invalid), true; }},
        {"disconnectNamedPipe0", [&] { return NATIVE(disconnectNamedPipe0)(env, nullptr, invalid), true; }},
        {"createListener0 null", [&] { return NATIVE(createListener0)(env, nullptr, nullptr) == -1; }},
        {"connectClient0 null", [&] { return NATIVE(connectClient0)(env, nullptr, nullptr) == 0; }},
    };
    for (const auto& c : cases) {
        ::SetLastError(0xBEEF);
        EXPECT_TRUE(c.failed()) << c.call;
        EXPECT_EQ(::GetLastError(), 0xBEEFu) << c.call << " called Windows";
    }
}

TEST_F(Win32CommunicationBackend, ThousandsOfBlocksEachWayThenASecondClient)
{
    const std::wstring name = pipeName(L"exchange");
    const jlong listener = listen(name);
    ASSERT_NE(listener, -1);
    Peer peer = startPeer(L"echo " + name);
    ASSERT_TRUE(peer.process);
    ASSERT_TRUE(NATIVE(connectNamedPipe0)(env, nullptr, listener));
    EXPECT_TRUE(NATIVE(isProcessAlive0)(env, nullptr, static_cast<jint>(peer.id)));

    // The boundaries first, then sizes from a seeded generator: mostly small, one in 40 up to 1 MiB.
    // Every block is a lock-step round trip, which Wine makes slow on a busy machine: 2,500 by
    // default, PIPE_TEST_BLOCKS=10000 for the full count.
    wchar_t count[16] = L"";
    ::GetEnvironmentVariableW(L"PIPE_TEST_BLOCKS", count, 16);
    const size_t blocks = count[0] != 0 ? std::wcstoul(count, nullptr, 10) : 2500;
    std::mt19937 random(20261208);
    // 1 MiB is the largest block read straight into its Java array; one byte more takes the buffer
    // that grows as bytes arrive.
    std::vector<size_t> sizes = {0, 1, 65535, 65536, 65537, 70000, 1048576, 1048577, 0};
    while (sizes.size() < blocks) {
        sizes.push_back(random() % 40 == 0 ? random() % (1048576 + 1) : random() % 8193);
    }
    Bytes back;
    for (size_t i = 0; i < sizes.size(); ++i) {
        const Bytes sent = pattern(sizes[i], static_cast<uint32_t>(i));
        ASSERT_TRUE(write(listener, sent)) << "block " << i << " of " << sizes[i] << " bytes";
        ASSERT_TRUE(read(listener, back)) << "block " << i;
        ASSERT_EQ(back, sent) << "block " << i << " of " << sizes[i] << " bytes";
    }
    // Disconnected, the peer's read fails and it ends cleanly; the listener takes a second client.
    NATIVE(disconnectNamedPipe0)(env, nullptr, listener);
    EXPECT_EQ(peer.wait(), 0u);
    Peer second = startPeer(L"echo " + name);
    ASSERT_TRUE(NATIVE(connectNamedPipe0)(env, nullptr, listener));
    const Bytes sent = pattern(70000, 7);
    EXPECT_TRUE(write(listener, sent));
    EXPECT_TRUE(read(listener, back));
    EXPECT_EQ(back, sent);
    NATIVE(disconnectNamedPipe0)(env, nullptr, listener);
    EXPECT_EQ(second.wait(), 0u);
    NATIVE(closeHandle0)(env, nullptr, listener);
}

TEST_F(Win32CommunicationBackend, WireFormatBothWays)
{
    // Written by the natives: exactly prefix and payload, an empty block being 00 00 00 00 alone.
    {
        const std::wstring name = pipeName(L"wire-out");
        const jlong listener = listen(name);
        unique_file client(openClient(name));  // connected before the listener asks
        ASSERT_TRUE(client);
        ASSERT_TRUE(NATIVE(connectNamedPipe0)(env, nullptr, listener));
        Bytes received;
        Thread reader([&] { received = readUntilBroken(client.get()); });
        const Bytes big = pattern(70000, 1);
        EXPECT_TRUE(write(listener, {}));
        EXPECT_TRUE(write(listener, {0xAB}));
        EXPECT_TRUE(write(listener, big));
        NATIVE(disconnectNamedPipe0)(env, nullptr, listener);
        reader.join();
        EXPECT_EQ(received, concat({{0, 0, 0, 0}, {1, 0, 0, 0, 0xAB}, {0x70, 0x11, 0x01, 0x00}, big}));
        NATIVE(closeHandle0)(env, nullptr, listener);
    }
    // Read by the natives: whatever pieces the bytes come in; refused lengths give null without
    // allocating what they announce.
    const Bytes big = pattern(70000, 2);
    const struct {
        const char* what;
        std::vector<Bytes> pieces;  // each written with one WriteFile, then the writer closes
        std::vector<Bytes> blocks;  // the blocks read before the null that ends every case
    } cases[] = {
        {"empty block", {{0, 0, 0, 0}}, {{}}},
        {"prefix and payload in pieces",
         {{0x70}, {0x11, 0x01, 0x00}, Bytes(big.begin(), big.begin() + 1), Bytes(big.begin() + 1, big.begin() + 4096),
          Bytes(big.begin() + 4096, big.end()), {0, 0, 0, 0}},
         {big, {}}},
        {"prefix cut short", {{5, 0}}, {}},
        {"payload cut short", {{5, 0, 0, 0, 'a', 'b'}}, {}},
        {"largest accepted length, then the writer goes", {{0xFE, 0xFF, 0xFF, 0x7F}, Bytes(10, 1)}, {}},
        {"length 2^31 - 1", {{0xFF, 0xFF, 0xFF, 0x7F}, Bytes(10, 1)}, {}},
        {"length 2^32 - 1", {{0xFF, 0xFF, 0xFF, 0xFF}}, {}},
    };
    for (const auto& c : cases) {
        const std::wstring name = pipeName(L"wire-in");
        const jlong listener = listen(name);
        unique_file client(openClient(name));
        ASSERT_TRUE(client) << c.what;
        ASSERT_TRUE(NATIVE(connectNamedPipe0)(env, nullptr, listener)) << c.what;
        const SIZE_T peakBefore = peakPagefileUsage();
        Thread writer([&] {
            for (const Bytes& piece : c.pieces) {
                writeRaw(client.get(), piece);
                ::Sleep(5);
            }
            client.reset();
        });
        Bytes block;
        for (const Bytes& expected : c.blocks) {
            EXPECT_TRUE(read(listener, block)) << c.what;
            EXPECT_EQ(block, expected) << c.what;
        }
        EXPECT_FALSE(read(listener, block)) << c.what;
        // Wine's peak can read lower than an earlier one: only growth counts.
        const SIZE_T peakAfter = peakPagefileUsage();
        EXPECT_LT(peakAfter > peakBefore ? peakAfter - peakBefore : 0, SIZE_T{256} << 20) << c.what;
        NATIVE(closeHandle0)(env, nullptr, listener);  // a writer still blocked ends now
        writer.join();
    }
}

TEST_F(Win32CommunicationBackend, ReadsAndWritesThatMoveNothingFailInsteadOfSpinning)
{
    // A file at its end reads zero bytes with success, again and again.
    const std::wstring path = scratchFile(L"block.bin");
    {
        unique_file file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(writeRaw(file.get(), {10, 0, 0, 0, 'a', 'b', 'c'}));
    }
    unique_file file(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    Bytes block;
    EXPECT_FALSE(read(handleToJava(file.get()), block));

    // A non-blocking pipe that is full takes zero bytes with success.
    const std::wstring name = pipeName(L"nowait");
    unique_handle server(::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_NOWAIT, 1, 4096,
                                            4096, 0, nullptr));
    ASSERT_TRUE(server);
    unique_file client(openClient(name));
    ASSERT_TRUE(client);
    EXPECT_FALSE(write(handleToJava(server.get()), pattern(1048576, 3)));
}

TEST_F(Win32CommunicationBackend, PeerThatDiesGivesFailureNotAHang)
{
    const struct {
        const wchar_t* mode;
        const wchar_t* after;  // arguments after the pipe name
        bool writes;           // the test writes 1 MiB, else it reads
    } cases[] = {
        {L"die-mid-block", L"", false},
        {L"read-part-and-die", L"", true},
        {L"connect-and-die", L" 300", false},
    };
    for (const auto& c : cases) {
        const std::wstring name = pipeName(L"dies");
        const jlong listener = listen(name);
        Peer peer = startPeer(std::wstring(c.mode) + L" " + name + c.after);
        ASSERT_TRUE(NATIVE(connectNamedPipe0)(env, nullptr, listener)) << c.mode;
        Bytes block;
        if (c.writes)
            EXPECT_FALSE(write(listener, pattern(1048576, 4))) << c.mode;
        else
            EXPECT_FALSE(read(listener, block)) << c.mode;
        EXPECT_EQ(peer.wait(), 9u) << c.mode;
        NATIVE(closeHandle0)(env, nullptr, listener);
    }
}

TEST_F(Win32CommunicationBackend, ConnectionRetriesEndAndCatchALateListener)
{
    const RetrySettings fast(5, 20);
    // A pipe that never exists: 0, not -1, after the retries.
    const DWORD start = ::GetTickCount();
    const std::wstring never = pipeName(L"never");
    CapturedOutput printed(scratchFile(L"out.txt"));
    EXPECT_EQ(connect(never), 0);
    const DWORD spent = ::GetTickCount() - start;
    EXPECT_EQ(printed.finish(), "could not open file 2 " + wideToNarrow(never, CP_ACP) + "\n");
    EXPECT_GE(spent, 5u * 20 - 20) << "gave up before retrying";
    EXPECT_LT(spent, 20000u) << "the retry settings were not used";

    // A listener that appears while the client retries is connected.
    {
        const std::wstring name = pipeName(L"late");
        const RetrySettings patient(200, 20);
        Thread server([&] {
            ::Sleep(150);
            unique_handle pipe(::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 65536, 65536, 0,
                                                  nullptr));
            if (!::ConnectNamedPipe(pipe.get(), nullptr) && ::GetLastError() != ERROR_PIPE_CONNECTED) return;
            writeRaw(pipe.get(), {2, 0, 0, 0, 'o', 'k'});
            ::FlushFileBuffers(pipe.get());
        });
        const jlong client = connect(name);
        ASSERT_NE(client, 0);
        Bytes block;
        EXPECT_TRUE(read(client, block));
        EXPECT_EQ(block, (Bytes{'o', 'k'}));
        NATIVE(closeHandle0)(env, nullptr, client);
    }

    // The listener gives up on a handle that can never be connected (a client end).
    const std::wstring name = pipeName(L"client-end");
    const jlong listener = listen(name);
    unique_file client(openClient(name));
    ASSERT_TRUE(client);
    CapturedOutput refused(scratchFile(L"refused.txt"));
    EXPECT_FALSE(NATIVE(connectNamedPipe0)(env, nullptr, handleToJava(client.get())));
    const std::string refusal = refused.finish();
    EXPECT_EQ(refusal.rfind("could not connect named pipe ", 0), 0u) << refusal;
    EXPECT_EQ(refusal.back(), '\n');

    // A client that connected, wrote and left before the listener asked is taken: its block is
    // still there, then the break.
    const std::wstring gone = pipeName(L"gone");
    const jlong second = listen(gone);
    {
        unique_file leaving(openClient(gone));
        ASSERT_TRUE(writeRaw(leaving.get(), {1, 0, 0, 0, 'x'}));
    }
    EXPECT_TRUE(NATIVE(connectNamedPipe0)(env, nullptr, second));
    Bytes block;
    EXPECT_TRUE(read(second, block));
    EXPECT_EQ(block, (Bytes{'x'}));
    EXPECT_FALSE(read(second, block));
    NATIVE(closeHandle0)(env, nullptr, second);
    NATIVE(closeHandle0)(env, nullptr, listener);
}

TEST_F(Win32CommunicationBackend, ProcessIds)
{
    const jint own = NATIVE(getCurrentProcessId0)(env, nullptr);
    EXPECT_EQ(static_cast<DWORD>(own), ::GetCurrentProcessId());
    Peer ended = startPeer(L"exit 7");
    ASSERT_EQ(ended.wait(), 7u);
    const jint endedId = static_cast<jint>(ended.id);
    const struct {
        const char* what;
        jint id;
        bool alive;
    } cases[] = {
        {"own", own, true},
        {"ended, its handle still open", endedId, false},
        {"made up", 0x7FFFFFF0, false},
        {"-1", -1, false},
    };
    for (const auto& c : cases) EXPECT_EQ(NATIVE(isProcessAlive0)(env, nullptr, c.id), c.alive) << c.what;
    ended.process.reset();
    EXPECT_FALSE(NATIVE(isProcessAlive0)(env, nullptr, endedId)) << "ended and gone";
}

TEST_F(Win32CommunicationBackend, ListenerRefusesANameCreatedFirstElsewhere)
{
    const RetrySettings fast(5, 20);
    // Another process holds the name, or this one through a handle of its own; either way the name
    // belongs to someone else, who may set any instance count and any security.
    const struct {
        const char* what;
        bool otherProcess;
        DWORD instances;
    } cases[] = {
        {"other process, unlimited instances", true, PIPE_UNLIMITED_INSTANCES},
        {"own handle, unlimited instances", false, PIPE_UNLIMITED_INSTANCES},
        {"own handle, one instance", false, 1},
    };
    for (const auto& c : cases) {
        const std::wstring name = pipeName(L"squatted");
        unique_handle squatter;
        Peer peer = c.otherProcess ? startPeer(L"squat " + name + L" 30000") : Peer();
        if (c.otherProcess) {
            ASSERT_TRUE(peer.process) << c.what;
            // The peer's instance is there once a client could connect to it.
            for (int tries = 0; tries < 300 && !::WaitNamedPipeW(name.c_str(), 100); ++tries) ::Sleep(10);
        } else {
            squatter.reset(::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, c.instances, 4096,
                                              4096, 0, nullptr));
            ASSERT_TRUE(squatter) << c.what;
        }
        const jlong listener = listen(name);
        EXPECT_EQ(listener, -1) << c.what;
        if (listener != -1) NATIVE(closeHandle0)(env, nullptr, listener);
    }
    // The name is free again once the holder let go.
    const std::wstring name = pipeName(L"freed");
    unique_handle(::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, PIPE_UNLIMITED_INSTANCES, 4096,
                                     4096, 0, nullptr)).reset();
    const jlong listener = listen(name);
    EXPECT_NE(listener, -1);
    NATIVE(closeHandle0)(env, nullptr, listener);
}

TEST_F(Win32CommunicationBackend, ListenerAdmitsOnlyUserSystemAndAdministrators)
{
    // Wine keeps the descriptor given at creation and reads it back; it does not enforce it against
    // other users (it has one), and only Windows shows the refusal.
    const std::wstring name = pipeName(L"dacl");
    const jlong listener = listen(name);
    ASSERT_NE(listener, -1);
    const auto entries = daclEntries(javaToHandle(listener));
    ASSERT_TRUE(entries) << "the pipe's DACL cannot be read back";
    const std::wstring all = L"=1f01ff";  // FILE_ALL_ACCESS
    EXPECT_EQ(*entries, (std::vector<std::wstring>{processUserSidText() + all, L"S-1-5-18" + all,
                                                   L"S-1-5-32-544" + all}));
    NATIVE(closeHandle0)(env, nullptr, listener);
}
