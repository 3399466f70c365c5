// Icons from icon-file bytes, and the window peer and handle read through reflection.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "native_fixture.h"
#include "natives/jni_support.h"
#include "natives/shell/win_gui_helper.h"
#include "windows/base/wide_text.h"

namespace {

// The launcher's icon from the source tree (build/x64/tests/wine -> the tree's root): 16, 32 and
// 48 pixel images, in that order.
std::vector<char> launcherIcon(const std::wstring& testDirectory)
{
    const std::wstring path = testDirectory + L"\\..\\..\\..\\..\\resources\\launcher.ico";
    std::ifstream in(wideToNarrow(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void putDword(std::vector<char>& bytes, size_t at, DWORD value)
{
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

int iconWidth(HICON icon)
{
    ICONINFO info{};
    if (!::GetIconInfo(icon, &info)) return -1;
    BITMAP bitmap{};
    ::GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
    if (info.hbmColor) ::DeleteObject(info.hbmColor);
    if (info.hbmMask) ::DeleteObject(info.hbmMask);
    return bitmap.bmWidth;
}

using WinGuiHelper = NativeTest;

TEST_F(WinGuiHelper, IconsComeOnlyFromWholeIconFiles)
{
    const std::vector<char> icon = launcherIcon(testDirectory());
    ASSERT_GT(icon.size(), 6u + 3 * 16) << "resources/launcher.ico not found beside the build tree";
    std::vector<char> farOffset = icon;
    putDword(farOffset, 6 + 16 + 12, static_cast<DWORD>(icon.size()));  // the 32-pixel image starts at the end
    std::vector<char> cutImage(icon.begin(), icon.end() - 1);           // the 48-pixel image lacks its last byte
    const std::string text = "this is not an icon file";
    const char png[] = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR";
    struct Case {
        const char* name;
        std::vector<char> bytes;
        int size;
        int expectedWidth;  // 0: no icon
    };
    const Case cases[] = {
        {"16 pixels", icon, 16, 16},
        {"32 pixels, the second entry", icon, 32, 32},
        {"48 pixels, the last entry", icon, 48, 48},
        {"text", {text.begin(), text.end()}, 32, 0},
        {"a PNG file", {png, png + sizeof(png) - 1}, 32, 0},
        {"empty", {}, 32, 0},
        {"directory cut after two entries", {icon.begin(), icon.begin() + 6 + 2 * 16}, 16, 0},
        {"image offset at the end of the file", farOffset, 32, 0},
        {"image cut short", cutImage, 48, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const jlong handle = Java_com_stowline_runtime_installer_platform_win32_WinGuiHelper_createHIcon0(
            env, nullptr, bytesToJava(env, c.bytes.data(), c.bytes.size()), c.size, c.size);
        if (c.expectedWidth == 0) {
            EXPECT_EQ(handle, 0);
            continue;
        }
        ASSERT_NE(handle, 0);
        const HICON made = javaToHandle<HICON>(handle);
        EXPECT_EQ(iconWidth(made), c.expectedWidth);
        Java_com_stowline_runtime_installer_platform_win32_WinGuiHelper_destroyHIcon0(env, nullptr, handle);
        EXPECT_EQ(iconWidth(made), -1) << "destroyed";
    }
    EXPECT_EQ(
        Java_com_stowline_runtime_installer_platform_win32_WinGuiHelper_createHIcon0(env, nullptr, nullptr, 16, 16), 0);
}

TEST_F(WinGuiHelper, PeerAndHandleThroughReflection)
{
    // A VM whose window class has the peer field.
    (*vm)->DestroyJavaVM(vm);
    const std::wstring script = scratchFile(L"vm_script.txt");
    std::ofstream(wideToNarrow(script)) << "class java/awt/Window\n"
                                           "field java/awt/Window peer Ljava/awt/peer/ComponentPeer;\n";
    ::SetEnvironmentVariableW(L"TEST_VM_SCRIPT", script.c_str());
    auto create = reinterpret_cast<JniCreateJavaVMFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"jvm.dll"), "JNI_CreateJavaVM")));
    JavaVMInitArgs args{JNI_VERSION_1_2, 0, nullptr, JNI_TRUE};
    ASSERT_EQ(create(&vm, reinterpret_cast<void**>(&env), &args), JNI_OK);

    jclass windowClass = (*env)->FindClass(env, "java/awt/Window");
    ASSERT_NE(windowClass, nullptr);
    jobject window = (*env)->AllocObject(env, windowClass);
    jobject peer = boxLong(env, 0x12345678ABLL);
    (*env)->SetObjectField(env, window, (*env)->GetFieldID(env, windowClass, "peer", "Ljava/awt/peer/ComponentPeer;"),
                           peer);
    jclass longClass = (*env)->FindClass(env, "java/lang/Long");
    jobject longValue =
        (*env)->ToReflectedMethod(env, longClass, (*env)->GetMethodID(env, longClass, "longValue", "()J"), JNI_FALSE);
    jclass objectClass = (*env)->FindClass(env, "java/lang/Object");

    jobject found =
        Java_com_stowline_runtime_installer_platform_win32_WinGuiHelper_getPeer0(env, nullptr, window, windowClass);
    EXPECT_TRUE((*env)->IsSameObject(env, found, peer));
    EXPECT_EQ(Java_com_stowline_runtime_installer_platform_win32_WinGuiHelper_getHwnd0(env, nullptr, found, longValue),
              0x12345678ABLL);
    // A class without the field, and absent arguments: null / 0 with nothing left pending.
    EXPECT_EQ(
        Java_com_stowline_runtime_installer_platform_win32_WinGuiHelper_getPeer0(env, nullptr, window, objectClass),
        nullptr);
    EXPECT_FALSE((*env)->ExceptionCheck(env));
    EXPECT_EQ(
        Java_com_stowline_runtime_installer_platform_win32_WinGuiHelper_getPeer0(env, nullptr, nullptr, windowClass),
        nullptr);
    EXPECT_EQ(
        Java_com_stowline_runtime_installer_platform_win32_WinGuiHelper_getHwnd0(env, nullptr, nullptr, longValue), 0);
    EXPECT_EQ(Java_com_stowline_runtime_installer_platform_win32_WinGuiHelper_getHwnd0(env, nullptr, found, nullptr),
              0);
    EXPECT_FALSE((*env)->ExceptionCheck(env));
}

std::vector<WPARAM> ncActivations;

LRESULT CALLBACK recordingProcedure(HWND window, UINT message, WPARAM w, LPARAM l)
{
    if (message == WM_NCACTIVATE) ncActivations.push_back(w);
    return ::DefWindowProcW(window, message, w, l);
}

TEST_F(WinGuiHelper, FlashWindowTogglesTheCaption)
{
    WNDCLASSW type{};
    type.lpfnWndProc = recordingProcedure;
    type.hInstance = ::GetModuleHandleW(nullptr);
    type.lpszClassName = L"flash test";
    ::RegisterClassW(&type);
    HWND window = ::CreateWindowExW(0, L"flash test", L"flash", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                    ::GetModuleHandleW(nullptr), nullptr);
    if (window == nullptr) GTEST_SKIP() << "no display: a top-level window needs Xvfb";
    ncActivations.clear();
    Java_com_stowline_runtime_installer_platform_win32_WinGuiHelper_flashWindow0(env, nullptr, handleToJava(window), JNI_TRUE);
    EXPECT_FALSE(ncActivations.empty());
    Java_com_stowline_runtime_installer_platform_win32_WinGuiHelper_flashWindow0(env, nullptr, 0, JNI_FALSE);  // no window
    ::DestroyWindow(window);
}

}  // namespace
