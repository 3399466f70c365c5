#include "windows/extraction.h"

#include <cstdio>
#include <ctime>
#include <set>
#include <vector>

#include "core/config_keys.h"
#include "core/payload_copy.h"
#include "core/payload_names.h"
#include "windows/base/file_probe.h"
#include "windows/base/handles.h"
#include "windows/base/security.h"
#include "windows/base/wide_text.h"
#include "windows/config_block.h"
#include "windows/error_exit.h"
#include "windows/launcher_paths.h"
#include "windows/launcher_state.h"
#include "windows/native_log.h"
#include "windows/process_environment.h"
#include "windows/temp_dirs.h"

namespace {

// One buffer for the whole extraction: large chunks keep the number of Wine file calls small.
constexpr size_t kCopyBufferSize = 1 << 20;
// Internal error code of an extract-only directory that cannot be created.
constexpr int kExtractOnlyDirectoryNotCreated = 70;
constexpr size_t kPathLimit = 6000;

struct ExtractionState {
    uint64_t unextracted = 0;
    bool completeRestart = false;
    bool freshDirectory = false;  // this run created the extraction directory: nothing in it is older
};

// The entries one extraction made, by lower-cased name: only these may be met again.
struct MadeEntries {
    bool refuseExisting = false;
    std::set<std::wstring> made;

    static std::wstring key(const std::wstring& name)
    {
        std::wstring lower = name;
        ::CharLowerBuffW(lower.data(), static_cast<DWORD>(lower.size()));
        return lower;
    }
    bool mayReplace(const std::wstring& name) const { return !refuseExisting || made.count(key(name)) != 0; }
    void add(const std::wstring& name) { made.insert(key(name)); }
};

ExtractionState& extractionState()
{
    static ExtractionState* state = new ExtractionState();
    return *state;
}

bool failureMeansNoSpace(DWORD error)
{
    return error == ERROR_ACCESS_DENIED || error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ||
           error == ERROR_WRITE_PROTECT;
}

std::string withTrailingBackslash(std::string path)
{
    if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
    return path;
}

std::wstring currentDirectory()
{
    DWORD size = ::GetCurrentDirectoryW(0, nullptr);
    if (size == 0) return {};
    std::wstring directory(size, L'\0');
    size = ::GetCurrentDirectoryW(size, directory.data());
    if (size == 0 || size >= directory.size()) return {};
    directory.resize(size);
    return directory;
}

// Copies one file's data; on a failure the partial file is removed again.
int copyToTarget(HANDLE source, int64_t length, const std::wstring& target, const std::string& targetNarrow,
                 std::vector<uint8_t>& buffer, bool mayReplace, WorkProgress& progress)
{
    // A link planted at the name is refused, never written through.
    unique_file file;
    if (!isReparsePoint(target))
        file.reset(::CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, mayReplace ? CREATE_ALWAYS : CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    else
        ::SetLastError(ERROR_FILE_EXISTS);
    if (!file) {
        DWORD error = ::GetLastError();
        logError(L"could not create %S (%d)", targetNarrow.c_str(), static_cast<int>(error));
        if (failureMeansNoSpace(error)) return kExtractionWriteFailed;
        fatalMessage(messages::kInternalError, std::to_wstring(internal_errors::kExtractedFileNotCreated).c_str());
    }
    PayloadRead read = [source, &progress](void* data, size_t size, size_t* got, uint32_t* systemError) {
        progress.stopIfCancelled();
        DWORD count = 0;
        BOOL ok = ::ReadFile(source, data, static_cast<DWORD>(size), &count, nullptr);
        if (!ok) *systemError = ::GetLastError();
        *got = count;
        return ok != FALSE;
    };
    HANDLE target_handle = file.get();
    PayloadWrite write = [target_handle](const void* data, size_t size, size_t* written, uint32_t* systemError) {
        DWORD count = 0;
        BOOL ok = ::WriteFile(target_handle, data, static_cast<DWORD>(size), &count, nullptr);
        if (!ok) *systemError = ::GetLastError();
        *written = count;
        return ok != FALSE;
    };
    PayloadCopyStatus status = copyPayloadFile(length, buffer.data(), buffer.size(), read, write);
    if (status.result == PayloadCopyResult::Done) return kExtractionDone;
    if (status.result == PayloadCopyResult::ReadFailed) {
        logInfo(L"ReadFile failed %d %d %I64d", static_cast<int>(status.lastRead), static_cast<int>(status.systemError),
                static_cast<long long>(status.copied));
    } else {
        logInfo(L"WriteFile failed %d %d", static_cast<int>(status.unwritten), static_cast<int>(status.systemError));
    }
    file.reset();
    ::DeleteFileW(target.c_str());
    return status.result == PayloadCopyResult::ReadFailed ? kExtractionReadFailed : kExtractionWriteFailed;
}

bool readLength(HANDLE source, int64_t* length)
{
    uint8_t bytes[8];
    DWORD got = 0;
    if (!::ReadFile(source, bytes, sizeof bytes, &got, nullptr) || got != sizeof bytes) {
        logInfo(L"ReadFile failed %d %d %I64d", static_cast<int>(got), static_cast<int>(::GetLastError()), 0LL);
        return false;
    }
    *length = decodePayloadLength(bytes);
    return true;
}

int extractOne(HANDLE source, const std::wstring& directory, const std::string& directoryNarrow,
               const std::string& name, std::vector<uint8_t>& buffer, MadeEntries& entries, WorkProgress& progress)
{
    const std::wstring wideName = narrowToWide(name);
    const std::string targetNarrow = directoryNarrow + "\\" + name;
    if (!isSafePayloadName(toU16(wideName))) {
        logError(L"refusing included file name \"%S\": it names no file inside the extraction directory", name.c_str());
        return kExtractionReadFailed;
    }
    const std::wstring level = toWide(firstDirectoryLevel(toU16(wideName)));
    if (!level.empty()) {
        std::wstring subdirectory = directory + L"\\" + level;
        std::string subdirectoryNarrow = directoryNarrow + "\\" + wideToNarrow(level);
        logInfo(L"creating directory %S", subdirectoryNarrow.c_str());
        if (::CreateDirectoryW(subdirectory.c_str(), nullptr)) {
            entries.add(level);
        } else if (::GetLastError() != ERROR_ALREADY_EXISTS) {
            logError(L"failed to create directory %S", subdirectoryNarrow.c_str());
        } else if (isReparsePoint(subdirectory) || !entries.mayReplace(level)) {
            // Someone else's directory or link: the file is not created through it.
            logError(L"failed to create directory %S", subdirectoryNarrow.c_str());
            fatalMessage(messages::kInternalError, std::to_wstring(internal_errors::kExtractedFileNotCreated).c_str());
        }
    }
    int64_t length = 0;
    if (!readLength(source, &length)) return kExtractionReadFailed;
    logInfo(L"extracting %S (size: %I64d)", targetNarrow.c_str(), static_cast<long long>(length));
    if (length <= 0) return kExtractionDone;
    const bool mayReplace = entries.mayReplace(wideName);
    entries.add(wideName);
    return copyToTarget(source, length, directory + L"\\" + wideName, targetNarrow, buffer, mayReplace, progress);
}

}  // namespace

int extractPayloadFiles(HANDLE source, uint64_t payloadOffset, const std::wstring& directory,
                        const std::string& nameList, int64_t count, uint64_t* unextracted, bool refuseExisting,
                        WorkProgress& progress)
{
    LARGE_INTEGER offset;
    offset.QuadPart = static_cast<LONGLONG>(payloadOffset);
    if (!::SetFilePointerEx(source, offset, nullptr, FILE_BEGIN)) {
        logError(L"could not seek to the payload (%d)", static_cast<int>(::GetLastError()));
        return kExtractionReadFailed;
    }
    const std::string directoryNarrow = wideToNarrow(directory);
    std::vector<uint8_t> buffer(kCopyBufferSize);
    MadeEntries entries;
    entries.refuseExisting = refuseExisting;
    for (const std::string& name : includedFileNames(nameList, count)) {
        int result = extractOne(source, directory, directoryNarrow, name, buffer, entries, progress);
        if (result != kExtractionDone) {
            logError(L"Failed to extract %S", name.c_str());
            return result;
        }
    }
    LARGE_INTEGER zero{};
    LARGE_INTEGER position{};
    ::SetFilePointerEx(source, zero, &position, FILE_CURRENT);
    if (unextracted) *unextracted = static_cast<uint64_t>(position.QuadPart);
    logInfo(L"unextracted position %I64d", static_cast<long long>(position.QuadPart));
    logInfo(L"extracting files done");
    return kExtractionDone;
}

namespace {

// "tlw" and 16 hex digits from the system's random generator: a name no other process can guess
// and create first. Without the generator, the clock and the process id stand in.
std::string unpredictableName()
{
    uint64_t value = 0;
    if (!unpredictableBytes(&value, sizeof value)) {
        LARGE_INTEGER counter;
        ::QueryPerformanceCounter(&counter);
        value = static_cast<uint64_t>(counter.QuadPart) * 0x9E3779B97F4A7C15ull ^
                static_cast<uint64_t>(::GetCurrentProcessId()) << 32 ^ probeRandom();
    }
    char text[24];
    std::snprintf(text, sizeof text, "tlw%08X%08X", static_cast<unsigned>(value >> 32), static_cast<unsigned>(value));
    return text;
}

// Creates directory with a DACL for this process's user (or only SYSTEM and Administrators when
// elevated) that its files inherit, and the process's integrity label; where the system refuses
// the label, with the DACL alone.
bool createPrivateDirectory(const std::string& directory)
{
    for (const std::wstring& sddl : {privateLabeledSddl(true), privateDaclSddl(true)}) {
        unique_local descriptor = securityDescriptor(sddl);
        SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
        if (descriptor && ::CreateDirectoryA(directory.c_str(), &attributes)) return true;
        if (::GetLastError() == ERROR_ALREADY_EXISTS || ::GetLastError() == ERROR_PATH_NOT_FOUND) return false;
        logInfo(L"security descriptor refused (%d): %s", static_cast<int>(::GetLastError()), sddl.c_str());
    }
    return false;
}

}  // namespace

// The extraction directory is narrow: its path is handed to the Java runtime's narrow interfaces.
void createTemporaryDirectory()
{
    for (int attempt = 0; attempt < 10; ++attempt) {
        const std::string base = userTempDirectoryNarrow();
        if (base.empty()) fatalMessage(messages::kPowerUserRequired, nullptr);
        const std::string directory = withTrailingBackslash(base);
        logInfo(L"tempPath is %S", directory.c_str());
        // The empty temp file beside the directory, made like the system's temporary file names
        // but never an existing file.
        const std::string tempFile = directory + unpredictableName() + ".tmp";
        if (!unique_file(::CreateFileA(tempFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                       nullptr)))
            logInfo(L"GetTempFileName failed (last error %d)", static_cast<int>(::GetLastError()));
        logInfo(L"tempFile is %S", tempFile.c_str());
        std::string name = tempFile + "_dir" + std::to_string(static_cast<long long>(std::time(nullptr)));
        logInfo(L"Temp dir3: %S", name.c_str());
        if (name.size() < kPathLimit && createPrivateDirectory(name)) {
            setTemporaryDirectoryName(name);
            extractionState().freshDirectory = true;
            return;
        }
        logInfo(L"Could not create dir (%d)", static_cast<int>(::GetLastError()));
    }
    clearTemporaryDirectoryName();
    fatalMessage(messages::kInternalError, std::to_wstring(internal_errors::kNoTemporaryDirectory).c_str());
}

int extractIncludedFiles(bool createDirectoryFirst, WorkProgress& progress)
{
    logInfo(L"extracting files");
    const int32_t count = configInt(keys::kIncludedFileCount);
    logInfo(L"Included files: %d", static_cast<int>(count));
    ExtractionState& state = extractionState();
    if (count <= 0) {
        if (createDirectoryFirst) clearTemporaryDirectoryName();
        state.unextracted = payloadStart();
        return kExtractionDone;
    }
    if (createDirectoryFirst) createTemporaryDirectory();
    unique_file file = openOwnExecutable();
    if (!file) fatal(kOwnFileNotOpened);
    return extractPayloadFiles(file.get(), payloadStart(), narrowToWide(temporaryDirectoryName()),
                               configStringDup(keys::kIncludedFileNames), count, &state.unextracted,
                               state.freshDirectory, progress);
}

uint64_t unextractedPosition() { return extractionState().unextracted; }

bool completeLanguageRestart() { return extractionState().completeRestart; }

namespace {

// A language restart runs inside the extraction directory of the first run.
bool restartDirectoryComplete()
{
    const std::wstring directory = currentDirectory();
    setTemporaryDirectoryName(wideToNarrow(directory));
    bool complete = true;
    if (!pathExists(directory + L"\\stwruntime.jar")) {
        logInfo(L"could not find stwruntime.jar");
        complete = false;
    } else if (!pathExists(directory + L"\\stwparams.conf")) {
        logInfo(L"could not find stwparams.conf");
        complete = false;
    }
    if (complete) return true;
    // Emptying a directory that no extraction made (a restart argument given by hand in some
    // other directory) would delete the user's files.
    if (isExtractionDirectoryPath(toU16(directory))) {
        std::string narrow = wideToNarrow(directory);
        deleteTree(narrow, true);
        ::CreateDirectoryW(directory.c_str(), nullptr);
    } else {
        logInfo(L"not emptying %s: no extraction directory", directory.c_str());
    }
    clearTemporaryDirectoryName();
    return false;
}

void createExtractOnlyDirectory()
{
    const std::string directory = executablePathNarrow() + ".test";
    logInfo(L"Extracted dir: %S", directory.c_str());
    if (!::CreateDirectoryA(directory.c_str(), nullptr)) {
        DWORD error = ::GetLastError();
        if (error != ERROR_ALREADY_EXISTS) {
            logInfo(L"Could not create dir %S (%d)", directory.c_str(), static_cast<int>(error));
            fatalMessage(messages::kInternalError, std::to_wstring(kExtractOnlyDirectoryNotCreated).c_str());
        }
    }
    setTemporaryDirectoryName(directory);
}

[[noreturn]] void failExtraction(WorkProgress& progress, int result)
{
    const std::wstring text =
        messageText(result == kExtractionWriteFailed ? messages::kNotEnoughDiskSpace : messages::kInstallationCorrupted);
    // A quiet run still says why it failed: on the console or standard error, naming the log.
    if (launcherState().quiet ||
        progress.message(text, messageText(messages::kWizardTitle), MB_OK | MB_ICONERROR) == 0)
        showError(text);
    terminate(1);
}

}  // namespace

void runExtractionStep(WorkProgress& progress)
{
    const LauncherState& launcher = launcherState();
    ExtractionState& state = extractionState();
    if (launcher.languageRestart && restartDirectoryComplete()) {
        state.completeRestart = true;
        return;
    }
    // A Cancel before this point leaves nothing to remove: no directory is made for it.
    progress.stopIfCancelled();
    if (launcher.extractOnly) createExtractOnlyDirectory();
    else createTemporaryDirectory();
    addNativeLibraryDirectories();
    const std::wstring directory = narrowToWide(temporaryDirectoryName());
    if (!::SetCurrentDirectoryW(directory.c_str()))
        logError(L"Could not change working dir to %s (%d)", directory.c_str(), static_cast<int>(::GetLastError()));
    int result = extractIncludedFiles(false, progress);
    if (result != kExtractionDone) failExtraction(progress, result);
}
