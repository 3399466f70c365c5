#include "natives/shell/vista_task_dialog.h"

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "natives/jni_support.h"
#include "windows/base/system_functions.h"

namespace {

using TaskDialogFunction = decltype(&::TaskDialogIndirect);

constexpr int kFirstButton = 101;
constexpr jint kOtherOutcome = 1000;

// Only from a comctl32 that is already loaded: the task dialog exists in version 6 only, which
// the manifest has loaded by the time a dialog is asked for. Looked up on every call, so a call
// before that load does not keep the function missing.
TaskDialogFunction taskDialogFunction() { return LOADED_FUNCTION(L"Comctl32.dll", TaskDialogIndirect); }

// The parent of one dialog and that dialog's timer ticks.
struct Keeper {
    HWND parent;
    int ticks;
};

// Keeps the dialog just above its parent: activating it during the first ticks, then only
// ordering it, so it does not take the focus back from another program later.
HRESULT CALLBACK keepAboveParent(HWND dialog, UINT notification, WPARAM, LPARAM, LONG_PTR data)
{
    if (notification == TDN_TIMER) {
        auto* keeper = reinterpret_cast<Keeper*>(data);
        const UINT flags = keeper->ticks < 5 ? SWP_NOSIZE | SWP_NOMOVE : SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE;
        ++keeper->ticks;
        ::SetWindowPos(dialog, keeper->parent, 0, 0, 0, 0, flags);
    }
    return S_OK;
}

}  // namespace

extern "C" {

JNIEXPORT jint JNICALL Java_com_stowline_runtime_installer_platform_win32_VistaTaskDialog_show0(
    JNIEnv* env, jclass, jlong parent, jstring title, jstring instruction, jstring content, jint flags, jint icon,
    jint width, jstring verification, jobjectArray buttons, jint defaultIndex) noexcept
{
    return guarded(0, [&]() -> jint {
        const TaskDialogFunction taskDialog = taskDialogFunction();
        if (taskDialog == nullptr) return 0;
        const JavaText titleText(env, title), instructionText(env, instruction), contentText(env, content),
            verificationText(env, verification);
        bool failed = false;
        const std::vector<std::wstring> labels = javaArrayToWide(env, buttons, &failed);
        if (failed) return 0;
        std::vector<TASKDIALOG_BUTTON> custom;
        for (size_t i = 0; i < labels.size(); ++i)
            custom.push_back({kFirstButton + static_cast<int>(i), labels[i].c_str()});

        const HWND owner = javaToHandle<HWND>(parent);
        Keeper keeper{owner, 0};
        TASKDIALOGCONFIG config{};
        config.cbSize = sizeof(config);
        config.hwndParent = owner;
        config.dwFlags = static_cast<TASKDIALOG_FLAGS>(flags) | TDF_USE_HICON_MAIN | TDF_CALLBACK_TIMER;
        if (owner != nullptr && !::IsIconic(owner)) config.dwFlags |= TDF_POSITION_RELATIVE_TO_WINDOW;
        config.pszWindowTitle = titleText.get();
        config.hMainIcon = ::LoadIconW(nullptr, MAKEINTRESOURCEW(icon & 0xFFFF));
        config.pszMainInstruction = instructionText.get();
        config.pszContent = contentText.get();
        config.cButtons = static_cast<UINT>(custom.size());
        config.pButtons = custom.empty() ? nullptr : custom.data();
        config.nDefaultButton = kFirstButton + defaultIndex;
        config.pszVerificationText = verificationText.get();
        config.cxWidth = static_cast<UINT>(width);
        if (owner != nullptr) {
            config.pfCallback = keepAboveParent;
            config.lpCallbackData = reinterpret_cast<LONG_PTR>(&keeper);
        }

        int button = 0;
        BOOL verified = FALSE;
        if (FAILED(taskDialog(&config, &button, nullptr, &verified))) {
            button = 0;
            verified = FALSE;
        }
        jint result = button >= kFirstButton && button < kFirstButton + static_cast<int>(custom.size())
                          ? button - (kFirstButton - 1)
                          : kOtherOutcome;
        return verified ? -result : result;
    });
}

JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_VistaTaskDialog_init0(JNIEnv*,
                                                                                                jclass) noexcept
{
}

}  // extern "C"

// The rows this file binds, in registration order (registration.cpp orders the classes).
constexpr NativeMethodName kVistaTaskDialogRows[] = {
    PLATFORM_ROW(VistaTaskDialog, show0, "(JLjava/lang/String;Ljava/lang/String;Ljava/lang/String;IIILjava/lang/String;[Ljava/lang/String;I)I"),
    PLATFORM_ROW(VistaTaskDialog, init0, "()V"),
};
constexpr NativeClass kVistaTaskDialogNatives =
    nativeClass("com/stowline/runtime/installer/platform/win32/VistaTaskDialog", kVistaTaskDialogRows);
