#include "windows/jvm_loading.h"

#include <cstdlib>
#include <vector>

#include "core/config_keys.h"
#include "core/pe_image.h"
#include "windows/base/file_probe.h"
#include "windows/base/handles.h"
#include "windows/base/system_functions.h"
#include "windows/base/wide_text.h"
#include "windows/config_block.h"
#include "windows/native_log.h"
#include "windows/process_environment.h"
#include "windows/temp_dirs.h"

namespace {

// Why the last loadJvmDll found no usable jvm.dll.
struct LoadFailure {
    bool anyExists = false;     // some VM directory held a jvm.dll
    bool otherBitness = false;  // the last one that existed is built for the other CPU
    DWORD error = 0;            // the Win32 error of the last one that existed
};

struct LoadingState {
    std::string lastBinDirectory;  // of the last tryJvmDll that loaded
    LoadFailure failure;
};

LoadingState& loading()
{
    static LoadingState* instance = new LoadingState();
    return *instance;
}

// PATH in both copies of the environment: the system's and the C runtime's own.
void setPath(const std::string& value, bool logOldLength, size_t oldLength)
{
    if (::SetEnvironmentVariableA("PATH", value.c_str())) {
        if (logOldLength)
            logInfo(L"Setting PATH %d %S", static_cast<int>(oldLength), value.c_str());
        else
            logInfo(L"Setting PATH %S", value.c_str());
    } else {
        logInfo(L"Setting PATH %S failed with error %d", value.c_str(), static_cast<int>(::GetLastError()));
    }
    std::string assignment = "PATH=" + value;
    ::_putenv(assignment.c_str());
}

std::string currentPath()
{
    DWORD size = ::GetEnvironmentVariableA("PATH", nullptr, 0);
    if (size == 0) return {};
    std::string value(size, '\0');
    DWORD length = ::GetEnvironmentVariableA("PATH", value.data(), size);
    value.resize(length < size ? length : 0);
    return value;
}

bool olderThanWindows10()
{
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!::GetVersionExA(&version)) return false;
#pragma GCC diagnostic pop
    return version.dwMajorVersion < 6 || (version.dwMajorVersion == 6 && version.dwMinorVersion < 4);
}

// Runtimes built on the universal C runtime carry ucrtbase.dll beside jvm.dll; older systems do
// not have it, and jvm.dll's own search would not find it in the bin directory.
void preloadUniversalRuntime(const std::string& binDirectory)
{
    std::string ucrt = binDirectory + "\\ucrtbase.dll";
    if (!olderThanWindows10() || !fileExists(ucrt)) return;
    logInfo(L"Preloading ucrtbase.dll 4");
    char previous[MAX_PATH + 1] = "";
    DWORD previousLength = ::GetCurrentDirectoryA(sizeof previous, previous);
    ::SetCurrentDirectoryA(binDirectory.c_str());
    if (::LoadLibraryA("ucrtbase.dll") == nullptr && ::LoadLibraryA(ucrt.c_str()) == nullptr)
        logInfo(L"Could not preload ucrtbase.dll");
    if (previousLength > 0 && previousLength <= MAX_PATH) ::SetCurrentDirectoryA(previous);
}

uint16_t ownMachine()
{
#ifdef _WIN64
    return IMAGE_FILE_MACHINE_AMD64;
#else
    return IMAGE_FILE_MACHINE_I386;
#endif
}

// Whether a jvm.dll that did not load is a PE image built for another CPU.
bool builtForOtherMachine(const std::string& dll)
{
    unique_file file(::CreateFileA(dll.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    std::vector<uint8_t> head(4096);
    DWORD read = 0;
    if (!::ReadFile(file.get(), head.data(), static_cast<DWORD>(head.size()), &read, nullptr)) return false;
    head.resize(read);
    uint16_t machine = peMachine(head);
    return machine != 0 && machine != ownMachine();
}

HMODULE tryJvmDll(const std::string& javaExe)
{
    std::string binDirectory = javaBinDirectory(javaExe);
    void* cookie = addDllDirectory(binDirectory);
    preloadUniversalRuntime(binDirectory);
    std::string oldPath = currentPath();
    setPath(binDirectory + ";" + oldPath, true, oldPath.size());

    for (const std::string& name : vmSubdirectories(configStringDup(keys::kJvmSubdirectory).substr(0, 200))) {
        std::string dll = binDirectory + "\\" + name + "\\jvm.dll";
        bool exists = fileExists(dll);
        logInfo(L"Trying %S (exists %d)", dll.c_str(), exists ? 1 : 0);
        const HeldFile held = holdExtractedFile(narrowToWide(dll));
        if (held.refused) {
            logError(L"refusing %S: a link inside the extraction directory", dll.c_str());
            continue;
        }
        HMODULE module = ::LoadLibraryA(dll.c_str());
        if (module != nullptr) {
            loading().lastBinDirectory = binDirectory;
            return module;
        }
        DWORD error = ::GetLastError();
        if (exists) {
            logInfo(L"Failed with error code %d", static_cast<int>(error));
            loading().failure = LoadFailure{true, builtForOtherMachine(dll), error};
        }
    }
    removeDllDirectory(cookie);
    setPath(oldPath, false, 0);
    return nullptr;
}

}  // namespace

HMODULE loadJvmDll(const std::string& javaExe)
{
    logInfo(L"Trying to load JVM-DLL from %S", javaExe.c_str());
    loading().failure = LoadFailure();
    HMODULE module = tryJvmDll(javaExe);
    if (module != nullptr) return module;
    return tryJvmDll(nestedJreJavaExe(javaExe));
}

// Accepts a candidate into the result and tries its jvm.dll; true when it loaded.
bool load(const Candidate& candidate, int kind, const std::string& location, SearchResult& result)
{
    result.foundKind = kind;
    result.foundLocation = location;
    HMODULE module = loadJvmDll(candidate.javaExe);
    if (module == nullptr) {
        const LoadFailure& failure = loading().failure;
        Refusal reason = !failure.anyExists      ? Refusal::NoJvmDll
                         : failure.otherBitness ? Refusal::OtherBitness
                                                : Refusal::LoadFailed;
        note(candidate.javaExe, reason, candidate.version, failure.error);
        return false;
    }
    result.module = module;
    result.javaExe = candidate.javaExe;
    result.version = candidate.version;
    return true;
}

const std::string& lastBinDirectory() { return loading().lastBinDirectory; }
