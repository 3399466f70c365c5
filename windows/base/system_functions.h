// Optional operating-system functions, bound at run time by library and name. Their absence is
// normal on older systems and under Wine: every lookup answers null and the caller falls back.
//
// The type comes from the SDK's declaration wherever the headers have one, so it cannot drift;
// the macros below name the function once, for its type and its export alike:
//
//     static const auto convert = SYSTEM_FUNCTION(L"advapi32.dll", ConvertStringSidToSidW);
//
// A function-local static binds once per site: the language initialises it once, also when first
// calls race, so no flag or lock is needed. Without the static the lookup runs on every call
// (where the function must be looked up each time). A group used only whole binds with bindGroup.
#pragma once

#include <windows.h>

namespace system_functions_detail {
FARPROC address(HMODULE module, const char* name);
}

// A system DLL loaded by its full path in the system directory, never from the search path;
// null when it cannot be loaded. The module stays loaded for the life of the process.
HMODULE loadSystemLibrary(const wchar_t* name);

// The function name of module, typed; null when module is null or lacks it.
template <typename Function>
Function boundFunction(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(system_functions_detail::address(module, name)));
}

// The function name of a system library (loadSystemLibrary); null when either is missing.
template <typename Function>
Function systemFunction(const wchar_t* library, const char* name)
{
    return boundFunction<Function>(loadSystemLibrary(library), name);
}

// The function name of an already loaded module (GetModuleHandleW); null when either is missing.
template <typename Function>
Function loadedFunction(const wchar_t* module, const char* name)
{
    return boundFunction<Function>(::GetModuleHandleW(module), name);
}

// A kernel32 function; null when this system's kernel32 lacks it.
template <typename Function>
Function kernelFunction(const char* name)
{
    return loadedFunction<Function>(L"kernel32.dll", name);
}

// The real Windows version from ntdll (GetVersionEx answers by the manifest); false when unknown.
bool realWindowsVersion(OSVERSIONINFOEXW& version);

// AddDllDirectory / RemoveDllDirectory where the system has them (null cookie / false otherwise).
DLL_DIRECTORY_COOKIE systemAddDllDirectory(const wchar_t* directory);
bool systemRemoveDllDirectory(DLL_DIRECTORY_COOKIE cookie);

// All-or-nothing binding of a group of functions that is only of use whole, e.g.
//
//     struct Net { decltype(&::InternetOpenW) open; decltype(&::InternetCloseHandle) close; };
//     static const BoundGroup<Net> net = bindGroup<Net>(loadSystemLibrary(L"wininet.dll"),
//         [](GroupBinder& bind, Net& f) { bind(f.open, "InternetOpenW")(f.close, "InternetCloseHandle"); });
//     if (const Net* functions = net.get()) ...
enum class GroupBinding { Bound, NoLibrary, NoFunctions };

template <typename Group>
struct BoundGroup {
    Group functions{};
    GroupBinding result = GroupBinding::NoLibrary;
    // The functions when every one was bound, else null.
    const Group* get() const { return result == GroupBinding::Bound ? &functions : nullptr; }
};

// Fills a group's members by name, noting whether every one was found.
class GroupBinder {
public:
    explicit GroupBinder(HMODULE module) : module_(module) {}
    template <typename Function>
    GroupBinder& operator()(Function& member, const char* name)
    {
        member = boundFunction<Function>(module_, name);
        complete_ = complete_ && member != nullptr;
        return *this;
    }
    bool complete() const { return complete_; }

private:
    HMODULE module_;
    bool complete_ = true;
};

// Binds the group that fill(binder, group) names from module: Bound with every member, else
// NoLibrary (module null) or NoFunctions, and then no member is set.
template <typename Group, typename Fill>
BoundGroup<Group> bindGroup(HMODULE module, Fill fill)
{
    BoundGroup<Group> bound;
    if (module == nullptr) return bound;
    GroupBinder binder(module);
    fill(binder, bound.functions);
    if (binder.complete()) {
        bound.result = GroupBinding::Bound;
    } else {
        bound.functions = Group{};
        bound.result = GroupBinding::NoFunctions;
    }
    return bound;
}

// The forms above for a function the SDK declares: its type from that declaration, its export
// name from the same token.
#define BOUND_FUNCTION(module, function) boundFunction<decltype(&::function)>(module, #function)
#define SYSTEM_FUNCTION(library, function) systemFunction<decltype(&::function)>(library, #function)
#define LOADED_FUNCTION(module, function) loadedFunction<decltype(&::function)>(module, #function)
#define KERNEL_FUNCTION(function) kernelFunction<decltype(&::function)>(#function)
