#include "natives/shell/vista_file_chooser.h"

#include <windows.h>
#include <shobjidl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "natives/jni_support.h"
#include "windows/base/handles.h"
#include "windows/base/system_functions.h"

namespace {

constexpr CLSID kFileOpenDialogClass = {0xDC1C5A9C, 0xE88A, 0x4DDE, {0xA5, 0xA1, 0x60, 0xF8, 0x2A, 0x20, 0xAE, 0xF7}};
constexpr CLSID kFileSaveDialogClass = {0xC0B4E2F3, 0xBA21, 0x4773, {0x8D, 0xBA, 0x33, 0x5E, 0xC9, 0x46, 0xEB, 0x8B}};

constexpr DWORD kOptionsGroup = 100000;

struct ShellItemFunctions {
    decltype(&::SHCreateItemFromParsingName) itemFromName = nullptr;
    decltype(&::SHCreateShellItemArrayFromShellItem) arrayFromItem = nullptr;
    bool ready() const { return itemFromName != nullptr && arrayFromItem != nullptr; }
};

// Bound once from shell32, both or neither.
const ShellItemFunctions& shellItemFunctions()
{
    static const BoundGroup<ShellItemFunctions> bound = bindGroup<ShellItemFunctions>(
        loadSystemLibrary(L"shell32.dll"), [](GroupBinder& bind, ShellItemFunctions& f) {
            bind(f.itemFromName, "SHCreateItemFromParsingName")(f.arrayFromItem, "SHCreateShellItemArrayFromShellItem");
        });
    return bound.functions;
}

// Adds the check boxes (ids 1..n), inside the group "Options:" when there is more than one.
void addCheckBoxes(IFileDialog* dialog, const std::vector<std::wstring>& labels, const std::vector<bool>& states)
{
    com_ptr<IFileDialogCustomize> customize;
    if (FAILED(dialog->QueryInterface(__uuidof(IFileDialogCustomize), customize.putVoid()))) return;
    const bool grouped = labels.size() > 1;
    if (grouped) customize->StartVisualGroup(kOptionsGroup, L"Options:");
    for (size_t i = 0; i < labels.size(); ++i)
        customize->AddCheckButton(static_cast<DWORD>(i + 1), labels[i].c_str(), states[i] ? TRUE : FALSE);
    if (grouped) customize->EndVisualGroup();
}

std::vector<bool> readCheckBoxes(IFileDialog* dialog, size_t count, const std::vector<bool>& initial)
{
    std::vector<bool> states = initial;
    com_ptr<IFileDialogCustomize> customize;
    if (count == 0 || FAILED(dialog->QueryInterface(__uuidof(IFileDialogCustomize), customize.putVoid())))
        return states;
    for (size_t i = 0; i < count; ++i) {
        BOOL checked = FALSE;
        if (SUCCEEDED(customize->GetCheckButtonState(static_cast<DWORD>(i + 1), &checked)))
            states[i] = checked != FALSE;
    }
    return states;
}

// The file-system paths of the items; null where an item has none.
jobjectArray pathsToJava(JNIEnv* env, IShellItemArray* items)
{
    DWORD count = 0;
    if (FAILED(items->GetCount(&count))) return nullptr;
    LocalRef<jclass> stringClass(env, findClassQuietly(env, "java/lang/String"));
    if (!stringClass) return nullptr;
    jobjectArray paths = (*env)->NewObjectArray(env, static_cast<jsize>(count), stringClass.get(), nullptr);
    if (clearPendingException(env) || paths == nullptr) return nullptr;
    for (DWORD i = 0; i < count; ++i) {
        com_ptr<IShellItem> item;
        if (FAILED(items->GetItemAt(i, item.put()))) continue;
        unique_cotaskmem path;
        if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, reinterpret_cast<LPWSTR*>(path.put())))) continue;
        const wchar_t* text = static_cast<const wchar_t*>(path.get());
        if (text != nullptr && *text != L'\0') setStringElement(env, paths, static_cast<jsize>(i), text);
    }
    return paths;
}

}  // namespace

extern "C" {

JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_VistaFileChooser_initialize0(JNIEnv*,
                                                                                                       jclass) noexcept
{
    guarded([&] {
        ::CoInitialize(nullptr);
    });
}

JNIEXPORT jobjectArray JNICALL Java_com_stowline_runtime_installer_platform_win32_VistaFileChooser_displayDialog0(
    JNIEnv* env, jclass, jlong parent, jstring title, jstring okLabel, jstring folder, jstring fileName,
    jint setOptions, jint clearOptions, jboolean save, jstring defaultExtension, jobjectArray filterNames,
    jobjectArray filterPatterns, jint filterIndex, jobjectArray checkLabels, jbooleanArray checkStates) noexcept
{
    return guarded(nullptr, [&]() -> jobjectArray {
        bool failed = false, failedPatterns = false, failedLabels = false;
        const std::vector<std::wstring> names = javaArrayToWide(env, filterNames, &failed);
        const std::vector<std::wstring> patterns = javaArrayToWide(env, filterPatterns, &failedPatterns);
        const std::vector<std::wstring> labels = javaArrayToWide(env, checkLabels, &failedLabels);
        if (failed || failedPatterns || failedLabels) return nullptr;
        // A name without a pattern at its index has no filter to offer.
        std::vector<COMDLG_FILTERSPEC> filters;
        for (size_t i = 0; i < std::min(names.size(), patterns.size()); ++i)
            filters.push_back({names[i].c_str(), patterns[i].c_str()});
        // States beyond the Java array start unticked and are not written back.
        std::vector<bool> states(labels.size(), false);
        const jsize stateCount = checkStates == nullptr ? 0 : (*env)->GetArrayLength(env, checkStates);
        for (jsize i = 0; i < stateCount && static_cast<size_t>(i) < labels.size(); ++i) {
            jboolean state = JNI_FALSE;
            (*env)->GetBooleanArrayRegion(env, checkStates, i, 1, &state);
            states[static_cast<size_t>(i)] = state != JNI_FALSE;
        }
        if (clearPendingException(env)) return nullptr;
        const JavaText titleText(env, title), okText(env, okLabel), folderText(env, folder), nameText(env, fileName),
            extensionText(env, defaultExtension);

        const ShellItemFunctions& functions = shellItemFunctions();
        if (!functions.ready()) return nullptr;
        com_ptr<IFileDialog> dialog;
        const IID& kind = save ? __uuidof(IFileDialog) : __uuidof(IFileOpenDialog);
        if (FAILED(::CoCreateInstance(save ? kFileSaveDialogClass : kFileOpenDialogClass, nullptr,
                                      CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, kind, dialog.putVoid())))
            return nullptr;
        FILEOPENDIALOGOPTIONS options = 0;
        dialog->GetOptions(&options);
        dialog->SetOptions((options | static_cast<DWORD>(setOptions)) & ~static_cast<DWORD>(clearOptions));
        if (!filters.empty()) {
            dialog->SetFileTypes(static_cast<UINT>(filters.size()), filters.data());
            if (filterIndex >= 0) dialog->SetFileTypeIndex(static_cast<UINT>(filterIndex) + 1);
        }
        if (!labels.empty()) addCheckBoxes(dialog.get(), labels, states);
        if (extensionText.get() != nullptr) dialog->SetDefaultExtension(extensionText.get());
        if (titleText.get() != nullptr) dialog->SetTitle(titleText.get());
        if (okText.get() != nullptr) dialog->SetOkButtonLabel(okText.get());
        dialog->ClearClientData();
        if (folderText.get() != nullptr) {
            com_ptr<IShellItem> start;
            if (SUCCEEDED(functions.itemFromName(folderText.get(), nullptr, __uuidof(IShellItem), start.putVoid())))
                dialog->SetFolder(start.get());
        }
        if (nameText.get() != nullptr) dialog->SetFileName(nameText.get());

        if (FAILED(dialog->Show(javaToHandle<HWND>(parent)))) return nullptr;
        if (stateCount > 0) writeBooleans(env, checkStates, readCheckBoxes(dialog.get(), labels.size(), states));
        com_ptr<IShellItemArray> items;
        if (save) {
            com_ptr<IShellItem> result;
            if (FAILED(dialog->GetResult(result.put())) ||
                FAILED(functions.arrayFromItem(result.get(), __uuidof(IShellItemArray), items.putVoid())))
                return nullptr;
        } else {
            auto* open = static_cast<IFileOpenDialog*>(dialog.get());
            if (FAILED(open->GetResults(items.put()))) return nullptr;
        }
        return pathsToJava(env, items.get());
    });
}

}  // extern "C"

// The rows this file binds, in registration order (registration.cpp orders the classes).
constexpr NativeMethodName kVistaFileChooserRows[] = {
    PLATFORM_ROW(VistaFileChooser, initialize0, "()V"),
    PLATFORM_ROW(VistaFileChooser, displayDialog0, "(JLjava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;IIZLjava/lang/String;[Ljava/lang/String;[Ljava/lang/String;I[Ljava/lang/String;[Z)[Ljava/lang/String;"),
};
constexpr NativeClass kVistaFileChooserNatives =
    nativeClass("com/stowline/runtime/installer/platform/win32/VistaFileChooser", kVistaFileChooserRows);
