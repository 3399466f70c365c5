#include "windows/runtime_download.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "core/config_keys.h"
#include "core/status_format.h"
#include "core/transfer_rules.h"
#include "windows/base/handles.h"
#include "windows/base/wide_text.h"
#include "windows/config_block.h"
#include "windows/error_exit.h"
#include "windows/native_log.h"
#include "windows/runtime_archive.h"

namespace {

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
constexpr int kAttempts = 3;
constexpr int kLengthQueries = 20;
constexpr DWORD kReadBlock = 16384;
constexpr DWORD kStatusInterval = 500;  // milliseconds between status line updates
// INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PASSIVE
constexpr DWORD kOpenUrlFlags = 0x0C000000;
const wchar_t kDefaultStatusFormat[] = L"%.2f MB of %.2f MB (%.1f%%) at %.1f kb/s";

void pauseBySleeping(DWORD milliseconds) { ::Sleep(milliseconds); }

void closeBoth(const DownloadFunctions& net, HINTERNET internet, HINTERNET request)
{
    if (request != nullptr) net.closeHandle(request);
    if (internet != nullptr) net.closeHandle(internet);
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

const DownloadFunctions* downloadFunctions()
{
    static const std::optional<DownloadFunctions> functions = []() -> std::optional<DownloadFunctions> {
        const BoundGroup<InternetFunctions>& bound = boundInternetFunctions();
        if (bound.result == GroupBinding::NoLibrary) logError(L"Could not load wininet.dll");
        if (bound.result == GroupBinding::NoFunctions) logError(L"Could not load wininet functions");
        if (bound.get() == nullptr) return std::nullopt;
        DownloadFunctions download;
        static_cast<InternetFunctions&>(download) = bound.functions;
        download.pause = pauseBySleeping;
        return download;
    }();
    return functions ? &*functions : nullptr;
}

std::wstring downloadStatusText(const std::wstring& format, double doneMegabytes, double totalMegabytes, double percent,
                                double bytesPerMillisecond)
{
    const wchar_t* safe = formatTakesOnlyDoubles(toU16(format), 4) ? format.c_str() : kDefaultStatusFormat;
    return formatWide(safe, doneMegabytes, totalMegabytes, percent, bytesPerMillisecond);
}

bool transferToFile(const DownloadFunctions& net, WorkProgress& progress, HINTERNET internet, HINTERNET request,
                    DWORD length, const std::wstring& file)
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
        if (progress.cancelled()) {
            fail();
            progress.stopIfCancelled();
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
        if (progress.shown() && now - lastUpdate > kStatusInterval) {
            double elapsed = std::max<DWORD>(now - start, 1);
            progress.status(downloadStatusText(statusFormat, total / 1048576.0, length / 1048576.0,
                                               total * 100.0 / length, total / elapsed));
            progress.reached(static_cast<int>(static_cast<float>(total) / static_cast<float>(length) * 100.0f));
            lastUpdate = now;
        }
    }
    out.reset();
    closeBoth(net, internet, request);
    logInfo(L"download successful");
    return true;
}

bool downloadAttempt(const DownloadFunctions& net, WorkProgress& progress, const std::wstring& url,
                     const std::wstring& file)
{
    progress.status(messageText(messages::kInitializingConnection));
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
    if (net.queryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &statusSize, nullptr) &&
        (status < 200 || status > 299)) {
        logError(L"the server answered with HTTP status %d", static_cast<int>(status));
        closeBoth(net, internet, request);
        return false;
    }

    DWORD length = 0;
    for (int tries = 1;; ++tries) {
        DWORD size = sizeof length;
        if (net.queryInfoW(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size, nullptr)) break;
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
    return transferToFile(net, progress, internet, request, length, file);
}

bool downloadWithRetries(const DownloadFunctions& net, WorkProgress& progress, const std::wstring& url,
                         const std::wstring& file)
{
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        progress.stopIfCancelled();
        if (downloadAttempt(net, progress, url, file)) return true;
        net.pause(1000);
        logError(L"Retry JRE download");
    }
    return false;
}

void downloadRuntime(WorkProgress& progress, const std::wstring& configuredUrl)
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
    progress.doing(messageText(messages::kDownloadingRuntime), messageText(messages::kCancelButton));
    progress.showStatus(true);
    const DownloadFunctions* net = downloadFunctions();
    if (net == nullptr) fatalMessage(messages::kCannotInitWininet, nullptr);
    if (!downloadWithRetries(*net, progress, url, L"jre.tar.gz")) fatalMessage(messages::kDownloadError, nullptr);
    progress.showStatus(false);
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
