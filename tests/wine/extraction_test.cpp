#include "windows/extraction.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/config_format.h"
#include "windows/base/handles.h"
#include "windows/config_block.h"
#include "windows/temp_dirs.h"
#include "windows/base/wide_text.h"

namespace {

std::wstring scratchRoot()
{
    wchar_t temp[MAX_PATH + 1];
    DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
    static int counter = 0;
    return std::wstring(temp, length) + L"extraction_test_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
           std::to_wstring(++counter);
}

std::vector<uint8_t> readFile(const std::wstring& path)
{
    std::vector<uint8_t> bytes;
    unique_file file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return bytes;
    uint8_t buffer[65536];
    DWORD got = 0;
    while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    return bytes;
}

bool exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<uint8_t> content(size_t size, uint8_t seed)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 31 + (i >> 9));
    return bytes;
}

// An installer stand-in: some leading bytes, then the payload records, then trailing data.
class Extraction : public ::testing::Test {
protected:
    static constexpr uint64_t kPayloadOffset = 1234;

    void SetUp() override
    {
        root_ = scratchRoot();
        ASSERT_TRUE(::CreateDirectoryW(root_.c_str(), nullptr));
        target_ = root_ + L"\\target";
        ASSERT_TRUE(::CreateDirectoryW(target_.c_str(), nullptr));
        source_ = root_ + L"\\installer.bin";
        bytes_.assign(kPayloadOffset, 0x5A);
    }
    void TearDown() override
    {
        sourceFile_.reset();
        deleteTree(wideToNarrow(root_), true);
    }

    // Appends one record; returns the offset just after it.
    uint64_t add(const std::vector<uint8_t>& data, int64_t declared)
    {
        for (int i = 0; i < 8; ++i) bytes_.push_back(static_cast<uint8_t>(static_cast<uint64_t>(declared) >> (8 * i)));
        std::vector<uint8_t> masked = data;
        maskPayload(masked.data(), masked.size());
        bytes_.insert(bytes_.end(), masked.begin(), masked.end());
        return bytes_.size();
    }
    uint64_t add(const std::vector<uint8_t>& data) { return add(data, static_cast<int64_t>(data.size())); }

    int extract(const std::string& names, int64_t count, uint64_t* unextracted = nullptr)
    {
        unique_file out(::CreateFileW(source_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        ::WriteFile(out.get(), bytes_.data(), static_cast<DWORD>(bytes_.size()), &written, nullptr);
        out.reset();
        sourceFile_.reset(::CreateFileW(source_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                        nullptr));
        uint64_t position = 0;
        int result = extractPayloadFiles(sourceFile_.get(), kPayloadOffset, target_, names, count, &position);
        if (unextracted) *unextracted = position;
        return result;
    }

    std::wstring root_;
    std::wstring target_;
    std::wstring source_;
    std::vector<uint8_t> bytes_;
    unique_file sourceFile_;
};

}  // namespace

TEST_F(Extraction, FilesLandByNameWithOneDirectoryLevelAndEmptyOnesAreSkipped)
{
    const std::vector<uint8_t> first = content(70000, 3);    // several chunks of the copy loop
    const std::vector<uint8_t> second = content(5, 9);
    add(first);
    add({});                   // empty: no file, and the next length follows at once
    add({}, -4);               // a negative length is empty too
    uint64_t end = add(second);
    bytes_.insert(bytes_.end(), {'J', 'A', 'V', 'A'});
    uint64_t unextracted = 0;
    ASSERT_EQ(extract("sub\\data.bin;empty.txt;negative.txt;last.txt", 4, &unextracted), kExtractionDone);
    EXPECT_EQ(readFile(target_ + L"\\sub\\data.bin"), first);
    EXPECT_FALSE(exists(target_ + L"\\empty.txt"));
    EXPECT_FALSE(exists(target_ + L"\\negative.txt"));
    EXPECT_EQ(readFile(target_ + L"\\last.txt"), second);
    EXPECT_EQ(unextracted, end);
}

TEST_F(Extraction, APayloadThatEndsEarlyFailsAndLeavesNoPartialFile)
{
    add(content(100, 1));
    add(content(50000, 2));
    bytes_.resize(bytes_.size() - 10000);  // cut inside the second file's data
    ASSERT_EQ(extract("first;second", 2), kExtractionReadFailed);
    EXPECT_TRUE(exists(target_ + L"\\first"));
    EXPECT_FALSE(exists(target_ + L"\\second"));
}

TEST_F(Extraction, NamesThatWouldLeaveTheDirectoryAreRefusedBeforeAnythingIsWritten)
{
    const std::string rootNarrow = wideToNarrow(root_);
    const std::string names[] = {"..\\escaped.txt", "sub\\..\\..\\escaped.txt", rootNarrow + "\\escaped.txt",
                                 "\\escaped.txt", "..", "NUL"};
    for (const std::string& name : names) {
        bytes_.assign(kPayloadOffset, 0);
        add(content(16, 4));
        EXPECT_EQ(extract(name, 1), kExtractionReadFailed) << name;
        EXPECT_FALSE(exists(root_ + L"\\escaped.txt")) << name;
        EXPECT_FALSE(exists(target_ + L"\\sub")) << name;  // not even the first level is created
    }
}

// Access denied (as on a read-only directory; here a directory in the file's place, since Wine
// running as root ignores read-only attributes) is reported like a full disk, not as a crash.
TEST_F(Extraction, ATargetThatCannotBeWrittenIsAWriteFailure)
{
    add(content(8, 1));
    ASSERT_TRUE(::CreateDirectoryW((target_ + L"\\denied.txt").c_str(), nullptr));
    EXPECT_EQ(extract("denied.txt", 1), kExtractionWriteFailed);
}

// Between the integrity check and the extraction nobody may swap the installer: while locked, it
// can be read as the check and the extraction read it, but not renamed away (the swap a process
// of the same user could make while an elevated installer runs) nor written; once unlocked, the
// Java side and the clean-up may do with it as they like.
TEST(OwnExecutableLock, KeepsTheFileAsCheckedUntilTheExtractionIsDone)
{
    const std::wstring own = executablePathWide();
    const std::wstring moved = own + L".moved";
    auto renameAway = [&] { return ::MoveFileExW(own.c_str(), moved.c_str(), 0) ? 0 : ::GetLastError(); };

    ASSERT_EQ(lockOwnExecutable(), 0u);
    EXPECT_EQ(lockOwnExecutable(), 0u);  // a second lock keeps the first
    {
        unique_file reader = openOwnExecutable();
        EXPECT_TRUE(reader);
    }
    const DWORD whileLocked = renameAway();
    if (whileLocked == 0) ::MoveFileExW(moved.c_str(), own.c_str(), 0);
    EXPECT_EQ(whileLocked, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    unique_file writer(::CreateFileW(own.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(writer);

    unlockOwnExecutable();
    const DWORD afterUnlock = renameAway();
    scope_exit renameBack([&] {
        if (afterUnlock == 0) ::MoveFileExW(moved.c_str(), own.c_str(), 0);
    });
    EXPECT_EQ(afterUnlock, 0u);
}
