#include "core/tar_format.h"

#include <gtest/gtest.h>
#if defined(__linux__)
#include <pthread.h>
#include <sys/resource.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// One 512-byte header: name, octal size field text, type flag, magic.
Bytes header(const std::string& name, const std::string& sizeField, char type, const char* magic = "ustar")
{
    Bytes record(512, 0);
    std::memcpy(record.data(), name.data(), std::min<size_t>(name.size(), 100));
    std::memcpy(record.data() + 124, sizeField.data(), std::min<size_t>(sizeField.size(), 12));
    record[156] = static_cast<uint8_t>(type);
    std::memcpy(record.data() + 257, magic, std::strlen(magic));
    return record;
}

std::string octal(size_t size)
{
    char text[16];
    std::snprintf(text, sizeof text, "%011zo", size);
    return text;
}

// Appends an entry with its data and padding.
void add(Bytes& archive, const std::string& name, char type, const std::string& data = "")
{
    Bytes record = header(name, octal(data.size()), type);
    archive.insert(archive.end(), record.begin(), record.end());
    archive.insert(archive.end(), data.begin(), data.end());
    archive.resize(archive.size() + tarPadding(static_cast<uint32_t>(data.size())), 0);
}

void finish(Bytes& archive) { archive.resize(archive.size() + 1024, 0); }

// Runs the walk over bytes and records what it did.
struct WalkRun {
    std::vector<std::string> directories;
    std::map<std::string, std::string> files;
    std::vector<std::string> reports;
    std::vector<uint64_t> fileStarts;
    std::vector<uint64_t> blockEnds;
    std::vector<std::string> events;  // log lines, directories, opens, closes and reports, in order
    TarOutcome outcome;
    bool cancelled = false;

    bool reported(const std::string& text) const
    {
        return std::find(reports.begin(), reports.end(), text) != reports.end();
    }
};

struct Faults {
    bool refuseOpen = false;
    std::string refuseOpenOf;  // only this name cannot be created
    bool failWrite = false;
    int failWriteAt = -1;  // the write with this index (from 0) fails
    bool truncatedStream = false;
    long readErrorAt = -1;  // a read starting at this offset fails
    long failSkipAt = -1;   // a skip starting at this offset fails
    long slowReadAt = -1;   // a read starting at this offset waits first, so the output catches up
    std::string slowCall;   // the output call with this event text ("write f" for f's writes) is slow
    int slowMs = 50;
    int cancelAtProgress = 0;  // the progress call with this number (from 1) cancels the walk
};

struct Cancelled {};

WalkRun walk(const Bytes& archive, const Faults& faults = {})
{
    WalkRun run;
    size_t position = 0;
    bool past = false;
    TarInput input;
    input.read = [&](void* buffer, size_t size) -> long {
        if (faults.readErrorAt >= 0 && position == static_cast<size_t>(faults.readErrorAt)) return -1;
        if (faults.slowReadAt >= 0 && position == static_cast<size_t>(faults.slowReadAt))
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        size_t count = std::min(size, archive.size() - std::min(position, archive.size()));
        if (count < size) past = true;
        if (count > 0) std::memcpy(buffer, archive.data() + position, count);
        position += count;
        return static_cast<long>(count);
    };
    input.skip = [&](size_t count) {
        const bool fails = static_cast<long>(position) == faults.failSkipAt;
        position += count;
        return !fails;
    };
    input.atEnd = [&] { return past; };
    input.position = [&] { return static_cast<uint64_t>(position); };
    input.truncated = [&] { return faults.truncatedStream; };

    std::string current;
    bool open = false;
    int writes = 0;
    // Strict: after a refused open or a failed write, only the open file's close may follow.
    bool failed = false;
    std::vector<std::string> breaks;  // made on the writer thread, read after the walk joined it
    auto pause = [&](const std::string& call) {
        if (call == faults.slowCall) std::this_thread::sleep_for(std::chrono::milliseconds(faults.slowMs));
    };
    auto check = [&](const std::string& call) {
        if (failed) breaks.push_back(call + " after a failure");
        pause(call);
    };
    TarOutput output;
    output.makeDirectory = [&](const std::string& name) {
        check("dir " + name);
        run.directories.push_back(name);
        run.events.push_back("dir " + name);
    };
    output.openFile = [&](const std::string& name) {
        check("open " + name);
        if (open) breaks.push_back("open " + name + " while " + current + " is open");
        run.events.push_back("open " + name);
        if (faults.refuseOpen || name == faults.refuseOpenOf) return failed = true, false;
        current = name;
        run.files[name];
        open = true;
        return true;
    };
    output.write = [&](const void* bytes, size_t size) {
        if (!open) run.reports.push_back("write outside an open file");
        check("write " + current);
        if (faults.failWrite || writes++ == faults.failWriteAt) return failed = true, false;
        run.files[current].append(static_cast<const char*>(bytes), size);
        return true;
    };
    output.closeFile = [&] {
        if (!open) breaks.push_back("closeFile without an open file");
        pause("close " + current);
        run.events.push_back("close " + current);
        open = false;
    };
    int progressCalls = 0;
    output.progress = [&](uint64_t at, bool fileStart) {
        if (++progressCalls == faults.cancelAtProgress) throw Cancelled{};
        (fileStart ? run.fileStarts : run.blockEnds).push_back(at);
    };
    output.info = [&](const std::string& text) { check(text), run.events.push_back(text); };
    output.report = [&](const std::string& text) {
        run.reports.push_back(text);
        run.events.push_back("report " + text);
    };
    try {
        run.outcome = walkTar(input, output);
    } catch (const Cancelled&) {
        run.cancelled = true;
    }
    for (const std::string& call : breaks) ADD_FAILURE() << call;
    if (open) ADD_FAILURE() << current << " is left open";
    return run;
}

}  // namespace

TEST(TarSizeField, EquivalentSpellingsParseToTheSameValue)
{
    struct Case {
        std::string field;
        int32_t value;
    };
    const Case cases[] = {
        {"00000001750", 1000},
        {std::string("     1750\0\0\0", 12), 1000},
        {"1750 999", 1000},  // a blank after a digit ends the field
        {std::string("0001750\0" "777", 11), 1000},
        {"   0 0 01750", 1000},
        {std::string(12, '\0'), 0},
        {"00000000000", 0},
        {"17777777777", 0x7FFFFFFF},
    };
    for (const Case& c : cases) {
        int32_t size = -1;
        ASSERT_TRUE(parseTarSize(c.field.data(), 12 <= c.field.size() ? 12 : c.field.size(), size)) << c.field;
        EXPECT_EQ(size, c.value) << c.field;
    }
}

TEST(TarSizeField, DigitsOutsideOctalAndOversizedValuesAreRefused)
{
    const std::string refused[] = {
        "20000000000",           // 2^31: does not fit a signed 32-bit count
        "77777777777",           //
        "00000000018",           // not an octal digit
        "0000000017x",           //
        "\x80\0\0\0\0\0\0\0\0\0\x10\0",  // base-256 encoding of large sizes
        "-0000000001",
    };
    for (const std::string& field : refused) {
        int32_t size = 42;
        EXPECT_FALSE(parseTarSize(field.data(), std::min<size_t>(field.size(), 12), size)) << field;
        EXPECT_EQ(size, 42) << "left untouched";
    }
}

TEST(TarEntryNames, RelativeNamesBelowTheTargetAreAccepted)
{
    for (const char* name : {"bin\\java.exe", "lib/rt.jar", ".\\bin\\", "./", "a..b\\c", "..a", "a\\.\\b",
                             "lib\\console.jar", "com10", "x\\nul_dir\\y", "release"}) {
        EXPECT_TRUE(isSafeEntryName(name)) << name;
    }
}

TEST(TarEntryNames, NamesThatLeaveTheTargetOrNameADeviceAreRefused)
{
    for (const char* name : {"", "..", "../x", "..\\x", "a\\..\\..\\x", "bin/../../x", "a\\..", "\\windows\\x",
                             "/etc/x", "\\\\server\\share\\x", "c:\\x", "c:x", "file.txt:stream", "...\\x",
                             ". .\\x", "a\\.. \\x", "NUL", "bin\\con.txt", "lpt1", "Com3.log", "AUX \\x"}) {
        EXPECT_FALSE(isSafeEntryName(name)) << name;
    }
}

TEST(TarWalk, ExtractsFilesAndDirectoriesWithSlashesTurnedIntoBackslashes)
{
    Bytes archive;
    add(archive, "jre/", '5');
    add(archive, "jre/bin/", '5');
    std::string big(70000, 'x');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 23);
    add(archive, "jre/bin/java.exe", '0', big);
    add(archive, "jre/release", '0', "JAVA_VERSION=\"17\"\n");
    add(archive, "jre/empty", '0', "");
    // A name that fills its field without a terminator, and a size that fills all twelve places.
    const std::string fullName = "jre/" + std::string(96, 'n');
    Bytes full = header(fullName, "000000000003", '0', "ustar  ");  // with the older tar's magic
    full[100] = '6', full[136] = '7';  // the next fields' first bytes, read if a field ran one place too far
    archive.insert(archive.end(), full.begin(), full.end());
    const std::string data = "abc";
    archive.insert(archive.end(), data.begin(), data.end());
    archive.resize(archive.size() + tarPadding(3), 0);
    finish(archive);

    WalkRun run = walk(archive);
    EXPECT_EQ(run.outcome.result, TarResult::Success);
    EXPECT_EQ(run.outcome.regularFiles, 4);
    EXPECT_EQ(run.directories, (std::vector<std::string>{"jre\\", "jre\\bin\\"}));
    EXPECT_EQ(run.files["jre\\" + std::string(96, 'n')], "abc");
    EXPECT_EQ(run.files["jre\\bin\\java.exe"], big);
    EXPECT_EQ(run.files["jre\\release"], "JAVA_VERSION=\"17\"\n");
    EXPECT_TRUE(run.files.count("jre\\empty"));
    EXPECT_TRUE(run.reports.empty());
    // Progress is reported at each file's start with the archive position of its data.
    EXPECT_EQ(run.fileStarts, (std::vector<uint64_t>{3 * 512, 3 * 512 + 70144 + 512, 3 * 512 + 70144 + 1024 + 512,
                                                     3 * 512 + 70144 + 1536 + 512}));
    // ... and after each block with the position after it.
    EXPECT_EQ(run.blockEnds, (std::vector<uint64_t>{3 * 512 + 70000, 3 * 512 + 70144 + 512 + 18,
                                                    3 * 512 + 70144 + 1536 + 512 + 3}));
}

TEST(TarWalk, LongNamesAreKeptExactlyAsStored)
{
    Bytes archive;
    std::string longName = "jre/lib/" + std::string(150, 'n') + "/Module.class";
    add(archive, "././@LongLink", 'L', longName + '\0');
    add(archive, "truncated-short-name", '0', "payload");
    add(archive, "after/long", '0', "second");
    finish(archive);

    WalkRun run = walk(archive);
    EXPECT_EQ(run.outcome.result, TarResult::Success);
    ASSERT_TRUE(run.files.count(longName)) << "no \"/\" conversion for long names";
    EXPECT_EQ(run.files[longName], "payload");
    EXPECT_EQ(run.files["after\\long"], "second");
    EXPECT_FALSE(run.files.count("truncated-short-name"));

    Bytes oneByte;  // the shortest long name, without a NUL
    add(oneByte, "././@LongLink", 'L', "x");
    add(oneByte, "short", '0', "1");
    finish(oneByte);
    EXPECT_EQ(walk(oneByte).files, (std::map<std::string, std::string>{{"x", "1"}}));

    Bytes empty;  // a long name of no bytes is read as the empty name, which is refused
    add(empty, "././@LongLink", 'L');
    add(empty, "short", '0', "payload");
    EXPECT_TRUE(walk(empty).reported("refused entry name "));
}

TEST(TarWalk, OtherEntryTypesAreSkippedWithTheirData)
{
    Bytes archive;
    add(archive, "pax", 'x', std::string(700, 'p'));  // extended header with data
    add(archive, "link", '2');
    add(archive, "one byte", 'x', "1");  // the least data there is to skip
    add(archive, "old-style", '\0', "data of an old-style entry");
    add(archive, "kept", '0', "k");
    finish(archive);

    WalkRun run = walk(archive);
    EXPECT_EQ(run.outcome.result, TarResult::Success);
    EXPECT_EQ(run.files.size(), 1u);
    EXPECT_EQ(run.files["kept"], "k");
}

TEST(TarWalk, AnArchiveWithoutRegularFilesFails)
{
    Bytes withEnd;
    add(withEnd, "jre/", '5');
    finish(withEnd);
    WalkRun ended = walk(withEnd);
    EXPECT_EQ(ended.outcome.result, TarResult::Failure);
    EXPECT_TRUE(ended.reported("no magic number"));

    Bytes withoutEnd;
    add(withoutEnd, "jre/", '5');
    WalkRun cut = walk(withoutEnd);
    EXPECT_EQ(cut.outcome.result, TarResult::Failure);
    EXPECT_TRUE(cut.reported("unexpected eof") || cut.reported("no magic number"));

    EXPECT_EQ(walk(Bytes()).outcome.result, TarResult::Failure);
    Bytes otherMagic = header("file", octal(0), '0', "ustaX");
    finish(otherMagic);
    EXPECT_TRUE(walk(otherMagic).reported("no magic number"));

    // Without the end blocks but with a file, the data's end is the archive's end.
    Bytes fileWithoutEnd;
    add(fileWithoutEnd, "last", '0', "kept whole");
    WalkRun ends = walk(fileWithoutEnd);
    EXPECT_EQ(ends.outcome.result, TarResult::Success);
    EXPECT_EQ(ends.files["last"], "kept whole");
}

TEST(TarWalk, ClimbingAndAbsoluteNamesAreRefusedBeforeAnythingIsCreated)
{
    for (const std::string& name : {std::string("../x"), std::string("jre/../../x"), std::string("/tmp/x"),
                                    std::string("c:/x")}) {
        for (char type : {'0', '5'}) {
            Bytes archive;
            add(archive, "ok", '0', "fine");
            add(archive, name, type, type == '0' ? "evil" : "");
            finish(archive);
            WalkRun run = walk(archive);
            EXPECT_EQ(run.outcome.result, TarResult::Failure) << name;
            EXPECT_EQ(run.files.size(), 1u) << name;
            EXPECT_TRUE(run.directories.empty()) << name;
        }
    }
    Bytes viaLongName;
    add(viaLongName, "././@LongLink", 'L', std::string("..\\..\\evil") + '\0');
    add(viaLongName, "harmless", '0', "evil");
    finish(viaLongName);
    WalkRun run = walk(viaLongName);
    EXPECT_EQ(run.outcome.result, TarResult::Failure);
    EXPECT_TRUE(run.files.empty());
}

TEST(TarWalk, IoFailuresEndTheWalk)
{
    Bytes archive;
    add(archive, "dir/", '5');
    add(archive, "dir/file", '0', "contents");
    finish(archive);

    Faults refuse;
    refuse.refuseOpen = true;
    WalkRun notCreated = walk(archive, refuse);
    EXPECT_EQ(notCreated.outcome.result, TarResult::FileNotCreated);
    EXPECT_EQ(notCreated.outcome.failedName, "dir\\file");

    Faults write;
    write.failWrite = true;
    WalkRun shortWrite = walk(archive, write);
    EXPECT_EQ(shortWrite.outcome.result, TarResult::Failure);
    EXPECT_TRUE(shortWrite.reported("stream error"));

    // Blocks are written while the next ones are read: a file of many blocks arrives whole and
    // in order, and a block that fails to write ends the walk even when later blocks were read.
    Bytes large;
    std::string contents(kTarCopyBlock * 5 + 1234, '\0');
    for (size_t i = 0; i < contents.size(); ++i) contents[i] = static_cast<char>(i * 131 + (i >> 16));
    add(large, "big", '0', contents);
    add(large, "after", '0', "tail");
    finish(large);
    WalkRun whole = walk(large);
    EXPECT_EQ(whole.outcome.result, TarResult::Success);
    EXPECT_TRUE(whole.files["big"] == contents);
    EXPECT_EQ(whole.files["after"], "tail");
    EXPECT_TRUE(whole.reports.empty()) << whole.reports.front();
    for (int failing : {0, 1, 4, 5}) {
        Faults late;
        late.failWriteAt = failing;
        WalkRun cut = walk(large, late);
        EXPECT_EQ(cut.outcome.result, TarResult::Failure) << failing;
        EXPECT_TRUE(cut.reported("stream error")) << failing;
        EXPECT_FALSE(cut.reported("write outside an open file")) << failing;
        EXPECT_EQ(cut.files.count("after"), 0u) << failing;
    }
}

TEST(TarWalk, AFailedOutputCallEndsTheWalkWithNothingMadeAfterIt)
{
    // The walk reads ahead of the output: the calls queued after a failed open or write are not
    // made, and the failure is reported once, right after the failing file's line.
    const int kFiles = 40;
    Bytes archive;
    for (int i = 0; i < kFiles; ++i) add(archive, "f" + std::to_string(i), '0', std::string(100 + i, 'x'));
    finish(archive);
    auto upTo = [](int last, bool closeLast) {
        std::vector<std::string> events;
        for (int i = 0; i <= last; ++i) {
            const std::string name = "f" + std::to_string(i);
            events.push_back("extracting " + name + " (size " + std::to_string(100 + i) + ")");
            events.push_back("open " + name);
            if (i < last || closeLast) events.push_back("close " + name);
        }
        return events;
    };
    for (int failing : {0, 1, kFiles / 2, kFiles - 1}) {
        // The failing file's close is made before the lines that report the failure, however long it takes.
        for (const std::string& slow : {std::string(), "close f" + std::to_string(failing)}) {
            Faults write;
            write.failWriteAt = failing;  // one write a file
            write.slowCall = slow;
            WalkRun shortWrite = walk(archive, write);
            std::vector<std::string> expected = upTo(failing, true);
            expected.insert(expected.end(), {"report stream error", "report extract file failed"});
            EXPECT_EQ(shortWrite.outcome.result, TarResult::Failure) << failing;
            EXPECT_EQ(shortWrite.events, expected) << failing << slow;
        }

        Faults open;
        open.refuseOpenOf = "f" + std::to_string(failing);
        WalkRun notCreated = walk(archive, open);
        EXPECT_EQ(notCreated.outcome.result, TarResult::FileNotCreated) << failing;
        EXPECT_EQ(notCreated.outcome.failedName, open.refuseOpenOf);
        EXPECT_EQ(notCreated.events, upTo(failing, false)) << failing;
        EXPECT_EQ(notCreated.files.size(), static_cast<size_t>(failing)) << failing;
    }

    // An empty file's close is queued with its open, and the next entry's open and close before
    // the walk sees the refusal: neither close reaches the strict output.
    Bytes empty;
    add(empty, "a", '0');
    add(empty, "b", '0');
    finish(empty);
    Faults refuseA;
    refuseA.refuseOpenOf = "a";
    EXPECT_EQ(walk(empty, refuseA).outcome.failedName, "a");
}

TEST(TarWalk, DamageAfterAFileEndsTheWalkWithItsOwnLine)
{
    // Each damage ends the walk where it is met, with its line and nothing after it, also after a
    // complete file, where the end of the archive would succeed. "a" and its padding end at 1024.
    auto entry = [](const std::string& name, char type, const std::string& data) {
        Bytes tail;
        add(tail, name, type, data);
        return tail;
    };
    auto longName = [&](const std::string& stored) { return entry("././@LongLink", 'L', stored); };
    auto then = [](Bytes tail, const Bytes& more) {
        tail.insert(tail.end(), more.begin(), more.end());
        return tail;
    };
    Bytes cutLongName = longName(std::string(40, 'n'));
    cutLongName.resize(512 + 20);
    Bytes cutData = entry("b", '0', std::string(5000, 's'));
    cutData.resize(512 + 1234);
    struct Case {
        const char* damage;
        Bytes tail;
        long readErrorAt;  // -1: none
        long failSkipAt;   // -1: none
        std::vector<std::string> reports;
    };
    const Case cases[] = {
        {"a header read fails", entry("b", '0', "y"), 1024, -1, {"gzread failed"}},
        {"one byte of a header", Bytes(1, 'b'), -1, -1, {"unexpected eof"}},
        {"the rest of a header's record", entry("b", '0', "y"), -1, 1024 + 500, {"gzseek 1 failed"}},
        {"a size that is not octal", header("b", "00000000009", '0'), -1, -1, {"invalid size field"}},
        {"the data of an entry that is skipped", entry("x", 'x', "data"), -1, 1536, {"gzseek 2 failed"}},
        {"a file's padding", entry("b", '0', "data"), -1, 1540, {"gzseek 3 failed"}},
        {"a long name too long", longName(std::string(kTarLongNameCapacity, 'n')), -1, -1,
         {"long file name too long: 6000"}},
        {"a long name cut short", cutLongName, -1, -1, {"gzread failed for long file name"}},
        {"a long name's padding", longName("long"), -1, 1536 + 4, {"gzseek 4 failed"}},
        {"the header after a long name", then(longName("long"), entry("b", '0', "y")), 2048, -1, {"gzread failed"}},
        {"the size after a long name", then(longName("long"), header("b", "9", '0')), -1, -1, {"invalid size field"}},
        {"a climbing name", entry("../b", '0', "y"), -1, -1, {"refused entry name ..\\b"}},
        {"data cut inside a file", cutData, -1, -1, {"sizes don't match: 1234, 5000", "extract file failed"}},
        {"a cut stream", Bytes(1024, 0), -1, -1, {"unexpected eof"}},
    };
    for (const Case& c : cases) {
        Bytes archive;
        add(archive, "a", '0', "x");
        archive.insert(archive.end(), c.tail.begin(), c.tail.end());
        Faults faults;
        faults.readErrorAt = c.readErrorAt;
        faults.failSkipAt = c.failSkipAt;
        faults.truncatedStream = c.tail == Bytes(1024, 0);  // the gzip stream ends before its trailer
        WalkRun run = walk(archive, faults);
        EXPECT_EQ(run.outcome.result, TarResult::Failure) << c.damage;
        EXPECT_EQ(run.reports, c.reports) << c.damage;
        EXPECT_EQ(run.files["a"], "x") << c.damage;
    }
}

TEST(TarWalk, TheOutputsCallsKeepTheirOrderWhateverTheirPace)
{
    // A line reported at the end follows a directory that is still being made.
    Bytes directory;
    add(directory, "d/", '5');
    finish(directory);
    Faults slowDirectory;
    slowDirectory.slowCall = "dir d\\";
    slowDirectory.slowReadAt = 512;  // the walk reaches its end while the directory is being made
    EXPECT_EQ(walk(directory, slowDirectory).events, (std::vector<std::string>{"dir d\\", "report no magic number"}));

    // The output's thread has made every call and sleeps when a directory comes: the walk's final
    // wait must wake it for that directory.
    Bytes fileThenDirectory;
    add(fileThenDirectory, "a", '0', "x");
    add(fileThenDirectory, "d/", '5');
    finish(fileThenDirectory);
    Faults outputCatchesUp;
    outputCatchesUp.slowReadAt = 1024;
    WalkRun caughtUp = walk(fileThenDirectory, outputCatchesUp);
    EXPECT_EQ(caughtUp.outcome.result, TarResult::Success);
    EXPECT_EQ(caughtUp.directories, std::vector<std::string>{"d\\"});

    // A cancel at b's start, while the output is still on a's line or has not begun: a's open, write
    // and close stay unmade (the double also fails a close of a file that was not opened).
    Bytes twoFiles;
    add(twoFiles, "a", '0', "x");
    add(twoFiles, "b", '0', "y");
    finish(twoFiles);
    Faults cancel;
    cancel.slowCall = "extracting a (size 1)";
    cancel.slowMs = 500;
    cancel.cancelAtProgress = 3;  // a's start, a's block, b's start
    WalkRun cancelled = walk(twoFiles, cancel);
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_LE(cancelled.events.size(), 1u) << cancelled.events.back();
}

#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
// In a child process: walks the archive where no thread can start, and exits 0 when every file
// arrived whole.
[[noreturn]] void walkWhereNoThreadStarts(const Bytes& archive, const std::map<std::string, std::string>& expected)
{
    // A thread now asks for a stack of 1 GiB (none of the cached stacks of earlier threads is that
    // large), and the address space may grow by 64 MiB at most.
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, size_t(1) << 30);
    pthread_setattr_default_np(&attributes);
    long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
        std::fclose(statm);
    }
    const rlim_t limit = static_cast<rlim_t>(pages) * 4096 + (rlim_t(64) << 20);
    const rlimit addressSpace{limit, limit};
    setrlimit(RLIMIT_AS, &addressSpace);
    try {
        std::thread([] {}).join();
        std::_Exit(2);  // a thread still starts: the walk would not be tested without one
    } catch (const std::system_error&) {
    }
    WalkRun run = walk(archive);
    const bool whole = run.outcome.result == TarResult::Success && run.files == expected;
    std::_Exit(whole && !::testing::Test::HasFailure() ? 0 : 1);
}

TEST(TarWalk, WithoutASecondThreadEveryCallIsMadeOnTheWalksOwn)
{
    // More files than the walk has blocks: each block must come back after its write.
    Bytes archive;
    std::map<std::string, std::string> expected;
    for (int i = 0; i < 10; ++i) {
        expected["f" + std::to_string(i)] = std::string(i, 'x');
        add(archive, "f" + std::to_string(i), '0', std::string(i, 'x'));
    }
    finish(archive);
    EXPECT_EXIT(walkWhereNoThreadStarts(archive, expected), ::testing::ExitedWithCode(0), "");
}
#endif
