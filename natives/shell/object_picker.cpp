#include "natives/shell/object_picker.h"

#include <windows.h>
#include <ole2.h>
#include <objsel.h>

#include <cstdio>
#include <string>
#include <vector>

#include "natives/jni_support.h"
#include "natives/sid_text.h"
#include "windows/base/handles.h"
#include "windows/base/system_functions.h"

namespace {

constexpr CLSID kObjectPickerClass = {0x17D6CCD8, 0x3B7B, 0x11D2, {0xB9, 0xE0, 0x00, 0xC0, 0x4F, 0xD8, 0xDB, 0xF7}};
constexpr IID kObjectPicker = {0x0C87E64E, 0x3B7A, 0x11D2, {0xB9, 0xE0, 0x00, 0xC0, 0x4F, 0xD8, 0xDB, 0xF7}};
constexpr char kResultClass[] = "com/stowline/runtime/installer/platform/win32/ObjectPicker$Result";
constexpr char kResultConstructor[] =
    "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)V";

// The console window, found once per process by giving the console a unique title for a moment
// (in a function-local static, so concurrent first calls wait for the one search). Null for a
// process without a console title.
HWND findConsoleWindow()
{
    wchar_t oldTitle[1024] = L"";
    if (::GetConsoleTitleW(oldTitle, 1024) == 0) return nullptr;
    wchar_t uniqueTitle[64];
    std::swprintf(uniqueTitle, 64, L"%lu/%lu", ::GetTickCount(), ::GetCurrentProcessId());
    ::SetConsoleTitleW(uniqueTitle);
    ::Sleep(40);
    HWND console = ::FindWindowW(nullptr, uniqueTitle);
    ::SetConsoleTitleW(oldTitle);
    return console;
}

HWND consoleWindow()
{
    static const HWND console = findConsoleWindow();
    return console;
}

struct OwnerSearch {
    HWND console;
    HWND last;
};

BOOL CALLBACK rememberOwnWindow(HWND window, LPARAM data)
{
    auto* search = reinterpret_cast<OwnerSearch*>(data);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process == ::GetCurrentProcessId() && window != search->console && ::IsWindowVisible(window))
        search->last = window;
    return TRUE;
}

// The last visible top-level window of this process that is not the console, else the console.
HWND ownerWindow()
{
    OwnerSearch search{consoleWindow(), nullptr};
    ::EnumWindows(rememberOwnWindow, reinterpret_cast<LPARAM>(&search));
    return search.last != nullptr ? search.last : search.console;
}

DSOP_SCOPE_INIT_INFO scopeFor(bool groups, bool users, bool wellKnown, bool localOnly)
{
    DSOP_SCOPE_INIT_INFO scope{};
    scope.cbSize = sizeof(scope);
    scope.flType = localOnly ? DSOP_SCOPE_TYPE_TARGET_COMPUTER : 0x36F;
    scope.flScope = 0xC0;  // default filter: users and groups
    ULONG uplevel = 0, downlevel = 0;
    if (groups) {
        uplevel |= 0x3F4;
        downlevel |= 0x80000006;
    }
    if (users) {
        uplevel |= DSOP_FILTER_USERS;
        downlevel |= 0x80000001;
    }
    if (wellKnown) {
        uplevel |= DSOP_FILTER_WELL_KNOWN_PRINCIPALS;
        downlevel |= groups ? DSOP_DOWNLEVEL_FILTER_ALL_WELLKNOWN_SIDS : 0x800C4000;
    }
    scope.FilterFlags.Uplevel.flBothModes = uplevel;
    scope.FilterFlags.flDownlevel = downlevel;
    return scope;
}

// The SID of the first fetched attribute as text; empty when it is not a valid SID in a byte array.
std::wstring selectionSid(const DS_SELECTION& selection)
{
    if (selection.pvarFetchedAttributes == nullptr) return {};
    const VARIANT& value = selection.pvarFetchedAttributes[0];
    if (value.vt != (VT_ARRAY | VT_UI1) || value.parray == nullptr || value.parray->cDims != 1) return {};
    void* data = nullptr;
    if (FAILED(::SafeArrayAccessData(value.parray, &data))) return {};
    std::wstring text;
    const ULONG size = value.parray->rgsabound[0].cElements;
    if (size >= 8 && ::IsValidSid(data) && ::GetLengthSid(data) <= size) text = sidText(data);
    ::SafeArrayUnaccessData(value.parray);
    return text;
}

jobject resultObject(JNIEnv* env, jclass resultClass, const DS_SELECTION& selection)
{
    const std::wstring sid = selectionSid(selection);
    auto text = [env](const wchar_t* value) { return value == nullptr ? nullptr : wideToJava(env, value); };
    LocalRef<jstring> name(env, text(selection.pwzName)), path(env, text(selection.pwzADsPath)),
        objectClass(env, text(selection.pwzClass)), principal(env, text(selection.pwzUPN)),
        sidString(env, sid.empty() ? nullptr : wideToJava(env, sid));
    jvalue arguments[5];
    arguments[0].l = name.get();
    arguments[1].l = path.get();
    arguments[2].l = objectClass.get();
    arguments[3].l = principal.get();
    arguments[4].l = sidString.get();
    return newObject(env, resultClass, kResultConstructor, arguments);
}

jobjectArray selectionsToJava(JNIEnv* env, IDataObject* data)
{
    FORMATETC format{static_cast<CLIPFORMAT>(::RegisterClipboardFormatW(CFSTR_DSOP_DS_SELECTION_LIST)), nullptr,
                     DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (FAILED(data->GetData(&format, &medium))) return nullptr;
    scope_exit release([&medium] { ::ReleaseStgMedium(&medium); });
    auto* list = static_cast<const DS_SELECTION_LIST*>(::GlobalLock(medium.hGlobal));
    if (list == nullptr) return nullptr;
    scope_exit unlock([&medium] { ::GlobalUnlock(medium.hGlobal); });
    LocalRef<jclass> resultClass(env, findClassQuietly(env, kResultClass));
    if (!resultClass) return nullptr;
    jobjectArray results = (*env)->NewObjectArray(env, static_cast<jsize>(list->cItems), resultClass.get(), nullptr);
    if (clearPendingException(env) || results == nullptr) return nullptr;
    for (ULONG i = 0; i < list->cItems; ++i) {
        LocalRef<jobject> result(env, resultObject(env, resultClass.get(), list->aDsSelection[i]));
        if (!result) return nullptr;
        (*env)->SetObjectArrayElement(env, results, static_cast<jsize>(i), result.get());
        if (clearPendingException(env)) return nullptr;
    }
    return results;
}

}  // namespace

extern "C" {

JNIEXPORT jobjectArray JNICALL Java_com_stowline_runtime_installer_platform_win32_ObjectPicker_show0(
    JNIEnv* env, jclass, jboolean multiSelect, jboolean groups, jboolean users, jboolean wellKnownPrincipals,
    jboolean localComputerOnly) noexcept
{
    return guarded(nullptr, [&]() -> jobjectArray {
        if (!sidTextAvailable()) return nullptr;
        const HWND owner = ownerWindow();
        if (owner == nullptr) {
            std::printf("could not find window\n");
            std::fflush(stdout);
            return nullptr;
        }
        jobjectArray results = nullptr;
        {
            com_scope com(COINIT_APARTMENTTHREADED);
            com_ptr<IDsObjectPicker> picker;
            if (SUCCEEDED(::CoCreateInstance(kObjectPickerClass, nullptr, CLSCTX_INPROC_SERVER, kObjectPicker,
                                             picker.putVoid()))) {
                DSOP_SCOPE_INIT_INFO scope = scopeFor(groups != JNI_FALSE, users != JNI_FALSE,
                                                      wellKnownPrincipals != JNI_FALSE, localComputerOnly != JNI_FALSE);
                const wchar_t* attributes[] = {L"objectSID"};
                DSOP_INIT_INFO init{};
                init.cbSize = sizeof(init);
                init.cDsScopeInfos = 1;
                init.aDsScopeInfos = &scope;
                init.flOptions = multiSelect ? DSOP_FLAG_MULTISELECT : 0;
                init.cAttributesToFetch = 1;
                init.apwzAttributeNames = attributes;
                com_ptr<IDataObject> selection;
                if (SUCCEEDED(picker->Initialize(&init)) && picker->InvokeDialog(owner, selection.put()) == S_OK &&
                    selection)
                    results = selectionsToJava(env, selection.get());
            }
        }
        std::fflush(stdout);
        return results;
    });
}

}  // extern "C"

// The rows this file binds, in registration order (registration.cpp orders the classes).
constexpr NativeMethodName kObjectPickerRows[] = {
    PLATFORM_ROW(ObjectPicker, show0, "(ZZZZZ)[Lcom/stowline/runtime/installer/platform/win32/ObjectPicker$Result;"),
};
constexpr NativeClass kObjectPickerNatives =
    nativeClass("com/stowline/runtime/installer/platform/win32/ObjectPicker", kObjectPickerRows);
