#include "windows/payload_check.h"

#include <algorithm>
#include <vector>

#include "core/config_format.h"
#include "core/config_keys.h"
#include "core/crc32.h"
#include "windows/config_block.h"
#include "windows/base/handles.h"
#include "windows/error_exit.h"
#include "windows/launcher_state.h"
#include "windows/native_log.h"
#include "windows/progress_dialog.h"

namespace {

// Large sequential reads: the check is bound by the read, and fewer calls cost less under Wine.
constexpr DWORD kReadBlock = 1u << 20;

uint32_t littleEndian32(const uint8_t* at)
{
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 | static_cast<uint32_t>(at[2]) << 16 |
           static_cast<uint32_t>(at[3]) << 24;
}

int64_t littleEndian64(const uint8_t* at)
{
    return static_cast<int64_t>(static_cast<uint64_t>(littleEndian32(at)) |
                                static_cast<uint64_t>(littleEndian32(at + 4)) << 32);
}

// Bytes from the current position to the end of the file; -1 when unknown.
int64_t bytesLeft(HANDLE file)
{
    LARGE_INTEGER zero{}, position{}, size{};
    if (!::SetFilePointerEx(file, zero, &position, FILE_CURRENT) || !::GetFileSizeEx(file, &size)) return -1;
    return size.QuadPart - position.QuadPart;
}

// The corrupted-installation message: a box captioned 20013 for GUI installers, the console or
// standard error for quiet ones (and when no box can be shown).
void showCorrupted(HWND window)
{
    const std::wstring text = messageText(messages::kInstallationCorrupted);
    if (guiErrors()) {
        const std::wstring caption = messageText(messages::kWizardTitle);
        if (::MessageBoxW(window, text.c_str(), caption.c_str(), MB_ICONERROR | MB_OK) > 0) return;
        setGuiErrors(false);
    }
    showError(text);
}

}  // namespace

PayloadCheck checkPayload(HANDLE file, HWND window, bool checkEnabled)
{
    PayloadCheck check;
    uint8_t header[kCoveredRegionOffset];
    DWORD got = 0;
    if (!::ReadFile(file, header, sizeof header, &got, nullptr) || got != sizeof header ||
        littleEndian32(header) != kConfigMagic) {
        return check;
    }
    check.expected = littleEndian32(header + 8);
    check.computed = 0;
    if (!checkEnabled || littleEndian32(header + 4) == 0) {
        setProgressRange(window, 100, 400);
        setProgressPosition(window, 101);
        check.verdict = PayloadVerdict::NotChecked;
        return check;
    }

    check.coveredLength = littleEndian64(header + 12);
    logInfo(L"verifying integrity length %I64d", check.coveredLength);
    int64_t available = bytesLeft(file);
    if (check.coveredLength < 0 || (available >= 0 && check.coveredLength > available)) {
        logError(L"covered length %I64d, but %I64d bytes follow the header", check.coveredLength, available);
        check.verdict = PayloadVerdict::Truncated;
        return check;
    }

    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<int64_t>(kReadBlock, std::max<int64_t>(check.coveredLength, 1))));
    uint32_t crc = kCrc32Initial;
    int64_t lastPercent = 0;
    while (check.bytesDone < check.coveredLength) {
        DWORD want = static_cast<DWORD>(std::min<int64_t>(static_cast<int64_t>(buffer.size()), check.coveredLength - check.bytesDone));
        got = 0;
        BOOL ok = ::ReadFile(file, buffer.data(), want, &got, nullptr);
        DWORD error = ok ? 0 : ::GetLastError();
        if (!ok || got == 0) {
            logError(L"check ReadFile failed %d %d %I64d", static_cast<int>(got), static_cast<int>(error), check.bytesDone);
            check.readError = error;
            check.verdict = ok ? PayloadVerdict::Truncated : PayloadVerdict::ReadFailed;
            return check;
        }
        crc = crc32Update(crc, buffer.data(), got);
        check.bytesDone += got;
        int64_t percent = check.bytesDone * 100 / check.coveredLength;
        if (percent > lastPercent) {
            lastPercent = percent;
            setProgressPosition(window, static_cast<int>(percent));
        }
    }
    check.computed = crc;
    logInfo(L"checksums: %u %u %d %d", check.computed, check.expected, static_cast<int>(check.computed),
            static_cast<int>(check.expected));
    check.verdict = check.computed == check.expected ? PayloadVerdict::Intact : PayloadVerdict::Mismatch;
    return check;
}

void verifyPayload(HWND window)
{
    PayloadCheck check;
    {
        unique_file file = openOwnExecutable();
        if (!file) fatal(kOwnFileNotOpened);
        const ReadError error = seekToConfigBlock(file.get());
        if (error.failure != ReadFailure::None) fatal(readFailureText(error));
        LARGE_INTEGER zero{}, position{};
        ::SetFilePointerEx(file.get(), zero, &position, FILE_CURRENT);
        logInfo(L"starting at %d", static_cast<int>(position.QuadPart));
        check = checkPayload(file.get(), window, launcherState().integrityCheck);
    }
    switch (check.verdict) {
    case PayloadVerdict::Intact:
    case PayloadVerdict::NotChecked:
        return;
    case PayloadVerdict::ReadFailed:
        fatalMessage(messages::kInternalError, L"34");
    case PayloadVerdict::WrongMagic:
    case PayloadVerdict::Mismatch:
    case PayloadVerdict::Truncated:
        break;
    }
    logError(L"the installation file is corrupted (%d)", static_cast<int>(check.verdict));
    showCorrupted(window);
    terminate(1);
}
