// The window-border natives on real windows and a scratch registry key.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "jni/jni.h"

extern "C" {
jlong JNICALL Java_com_stowline_runtime_flatlaf_FlatWindowsNativeWindowBorder_00024WndProc_installImpl(JNIEnv*, jobject, jlong);
void JNICALL Java_com_stowline_runtime_flatlaf_FlatWindowsNativeWindowBorder_00024WndProc_uninstallImpl(JNIEnv*, jobject, jlong);
jint JNICALL Java_com_stowline_runtime_flatlaf_FlatWindowsNativeWindowBorder_registryGetIntValue(JNIEnv*, jclass, jstring,
                                                                                              jstring, jint);
}

namespace {

jlong install(HWND window)
{
    return Java_com_stowline_runtime_flatlaf_FlatWindowsNativeWindowBorder_00024WndProc_installImpl(
        nullptr, nullptr, reinterpret_cast<jlong>(window));
}

void uninstall(HWND window)
{
    Java_com_stowline_runtime_flatlaf_FlatWindowsNativeWindowBorder_00024WndProc_uninstallImpl(
        nullptr, nullptr, reinterpret_cast<jlong>(window));
}

class BorderWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Message-only: Wine without a display cannot create top-level windows, but these still
        // go through the non-client calculation the border changes.
        window = ::CreateWindowExW(0, L"STATIC", L"border test", WS_OVERLAPPEDWINDOW, 100, 100, 400, 300, HWND_MESSAGE,
                                   nullptr, ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(window, nullptr) << ::GetLastError();
        original = ::GetWindowLongPtrW(window, GWLP_WNDPROC);
    }
    void TearDown() override
    {
        if (window) ::DestroyWindow(window);
    }
    // Distance from the window's top edge to its client area's top edge.
    LONG captionHeight()
    {
        RECT bounds;
        ::GetWindowRect(window, &bounds);
        POINT origin{0, 0};
        ::ClientToScreen(window, &origin);
        return origin.y - bounds.top;
    }
    HWND window = nullptr;
    LONG_PTR original = 0;
};

TEST_F(BorderWindow, InstallTakesTheWindowOverOnce)
{
    LONG before = captionHeight();
    EXPECT_EQ(install(window), reinterpret_cast<jlong>(window));
    EXPECT_NE(::GetWindowLongPtrW(window, GWLP_WNDPROC), original);
    EXPECT_EQ(install(window), 0);  // already taken over
    EXPECT_LT(captionHeight(), before);
    EXPECT_EQ(captionHeight(), 0);   // the caption is gone; the client area starts at the top

    uninstall(window);
    EXPECT_EQ(::GetWindowLongPtrW(window, GWLP_WNDPROC), original);
    EXPECT_EQ(captionHeight(), before);
    uninstall(window);  // a second undo changes nothing
    EXPECT_EQ(::GetWindowLongPtrW(window, GWLP_WNDPROC), original);
    EXPECT_EQ(install(window), reinterpret_cast<jlong>(window));  // and it can be taken again
}

TEST_F(BorderWindow, NothingToTakeOver)
{
    EXPECT_EQ(install(nullptr), 0);
    EXPECT_EQ(install(reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7FFFFF0))), 0);
}

// A fake JNI table with just the string calls registryGetIntValue makes.
struct FakeStrings {
    static jsize JNICALL length(JNIEnv*, jstring text) { return static_cast<jsize>(wcslen(reinterpret_cast<const wchar_t*>(text))); }
    static void JNICALL region(JNIEnv*, jstring text, jsize start, jsize count, jchar* out)
    {
        memcpy(out, reinterpret_cast<const wchar_t*>(text) + start, static_cast<size_t>(count) * sizeof(jchar));
    }
    static jboolean JNICALL check(JNIEnv*) { return JNI_FALSE; }
};

class RegistryValue : public ::testing::Test {
protected:
    void SetUp() override
    {
        table.GetStringLength = FakeStrings::length;
        table.GetStringRegion = FakeStrings::region;
        table.ExceptionCheck = FakeStrings::check;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        DWORD dword = 0x12345678;
        ::RegSetValueExW(key, L"dword", 0, REG_DWORD, reinterpret_cast<BYTE*>(&dword), 4);
        BYTE four[4] = {1, 0, 0, 0};
        ::RegSetValueExW(key, L"binary4", 0, REG_BINARY, four, 4);
        BYTE two[2] = {1, 0};
        ::RegSetValueExW(key, L"binary2", 0, REG_BINARY, two, 2);
        ::RegSetValueExW(key, L"text", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"7"), 4);
    }
    void TearDown() override
    {
        ::RegCloseKey(key);
        ::RegDeleteKeyW(HKEY_CURRENT_USER, kKey);
    }
    jint read(const wchar_t* name, jint fallback)
    {
        return Java_com_stowline_runtime_flatlaf_FlatWindowsNativeWindowBorder_registryGetIntValue(
            &env, nullptr, reinterpret_cast<jstring>(const_cast<wchar_t*>(kKey)),
            reinterpret_cast<jstring>(const_cast<wchar_t*>(name)), fallback);
    }
    static constexpr const wchar_t* kKey = L"Software\\launcher-tests\\window-border";
    HKEY key = nullptr;
    JNINativeInterface_ table{};
    const JNINativeInterface_* env = &table;
};

TEST_F(RegistryValue, FourByteValuesOrTheDefault)
{
    EXPECT_EQ(read(L"dword", -1), 0x12345678);
    EXPECT_EQ(read(L"binary4", -1), 1);
    EXPECT_EQ(read(L"binary2", -1), -1);
    EXPECT_EQ(read(L"text", -1), -1);
    EXPECT_EQ(read(L"missing", 42), 42);
}

}  // namespace
