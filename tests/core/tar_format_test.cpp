#include "core/tar_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
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
    std::vector<std::string> events;  // log lines, opens and reports, in the order they were made
    TarOutcome outcome;

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
    size_t failSkipOf = 0;  // a skip of this many bytes fails
};

WalkRun walk(const Bytes& archive, const Faults& faults = {})
{
    WalkRun run;
    size_t position = 0;
    bool past = false;
    TarInput input;
    input.read = [&](void* buffer, size_t size) -> long {
        if (faults.readErrorAt >= 0 && position == static_cast<size_t>(faults.readErrorAt)) return -1;
        size_t count = std::min(size, archive.size() - std::min(position, archive.size()));
        if (count < size) past = true;
        if (count > 0) std::memcpy(buffer, archive.data() + position, count);
        position += count;
        return static_cast<long>(count);
    };
    input.skip = [&](size_t count) {
        position += count;
        return count != faults.failSkipOf;
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
    auto check = [&](const std::string& call) { if (failed) breaks.push_back(call + " after a failure"); };
    TarOutput output;
    output.makeDirectory = [&](const std::string& name) { check(name), run.directories.push_back(name); };
    output.openFile = [&](const std::string& name) {
        check("open " + name);
        run.events.push_back("open " + name);
        if (faults.refuseOpen || name == faults.refuseOpenOf) return failed = true, false;
        current = name;
        run.files[name];
        open = true;
        return true;
    };
    output.write = [&](const void* bytes, size_t size) {
        if (!open) run.reports.push_back("write outside an open file");
        check("write");
        if (faults.failWrite || writes++ == faults.failWriteAt) return failed = true, false;
        run.files[current].append(static_cast<const char*>(bytes), size);
        return true;
    };
    output.closeFile = [&] {
        if (!open) breaks.push_back("closeFile without an open file");
        open = false;
    };
    output.progress = [&](uint64_t at, bool fileStart) {
        if (fileStart) run.fileStarts.push_back(at);
    };
    output.info = [&](const std::string& text) { check(text), run.events.push_back(text); };
    output.report = [&](const std::string& text) {
        run.reports.push_back(text);
        run.events.push_back("report " + text);
    };
    run.outcome = walkTar(input, output);
    for (const std::string& call : breaks) ADD_FAILURE() << call;
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
    Bytes full = header(fullName, "000000000003", '0');
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

    // Without the end blocks but with a file, the data's end is the archive's end.
    Bytes fileWithoutEnd;
    add(fileWithoutEnd, "last", '0', "kept whole");
    WalkRun ends = walk(fileWithoutEnd);
    EXPECT_EQ(ends.outcome.result, TarResult::Success);
    EXPECT_EQ(ends.files["last"], "kept whole");
}

TEST(TarWalk, DataEndingInsideAFileFailsWithBothSizes)
{
    Bytes archive;
    add(archive, "first", '0', "complete");
    add(archive, "second", '0', std::string(5000, 's'));
    archive.resize(512 + 512 + 512 + 1234);  // cut 1234 bytes into the second file's data

    WalkRun run = walk(archive);
    EXPECT_EQ(run.outcome.result, TarResult::Failure);
    EXPECT_TRUE(run.reported("sizes don't match: 1234, 5000"));
    EXPECT_TRUE(run.reported("extract file failed"));
}

TEST(TarWalk, DamageAtTheEndIsNotMistakenForTheEndOfTheArchive)
{
    Bytes archive;
    add(archive, "first", '0', "complete");
    Bytes cutHeader = archive;
    Bytes next = header("second", octal(3), '0');
    cutHeader.insert(cutHeader.end(), next.begin(), next.begin() + 300);  // a header cut short
    EXPECT_EQ(walk(cutHeader).outcome.result, TarResult::Failure);

    Faults cutStream;
    cutStream.truncatedStream = true;  // the gzip stream ended early at a record boundary
    WalkRun run = walk(archive, cutStream);
    EXPECT_EQ(run.outcome.result, TarResult::Failure);
    EXPECT_TRUE(run.reported("unexpected eof"));
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

TEST(TarWalk, MalformedHeadersFail)
{
    Bytes badSize;
    add(badSize, "a", '0', "x");
    Bytes bad = header("b", "00000000009", '0');
    badSize.insert(badSize.end(), bad.begin(), bad.end());
    finish(badSize);
    WalkRun run = walk(badSize);
    EXPECT_EQ(run.outcome.result, TarResult::Failure);
    EXPECT_TRUE(run.reported("invalid size field"));

    Bytes longLong;
    add(longLong, "././@LongLink", 'L', std::string(kTarLongNameCapacity, 'n'));
    add(longLong, "x", '0', "x");
    finish(longLong);
    EXPECT_EQ(walk(longLong).outcome.result, TarResult::Failure);

    Bytes shortLongName;
    add(shortLongName, "././@LongLink", 'L', std::string(40, 'n'));
    shortLongName.resize(512 + 20);
    WalkRun cut = walk(shortLongName);
    EXPECT_EQ(cut.outcome.result, TarResult::Failure);
    EXPECT_TRUE(cut.reported("gzread failed for long file name"));
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

    Faults read;
    read.readErrorAt = 512;  // the second header
    WalkRun readError = walk(archive, read);
    EXPECT_EQ(readError.outcome.result, TarResult::Failure);
    EXPECT_TRUE(readError.reported("gzread failed"));

    Faults skip;
    skip.failSkipOf = tarPadding(8);  // after "contents"
    WalkRun skipError = walk(archive, skip);
    EXPECT_EQ(skipError.outcome.result, TarResult::Failure);
    EXPECT_TRUE(skipError.reported("gzseek 3 failed"));
}

TEST(TarWalk, AFailedOutputCallEndsTheWalkWithNothingMadeAfterIt)
{
    // The walk reads ahead of the output: the calls queued after a failed open or write are not
    // made, and the failure is reported once, right after the failing file's line.
    const int kFiles = 40;
    Bytes archive;
    for (int i = 0; i < kFiles; ++i) add(archive, "f" + std::to_string(i), '0', std::string(100 + i, 'x'));
    finish(archive);
    auto upTo = [](int last, bool openLast) {
        std::vector<std::string> events;
        for (int i = 0; i <= last; ++i) {
            events.push_back("extracting f" + std::to_string(i) + " (size " + std::to_string(100 + i) + ")");
            if (i < last || openLast) events.push_back("open f" + std::to_string(i));
        }
        return events;
    };
    for (int failing : {0, 1, kFiles / 2, kFiles - 1}) {
        Faults write;
        write.failWriteAt = failing;  // one write a file
        WalkRun shortWrite = walk(archive, write);
        std::vector<std::string> expected = upTo(failing, true);
        expected.insert(expected.end(), {"report stream error", "report extract file failed"});
        EXPECT_EQ(shortWrite.outcome.result, TarResult::Failure) << failing;
        EXPECT_EQ(shortWrite.events, expected) << failing;

        Faults open;
        open.refuseOpenOf = "f" + std::to_string(failing);
        WalkRun notCreated = walk(archive, open);
        EXPECT_EQ(notCreated.outcome.result, TarResult::FileNotCreated) << failing;
        EXPECT_EQ(notCreated.outcome.failedName, open.refuseOpenOf);
        EXPECT_EQ(notCreated.events, upTo(failing, true)) << failing;
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
