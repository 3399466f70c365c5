#include "natives/registry/registry.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "core/multi_string.h"
#include "natives/jni_support.h"
#include "natives/shell_functions.h"
#include "windows/base/registry.h"
#include "windows/base/security.h"
#include "windows/base/system_functions.h"

namespace {

HKEY predefinedRoot(jint root)
{
    switch (root) {
    case 1: return HKEY_CLASSES_ROOT;
    case 2: return HKEY_CURRENT_USER;
    case 3: return HKEY_LOCAL_MACHINE;
    case 4: return HKEY_USERS;
    case 5: return HKEY_CURRENT_CONFIG;
    default: return nullptr;
    }
}

enum class KeyAccess { Read, Write, Create };

unique_hkey openRegistryKey(JNIEnv* env, jint root, jstring path, KeyAccess access, jint view)
{
    const HKEY parent = predefinedRoot(root);
    if (parent == nullptr) return {};
    const JavaText subKey(env, path);
    const auto viewFlags = static_cast<REGSAM>(view);
    switch (access) {
    case KeyAccess::Create: return createKey(parent, subKey.get(), KEY_ALL_ACCESS, viewFlags);
    case KeyAccess::Write: return openKey(parent, subKey.get(), KEY_READ | KEY_SET_VALUE, viewFlags);
    default: return openKey(parent, subKey.get(), KEY_READ, viewFlags);
    }
}

struct RawValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

// The value whole, whatever its size: a first read into a small buffer serves the usual value in
// one call; a larger one is read again at the size the registry reports (it may grow meanwhile).
std::optional<RawValue> queryValue(HKEY key, const wchar_t* name)
{
    RawValue value;
    value.data.resize(1024);
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD size = static_cast<DWORD>(value.data.size());
        LSTATUS status = ::RegQueryValueExW(key, name, nullptr, &value.type, value.data.data(), &size);
        if (status == ERROR_MORE_DATA) {
            value.data.resize(size > value.data.size() ? size : value.data.size() * 2);
            continue;
        }
        if (status != ERROR_SUCCESS) return std::nullopt;
        value.data.resize(size);
        return value;
    }
    return std::nullopt;
}

// REG_SZ data as text: every unit, less one trailing NUL.
std::wstring storedText(const std::vector<BYTE>& data)
{
    std::wstring text(data.size() / sizeof(wchar_t), L'\0');
    if (!text.empty()) std::copy(data.begin(), data.begin() + text.size() * sizeof(wchar_t), reinterpret_cast<BYTE*>(text.data()));
    if (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

jobject valueToJava(JNIEnv* env, const RawValue& value)
{
    switch (value.type) {
    case REG_SZ: return wideToJava(env, storedText(value.data));
    case REG_EXPAND_SZ: {
        LocalRef<jstring> text(env, wideToJava(env, storedText(value.data)));
        if (!text) return nullptr;
        jvalue argument;
        argument.l = text.get();
        return newObject(env, "com/stowline/api/windows/WinRegistry$ExpandString", "(Ljava/lang/String;)V", &argument);
    }
    case REG_BINARY: return bytesToJava(env, value.data.data(), value.data.size());
    case REG_DWORD: {
        // Shorter data holds no whole number: reading it would take bytes the value does not have.
        jint number = 0;
        if (value.data.size() < sizeof number) return nullptr;
        std::memcpy(&number, value.data.data(), sizeof number);
        return boxInteger(env, number);
    }
    case REG_QWORD: {
        jlong number = 0;
        if (value.data.size() < sizeof number) return nullptr;
        std::memcpy(&number, value.data.data(), sizeof number);
        return boxLong(env, number);
    }
    case REG_MULTI_SZ: {
        const std::vector<std::u16string> texts = unpackMultiString(
            reinterpret_cast<const char16_t*>(value.data.data()), value.data.size() / sizeof(char16_t));
        std::vector<std::wstring> wide;
        wide.reserve(texts.size());
        for (const std::u16string& text : texts) wide.emplace_back(text.begin(), text.end());
        return wideArrayToJava(env, wide, ArrayElement::Fail);
    }
    default: return nullptr;
    }
}

bool isInstance(JNIEnv* env, jobject object, const char* className)
{
    if (object == nullptr) return false;
    LocalRef<jclass> expected(env, findClassQuietly(env, className));
    return expected && (*env)->IsInstanceOf(env, object, expected.get());
}

template <typename Unit>
std::vector<BYTE> bytesOf(const Unit* units, size_t count)
{
    const auto* first = reinterpret_cast<const BYTE*>(units);
    return std::vector<BYTE>(first, first + count * sizeof(Unit));
}

// What one write stores. Data is written whole or not at all; the registry's own limits answer
// through the status of the write.
struct PreparedValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

constexpr size_t kMaxValueBytes = 0xFFFFFFFEu;  // what the 32-bit size of a write can express

std::optional<PreparedValue> prepareValue(JNIEnv* env, jobject value, jint valueType)
{
    PreparedValue prepared;
    switch (valueType) {
    case 1:
    case 5: {
        if (!isInstance(env, value, "java/lang/String")) return std::nullopt;
        std::wstring text = javaToWide(env, static_cast<jstring>(value));
        text.push_back(L'\0');
        prepared.type = valueType == 1 ? REG_SZ : REG_EXPAND_SZ;
        prepared.data = bytesOf(text.data(), text.size());
        break;
    }
    case 2: {
        jint number = 0;
        if (!unboxInteger(env, value, number)) return std::nullopt;
        prepared.type = REG_DWORD;
        prepared.data = bytesOf(&number, 1);
        break;
    }
    case 6: {
        jlong number = 0;
        if (!unboxLong(env, value, number)) return std::nullopt;
        prepared.type = REG_QWORD;
        prepared.data = bytesOf(&number, 1);
        break;
    }
    case 3: {
        if (!isInstance(env, value, "[Ljava/lang/String;")) return std::nullopt;
        bool failed = false;
        const std::vector<std::wstring> texts = javaArrayToWide(env, static_cast<jobjectArray>(value), &failed);
        if (failed) return std::nullopt;
        std::vector<std::u16string> units;
        units.reserve(texts.size());
        for (const std::wstring& text : texts) units.emplace_back(text.begin(), text.end());
        auto data = packMultiString(units, kMaxValueBytes / sizeof(char16_t));
        if (!data) return std::nullopt;
        prepared.type = REG_MULTI_SZ;
        prepared.data = bytesOf(data->data(), data->size());
        break;
    }
    case 4: {
        if (!isInstance(env, value, "[B")) return std::nullopt;
        bool isNull = false;
        std::vector<uint8_t> bytes = javaToBytes(env, static_cast<jbyteArray>(value), &isNull);
        if (isNull || clearPendingException(env)) return std::nullopt;
        prepared.type = REG_BINARY;
        prepared.data.assign(bytes.begin(), bytes.end());
        break;
    }
    default: return std::nullopt;
    }
    if (prepared.data.size() > kMaxValueBytes) return std::nullopt;
    return prepared;
}


// Deletes name under parent with everything below it, children last-enumerated first. Statuses are
// ignored: what cannot be deleted stays.
void deleteKeyTree(HKEY parent, const wchar_t* name, REGSAM view)
{
    {
        unique_hkey key = openKey(parent, name, KEY_READ, view);
        if (!key) return;
        const std::vector<std::wstring> children = subkeyNames(key.get());
        for (auto child = children.rbegin(); child != children.rend(); ++child)
            deleteKeyTree(key.get(), child->c_str(), view);
    }
    auto deleteKeyEx = view != 0 ? LOADED_FUNCTION(L"advapi32.dll", RegDeleteKeyExW) : nullptr;
    if (deleteKeyEx != nullptr)
        deleteKeyEx(parent, name, view, 0);
    else
        ::RegDeleteKeyW(parent, name);
}

bool hasContent(HKEY key)
{
    DWORD subkeys = 0, values = 0;
    if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                           nullptr, nullptr) != ERROR_SUCCESS)
        return true;
    return subkeys != 0 || values != 0;
}

// The names a lister reads from the key (subkeys or values); the key is closed before the
// String[] is made. Null when the key does not open.
jobjectArray keyNames(JNIEnv* env, jint root, jstring path, jint view,
                      std::vector<std::wstring> (*lister)(HKEY key))
{
    std::vector<std::wstring> names;
    {
        unique_hkey key = openRegistryKey(env, root, path, KeyAccess::Read, view);
        if (!key) return nullptr;
        names = lister(key.get());
    }
    return wideArrayToJava(env, names);
}

}  // namespace

extern "C" JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_Registry_keyExists0(
    JNIEnv* env, jclass, jint root, jstring path, jint view) noexcept
{
    return guarded(JNI_FALSE, [&]() -> jboolean {
        return openRegistryKey(env, root, path, KeyAccess::Read, view) ? JNI_TRUE : JNI_FALSE;
    });
}

extern "C" JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_Registry_createKey0(
    JNIEnv* env, jclass, jint root, jstring path, jint view) noexcept
{
    return guarded(JNI_FALSE, [&]() -> jboolean {
        return openRegistryKey(env, root, path, KeyAccess::Create, view) ? JNI_TRUE : JNI_FALSE;
    });
}

extern "C" JNIEXPORT jobject JNICALL Java_com_stowline_runtime_installer_platform_win32_Registry_getValue0(
    JNIEnv* env, jclass, jint root, jstring path, jstring name, jint view) noexcept
{
    return guarded(nullptr, [&]() -> jobject {
        std::optional<RawValue> value;
        {
            unique_hkey key = openRegistryKey(env, root, path, KeyAccess::Read, view);
            if (!key) return nullptr;
            const JavaText valueName(env, name);
            value = queryValue(key.get(), valueName.get());
        }
        return value ? valueToJava(env, *value) : nullptr;
    });
}

extern "C" JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_Registry_setValue0(
    JNIEnv* env, jclass, jint root, jstring path, jstring name, jobject value, jint valueType, jint view) noexcept
{
    return guarded(JNI_FALSE, [&]() -> jboolean {
        unique_hkey key = openRegistryKey(env, root, path, KeyAccess::Create, view);
        if (!key) return JNI_FALSE;
        const JavaText valueName(env, name);
        std::optional<PreparedValue> prepared = prepareValue(env, value, valueType);
        if (!prepared) return JNI_FALSE;
        LSTATUS status = ::RegSetValueExW(key.get(), valueName.get(), 0, prepared->type, prepared->data.data(),
                                          static_cast<DWORD>(prepared->data.size()));
        if (status == ERROR_SUCCESS) return JNI_TRUE;
        std::printf("no success %d\n", static_cast<int>(status));
        std::fflush(stdout);
        return JNI_FALSE;
    });
}

extern "C" JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_Registry_deleteValue0(
    JNIEnv* env, jclass, jint root, jstring path, jstring name, jint view) noexcept
{
    guarded([&] {
        unique_hkey key = openRegistryKey(env, root, path, KeyAccess::Write, view);
        if (!key) return;
        const JavaText valueName(env, name);
        ::RegDeleteValueW(key.get(), valueName.get());
    });
}

extern "C" JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_Registry_deleteKey0(
    JNIEnv* env, jclass, jint root, jstring path, jboolean onlyIfEmpty, jint view) noexcept
{
    guarded([&] {
        if (onlyIfEmpty) {
            unique_hkey key = openRegistryKey(env, root, path, KeyAccess::Write, view);
            if (key && hasContent(key.get())) return;
        }
        const HKEY parent = predefinedRoot(root);
        const JavaText subKey(env, path);
        // A null or empty path names the root itself: emptying a whole hive is never what is asked.
        if (parent == nullptr || subKey.text().empty()) return;
        deleteKeyTree(parent, subKey.get(), static_cast<REGSAM>(view));
    });
}

extern "C" JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_Registry_saveKey0(
    JNIEnv* env, jclass, jint root, jstring path, jstring file, jint view) noexcept
{
    return guarded(JNI_FALSE, [&]() -> jboolean {
        if (!enablePrivilege(SE_BACKUP_NAME)) return JNI_FALSE;
        unique_hkey key = openRegistryKey(env, root, path, KeyAccess::Write, view);
        if (!key) return JNI_FALSE;
        const JavaText fileName(env, file);
        return ::RegSaveKeyW(key.get(), fileName.get(), nullptr) == ERROR_SUCCESS ? JNI_TRUE : JNI_FALSE;
    });
}

extern "C" JNIEXPORT jboolean JNICALL Java_com_stowline_runtime_installer_platform_win32_Registry_restoreKey0(
    JNIEnv* env, jclass, jint root, jstring path, jstring file, jint view) noexcept
{
    return guarded(JNI_FALSE, [&]() -> jboolean {
        if (!enablePrivilege(SE_BACKUP_NAME) || !enablePrivilege(SE_RESTORE_NAME)) return JNI_FALSE;
        unique_hkey key = openRegistryKey(env, root, path, KeyAccess::Create, view);
        if (!key) return JNI_FALSE;
        const JavaText fileName(env, file);
        return ::RegRestoreKeyW(key.get(), fileName.get(), 0) == ERROR_SUCCESS ? JNI_TRUE : JNI_FALSE;
    });
}

extern "C" JNIEXPORT jobjectArray JNICALL Java_com_stowline_runtime_installer_platform_win32_Registry_enumSubKeys0(
    JNIEnv* env, jclass, jint root, jstring path, jint view) noexcept
{
    return guarded(nullptr, [&]() -> jobjectArray {
        return keyNames(env, root, path, view, subkeyNames);
    });
}

extern "C" JNIEXPORT jobjectArray JNICALL Java_com_stowline_runtime_installer_platform_win32_Registry_enumValues0(
    JNIEnv* env, jclass, jint root, jstring path, jint view) noexcept
{
    return guarded(nullptr, [&]() -> jobjectArray {
        return keyNames(env, root, path, view, valueNames);
    });
}

extern "C" JNIEXPORT void JNICALL Java_com_stowline_runtime_installer_platform_win32_Registry_changeNotifyAssociations0(
    JNIEnv*, jclass) noexcept
{
    guarded([&] {
        shellChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    });
}

// The rows this file binds, in registration order (registration.cpp orders the classes).
constexpr NativeMethodName kRegistryRows[] = {
    PLATFORM_ROW(Registry, keyExists0, "(ILjava/lang/String;I)Z"),
    PLATFORM_ROW(Registry, createKey0, "(ILjava/lang/String;I)Z"),
    PLATFORM_ROW(Registry, getValue0, "(ILjava/lang/String;Ljava/lang/String;I)Ljava/lang/Object;"),
    PLATFORM_ROW(Registry, setValue0, "(ILjava/lang/String;Ljava/lang/String;Ljava/lang/Object;II)Z"),
    PLATFORM_ROW(Registry, deleteValue0, "(ILjava/lang/String;Ljava/lang/String;I)V"),
    PLATFORM_ROW(Registry, deleteKey0, "(ILjava/lang/String;ZI)V"),
    PLATFORM_ROW(Registry, saveKey0, "(ILjava/lang/String;Ljava/lang/String;I)Z"),
    PLATFORM_ROW(Registry, restoreKey0, "(ILjava/lang/String;Ljava/lang/String;I)Z"),
    PLATFORM_ROW(Registry, enumSubKeys0, "(ILjava/lang/String;I)[Ljava/lang/String;"),
    PLATFORM_ROW(Registry, enumValues0, "(ILjava/lang/String;I)[Ljava/lang/String;"),
    PLATFORM_ROW(Registry, changeNotifyAssociations0, "()V"),
};
constexpr NativeClass kRegistryNatives =
    nativeClass("com/stowline/runtime/installer/platform/win32/Registry", kRegistryRows);
