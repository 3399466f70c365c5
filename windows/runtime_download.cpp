#include "windows/runtime_download.h"

#include <commdlg.h>

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "core/config_keys.h"
#include "core/status_format.h"
#include "core/transfer_rules.h"
#include "windows/base/handles.h"
#include "windows/base/registry.h"
#include "windows/base/system_functions.h"
#include "windows/base/wide_text.h"
#include "windows/config_block.h"
#include "windows/error_exit.h"
#include "windows/install_flags.h"
#include "windows/jvm_search.h"
#include "windows/launcher_state.h"
#include "windows/native_log.h"
#include "windows/progress_dialog.h"
#include "windows/runtime_archive.h"
#include "windows/temp_dirs.h"

namespace {

constexpr int kDownloadButton = 1004;

// Writes all of size bytes, going on after a short write (a disk filling up) until the system
// names its error; false with that error as the last error.
bool writeAll(HANDLE file, const char* bytes, DWORD size)
{
    while (size > 0) {
        DWORD written = 0;
        if (!::WriteFile(file, bytes, size, &written, nullptr)) return false;
        if (written == 0) {
            ::SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        bytes += written;
        size -= written;
    }
    return true;
}
constexpr int kLocateButton = 1005;
constexpr int kAttempts = 3;
constexpr int kLengthQueries = 20;
constexpr DWORD kReadBlock = 16384;
constexpr DWORD kStatusInterval = 500;  // milliseconds between status line updates
constexpr size_t kPathCapacity = 6000;
// INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PASSIVE
constexpr DWORD kOpenUrlFlags = 0x0C000000;
const wchar_t kDefaultStatusFormat[] = L"%.2f MB of %.2f MB (%.1f%%) at %.1f kb/s";

RuntimeAcquisition lastAcquisition = RuntimeAcquisition::None;

void pauseBySleeping(DWORD milliseconds) { ::Sleep(milliseconds); }

template <typename Function>
bool resolve(HMODULE module, const char* name, Function& function)
{
    function = boundFunction<Function>(module, name);
    return function != nullptr;
}

void closeBoth(const InternetFunctions& net, HINTERNET internet, HINTERNET request)
{
    if (request != nullptr) net.closeHandle(request);
    if (internet != nullptr) net.closeHandle(internet);
}

// The located-runtimes record of the search: a key named by the java.exe path with "/" for "\",
// under HKLM, or HKCU when HKLM cannot be written.
void recordLocatedRuntime(const std::string& javaExe)
{
    std::string name = javaExe;
    std::replace(name.begin(), name.end(), '\\', '/');
    const std::string key = "SOFTWARE\\fenmoor\\tallow\\locatedjvms\\" + name;
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        if (createKey(root, key.c_str(), KEY_ALL_ACCESS)) return;
    }
    logError(L"could not record located JRE %S", javaExe.c_str());
}

// The SHA-256 of a file, read through one handle that nobody may write while it is read; none when
// the file or the system's provider fails (logged).
std::optional<std::array<uint8_t, 32>> fileSha256(const std::wstring& path)
{
    unique_crypt_provider provider;
    unique_crypt_hash hash;
    if (!::CryptAcquireContextW(provider.put(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) ||
        !::CryptCreateHash(provider.get(), CALG_SHA_256, 0, 0, hash.put())) {
        logError(L"could not start a SHA-256 hash (error %d)", static_cast<int>(::GetLastError()));
        return std::nullopt;
    }
    unique_file file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        logError(L"could not open %s to hash it (error %d)", path.c_str(), static_cast<int>(::GetLastError()));
        return std::nullopt;
    }
    std::vector<BYTE> buffer(1 << 20);
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) ||
            (got > 0 && !::CryptHashData(hash.get(), buffer.data(), got, 0))) {
            logError(L"could not hash %s (error %d)", path.c_str(), static_cast<int>(::GetLastError()));
            return std::nullopt;
        }
        if (got == 0) break;
    }
    std::array<uint8_t, 32> digest{};
    DWORD size = static_cast<DWORD>(digest.size());
    if (!::CryptGetHashParam(hash.get(), HP_HASHVAL, digest.data(), &size, 0) || size != digest.size()) {
        logError(L"could not read the SHA-256 hash (error %d)", static_cast<int>(::GetLastError()));
        return std::nullopt;
    }
    return digest;
}

}  // namespace

const InternetFunctions* loadInternetFunctions()
{
    static InternetFunctions functions;
    static bool loaded = false;
    if (loaded) return &functions;
    // Stays loaded for later attempts and for the natives.
    HMODULE wininet = loadSystemLibrary(L"wininet.dll");
    if (wininet == nullptr) {
        logError(L"Could not load wininet.dll (error %d)", static_cast<int>(::GetLastError()));
        return nullptr;
    }
    InternetFunctions candidate;
    if (!resolve(wininet, "InternetOpenUrlW", candidate.openUrl) || !resolve(wininet, "InternetOpenW", candidate.open) ||
        !resolve(wininet, "HttpQueryInfoW", candidate.queryInfo) ||
        !resolve(wininet, "InternetAttemptConnect", candidate.attemptConnect) ||
        !resolve(wininet, "InternetCloseHandle", candidate.closeHandle) ||
        !resolve(wininet, "InternetReadFile", candidate.readFile)) {
        logError(L"Could not load wininet functions");
        return nullptr;
    }
    candidate.pause = pauseBySleeping;
    functions = candidate;
    loaded = true;
    return &functions;
}

std::wstring downloadStatusText(const std::wstring& format, double doneMegabytes, double totalMegabytes, double percent,
                                double bytesPerMillisecond)
{
    const wchar_t* safe = formatTakesOnlyDoubles(toU16(format), 4) ? format.c_str() : kDefaultStatusFormat;
    return formatWide(safe, doneMegabytes, totalMegabytes, percent, bytesPerMillisecond);
}

bool transferToFile(const InternetFunctions& net, HWND window, HINTERNET internet, HINTERNET request, DWORD length,
                    const std::wstring& file)
{
    logInfo(L"file size: %d, handle %p", static_cast<int>(length), request);
    unique_file out(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) {
        DWORD error = ::GetLastError();
        logError(L"opening the destination file %s failed with error code %d", file.c_str(), static_cast<int>(error));
        closeBoth(net, internet, request);
        return false;
    }
    auto fail = [&] {
        out.reset();
        ::DeleteFileW(file.c_str());
        closeBoth(net, internet, request);
        return false;
    };

    const std::wstring statusFormat = messageText(messages::kDownloadProgress);
    const DWORD start = ::GetTickCount();
    DWORD lastUpdate = 0;
    DWORD total = 0;
    std::vector<char> buffer(kReadBlock);
    while (total < length) {
        if (workCanceled()) {
            fail();
            stopIfCanceled();
        }
        DWORD got = 0;
        if (!net.readFile(request, buffer.data(), std::min(kReadBlock, length - total), &got)) {
            DWORD error = ::GetLastError();
            fail();
            logError(L"InternetReadFile failed with error code %d", static_cast<int>(error));
            return false;
        }
        if (got == 0) {
            logError(L"connection closed after %u of %u bytes", total, length);
            return fail();
        }
        if (!writeAll(out.get(), buffer.data(), got)) {
            DWORD error = ::GetLastError();
            fail();
            logError(L"writing the destination file %s failed with error code %d", file.c_str(), static_cast<int>(error));
            // Another attempt would fill the same disk again: say what the user can remedy.
            if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL)
                fatalMessage(messages::kNotEnoughDiskSpace, nullptr);
            return false;
        }
        total += got;
        DWORD now = ::GetTickCount();
        if (window != nullptr && now - lastUpdate > kStatusInterval) {
            double elapsed = std::max<DWORD>(now - start, 1);
            setStatusLine(window, downloadStatusText(statusFormat, total / 1048576.0, length / 1048576.0,
                                                     total * 100.0 / length, total / elapsed));
            setProgressPosition(window, static_cast<int>(static_cast<float>(total) / static_cast<float>(length) * 100.0f));
            lastUpdate = now;
        }
    }
    out.reset();
    closeBoth(net, internet, request);
    logInfo(L"download successful");
    return true;
}

bool downloadAttempt(const InternetFunctions& net, HWND window, const std::wstring& url, const std::wstring& file)
{
    setStatusLine(window, messageText(messages::kInitializingConnection));
    DWORD connect = net.attemptConnect(0);
    if (connect != 0) logError(L"InternetAttemptConnect returned %d", static_cast<int>(connect));

    // Access type 0: the system's preconfigured proxy settings.
    HINTERNET internet = net.open(L"stowline download agent", 0, nullptr, nullptr, 0);
    if (internet == nullptr) {
        logError(L"InternetOpen failed with error code %d", static_cast<int>(::GetLastError()));
        return false;
    }
    HINTERNET request = net.openUrl(internet, url.c_str(), nullptr, 0, kOpenUrlFlags, 0);
    if (request == nullptr) {
        logError(L"InternetOpenUrl failed with error code %d", static_cast<int>(::GetLastError()));
        closeBoth(net, internet, nullptr);
        return false;
    }

    // An error page (404, 500) has a length too; it must not be saved as the runtime archive.
    DWORD status = 0;
    DWORD statusSize = sizeof status;
    if (net.queryInfo(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &statusSize, nullptr) &&
        (status < 200 || status > 299)) {
        logError(L"the server answered with HTTP status %d", static_cast<int>(status));
        closeBoth(net, internet, request);
        return false;
    }

    DWORD length = 0;
    for (int tries = 1;; ++tries) {
        DWORD size = sizeof length;
        if (net.queryInfo(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size, nullptr)) break;
        logError(L"HttpQueryInfo (try %d) failed with error code %d", tries, static_cast<int>(::GetLastError()));
        if (tries == kLengthQueries) {
            logError(L"Giving up");
            closeBoth(net, internet, request);
            return false;
        }
        net.pause(300);
        net.closeHandle(request);
        request = net.openUrl(internet, url.c_str(), nullptr, 0, kOpenUrlFlags, 0);
        if (request == nullptr) {
            logError(L"InternetOpenUrl 2 failed with error code %d", static_cast<int>(::GetLastError()));
            closeBoth(net, internet, nullptr);
            return false;
        }
    }
    return transferToFile(net, window, internet, request, length, file);
}

bool downloadWithRetries(const InternetFunctions& net, HWND window, const std::wstring& url, const std::wstring& file)
{
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        stopIfCanceled();
        if (downloadAttempt(net, window, url, file)) return true;
        net.pause(1000);
        logError(L"Retry JRE download");
    }
    return false;
}

void downloadRuntime(HWND window, const std::wstring& configuredUrl)
{
    const DownloadAddress address = parseDownloadAddress(toU16(configuredUrl));
    if (address.hash == DownloadAddress::Hash::Malformed) {
        // The packager asked for a check that cannot be made: nothing is fetched.
        logError(L"the download address has a sha256 fragment that is not 64 hex digits");
        fatalMessage(messages::kDownloadError, nullptr);
    }
    if (address.plainHttp && address.hash == DownloadAddress::Hash::None)
        logError(L"warning: the runtime is downloaded over plain http without a sha256 hash and is not checked");
    // The fragment is the launcher's, not the server's.
    const std::wstring url = toWide(address.url);
    setMainText(window, messageText(messages::kDownloadingRuntime));
    setCancelLabel(window, messageText(messages::kCancelButton));
    showStatusLine(window, true);
    const InternetFunctions* net = loadInternetFunctions();
    if (net == nullptr) fatalMessage(messages::kCannotInitWininet, nullptr);
    if (!downloadWithRetries(*net, window, url, L"jre.tar.gz")) fatalMessage(messages::kDownloadError, nullptr);
    showStatusLine(window, false);
    if (address.hash == DownloadAddress::Hash::Given) {
        // Checked before anything unpacks it; fetching again would most likely bring the same bytes.
        const std::optional<std::array<uint8_t, 32>> digest = fileSha256(L"jre.tar.gz");
        if (digest != address.sha256) {
            if (digest) logError(L"the downloaded runtime does not match the sha256 hash of its address");
            ::DeleteFileW(L"jre.tar.gz");
            failCorruptedRuntime();
        }
        logInfo(L"the downloaded runtime matches its sha256 hash");
    }
}

RuntimeAcquisition downloadOrLocateRuntime(HWND window)
{
    std::wstring url(kPathCapacity, L'\0');
    url.resize(configWString(keys::kDownloadUrl, url.data(), url.size()));
    logInfo(L"Download location: %s", url.c_str());

    const LauncherState& state = launcherState();
    bool download = false;
    lastAcquisition = RuntimeAcquisition::None;
    if (configFlag(keys::kDownloadWithoutAsking) && !state.manualJre) {
        download = true;
    } else {
        INT_PTR choice = showRuntimeChoiceDialog(window, locateRuntime);
        logInfo(L"runtime choice %d", static_cast<int>(choice));
        stopIfCanceled();
        if (choice == -1) {
            // No dialog can be shown (no desktop): nobody can choose, so say what the search found.
            logError(L"could not show the runtime choice dialog %d", static_cast<int>(::GetLastError()));
            if (LoadDLL(true, nullptr, false)) return lastAcquisition;
            clearInstallStarted(true, true);
            terminate(1);
        }
        if (choice == kLocateButton) lastAcquisition = RuntimeAcquisition::Located;
        download = choice == kDownloadButton;
    }
    if (download) {
        const std::string directory = temporaryDirectoryName();
        if (!directory.empty() && !::SetCurrentDirectoryW(narrowToWide(directory).c_str()))
            logError(L"Could not change working dir to %S (%d)", directory.c_str(), static_cast<int>(::GetLastError()));
        logInfo(L"Downloading JRE");
        downloadRuntime(window, url);
        logInfo(L"Done");
        lastAcquisition = RuntimeAcquisition::Downloaded;
    }
    return lastAcquisition;
}

RuntimeAcquisition lastRuntimeAcquisition() { return lastAcquisition; }

bool locateRuntime(HWND owner)
{
    // The chosen path goes to LoadDLL and into registry key names, both narrow: the dialog is the
    // ANSI one.
    using GetOpenFileNameFn = BOOL(WINAPI*)(LPOPENFILENAMEA);
    static GetOpenFileNameFn getOpenFileName = nullptr;
    if (getOpenFileName == nullptr) {
        HMODULE comdlg = loadSystemLibrary(L"comdlg32.dll");
        if (comdlg == nullptr || !resolve(comdlg, "GetOpenFileNameA", getOpenFileName)) {
            logError(L"could not load GetOpenFileNameA");
            return false;
        }
    }
    std::vector<char> file(kPathCapacity, '\0');
    const std::string title = wideToNarrow(messageText(messages::kChooseJavaExe));
    OPENFILENAMEA request{};
    request.lStructSize = sizeof request;
    request.hwndOwner = owner;
    request.lpstrFilter = "Java EXE\0java.exe\0";  // the literal's own NUL ends the list
    request.lpstrFile = file.data();
    request.nMaxFile = static_cast<DWORD>(file.size());
    request.lpstrTitle = title.c_str();
    request.Flags = OFN_FILEMUSTEXIST;
    if (!getOpenFileName(&request)) return false;
    logInfo(L"located %S", file.data());
    if (!LoadDLL(true, file.data(), true)) return false;
    recordLocatedRuntime(file.data());
    return true;
}
