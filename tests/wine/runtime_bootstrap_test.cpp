// The payload check, the runtime archive's untar and the download attempt under Wine: verdicts,
// what reaches a progress window, and the download's retries with scripted WinInet functions.
// The progress-window cases need a display (they skip without one); run them in a throw-away prefix
// whose server starts under Xvfb:
//   WINEPREFIX_OVERRIDE=/tmp/xprefix xvfb-run -a bash -c 'D=$DISPLAY; source scripts/wine-env.sh;
//     wineserver -k; DISPLAY=$D wine wine_tests.exe --gtest_filter="PayloadCheck*:Untar*:Download*"'
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "core/config_format.h"
#include "core/config_keys.h"
#include "core/crc32.h"
#include "windows/config_block.h"
#include "windows/base/handles.h"
#include "windows/payload_check.h"
#include "windows/progress_dialog.h"
#include "windows/runtime_archive.h"
#include "windows/runtime_download.h"

namespace {

// A window with recording children for the bar (1001), the status line (1002) and the text (1003).
struct Recorded {
    int id;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    std::wstring text;
};
std::vector<Recorded> recorded;

LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    int id = ::GetDlgCtrlID(window);
    if (message == PBM_SETPOS || message == PBM_SETRANGE || message == PBM_SETRANGE32) {
        recorded.push_back({id, message, wParam, lParam, {}});
        return 0;
    }
    if (message == WM_SETTEXT) recorded.push_back({id, message, wParam, lParam, reinterpret_cast<const wchar_t*>(lParam)});
    return ::DefWindowProcW(window, message, wParam, lParam);
}

class ProgressWindow {
public:
    ProgressWindow()
    {
        static bool registered = false;
        if (!registered) {
            WNDCLASSW windowClass{};
            windowClass.lpfnWndProc = recordingProc;
            windowClass.hInstance = ::GetModuleHandleW(nullptr);
            windowClass.lpszClassName = L"RuntimeBootstrapRecorder";
            registered = ::RegisterClassW(&windowClass) != 0;
            EXPECT_TRUE(registered) << ::GetLastError();
        }
        // Without a display Wine creates message-only windows only, and those have no children.
        parent_ = ::CreateWindowExW(0, L"STATIC", L"progress", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
        ready_ = parent_ != nullptr;
        for (int id : {1001, 1002, 1003, 2}) {
            ready_ = ready_ && ::CreateWindowExW(0, L"RuntimeBootstrapRecorder", L"", WS_CHILD, 0, 0, 10, 10, parent_,
                                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                                 ::GetModuleHandleW(nullptr), nullptr) != nullptr;
        }
        recorded.clear();
    }
    ~ProgressWindow()
    {
        if (parent_ != nullptr) ::DestroyWindow(parent_);
    }
    HWND get() const { return parent_; }
    bool ready() const { return ready_; }

    static std::vector<int> positions()
    {
        std::vector<int> result;
        for (const Recorded& r : recorded)
            if (r.id == 1001 && r.message == PBM_SETPOS) result.push_back(static_cast<int>(r.wParam));
        return result;
    }
    static std::vector<std::wstring> texts(int id)
    {
        std::vector<std::wstring> result;
        for (const Recorded& r : recorded)
            if (r.id == id && r.message == WM_SETTEXT) result.push_back(r.text);
        return result;
    }

private:
    HWND parent_ = nullptr;
    bool ready_ = false;
};

#define REQUIRE_WINDOWS(window) \
    if (!(window).ready()) GTEST_SKIP() << "no display: run under Xvfb to create the progress window's controls"

std::wstring scratchPath(const wchar_t* name)
{
    wchar_t directory[MAX_PATH];
    ::GetTempPathW(MAX_PATH, directory);
    return std::wstring(directory) + L"runtime_bootstrap_" + std::to_wstring(::GetCurrentProcessId()) + L"_" + name;
}

void writeFile(const std::wstring& path, const std::vector<uint8_t>& bytes)
{
    unique_file file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
}

std::vector<uint8_t> readFile(const std::wstring& path)
{
    unique_file file(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    std::vector<uint8_t> bytes(::GetFileSize(file.get(), nullptr));
    DWORD got = 0;
    if (!bytes.empty()) ::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    return bytes;
}

bool exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// ---------------------------------------------------------------------------------------------
// Payload check over a file laid out as: 1000 bytes of image, header, covered bytes, trailing bytes.

struct PayloadFile {
    std::vector<uint8_t> covered;
    bool checksumPresent = true;
    std::optional<int64_t> coveredLength;  // default: covered.size()
    int64_t crcAdjust = 0;
    size_t trailing = 100;
    bool badMagic = false;
};

PayloadFile layoutOf(std::vector<uint8_t> covered)
{
    PayloadFile layout;
    layout.covered = std::move(covered);
    return layout;
}

PayloadCheck runCheck(const PayloadFile& layout, HWND window, bool enabled, int64_t* positionAfter = nullptr)
{
    std::vector<uint8_t> bytes(1000, 0x90);
    int64_t length = layout.coveredLength.value_or(static_cast<int64_t>(layout.covered.size()));
    uint32_t crc = crc32Update(kCrc32Initial, layout.covered.data(), layout.covered.size()) + static_cast<uint32_t>(layout.crcAdjust);
    auto header = serializeConfigHeader(layout.checksumPresent, crc, length);
    if (layout.badMagic) header[0] ^= 1;
    bytes.insert(bytes.end(), header.begin(), header.end());
    bytes.insert(bytes.end(), layout.covered.begin(), layout.covered.end());
    bytes.resize(bytes.size() + layout.trailing, 0xEE);
    const std::wstring path = scratchPath(L"payload.bin");
    writeFile(path, bytes);
    unique_file file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER start{};
    start.QuadPart = 1000;
    ::SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN);
    PayloadCheck check = checkPayload(file.get(), window, enabled);
    if (positionAfter != nullptr) {
        LARGE_INTEGER zero{}, now{};
        ::SetFilePointerEx(file.get(), zero, &now, FILE_CURRENT);
        *positionAfter = now.QuadPart;
    }
    file.reset();
    ::DeleteFileW(path.c_str());
    return check;
}

std::vector<uint8_t> pattern(size_t size)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 13 + (i >> 9));
    return bytes;
}

}  // namespace

TEST(PayloadCheck, VerdictsFollowTheHeaderAndTheCoveredBytes)
{
    struct Case {
        const char* what;
        PayloadFile layout;
        PayloadVerdict verdict;
    };
    PayloadFile intact = layoutOf(pattern(50000));
    PayloadFile mismatch = intact;
    mismatch.crcAdjust = 1;
    PayloadFile empty = layoutOf({});
    PayloadFile emptyWrong = layoutOf({});
    emptyWrong.crcAdjust = 5;
    PayloadFile tooLong = intact;
    tooLong.coveredLength = 50000 + 101;  // past the trailing bytes too
    PayloadFile negative = intact;
    negative.coveredLength = -2;
    PayloadFile badMagic = intact;
    badMagic.badMagic = true;
    // Read in blocks of 1 MiB, the last one byte long.
    PayloadFile blocks = layoutOf(pattern(3 * 1024 * 1024 + 1));
    const Case cases[] = {
        {"four blocks", blocks, PayloadVerdict::Intact},
        {"intact", intact, PayloadVerdict::Intact},
        {"crc differs", mismatch, PayloadVerdict::Mismatch},
        {"no covered bytes, crc 0", empty, PayloadVerdict::Intact},
        {"no covered bytes, crc not 0", emptyWrong, PayloadVerdict::Mismatch},
        {"length past the end", tooLong, PayloadVerdict::Truncated},
        {"negative length", negative, PayloadVerdict::Truncated},
        {"wrong magic", badMagic, PayloadVerdict::WrongMagic},
    };
    for (const Case& c : cases) {
        PayloadCheck check = runCheck(c.layout, nullptr, true);
        EXPECT_EQ(check.verdict, c.verdict) << c.what;
        if (c.verdict == PayloadVerdict::Intact) {
            EXPECT_EQ(check.computed, check.expected) << c.what;
        }
    }
    EXPECT_EQ(runCheck(badMagic, nullptr, true).expected, 1u);
    EXPECT_EQ(runCheck(badMagic, nullptr, true).computed, 0u);
}

TEST(PayloadCheck, ASwitchedOffCheckReadsNothingAfterTheHeader)
{
    PayloadFile flagOff = layoutOf(pattern(20000));
    flagOff.checksumPresent = false;
    flagOff.crcAdjust = 7;  // damaged, but not checked
    PayloadFile damaged = layoutOf(pattern(20000));
    damaged.crcAdjust = 7;
    for (const auto& [layout, enabled] : {std::pair{flagOff, true}, std::pair{damaged, false}}) {
        int64_t after = 0;
        EXPECT_EQ(runCheck(layout, nullptr, enabled, &after).verdict, PayloadVerdict::NotChecked);
        EXPECT_EQ(after, 1000 + 20);
    }
    ProgressWindow window;
    REQUIRE_WINDOWS(window);
    EXPECT_EQ(runCheck(flagOff, window.get(), true).verdict, PayloadVerdict::NotChecked);
    EXPECT_EQ(ProgressWindow::positions(), std::vector<int>{101});
}

TEST(PayloadCheck, TheBarMovesOnlyWhenThePercentageGrows)
{
    ProgressWindow window;
    REQUIRE_WINDOWS(window);
    PayloadFile big = layoutOf(pattern(5 * 1024 * 1024 + 77));
    ASSERT_EQ(runCheck(big, window.get(), true).verdict, PayloadVerdict::Intact);
    std::vector<int> positions = ProgressWindow::positions();
    ASSERT_FALSE(positions.empty());
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    EXPECT_EQ(std::adjacent_find(positions.begin(), positions.end()), positions.end()) << "a position repeated";
    EXPECT_EQ(positions.back(), 100);
    EXPECT_LE(positions.size(), 100u);
}

// ---------------------------------------------------------------------------------------------
// Untar through zlib.

namespace {

void addEntry(std::vector<uint8_t>& tar, const std::string& name, char type, const std::string& data)
{
    std::vector<uint8_t> header(512, 0);
    std::memcpy(header.data(), name.data(), name.size());
    char size[12];
    std::snprintf(size, sizeof size, "%011o", static_cast<unsigned>(data.size()));
    std::memcpy(header.data() + 124, size, 11);
    header[156] = static_cast<uint8_t>(type);
    std::memcpy(header.data() + 257, "ustar", 5);
    tar.insert(tar.end(), header.begin(), header.end());
    tar.insert(tar.end(), data.begin(), data.end());
    tar.resize(tar.size() + tarPadding(static_cast<uint32_t>(data.size())), 0);
}

std::vector<uint8_t> gzipBytes(const std::vector<uint8_t>& raw)
{
    const std::wstring path = scratchPath(L"gz.tmp");
    gzFile out = ::gzopen_w(path.c_str(), "wb");
    ::gzwrite(out, raw.data(), static_cast<unsigned>(raw.size()));
    ::gzclose(out);
    std::vector<uint8_t> bytes = readFile(path);
    ::DeleteFileW(path.c_str());
    return bytes;
}

struct UntarScratch {
    std::wstring archive = scratchPath(L"jre.tar.gz");
    std::wstring target = scratchPath(L"target");
    UntarScratch() { ::CreateDirectoryW(target.c_str(), nullptr); }
    ~UntarScratch()
    {
        ::DeleteFileW(archive.c_str());
        for (const wchar_t* name : {L"\\bin\\a.dll", L"\\bin\\b.dll", L"\\ok"}) ::DeleteFileW((target + name).c_str());
        ::RemoveDirectoryW((target + L"\\bin").c_str());
        ::RemoveDirectoryW(target.c_str());
    }
};

}  // namespace

TEST(Untar, ProgressRunsFrom100To200OverTheExpectedSize)
{
    UntarScratch scratch;
    std::vector<uint8_t> tar;
    addEntry(tar, "bin/", '5', "");
    addEntry(tar, "bin/a.dll", '0', std::string(300000, 'a'));
    addEntry(tar, "bin/b.dll", '0', std::string(300000, 'b'));
    tar.resize(tar.size() + 1024, 0);
    writeFile(scratch.archive, gzipBytes(tar));
    ProgressWindow window;
    REQUIRE_WINDOWS(window);
    WindowProgress progress(window.get());
    TarOutcome outcome = untarArchive(scratch.archive, scratch.target, progress, static_cast<int64_t>(tar.size()));
    ASSERT_EQ(outcome.result, TarResult::Success);
    EXPECT_EQ(outcome.regularFiles, 2);
    std::vector<int> positions = ProgressWindow::positions();
    ASSERT_GE(positions.size(), 2u);
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    EXPECT_EQ(positions.front(), 100 + static_cast<int>(1024.0f / tar.size() * 100.0f));  // first file's data
    EXPECT_GE(positions[1], 149);  // the second file starts past half the archive
    EXPECT_LE(positions.back(), 200);
    EXPECT_EQ(readFile(scratch.target + L"\\bin\\b.dll"), std::vector<uint8_t>(300000, 'b'));
}

TEST(Untar, AGzipStreamCutBeforeItsEndFailsEvenAtARecordBoundary)
{
    UntarScratch scratch;
    std::vector<uint8_t> tar;
    addEntry(tar, "ok", '0', "complete file");
    std::vector<uint8_t> gz = gzipBytes(tar);
    gz.resize(gz.size() - 8);  // the trailer (CRC and length) is missing
    writeFile(scratch.archive, gz);
    EXPECT_EQ(untarArchive(scratch.archive, scratch.target, quietProgress(), 0).result, TarResult::Failure);

    writeFile(scratch.archive, gzipBytes(tar));  // the same archive whole: no zero records needed
    EXPECT_EQ(untarArchive(scratch.archive, scratch.target, quietProgress(), 0).result, TarResult::Success);
    EXPECT_EQ(untarArchive(scratchPath(L"missing.tar.gz"), scratch.target, quietProgress(), 0).result, TarResult::Failure);
}

// ---------------------------------------------------------------------------------------------
// Download attempts with scripted WinInet functions.

namespace {

struct Script {
    int lengthFailures = 0;  // the first n length queries fail
    DWORD status = 200;
    DWORD length = 0;
    DWORD deliver = 0;       // bytes the server sends before the connection ends
    bool readError = false;
    // What happened.
    int opened = 0, closed = 0, urlOpens = 0, lengthQueries = 0;
    DWORD sent = 0;
    std::vector<DWORD> pauses;
};
Script script;
int handleTag;

HINTERNET WINAPI fakeOpen(LPCWSTR, DWORD, LPCWSTR, LPCWSTR, DWORD)
{
    ++script.opened;
    return &handleTag;
}
HINTERNET WINAPI fakeOpenUrl(HINTERNET, LPCWSTR, LPCWSTR, DWORD, DWORD flags, DWORD_PTR)
{
    EXPECT_EQ(flags, 0x0C000000u);
    ++script.opened;
    ++script.urlOpens;
    script.sent = 0;
    return &handleTag;
}
BOOL WINAPI fakeQueryInfo(HINTERNET, DWORD level, LPVOID buffer, LPDWORD size, LPDWORD)
{
    EXPECT_EQ(*size, 4u);
    if (level == (HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER)) {
        *static_cast<DWORD*>(buffer) = script.status;
        return TRUE;
    }
    EXPECT_EQ(level, 0x20000005u);
    if (++script.lengthQueries <= script.lengthFailures) {
        ::SetLastError(ERROR_HTTP_HEADER_NOT_FOUND);
        return FALSE;
    }
    *static_cast<DWORD*>(buffer) = script.length;
    return TRUE;
}
DWORD WINAPI fakeAttemptConnect(DWORD) { return 0; }
BOOL WINAPI fakeClose(HINTERNET)
{
    ++script.closed;
    return TRUE;
}
BOOL WINAPI fakeRead(HINTERNET, LPVOID buffer, DWORD size, LPDWORD got)
{
    EXPECT_LE(size, 16384u);
    if (script.readError && script.sent > 0) {
        ::SetLastError(ERROR_INTERNET_CONNECTION_RESET);
        return FALSE;
    }
    DWORD count = std::min(size, script.deliver - std::min(script.deliver, script.sent));
    std::memset(buffer, 'd', count);
    script.sent += count;
    *got = count;
    return TRUE;
}
void fakePause(DWORD milliseconds) { script.pauses.push_back(milliseconds); }

DownloadFunctions fakeNet()
{
    DownloadFunctions net;
    net.open = fakeOpen;
    net.openUrl = fakeOpenUrl;
    net.queryInfoW = fakeQueryInfo;
    net.attemptConnect = fakeAttemptConnect;
    net.closeHandle = fakeClose;
    net.readFile = fakeRead;
    net.pause = fakePause;
    return net;
}

// Work's progress as a test sees it, without a display: the reports kept, a Cancel from the
// given check of "cancelled?" on (never when negative), stopping the work as the dialog's worker does.
class RecordedProgress final : public WorkProgress {
public:
    explicit RecordedProgress(int cancelFromCheck = -1) : cancelFromCheck_(cancelFromCheck) {}
    bool shown() const override { return true; }
    void doing(const std::wstring& text, const std::wstring&) override { texts.push_back(text); }
    void reached(int position) override { positions.push_back(position); }
    void status(const std::wstring& text) override { texts.push_back(text); }
    void showStatus(bool) override {}
    void unpacking(unsigned long) override {}
    void unpacked() override {}
    int message(const std::wstring&, const std::wstring&, unsigned) override { return 0; }
    bool cancelled() const override { return cancelFromCheck_ >= 0 && ++checks_ > cancelFromCheck_; }
    void stopIfCancelled() override
    {
        if (cancelFromCheck_ >= 0 && checks_ > cancelFromCheck_) throw WorkCanceled{};
    }

    std::vector<std::wstring> texts;
    std::vector<int> positions;

private:
    int cancelFromCheck_;
    mutable int checks_ = 0;
};

class Download : public ::testing::Test {
protected:
    void SetUp() override
    {
        script = Script();
        ConfigBlock block;
        block.messages[messages::kDownloadProgress] = u"%.2f MB of %.2f MB (%.1f%%) at %.1f kb/s";
        block.messages[messages::kInitializingConnection] = u"Initializing connection ...";
        useConfigBlock(block);
    }
    void TearDown() override
    {
        ::DeleteFileW(file.c_str());
        useConfigBlock(ConfigBlock());
    }
    bool attempt(HWND window = nullptr)
    {
        WindowProgress progress(window);
        return downloadAttempt(fakeNet(), progress, L"http://test/jre.tar.gz", file);
    }

    std::wstring file = scratchPath(L"download.bin");
};

}  // namespace

TEST_F(Download, ALengthOnALaterQueryStillDownloads)
{
    script.lengthFailures = 19;
    script.length = script.deliver = 40000;
    EXPECT_TRUE(attempt());
    EXPECT_EQ(readFile(file), std::vector<uint8_t>(40000, 'd'));
    EXPECT_EQ(script.opened, script.closed);
}

TEST_F(Download, FailedTransfersLeaveNoFileAndNoOpenHandle)
{
    struct Case {
        const char* what;
        DWORD status, length, deliver;
        bool readError;
        int lengthFailures;
    };
    const Case cases[] = {
        {"connection ends early", 200, 50000, 20000, false, 0},
        {"read error", 200, 50000, 50000, true, 0},
        {"error page", 404, 20, 20, false, 0},
        {"no length", 200, 0, 0, false, 1000},
    };
    for (const Case& c : cases) {
        script = Script();
        script.status = c.status;
        script.length = c.length;
        script.deliver = c.deliver;
        script.readError = c.readError;
        script.lengthFailures = c.lengthFailures;
        EXPECT_FALSE(attempt()) << c.what;
        EXPECT_FALSE(exists(file)) << c.what;
        EXPECT_EQ(script.opened, script.closed) << c.what;
    }
    EXPECT_EQ(script.lengthQueries, 20);
    EXPECT_EQ(script.pauses, std::vector<DWORD>(19, 300));
}

TEST_F(Download, TheStatusLineAndBarShowTheFirstBlockAtOnce)
{
    script.length = script.deliver = 32768;
    ProgressWindow window;
    REQUIRE_WINDOWS(window);
    ASSERT_TRUE(attempt(window.get()));
    std::vector<std::wstring> status = ProgressWindow::texts(1002);
    ASSERT_GE(status.size(), 2u);
    EXPECT_EQ(status[0], L"Initializing connection ...");
    EXPECT_EQ(status[1].rfind(L"0.02 MB of 0.03 MB (50.0%) at ", 0), 0u) << status[1].c_str();
    EXPECT_EQ(ProgressWindow::positions().front(), 50);
}

// A Cancel between two blocks leaves no partial file and no open handle; the first check before
// any block and the last one before the final block are the edges.
TEST_F(Download, ACancelBetweenBlocksLeavesNoFileAndNoOpenHandle)
{
    for (int cancelFrom : {0, 1, 3}) {
        script = Script();
        script.length = script.deliver = 4 * 16384;
        RecordedProgress progress(cancelFrom);
        EXPECT_THROW(downloadAttempt(fakeNet(), progress, L"http://test/jre.tar.gz", file), WorkCanceled) << cancelFrom;
        EXPECT_FALSE(exists(file)) << cancelFrom;
        EXPECT_EQ(script.opened, script.closed) << cancelFrom;
        EXPECT_EQ(script.sent, static_cast<DWORD>(cancelFrom) * 16384) << cancelFrom;
    }
    script = Script();
    script.length = script.deliver = 4 * 16384;
    RecordedProgress progress(4);  // first asked after the last block: too late to stop anything
    EXPECT_TRUE(downloadAttempt(fakeNet(), progress, L"http://test/jre.tar.gz", file));
    EXPECT_EQ(progress.texts.front(), L"Initializing connection ...");
    EXPECT_EQ(progress.positions.front(), 25);
}

TEST(DownloadStatus, AFormatThatWouldReadTextFallsBackToTheBuiltInOne)
{
    EXPECT_EQ(downloadStatusText(L"%s of %S", 1.5, 3.0, 50.0, 2.75), L"1.50 MB of 3.00 MB (50.0%) at 2.8 kb/s");
    EXPECT_EQ(downloadStatusText(L"%.1f/%.1f MB", 1.5, 3.0, 50.0, 2.75), L"1.5/3.0 MB");
}
