#include "natives/pipes/win32_communication_backend.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <new>
#include <vector>

#include "core/pipe_block.h"
#include "natives/jni_support.h"
#include "natives/pipes/pipe_retry_settings.h"
#include "windows/base/handles.h"
#include "windows/base/security.h"

namespace {

constexpr jlong kInvalidHandle = -1;
constexpr DWORD kPipeBufferSize = 65536;

// Reads exactly size bytes. A read that succeeds with nothing (a file at its end, a pipe in
// non-blocking mode, a peer that writes zero bytes) ends the block as a failure rather than
// looping on it.
bool readFully(HANDLE handle, uint8_t* data, size_t size)
{
    size_t done = 0;
    while (done < size) {
        const DWORD wanted = static_cast<DWORD>(std::min<size_t>(size - done, 0x40000000));
        DWORD got = 0;
        if (!::ReadFile(handle, data + done, wanted, &got, nullptr) || got == 0) return false;
        done += got;
    }
    return true;
}

// Writes exactly size bytes, in requests of at most the pipe's buffer size: Wine moves 1 MiB in
// 64 KiB requests in about a third of the time of one request. A write that takes nothing (a
// non-blocking pipe that is full) is a failure, not a reason to try again at once.
bool writeFully(HANDLE handle, const uint8_t* data, size_t size)
{
    size_t done = 0;
    while (done < size) {
        const DWORD wanted = static_cast<DWORD>(std::min<size_t>(size - done, kPipeBufferSize));
        DWORD written = 0;
        if (!::WriteFile(handle, data + done, wanted, &written, nullptr) || written == 0) return false;
        done += written;
    }
    return true;
}

// The payload announced by a prefix, read into a buffer that grows only as bytes arrive: a
// length from the wire never decides an allocation by itself.
bool readPayload(HANDLE handle, uint32_t length, std::vector<uint8_t>& payload)
{
    size_t received = 0;
    while (received < length) {
        payload.resize(pipeBlockCapacity(received, length));
        DWORD got = 0;
        const DWORD wanted = static_cast<DWORD>(payload.size() - received);
        if (!::ReadFile(handle, payload.data() + received, wanted, &got, nullptr) || got == 0) return false;
        received += got;
    }
    return true;
}

// Bytes cross between the pipe and a Java array through one buffer per thread, kept from block to
// block: a fresh buffer costs its page faults every time (under Wine about a millisecond a
// megabyte), and Wine reads a block faster in one large call than in many small ones. It holds up
// to the first chunk's size; a longer block is written a buffer at a time.
uint8_t* transferBuffer(size_t length)
{
    thread_local std::vector<uint8_t> buffer;
    const size_t wanted = std::max<size_t>(1, std::min<size_t>(length, kPipeBlockFirstChunk));
    if (buffer.size() < wanted) buffer.resize(wanted);
    return buffer.data();
}

// A payload of the first chunk's size or less (a length that costs nothing even when false): read
// into the thread's buffer, which takes it in one request, then given to a new Java array with one
// region write. Null when the pipe fails first.
jbyteArray readPayloadIntoJava(JNIEnv* env, HANDLE handle, uint32_t length)
{
    uint8_t* buffer = transferBuffer(length);
    if (!readFully(handle, buffer, length)) return nullptr;
    return bytesToJava(env, buffer, length);
}

}  // namespace

PipeRetrySettings& pipeRetrySettings()
{
    static PipeRetrySettings settings;
    return settings;
}

extern "C" {

JNIEXPORT jlong JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32CommunicationBackend_getInvalidHandle0(
    JNIEnv*, jclass) noexcept
{
    return guarded(0, [&]() -> jlong {
        return kInvalidHandle;
    });
}

JNIEXPORT jlong JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32CommunicationBackend_createListener0(
    JNIEnv* env, jclass, jstring name) noexcept
{
    return guarded(kInvalidHandle, [&]() -> jlong {
        const JavaText pipeName(env, name);
        if (pipeName.isNull()) return kInvalidHandle;
        // Only the user, SYSTEM and Administrators may open the pipe, and a name that another
        // process created first is refused rather than shared with it.
        PrivateObjectSecurity security(PrivateObjectSecurity::Principals::UserSystemAndAdministrators);
        if (security.attributes() == nullptr) return kInvalidHandle;
        unique_handle pipe(::CreateNamedPipeW(pipeName.get(), PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                              PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT |
                                                  PIPE_REJECT_REMOTE_CLIENTS,
                                              1, kPipeBufferSize, kPipeBufferSize, 0, security.attributes()));
        // Where the first-instance flag is not honoured (Wine), an existing pipe of that name shows
        // as another instance or as an instance limit that is not ours.
        DWORD instances = 0;
        DWORD maxInstances = 0;
        if (!pipe ||
            !::GetNamedPipeHandleStateW(pipe.get(), nullptr, &instances, nullptr, nullptr, nullptr, 0) ||
            !::GetNamedPipeInfo(pipe.get(), nullptr, nullptr, nullptr, &maxInstances) || instances != 1 ||
            maxInstances != 1)
            return kInvalidHandle;
        return handleToJava(pipe.release());
    });
}

JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32CommunicationBackend_connectNamedPipe0(
    JNIEnv*, jclass, jlong handle) noexcept
{
    return guarded(JNI_FALSE, [&]() -> jboolean {
        if (handle == kInvalidHandle) return JNI_FALSE;
        const PipeRetrySettings settings = pipeRetrySettings();
        for (int failures = 0;;) {
            if (::ConnectNamedPipe(javaToHandle(handle), nullptr)) return JNI_TRUE;
            const DWORD error = ::GetLastError();
            // PIPE_CONNECTED: the client opened the pipe before this call. NO_DATA: it opened it and
            // closed it again; what it wrote can still be read, and the next read reports the break.
            // Retrying NO_DATA cannot succeed until the pipe is disconnected.
            if (error == ERROR_PIPE_CONNECTED || error == ERROR_NO_DATA) return JNI_TRUE;
            if (++failures > settings.listenerRetries) {
                std::printf("could not connect named pipe %d\n", static_cast<int>(error));
                std::fflush(stdout);
                return JNI_FALSE;
            }
            ::Sleep(settings.pauseMilliseconds);
        }
    });
}

JNIEXPORT jlong JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32CommunicationBackend_connectClient0(
    JNIEnv* env, jclass, jstring name) noexcept
{
    return guarded(0, [&]() -> jlong {
        const JavaText pipeName(env, name);
        if (pipeName.isNull()) return 0;
        const PipeRetrySettings settings = pipeRetrySettings();
        // Waits for a free instance; when the pipe does not exist yet it returns at once and the
        // loop below keeps trying.
        ::WaitNamedPipeW(pipeName.get(), settings.firstWaitMilliseconds);
        for (int failures = 0;;) {
            // The listener may learn who connected but never act as this process.
            HANDLE opened = ::CreateFileW(pipeName.get(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                          SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
            const DWORD error = ::GetLastError();
            unique_file pipe(opened);
            if (pipe) return handleToJava(pipe.release());
            if (++failures > settings.clientRetries) {
                std::printf("could not open file %d %S\n", static_cast<int>(error), pipeName.get());
                std::fflush(stdout);
                return 0;
            }
            ::Sleep(settings.pauseMilliseconds);
            ::WaitNamedPipeW(pipeName.get(), settings.retryWaitMilliseconds);
        }
    });
}

JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32CommunicationBackend_closeHandle0(
    JNIEnv*, jclass, jlong handle) noexcept
{
    guarded([&] {
        if (handle == kInvalidHandle) return;
        unique_handle(javaToHandle(handle)).reset();
    });
}

JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32CommunicationBackend_disconnectNamedPipe0(
    JNIEnv*, jclass, jlong handle) noexcept
{
    guarded([&] {
        if (handle == kInvalidHandle) return;
        ::DisconnectNamedPipe(javaToHandle(handle));
    });
}

JNIEXPORT jbyteArray JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32CommunicationBackend_readDataBlock0(
    JNIEnv* env, jclass, jlong handle) noexcept
{
    return guarded(nullptr, [&]() -> jbyteArray {
        if (handle == kInvalidHandle) return nullptr;
        try {
            const HANDLE pipe = javaToHandle(handle);
            // The prefix may arrive in pieces (a writer that splits it); it is completed like the payload.
            uint8_t prefix[kPipeBlockPrefixSize];
            if (!readFully(pipe, prefix, sizeof prefix)) return nullptr;
            const uint32_t length = decodePipeBlockPrefix(prefix);
            if (!pipeBlockLengthAccepted(length)) return nullptr;
            if (length <= kPipeBlockFirstChunk) return readPayloadIntoJava(env, pipe, length);
            std::vector<uint8_t> payload;
            if (!readPayload(pipe, length, payload)) return nullptr;
            return bytesToJava(env, payload.data(), length);
        } catch (...) {
            return nullptr;
        }
    });
}

JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32CommunicationBackend_writeDataBlock0(
    JNIEnv* env, jclass, jlong handle, jbyteArray data) noexcept
{
    return guarded(JNI_FALSE, [&]() -> jboolean {
        if (handle == kInvalidHandle || data == nullptr) return JNI_FALSE;
        const HANDLE pipe = javaToHandle(handle);
        const size_t length = static_cast<size_t>((*env)->GetArrayLength(env, data));
        // The payload is copied from the array into the thread's buffer, a buffer at a time, rather
        // than pinned: no pinned array while WriteFile waits for the peer (a VM whose collector waits
        // for pins would stall, and with it a peer in the same VM).
        // The buffer is taken before anything is sent, so a failure here (guarded answers false)
        // leaves the stream as it was.
        uint8_t* buffer = transferBuffer(length);
        const auto prefix = encodePipeBlockPrefix(static_cast<uint32_t>(length));
        bool sent = writeFully(pipe, prefix.data(), prefix.size());
        for (size_t done = 0; sent && done < length;) {
            const size_t piece = std::min<size_t>(length - done, kPipeBlockFirstChunk);
            (*env)->GetByteArrayRegion(env, data, static_cast<jsize>(done), static_cast<jsize>(piece),
                                       reinterpret_cast<jbyte*>(buffer));
            sent = writeFully(pipe, buffer, piece);
            done += piece;
        }
        // Flushing returns once the peer has read everything, which paces the exchange. Its result is
        // not the block's: a peer that reads the block and at once disconnects makes the flush fail
        // (seen under Wine) although the block arrived; a peer that never read it shows at the next read.
        if (sent) ::FlushFileBuffers(pipe);
        return sent ? JNI_TRUE : JNI_FALSE;
    });
}

JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32CommunicationBackend_getCurrentProcessId0(
    JNIEnv*, jclass) noexcept
{
    return guarded(0, [&]() -> jint {
        return static_cast<jint>(::GetCurrentProcessId());
    });
}

JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_Win32CommunicationBackend_isProcessAlive0(
    JNIEnv*, jclass, jint processId) noexcept
{
    return guarded(JNI_FALSE, [&]() -> jboolean {
        HANDLE opened = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(processId));
        const DWORD error = ::GetLastError();
        unique_handle process(opened);
        // A process that exists but is protected from us cannot be opened: it still runs.
        if (!process) return error == ERROR_ACCESS_DENIED ? JNI_TRUE : JNI_FALSE;
        DWORD exitCode = 0;
        if (!::GetExitCodeProcess(process.get(), &exitCode)) return JNI_FALSE;
        return exitCode == STILL_ACTIVE ? JNI_TRUE : JNI_FALSE;
    });
}

}  // extern "C"

// The rows this file binds, in registration order (registration.cpp orders the classes).
constexpr NativeMethodName kWin32CommunicationBackendRows[] = {
    PLATFORM_ROW(Win32CommunicationBackend, getInvalidHandle0, "()J"),
    PLATFORM_ROW(Win32CommunicationBackend, createListener0, "(Ljava/lang/String;)J"),
    PLATFORM_ROW(Win32CommunicationBackend, readDataBlock0, "(J)[B"),
    PLATFORM_ROW(Win32CommunicationBackend, writeDataBlock0, "(J[B)Z"),
    PLATFORM_ROW(Win32CommunicationBackend, connectClient0, "(Ljava/lang/String;)J"),
    PLATFORM_ROW(Win32CommunicationBackend, connectNamedPipe0, "(J)Z"),
    PLATFORM_ROW(Win32CommunicationBackend, disconnectNamedPipe0, "(J)V"),
    PLATFORM_ROW(Win32CommunicationBackend, closeHandle0, "(J)V"),
    PLATFORM_ROW(Win32CommunicationBackend, isProcessAlive0, "(I)Z"),
    PLATFORM_ROW(Win32CommunicationBackend, getCurrentProcessId0, "()I"),
};
constexpr NativeClass kWin32CommunicationBackendNatives =
    nativeClass("com/stowline/runtime/installer/platform/win32/Win32CommunicationBackend", kWin32CommunicationBackendRows);
