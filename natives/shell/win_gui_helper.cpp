#include "natives/shell/win_gui_helper.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "natives/jni_support.h"
#include "windows/base/handles.h"

namespace {

// An icon file: ICONDIR (reserved 0, type 1, count) followed by count 16-byte entries, each ending
// in the image's size and file offset. LookupIconIdFromDirectoryEx reads the resource form of the
// directory instead, whose 14-byte entries end in a 16-bit image id; the file's directory is
// rewritten into that form with the entry's index + 1 as its id (0 is the lookup's failure), so
// any entry can be chosen.
constexpr size_t kHeaderSize = 6;
constexpr size_t kFileEntrySize = 16;
constexpr size_t kResourceEntrySize = 14;

uint16_t word(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t dword(const uint8_t* p) { return word(p) | (static_cast<uint32_t>(word(p + 2)) << 16); }

struct IconImage {
    size_t offset = 0;
    size_t size = 0;
};

// The image that best fits width x height, lying wholly inside the file; size 0 when none does.
IconImage chooseImage(const std::vector<uint8_t>& file, int width, int height)
{
    if (file.size() < kHeaderSize || word(file.data()) != 0 || word(file.data() + 2) != 1) return {};
    const size_t count = word(file.data() + 4);
    if (count == 0 || file.size() < kHeaderSize + count * kFileEntrySize) return {};
    std::vector<uint8_t> directory(kHeaderSize + count * kResourceEntrySize);
    std::memcpy(directory.data(), file.data(), kHeaderSize);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* entry = file.data() + kHeaderSize + i * kFileEntrySize;
        uint8_t* target = directory.data() + kHeaderSize + i * kResourceEntrySize;
        std::memcpy(target, entry, 12);  // sizes, colours, planes, bit count, bytes in image
        target[12] = static_cast<uint8_t>((i + 1) & 0xFF);
        target[13] = static_cast<uint8_t>((i + 1) >> 8);
    }
    const int chosen = ::LookupIconIdFromDirectoryEx(directory.data(), TRUE, width, height, 0);
    if (chosen <= 0 || static_cast<size_t>(chosen) > count) return {};
    const uint8_t* entry = file.data() + kHeaderSize + static_cast<size_t>(chosen - 1) * kFileEntrySize;
    const size_t size = dword(entry + 8);
    const size_t offset = dword(entry + 12);
    if (offset < kHeaderSize || offset >= file.size() || size == 0 || size > file.size() - offset) return {};
    return {offset, size};
}

}  // namespace

extern "C" {

JNIEXPORT jobject JNICALL Java_com_stowline_runtime_installer_platform_win32_WinGuiHelper_getPeer0(
    JNIEnv* env, jclass, jobject window, jclass componentClass) noexcept
{
    return guarded(nullptr, [&]() -> jobject {
        // Looked up on every call: the class argument decides which field is meant, and an identifier
        // kept from another class (or another VM) would not belong to it.
        if (window == nullptr || componentClass == nullptr) return nullptr;
        jfieldID peer = (*env)->GetFieldID(env, componentClass, "peer", "Ljava/awt/peer/ComponentPeer;");
        if (clearPendingException(env) || peer == nullptr) return nullptr;
        jobject value = (*env)->GetObjectField(env, window, peer);
        if (clearPendingException(env)) return nullptr;
        return value;
    });
}

JNIEXPORT jlong JNICALL Java_com_stowline_runtime_installer_platform_win32_WinGuiHelper_getHwnd0(
    JNIEnv* env, jclass, jobject peer, jobject method) noexcept
{
    return guarded(0, [&]() -> jlong {
        if (peer == nullptr || method == nullptr) return 0;
        jmethodID id = (*env)->FromReflectedMethod(env, method);
        if (clearPendingException(env) || id == nullptr) return 0;
        jlong handle = (*env)->CallLongMethod(env, peer, id);
        if (clearPendingException(env)) return 0;
        return handle;
    });
}

JNIEXPORT void JNICALL
Java_com_stowline_runtime_installer_platform_win32_WinGuiHelper_destroyHIcon0(JNIEnv*, jclass, jlong icon) noexcept
{
    guarded([&] {
        unique_hicon owned(javaToHandle<HICON>(icon));
    });
}

JNIEXPORT jlong JNICALL Java_com_stowline_runtime_installer_platform_win32_WinGuiHelper_createHIcon0(
    JNIEnv* env, jclass, jbyteArray iconFile, jint width, jint height) noexcept
{
    return guarded(0, [&]() -> jlong {
        std::vector<uint8_t> bytes = javaToBytes(env, iconFile);
        const IconImage image = chooseImage(bytes, width, height);
        if (image.size == 0) return 0;
        unique_hicon icon(::CreateIconFromResourceEx(bytes.data() + image.offset, static_cast<DWORD>(image.size), TRUE,
                                                     0x00030000, width, height, 0));
        return handleToJava(icon.release());
    });
}

JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_WinGuiHelper_flashWindow0(
    JNIEnv*, jclass, jlong window, jboolean invert) noexcept
{
    guarded([&] {
        ::FlashWindow(javaToHandle<HWND>(window), invert != JNI_FALSE);
    });
}

}  // extern "C"

// The rows this file binds, in registration order (registration.cpp orders the classes).
constexpr NativeMethodName kWinGuiHelperRows[] = {
    PLATFORM_ROW(WinGuiHelper, getPeer0, "(Ljava/awt/Window;Ljava/lang/Class;)Ljava/lang/Object;"),
    PLATFORM_ROW(WinGuiHelper, getHwnd0, "(Ljava/lang/Object;Ljava/lang/reflect/Method;)J"),
    PLATFORM_ROW(WinGuiHelper, destroyHIcon0, "(J)V"),
    PLATFORM_ROW(WinGuiHelper, createHIcon0, "([BII)J"),
    PLATFORM_ROW(WinGuiHelper, flashWindow0, "(JZ)V"),
};
constexpr NativeClass kWinGuiHelperNatives =
    nativeClass("com/stowline/runtime/installer/platform/win32/WinGuiHelper", kWinGuiHelperRows);
