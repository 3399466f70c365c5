#include "windows/java_version.h"

#include <vector>

#include "core/config_keys.h"
#include "core/jvm_search_rules.h"
#include "windows/base/file_probe.h"
#include "windows/base/handles.h"
#include "windows/base/registry.h"
#include "windows/base/wide_text.h"
#include "windows/config_block.h"
#include "windows/native_log.h"
#include "windows/temp_dirs.h"

namespace {

constexpr DWORD kPathCapacity = 6000;
constexpr size_t kNonWorkingLimit = 50;

// java.exe paths whose jvm.dll did not load in this run.
std::vector<std::string>& nonWorkingList()
{
    static std::vector<std::string>* list = new std::vector<std::string>();
    return *list;
}
constexpr DWORD kReadBlock = 512;

CheckOutcome& outcome()
{
    static CheckOutcome* instance = new CheckOutcome();
    return *instance;
}

VersionBounds& bounds()
{
    static VersionBounds* instance = new VersionBounds();
    return *instance;
}

// An option variable saved before a probe, set back after it.
struct SavedVariable {
    const char* name = nullptr;
    bool present = false;
    std::string value;
};

std::vector<SavedVariable> saveAndClearOptionVariables()
{
    std::vector<SavedVariable> saved;
    for (const char* name : kProbeClearedVariables) {
        SavedVariable variable;
        variable.name = name;
        DWORD size = ::GetEnvironmentVariableA(name, nullptr, 0);
        if (size > 0) {
            std::string value(size, '\0');
            DWORD length = ::GetEnvironmentVariableA(name, value.data(), size);
            if (length + 1 != size) {
                logInfo(L"error reading %S", name);
            } else {
                value.resize(length);
                logInfo(L"%S is %S", name, value.c_str());
                variable.present = true;
                variable.value = value;
            }
            ::SetEnvironmentVariableA(name, nullptr);
        }
        saved.push_back(variable);
    }
    return saved;
}

void restoreOptionVariables(const std::vector<SavedVariable>& saved)
{
    for (const SavedVariable& variable : saved) {
        if (variable.present) ::SetEnvironmentVariableA(variable.name, variable.value.c_str());
    }
}

std::string shortPathOf(const std::string& path)
{
    std::string shortPath(kPathCapacity, '\0');
    DWORD length = ::GetShortPathNameA(path.c_str(), shortPath.data(), kPathCapacity);
    if (length == 0 || length >= kPathCapacity) {
        logInfo(L"Could not get short path name for %S", path.c_str());
        return path;
    }
    shortPath.resize(length);
    return shortPath;
}

// Reads the child's standard error until it closes, but never longer than timeoutMs: a child
// (or a grandchild that inherited the pipe) that hangs with the pipe open must not stall the search.
std::string readProbeOutput(HANDLE pipe, HANDLE process, DWORD timeoutMs)
{
    std::string output;
    ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    char block[kReadBlock];
    for (;;) {
        DWORD available = 0;
        if (!::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) break;  // closed and drained
        if (available > 0) {
            DWORD read = 0;
            if (!::ReadFile(pipe, block, available < kReadBlock ? available : kReadBlock, &read, nullptr) || read == 0)
                break;
            output.append(block, read);
            continue;
        }
        ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) break;
        // Sleeps while the child runs; once it has ended, the next peek drains or ends the loop.
        ::WaitForSingleObject(process, 10);
    }
    return output;
}

// The last write time of an existing file (not a directory); a name with wildcards names no file.
bool findFile(const std::string& path, FILETIME& lastWrite)
{
    if (path.find_first_of("*?") != std::string::npos) return false;
    WIN32_FIND_DATAA data{};
    unique_find find(::FindFirstFileA(path.c_str(), &data));
    if (!find || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
    lastWrite = data.ftLastWriteTime;
    return true;
}

bool judge(const std::string& version, bool betaAllowed)
{
    const VersionBounds& limits = bounds();
    VersionVerdict verdict =
        judgeVersion(version, limits.minimum, limits.maximum, betaAllowed || configFlag(keys::kAllowBetaVm));
    if (verdict == VersionVerdict::BetaRefused) {
        logInfo(L"beta vm not allowed");
        outcome().reason = Refusal::Beta;
    } else if (verdict == VersionVerdict::OutOfRange) {
        outcome().reason = boundRefusal(version, limits.minimum, limits.maximum);
    }
    return verdict == VersionVerdict::Acceptable;
}

}  // namespace

void setVersionBounds(const std::string& minimum, const std::string& maximum)
{
    VersionBounds& limits = bounds();
    limits.minimumText = minimum;
    limits.maximumText = maximum;
    limits.minimum = parseVersion(minimum);
    limits.maximum = parseVersion(maximum);
}

const VersionBounds& versionBounds() { return bounds(); }

std::string normaliseJavaPath(const std::string& path)
{
    std::string combined = startsWithDriveOrUnc(path) ? path : executableDirectoryNarrow() + path;
    std::string full(kPathCapacity, '\0');
    DWORD length = ::GetFullPathNameA(combined.c_str(), kPathCapacity, full.data(), nullptr);
    if (length == 0 || length >= kPathCapacity) {
        full = combined;
    } else {
        full.resize(length);
    }
    if (!full.empty()) ::CharLowerBuffA(full.data(), static_cast<DWORD>(full.size()));
    return collapseBackslashesAfterFirst(full);
}

bool readCachedVersion(const std::string& path, const FILETIME& lastWrite, std::string& version)
{
    unique_hkey key = openKey(HKEY_CURRENT_USER, versionCacheKey(path).c_str(), KEY_READ);
    if (!key) return false;
    // A larger buffer than 8 bytes, so that longer data is seen as a mismatch rather than an error.
    std::vector<uint8_t> stored(64);
    DWORD size = static_cast<DWORD>(stored.size());
    if (::RegQueryValueExA(key.get(), "LastWriteTime", nullptr, nullptr, stored.data(), &size) != ERROR_SUCCESS)
        return false;
    stored.resize(size);
    if (!cacheWriteTimeMatches(stored, cacheWriteTimeBytes(lastWrite.dwLowDateTime, lastWrite.dwHighDateTime)))
        return false;
    std::vector<uint8_t> text(kPathCapacity);
    size = static_cast<DWORD>(text.size());
    if (::RegQueryValueExA(key.get(), "Version", nullptr, nullptr, text.data(), &size) != ERROR_SUCCESS)
        return false;
    text.resize(size);
    std::string cached = cacheVersionText(text);
    if (cached.empty() || cacheVersionIgnored(cached)) return false;
    version = cached;
    return true;
}

void writeCachedVersion(const std::string& path, const FILETIME& lastWrite, const std::string& version)
{
    unique_hkey key = createKey(HKEY_CURRENT_USER, versionCacheKey(path).c_str(), KEY_ALL_ACCESS);
    if (!key) return;
    std::array<uint8_t, 8> time = cacheWriteTimeBytes(lastWrite.dwLowDateTime, lastWrite.dwHighDateTime);
    ::RegSetValueExA(key.get(), "LastWriteTime", 0, REG_BINARY, time.data(), static_cast<DWORD>(time.size()));
    std::vector<uint8_t> data = cacheVersionData(version);
    ::RegSetValueExA(key.get(), "Version", 0, REG_SZ, data.data(), static_cast<DWORD>(data.size()));
}

bool probeVersion(const std::string& path, const FILETIME& lastWrite, std::string& version, DWORD timeoutMs)
{
    std::string commandLine = versionProbeCommandLine(shortPathOf(path));
    std::vector<SavedVariable> saved = saveAndClearOptionVariables();
    scope_exit restore([&saved] { restoreOptionVariables(saved); });

    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    unique_handle readEnd;
    unique_handle writeEnd;
    if (!::CreatePipe(readEnd.put(), writeEnd.put(), &inheritable, 0)) {
        logInfo(L"CreatePipe error (%d)", static_cast<int>(::GetLastError()));
        return false;
    }
    if (!::SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0)) {
        logInfo(L"SetHandleInformation error (%d)", static_cast<int>(::GetLastError()));
        return false;
    }

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_HIDE;
    startup.hStdError = writeEnd.get();
    PROCESS_INFORMATION information{};
    std::vector<char> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back('\0');
    const HeldFile held = holdExtractedFile(narrowToWide(path));
    if (held.refused) {
        logError(L"refusing %S: a link inside the extraction directory", path.c_str());
        return false;
    }
    BOOL created = ::CreateProcessA(nullptr, mutableLine.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS,
                                    nullptr, nullptr, &startup, &information);
    DWORD createError = ::GetLastError();
    // Only the child may hold the write end, or the pipe never reports its end.
    writeEnd.reset();
    if (!created) {
        logInfo(L"Could not create process %S (error %d)", commandLine.c_str(), static_cast<int>(createError));
        return false;
    }
    unique_handle process(information.hProcess);
    unique_handle thread(information.hThread);

    std::string output = readProbeOutput(readEnd.get(), process.get(), timeoutMs);
    ::WaitForSingleObject(process.get(), timeoutMs);
    restore.release();
    restoreOptionVariables(saved);

    DWORD exitCode = 0;
    if (!::GetExitCodeProcess(process.get(), &exitCode)) return false;
    logInfo(L"Exit Code %d", static_cast<int>(exitCode));
    if (exitCode == STILL_ACTIVE) {
        logInfo(L"Terminating process");
        ::TerminateProcess(process.get(), 1);
        return false;
    }
    if (exitCode != 0) {
        writeCachedVersion(path, lastWrite, kFailedProbeVersion);
        return false;
    }
    std::vector<std::string> found = versionsInJavaOutput(output);
    for (const std::string& text : found) logInfo(L"Java version2: %S", text.c_str());
    if (found.empty()) return false;
    version = found.back();
    return true;
}

bool markNonWorking(const std::string& javaExe)
{
    std::vector<std::string>& list = nonWorkingList();
    list.push_back(javaExe);
    logInfo(L"add non-working java %S", javaExe.c_str());
    return list.size() < kNonWorkingLimit;
}

bool isNonWorking(const std::string& javaExe)
{
    for (const std::string& entry : nonWorkingList()) {
        if (entry == javaExe) return true;
    }
    return false;
}

const CheckOutcome& lastCheckOutcome() { return outcome(); }

bool checkJavaExe(std::string& path, CheckRules rules, std::string& version)
{
    const bool betaAllowed = rules.betaAllowed;
    const VersionBounds& limits = bounds();
    logInfo(L"checkJavaExe (%S, [out], %d, %d, %d)", path.c_str(), static_cast<int>(limits.minimum.size()),
            static_cast<int>(limits.maximum.size()), betaAllowed ? 1 : 0);
    path = normaliseJavaPath(path);
    outcome() = CheckOutcome{Refusal::Missing, {}};
    FILETIME lastWrite{};
    if (!findFile(path, lastWrite)) {
        logInfo(L"file doesn't exist");
        return false;
    }
    logInfo(L"file exists");
    outcome().reason = Refusal::None;

    bool verdict = false;
    std::string cached;
    if (rules.useCache && readCachedVersion(path, lastWrite, cached) && cached != kFailedProbeVersion) {
        logInfo(L"got version from registry %S", cached.c_str());
        version = cached;
        outcome().version = version;
        verdict = judge(version, betaAllowed);
    } else {
        std::string probed;
        if (!probeVersion(path, lastWrite, probed)) {
            logInfo(L"couldn't get version");
            outcome().reason = Refusal::NoVersion;
            return false;
        }
        logInfo(L"got version from execution %S", probed.c_str());
        if (rules.writeCache) writeCachedVersion(path, lastWrite, probed);
        version = probed;
        outcome().version = version;
        verdict = judge(version, betaAllowed);
    }

    if (verdict && configInt(keys::kLauncherType) == 1) {
        path = windowedJavaPath(path);
        verdict = fileExists(path);
        if (!verdict) outcome().reason = Refusal::NoWindowedExe;
    }
    if (isNonWorking(path)) {
        outcome().reason = Refusal::NonWorking;
        return false;
    }
    logInfo(L"checkJavaExe returning %d", verdict ? 1 : 0);
    return verdict;
}
