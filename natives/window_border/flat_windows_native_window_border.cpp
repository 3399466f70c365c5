// The natives of the custom window border: the Java look and feel draws its own title bar, so the
// native caption is removed from a window by subclassing its procedure. The client area then
// reaches up to the top of the window; the side and bottom frames stay with the system, and the
// top edge is made a resize border again by hit testing.
#include <windows.h>

#include <map>
#include <string>

#include "natives/window_border/flat_windows_native_window_border.h"

#include "natives/jni_support.h"
#include "windows/base/critical_section.h"

namespace {

struct Subclassed {
    WNDPROC original = nullptr;
    bool hasBackground = false;
    COLORREF background = 0;
    int state = 0;  // the frame state last given to updateFrame
};

// The subclassed windows, shared by the Java threads that install and the window threads that
// dispatch messages.
struct BorderTable {
    CriticalSection lock;
    std::map<HWND, Subclassed> windows;
};

BorderTable& table()
{
    static BorderTable* instance = new BorderTable();
    return *instance;
}

class TableLock : CriticalSectionLock {
public:
    TableLock() : CriticalSectionLock(table().lock) {}
};

bool lookUp(HWND window, Subclassed& entry)
{
    TableLock lock;
    auto found = table().windows.find(window);
    if (found == table().windows.end()) return false;
    entry = found->second;
    return true;
}

int topResizeBorder()
{
    return ::GetSystemMetrics(SM_CYFRAME) + ::GetSystemMetrics(SM_CXPADDEDBORDER);
}

void refreshFrame(HWND window)
{
    ::SetWindowPos(window, nullptr, 0, 0, 0, 0,
                   SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_NOACTIVATE);
}

LRESULT callOriginal(const Subclassed& entry, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (entry.original == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
    return ::CallWindowProcW(entry.original, window, message, wParam, lParam);
}

LRESULT CALLBACK borderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Subclassed entry;
    if (!lookUp(window, entry)) return ::DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case WM_NCCALCSIZE: {
        if (wParam == FALSE) break;
        auto* sizes = reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam);
        LONG top = sizes->rgrc[0].top;
        LRESULT result = callOriginal(entry, window, message, wParam, lParam);
        if (result != 0) return result;
        // No caption: the client area starts at the window's top, except that a maximised window
        // hangs its frame off the screen and would lose that much of its content.
        sizes->rgrc[0].top = top + (::IsZoomed(window) ? topResizeBorder() : 0);
        return 0;
    }
    case WM_NCHITTEST: {
        LRESULT hit = callOriginal(entry, window, message, wParam, lParam);
        if (hit != HTCLIENT || ::IsZoomed(window)) return hit;
        RECT bounds;
        if (!::GetWindowRect(window, &bounds)) return hit;
        int y = static_cast<short>(HIWORD(lParam));
        return y < bounds.top + topResizeBorder() ? HTTOP : hit;
    }
    case WM_ERASEBKGND: {
        if (!entry.hasBackground) break;
        RECT client;
        ::GetClientRect(window, &client);
        HBRUSH brush = ::CreateSolidBrush(entry.background);
        ::FillRect(reinterpret_cast<HDC>(wParam), &client, brush);
        ::DeleteObject(brush);
        return 1;
    }
    case WM_NCDESTROY: {
        {
            TableLock lock;
            table().windows.erase(window);
        }
        ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(entry.original));
        break;
    }
    default:
        break;
    }
    return callOriginal(entry, window, message, wParam, lParam);
}

HWND toWindow(jlong handle) { return reinterpret_cast<HWND>(static_cast<INT_PTR>(handle)); }

}  // namespace

extern "C" {

JNIEXPORT jlong JNICALL Java_com_stowline_runtime_flatlaf_FlatWindowsNativeWindowBorder_00024WndProc_installImpl(
    JNIEnv*, jobject, jlong handle) noexcept
{
    return guarded(0, [&]() -> jlong {
        HWND window = toWindow(handle);
        if (window == nullptr || !::IsWindow(window)) return 0;
        {
            TableLock lock;
            if (table().windows.count(window) != 0) return 0;
            // Entered before the procedure changes so the first message already finds its original.
            Subclassed entry;
            entry.original = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(window, GWLP_WNDPROC));
            table().windows[window] = entry;
        }
        ::SetLastError(ERROR_SUCCESS);
        LONG_PTR previous = ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&borderProc));
        if (previous == 0 && ::GetLastError() != ERROR_SUCCESS) {
            TableLock lock;
            table().windows.erase(window);
            return 0;
        }
        {
            TableLock lock;
            table().windows[window].original = reinterpret_cast<WNDPROC>(previous);
        }
        refreshFrame(window);
        return handle;
    });
}

JNIEXPORT void JNICALL Java_com_stowline_runtime_flatlaf_FlatWindowsNativeWindowBorder_00024WndProc_uninstallImpl(
    JNIEnv*, jobject, jlong handle) noexcept
{
    guarded([&] {
        HWND window = toWindow(handle);
        Subclassed entry;
        {
            TableLock lock;
            auto found = table().windows.find(window);
            if (found == table().windows.end()) return;
            entry = found->second;
            table().windows.erase(found);
        }
        if (::IsWindow(window)) {
            ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(entry.original));
            refreshFrame(window);
        }
    });
}

JNIEXPORT void JNICALL Java_com_stowline_runtime_flatlaf_FlatWindowsNativeWindowBorder_00024WndProc_updateFrame(
    JNIEnv*, jobject, jlong handle, jint state) noexcept
{
    guarded([&] {
        HWND window = toWindow(handle);
        {
            TableLock lock;
            auto found = table().windows.find(window);
            if (found == table().windows.end()) return;
            found->second.state = state;
        }
        refreshFrame(window);
    });
}

JNIEXPORT void JNICALL Java_com_stowline_runtime_flatlaf_FlatWindowsNativeWindowBorder_00024WndProc_setWindowBackground(
    JNIEnv*, jobject, jlong handle, jint red, jint green, jint blue) noexcept
{
    guarded([&] {
        HWND window = toWindow(handle);
        {
            TableLock lock;
            auto found = table().windows.find(window);
            if (found == table().windows.end()) return;
            found->second.hasBackground = true;
            found->second.background = RGB(red & 0xFF, green & 0xFF, blue & 0xFF);
        }
        ::InvalidateRect(window, nullptr, TRUE);
    });
}

JNIEXPORT void JNICALL Java_com_stowline_runtime_flatlaf_FlatWindowsNativeWindowBorder_00024WndProc_showWindow(
    JNIEnv*, jobject, jlong handle, jint command) noexcept
{
    guarded([&] {
        HWND window = toWindow(handle);
        if (window != nullptr && ::IsWindow(window)) ::ShowWindow(window, command);
    });
}

JNIEXPORT jint JNICALL Java_com_stowline_runtime_flatlaf_FlatWindowsNativeWindowBorder_registryGetIntValue(
    JNIEnv* env, jclass, jstring key, jstring valueName, jint defaultValue) noexcept
{
    return guarded(defaultValue, [&]() -> jint {
        if (key == nullptr) return defaultValue;
        std::string subKey = javaToNarrow(env, key);
        bool nullName = false;
        javaToWide(env, valueName, &nullName);
        std::string name = javaToNarrow(env, valueName);
        DWORD data = 0;
        DWORD size = sizeof data;
        LSTATUS status = ::RegGetValueA(HKEY_CURRENT_USER, subKey.c_str(), nullName ? nullptr : name.c_str(),
                                        RRF_RT_REG_DWORD | RRF_RT_REG_BINARY, nullptr, &data, &size);
        if (status != ERROR_SUCCESS || size != sizeof data) return defaultValue;
        return static_cast<jint>(data);
    });
}

}  // extern "C"

// The rows this file binds, in registration order (registration.cpp orders the classes).
constexpr NativeMethodName kFlatWindowsNativeWindowBorderWndProcRows[] = {
    BORDER_ROW(FlatWindowsNativeWindowBorder_00024WndProc, installImpl, "(J)J"),
    BORDER_ROW(FlatWindowsNativeWindowBorder_00024WndProc, uninstallImpl, "(J)V"),
    BORDER_ROW(FlatWindowsNativeWindowBorder_00024WndProc, updateFrame, "(JI)V"),
    BORDER_ROW(FlatWindowsNativeWindowBorder_00024WndProc, setWindowBackground, "(JIII)V"),
    BORDER_ROW(FlatWindowsNativeWindowBorder_00024WndProc, showWindow, "(JI)V"),
};
constexpr NativeMethodName kFlatWindowsNativeWindowBorderRows[] = {
    BORDER_ROW(FlatWindowsNativeWindowBorder, registryGetIntValue, "(Ljava/lang/String;Ljava/lang/String;I)I"),
};
constexpr NativeClass kFlatWindowsNativeWindowBorderWndProcNatives =
    nativeClass("com.stowline.runtime.flatlaf.FlatWindowsNativeWindowBorder$WndProc", kFlatWindowsNativeWindowBorderWndProcRows);
constexpr NativeClass kFlatWindowsNativeWindowBorderNatives =
    nativeClass("com.stowline.runtime.flatlaf.FlatWindowsNativeWindowBorder", kFlatWindowsNativeWindowBorderRows);
