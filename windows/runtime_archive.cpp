#include "windows/runtime_archive.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>

#include "core/config_keys.h"
#include "windows/base/file_probe.h"
#include "windows/base/handles.h"
#include "windows/base/path_forms.h"
#include "windows/base/security.h"
#include "windows/base/wide_text.h"
#include "windows/config_block.h"
#include "windows/error_exit.h"
#include "windows/native_log.h"
#include "windows/temp_dirs.h"

namespace {

constexpr DWORD kProgressInterval = 200;  // milliseconds between bar updates inside one file
constexpr unsigned kGzInputBuffer = 256 * 1024;
// The system error of the last failed file creation or write of an untar (the worker's own).
DWORD untarFileError = ERROR_SUCCESS;

bool meansNoSpace(DWORD error) { return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL; }

// A full disk is no damaged archive: the user needs the disk-space message, not a new download.
void failIfNoSpace()
{
    if (!meansNoSpace(untarFileError)) return;
    logError(L"untar: no space left (%d)", static_cast<int>(untarFileError));
    fatalMessage(messages::kNotEnoughDiskSpace, nullptr);
}

const wchar_t kCorruptedRuntime[] =
    L"The bundled JRE is corrupted. If you downloaded the setup file please download it again.";

// The gz file and the extraction directory behind the tar walk.
class GzExtraction {
public:
    GzExtraction(gzFile archive, const std::wstring& target, WorkProgress& progress, int64_t expectedSize)
        : archive_(archive), target_(target), progress_(progress), expectedSize_(expectedSize)
    {
    }

    TarInput input()
    {
        TarInput in;
        in.read = [this](void* buffer, size_t size) -> long {
            // The walk reads on the worker thread while its file calls run on a second one, where
            // a Cancel cannot unwind: the read is where a cancelled untar stops.
            progress_.stopIfCancelled();
            return ::gzread(archive_, buffer, static_cast<unsigned>(size));
        };
        in.skip = [this](size_t count) { return ::gzseek(archive_, static_cast<z_off_t>(count), SEEK_CUR) >= 0; };
        in.atEnd = [this] { return ::gzeof(archive_) != 0; };
        in.position = [this] { return static_cast<uint64_t>(std::max<z_off_t>(::gztell(archive_), 0)); };
        // zlib reports a gzip stream cut before its end as Z_BUF_ERROR, yet returns the bytes it had.
        in.truncated = [this] {
            int error = Z_OK;
            ::gzerror(archive_, &error);
            return error == Z_BUF_ERROR;
        };
        return in;
    }

    TarOutput output()
    {
        TarOutput out;
        // A link met inside the runtime directory is never written through: the directory entry
        // that met one leaves every later file uncreated, and the walk fails at the next file.
        out.makeDirectory = [this](const std::string& name) {
            const std::wstring path = pathOf(name);
            if (!::CreateDirectoryW(path.c_str(), nullptr) && isReparsePoint(path)) {
                logError(L"untar: refusing the link %s", path.c_str());
                linkMet_ = true;
            }
        };
        out.openFile = [this](const std::string& name) {
            const std::wstring path = pathOf(name);
            if (linkMet_ || isReparsePoint(path)) {
                untarFileError = ERROR_CANT_ACCESS_FILE;
                return false;
            }
            file_.reset(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
            if (!file_) untarFileError = ::GetLastError();
            return static_cast<bool>(file_);
        };
        out.write = [this](const void* bytes, size_t size) {
            progress_.stopIfCancelled();  // when no second thread could start, writes run on the worker
            // A short write (a disk filling up) is written on until the system names its error.
            const char* next = static_cast<const char*>(bytes);
            while (size > 0) {
                DWORD written = 0;
                if (!::WriteFile(file_.get(), next, static_cast<DWORD>(size), &written, nullptr)) {
                    untarFileError = ::GetLastError();
                    return false;
                }
                if (written == 0) return false;
                next += written;
                size -= written;
            }
            return true;
        };
        out.closeFile = [this] { file_.reset(); };
        out.progress = [this](uint64_t position, bool fileStart) { progress(position, fileStart); };
        out.info = [](const std::string& text) { logInfo(L"%S", text.c_str()); };
        out.report = [](const std::string& text) { logError(L"%S", text.c_str()); };
        return out;
    }

private:
    // Names are narrow text of the archive, taken in the ANSI code page like the launcher's other paths.
    std::wstring pathOf(const std::string& name) const { return target_ + L"\\" + narrowToWide(name); }

    void progress(uint64_t position, bool fileStart)
    {
        if (!progress_.shown() || expectedSize_ <= 0) return;
        DWORD now = ::GetTickCount();
        if (!fileStart && now - lastUpdate_ <= kProgressInterval) return;
        lastUpdate_ = now;
        float share = static_cast<float>(position) / static_cast<float>(expectedSize_) * 100.0f;
        progress_.reached(100 + static_cast<int>(std::min(share, 100.0f)));
    }

    gzFile archive_;
    std::wstring target_;
    WorkProgress& progress_;
    int64_t expectedSize_;
    unique_file file_;
    bool linkMet_ = false;
    DWORD lastUpdate_ = 0;
};

// The directory scan of unpackRuntimeJars over one sub-directory.
void unpackDirectory(const std::string& runtimeDirectory, const char* subDirectory, bool& started)
{
    const std::string directory = runtimeDirectory + "\\" + subDirectory;
    const std::wstring pattern = narrowToWide(directory + "\\*.jar.pack");
    WIN32_FIND_DATAW found;
    unique_find search(::FindFirstFileW(pattern.c_str(), &found));
    if (!search) return;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        const std::string name = wideToNarrow(found.cFileName);
        const std::string jar = directory + "\\" + name.substr(0, name.size() - 5);
        logInfo(L"checking %S", jar.c_str());
        if (pathExists(narrowToWide(jar))) continue;
        if (!started) {
            logInfo(L"Unpacking JRE");
            std::fputs("Preparing JRE ...\n", stdout);
            std::fflush(stdout);
            started = true;
        }
        unpackPackedJar(runtimeDirectory, directory + "\\" + name);
    } while (::FindNextFileW(search.get(), &found));
}

}  // namespace

TarOutcome untarArchive(const std::wstring& archive, const std::wstring& target, WorkProgress& progress,
                        int64_t expectedSize)
{
    TarOutcome outcome;
    gzFile file = ::gzopen_w(archive.c_str(), "rb");
    if (file == nullptr) {
        logError(L"Could not open gz-file");
        return outcome;
    }
    {
        // Closed on every way out: a cancelled walk unwinds through here, and an open archive
        // would keep the extraction directory from being removed.
        scope_exit closeArchive([file] { ::gzclose(file); });
        ::gzbuffer(file, kGzInputBuffer);
        GzExtraction extraction(file, fullPathWide(target), progress, expectedSize);
        TarInput in = extraction.input();
        TarOutput out = extraction.output();
        outcome = walkTar(in, out);
    }
    if (outcome.result == TarResult::Success)
        logInfo(L"untaring JRE was successful");
    else
        logError(L"untaring JRE was unsuccessful");
    return outcome;
}

bool untarGzip(const std::wstring& archive, const std::wstring& target, WorkProgress& progress, int64_t expectedSize)
{
    untarFileError = ERROR_SUCCESS;
    TarOutcome outcome = untarArchive(archive, target, progress, expectedSize);
    if (outcome.result != TarResult::Success) failIfNoSpace();
    if (outcome.result == TarResult::FileNotCreated)
        fatal(formatWide(L"Could not open file %S\n", outcome.failedName.c_str()));
    return outcome.result == TarResult::Success;
}

void failCorruptedRuntime() { fatal(kCorruptedRuntime); }

void unpackIncludedRuntime(WorkProgress& progress)
{
    const DWORD start = ::GetTickCount();
    logInfo(L"extracting JRE");
    // A "jre" this run did not create (a directory or a link someone planted) is never unpacked into.
    if (!::CreateDirectoryW(L"jre", nullptr)) {
        logError(L"Could not create JRE dir");
        fatal(kCorruptedRuntime);
    }
    if (!untarGzip(L"jre.tar.gz", L"jre", progress, configInt(keys::kIncludedRuntimeSize))) {
        logError(L"Could not untar JRE");
        failCorruptedRuntime();
    }
    ::DeleteFileW(L"jre.tar.gz");
    const DWORD untarDuration = ::GetTickCount() - start;
    if (configFlag(keys::kUnpackRuntimeJars)) {
        logInfo(L"JRE is packed");
        progress.unpacking(untarDuration);
        unpackRuntimeJars("jre");
        unpackRuntimeJars("jre\\jre");
        progress.unpacked();
    }
}

void unpackRuntimeJars(const std::string& runtimeDirectory)
{
    bool started = false;
    unpackDirectory(runtimeDirectory, "lib", started);
    unpackDirectory(runtimeDirectory, "lib\\ext", started);
    if (started) logInfo(L"Unpacking JRE done");
}

void unpackPackedJar(const std::string& home, const std::string& packPath)
{
    if (packPath.size() <= 5) return;
    const std::string jarPath = packPath.substr(0, packPath.size() - 5);
    if (!pathExists(narrowToWide(packPath))) {
        logInfo(L"pack path doesn't exists");
        return;
    }
    const std::string program = home + "\\bin\\unpack200.exe";
    const std::string arguments = "-r \"" + packPath + "\" \"" + jarPath + "\"";
    logInfo(L"unpack200: %S", program.c_str());
    logInfo(L"arguments: %S", arguments.c_str());

    // The program goes separately as the application name; the command line holds the arguments only.
    std::wstring programWide = narrowToWide(program);
    std::wstring commandLine = narrowToWide(arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION created{};
    const HeldFile held = holdExtractedFile(programWide);
    if (held.refused) ::SetLastError(ERROR_CANT_ACCESS_FILE);
    if (held.refused || !::CreateProcessW(programWide.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                          NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &created)) {
        logError(L"could not create unpack process (error %d)", static_cast<int>(::GetLastError()));
        fatalMessage(messages::kCouldNotUnpackJvm, nullptr);
    }
    unique_handle process(created.hProcess);
    unique_handle thread(created.hThread);
    logInfo(L"waiting for unpack200 to finish");
    ::WaitForSingleObject(process.get(), INFINITE);
    logInfo(L"unpack done");
    if (!::DeleteFileW(narrowToWide(packPath).c_str())) {
        DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND) logError(L"could not delete packed file (error %d)", static_cast<int>(error));
    }
}
