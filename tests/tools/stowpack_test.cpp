#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>

#include "core/config_format.h"
#include "core/crc32.h"
#include "core/text.h"
#include "tools/stowpack/cli.h"

namespace fs = std::filesystem;

namespace {

// A scratch directory removed at the end of the test.
class ScratchDir {
public:
    ScratchDir()
    {
        static std::atomic<int> counter{0};
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = fs::temp_directory_path() /
                ("stowpack-test-" + std::string(info->name()) + "-" + std::to_string(counter++));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~ScratchDir()
    {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

void writeFile(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::vector<uint8_t> readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A launcher reduced to the headers the packer checks: DOS header, PE header, a PE32+ optional
// header and two sections whose raw data ends at 0x600, followed by `extra` bytes.
std::string fakeLauncher(size_t extra = 0)
{
    std::string file(0x600 + extra, '\0');
    auto put16 = [&](size_t at, uint16_t v) { file[at] = char(v & 0xFF), file[at + 1] = char(v >> 8); };
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) file[at + i] = char((v >> (8 * i)) & 0xFF);
    };
    file[0] = 'M', file[1] = 'Z';
    put32(60, 0x80);
    std::memcpy(&file[0x80], "PE\0\0", 4);
    put16(0x84, 0x8664);
    put16(0x86, 2);
    put16(0x94, 240);
    put16(0x98, 0x20B);
    size_t table = 0x80 + 24 + 240;
    std::memcpy(&file[table], ".text", 5);
    put32(table + 16, 0x200), put32(table + 20, 0x200);
    std::memcpy(&file[table + 40], ".rsrc", 5);
    put32(table + 40 + 16, 0x200), put32(table + 40 + 20, 0x400);
    for (size_t i = 0x600; i < file.size(); ++i) file[i] = 'S';
    return file;
}

constexpr uint64_t kBlockStart = 0x600;

struct Outcome {
    int code;
    std::string out;
    std::string err;
};

Outcome stowpack(const std::vector<std::string>& arguments)
{
    std::ostringstream out, err;
    int code = runStowpack(arguments, out, err);
    return {code, out.str(), err.str()};
}

const char* const kProject = R"(launcher = "bin/launcher.exe"
download_site = "https://example.org/java"
java_data = "data/java.bin"

[config]
application_name = "Acme Setup"
main_class = "com.example.Main"
launcher_type = 1
single_instance = true
class_path = ["app.jar", "lib\\x.jar"]
10201 = "8-11"
stdout_file = "caf\u00e9.log"

[messages]
error_title = "Problem"
20019 = "Mindestens:"

[messages.pt_BR]
error_title = "Erro BR"

[messages.pt]
error_title = "Erro"

[[files]]
source = "files/app.jar"

[[files]]
source = "files/params.txt"
name = "conf/params.txt"

[[files]]
source = "files/empty.txt"
)";

// A scratch directory with the launcher, the payload files and a project file.
void layOutProject(const ScratchDir& dir, const std::string& project = kProject)
{
    writeFile(dir / "bin/launcher.exe", fakeLauncher());
    std::string jar;
    for (int i = 0; i < 70000; ++i) jar += static_cast<char>(i * 31 % 251);
    writeFile(dir / "files/app.jar", jar);
    writeFile(dir / "files/params.txt", "a=1\n");
    writeFile(dir / "files/empty.txt", "");
    writeFile(dir / "data/java.bin", "JAVADATA");
    writeFile(dir / "project.toml", project);
}

ConfigBlock readBlock(const std::vector<uint8_t>& bytes, const std::string& language = "")
{
    ByteSource source = memoryByteSource(bytes);
    OverlayLocation location;
    EXPECT_EQ(locateOverlay(source, location).failure, ReadFailure::None);
    EXPECT_EQ(location.blockStart, kBlockStart);
    ConfigBlock block;
    EXPECT_EQ(parseConfigBlock(source, [&] { return language; }, true, block).failure, ReadFailure::None);
    return block;
}

}  // namespace

TEST(StowpackBuild, WritesTheBlockAndThePayloadTheLauncherReads)
{
    ScratchDir dir;
    layOutProject(dir);
    Outcome run = stowpack({"build", (dir / "project.toml").string(), "-o", (dir / "out.exe").string()});
    ASSERT_EQ(run.code, 0) << run.err;
    std::vector<uint8_t> bytes = readFile(dir / "out.exe");
    std::vector<uint8_t> launcher = readFile(dir / "bin/launcher.exe");
    ASSERT_TRUE(std::equal(launcher.begin(), launcher.end(), bytes.begin()));

    ConfigBlock block = readBlock(bytes, "pt_BR");
    EXPECT_EQ(block.strings.at(101), "Acme Setup");
    EXPECT_EQ(block.strings.at(107), "1");
    EXPECT_EQ(block.strings.at(10005), "1");
    EXPECT_EQ(block.strings.at(121), "app.jar;lib\\x.jar");
    EXPECT_EQ(block.strings.at(10201), "8-11");
    EXPECT_EQ(block.strings.at(105), "caf\xE9.log");  // Windows-1252
    EXPECT_EQ(block.strings.at(2002), "3");
    EXPECT_EQ(block.strings.at(2003), "app.jar;conf\\params.txt;empty.txt");
    EXPECT_EQ(block.messages.at(1000), u"Erro BR");  // pt, then pt_BR
    EXPECT_EQ(block.messages.at(20019), u"Mindestens:");
    EXPECT_EQ(block.messages.at(20013), u"stowline Wizard");
    EXPECT_EQ(utf16ToUtf8(block.messages.at(20001)),
              "Acme Setup is downloading the Java(TM) Runtime Environment. Please wait.");
    ASSERT_EQ(block.languageSets.size(), 2u);
    EXPECT_EQ(block.languageSets[0].name, "pt");
    EXPECT_EQ(block.languageSets[1].name, "pt_BR");

    // Payload: per file an 8-byte length and the masked bytes, in [[files]] order.
    size_t at = block.payloadStart;
    for (const char* name : {"files/app.jar", "files/params.txt", "files/empty.txt"}) {
        std::vector<uint8_t> original = readFile(dir / name);
        ASSERT_LE(at + 8, bytes.size());
        uint64_t length = 0;
        for (int b = 7; b >= 0; --b) length = length << 8 | bytes[at + b];
        EXPECT_EQ(length, original.size()) << name;
        std::vector<uint8_t> data(bytes.begin() + at + 8, bytes.begin() + at + 8 + length);
        maskPayload(data.data(), data.size());
        EXPECT_EQ(data, original) << name;
        at += 8 + length;
    }
    EXPECT_EQ(std::string(bytes.begin() + at, bytes.end()), "JAVADATA");

    EXPECT_EQ(block.checksumPresent, 1u);
    EXPECT_EQ(static_cast<uint64_t>(block.coveredLength), bytes.size() - kBlockStart - 20);
    EXPECT_EQ(block.checksum, crc32Update(kCrc32Initial, bytes.data() + kBlockStart + 20, bytes.size() - kBlockStart - 20));
}

TEST(StowpackBuild, OutputIsByteForByteReproducible)
{
    ScratchDir dir;
    layOutProject(dir);
    const std::string project = (dir / "project.toml").string();
    ASSERT_EQ(stowpack({"build", project, "-o", (dir / "a.exe").string()}).code, 0);
    fs::last_write_time(dir / "files/app.jar", fs::last_write_time(dir / "files/app.jar") + std::chrono::hours(1));
    ASSERT_EQ(stowpack({"build", project, "-o", (dir / "b.exe").string()}).code, 0);
    EXPECT_EQ(readFile(dir / "a.exe"), readFile(dir / "b.exe"));
}

TEST(StowpackBuild, JsonProjectGivesTheSameInstallerAsToml)
{
    ScratchDir dir;
    layOutProject(dir);
    writeFile(dir / "project.json", R"({
  "launcher": "bin/launcher.exe", "download_site": "https://example.org/java", "java_data": "data/java.bin",
  "config": {"application_name": "Acme Setup", "main_class": "com.example.Main", "launcher_type": 1,
             "single_instance": true, "class_path": ["app.jar", "lib\\x.jar"], "10201": "8-11",
             "stdout_file": "caf\u00e9.log"},
  "messages": {"error_title": "Problem", "20019": "Mindestens:", "pt": {"error_title": "Erro"},
               "pt_BR": {"error_title": "Erro BR"}},
  "files": [{"source": "files/app.jar"}, {"source": "files/params.txt", "name": "conf/params.txt"},
            {"source": "files/empty.txt"}]
})");
    ASSERT_EQ(stowpack({"build", (dir / "project.toml").string(), "-o", (dir / "t.exe").string()}).code, 0);
    Outcome run = stowpack({"build", (dir / "project.json").string(), "-o", (dir / "j.exe").string()});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(readFile(dir / "t.exe"), readFile(dir / "j.exe"));
}

TEST(StowpackBuild, TestOptionsDamageTheInstallerAsAsked)
{
    ScratchDir dir;
    layOutProject(dir);
    const std::string project = (dir / "project.toml").string();
    ASSERT_EQ(stowpack({"build", project, "-o", (dir / "plain.exe").string()}).code, 0);
    const std::vector<uint8_t> plain = readFile(dir / "plain.exe");
    const ConfigBlock plainBlock = readBlock(plain);

    ASSERT_EQ(stowpack({"build", project, "-o", (dir / "nocheck.exe").string(), "--no-checksum"}).code, 0);
    EXPECT_EQ(readBlock(readFile(dir / "nocheck.exe")).checksumPresent, 0u);

    ASSERT_EQ(stowpack({"build", project, "-o", (dir / "wrong.exe").string(), "--wrong-crc"}).code, 0);
    EXPECT_NE(readBlock(readFile(dir / "wrong.exe")).checksum, plainBlock.checksum);
    Outcome dump = stowpack({"dump", (dir / "wrong.exe").string()});
    EXPECT_EQ(dump.code, kExitFailure);
    EXPECT_NE(dump.err.find("checksum does not match"), std::string::npos);

    ASSERT_EQ(stowpack({"build", project, "-o", (dir / "signed.exe").string(), "--trailing-bytes", "100"}).code, 0);
    std::vector<uint8_t> signedBytes = readFile(dir / "signed.exe");
    EXPECT_EQ(signedBytes.size(), plain.size() + 100);
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), signedBytes.begin()));  // same header and CRC
    EXPECT_EQ(stowpack({"dump", (dir / "signed.exe").string()}).code, 0);

    ASSERT_EQ(stowpack({"build", project, "-o", (dir / "cut.exe").string(), "--truncate-at", "1000"}).code, 0);
    EXPECT_EQ(fs::file_size(dir / "cut.exe"), 1000u);
}

TEST(StowpackBuild, WithoutDefaultsOnlyTheProjectsMessagesAreWritten)
{
    ScratchDir dir;
    layOutProject(dir, "launcher = \"bin/launcher.exe\"\ndefault_messages = false\n[messages]\nok = \"Fine\"\n");
    Outcome run = stowpack({"build", (dir / "project.toml").string(), "-o", (dir / "out.exe").string()});
    ASSERT_EQ(run.code, 0) << run.err;
    ConfigBlock block = readBlock(readFile(dir / "out.exe"));
    EXPECT_EQ(block.messages, (std::map<int32_t, std::u16string>{{1013, u"Fine"}}));
    EXPECT_EQ(block.strings.count(101), 0u);
}

TEST(StowpackBuild, BytesAfterTheLastSectionAreLeftOutWithAWarning)
{
    ScratchDir dir;
    layOutProject(dir);
    writeFile(dir / "bin/launcher.exe", fakeLauncher(300));
    Outcome run = stowpack({"build", (dir / "project.toml").string(), "-o", (dir / "out.exe").string()});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.err.find("300 bytes after the last section"), std::string::npos);
    ConfigBlock block = readBlock(readFile(dir / "out.exe"));  // the block sits right after .rsrc
    EXPECT_EQ(block.strings.at(2002), "3");
}

TEST(StowpackDump, ShowsKeysMessagesSetsAndPayloadFiles)
{
    ScratchDir dir;
    layOutProject(dir);
    ASSERT_EQ(stowpack({"build", (dir / "project.toml").string(), "-o", (dir / "out.exe").string()}).code, 0);
    Outcome run = stowpack({"dump", (dir / "out.exe").string(), "--language", "pt_BR"});
    ASSERT_EQ(run.code, 0) << run.err;
    const char* expected[] = {
        "config block at 1536",
        "main_class (122) = \"com.example.Main\"",
        "included_file_count (2002) = \"3\"",
        "stdout_file (105) = \"caf\xC3\xA9.log\"",
        "error_title (1000) = \"Erro BR\"",
        "\"pt\" (1 entries, applied)",
        "\"app.jar\" length 70000",
        "\"conf\\\\params.txt\" length 4",
        "\"empty.txt\" length 0",
        "data for the Java side: 8 bytes",
        "matches",
    };
    for (const char* line : expected) EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
}

TEST(StowpackDump, DamagedInstallersNameTheFailingField)
{
    ScratchDir dir;
    layOutProject(dir);
    const std::string project = (dir / "project.toml").string();
    ASSERT_EQ(stowpack({"build", project, "-o", (dir / "full.exe").string()}).code, 0);
    const ConfigBlock block = readBlock(readFile(dir / "full.exe"));
    struct Case {
        uint64_t cut;
        const char* field;
    };
    const Case cases[] = {
        {kBlockStart + 2, "readInt"},  // cut inside the magic itself
        {kBlockStart + 14, "readLong"},
        {kBlockStart + 20 + 4 + 4 + 2, "readString"},
        {block.payloadStart - 3, "readWString"},
        {block.payloadStart + 4, "readLong"},
        {block.payloadStart + 100, "run past the end"},
    };
    for (const Case& c : cases) {
        const std::string cut = (dir / ("cut" + std::to_string(c.cut) + ".exe")).string();
        ASSERT_EQ(stowpack({"build", project, "-o", cut, "--truncate-at", std::to_string(c.cut)}).code, 0);
        Outcome run = stowpack({"dump", cut});
        EXPECT_EQ(run.code, kExitFailure) << c.field;
        EXPECT_NE(run.err.find(c.field), std::string::npos) << c.cut << ": " << run.err;
    }
}

TEST(StowpackErrors, BadProjectsNameFileLineAndKeyAndLeaveNoOutput)
{
    struct Case {
        const char* what;
        std::string project;
        std::vector<std::string> expected;  // pieces of the error message
    };
    const std::string head = "launcher = \"bin/launcher.exe\"\ndownload_site = \"x\"\n";
    const std::string named = head + "[config]\napplication_name = \"A\"\n";
    const Case cases[] = {
        {"syntax", named + "main_class = \n", {"project.toml:5:"}},
        {"unknown alias", named + "main_klass = \"x\"\n", {"project.toml:5:1", "main_klass", "unknown config key"}},
        {"not Windows-1252", named + "main_class = \"\xE4\xB8\xAD\"\n", {"project.toml:5:", "main_class", "Windows-1252"}},
        {"float value", named + "launcher_type = 1.5\n", {"project.toml:5:", "launcher_type"}},
        {"file list by hand", named + "included_file_count = 2\n", {"project.toml:5:1", "included_file_count"}},
        {"key twice", named + "main_class = \"a\"\n122 = \"b\"\n", {"project.toml:6:1", "given twice"}},
        {"unknown message", named + "[messages]\nerror_titel = \"x\"\n", {"project.toml:6:1", "error_titel"}},
        {"unknown message in a set", named + "[messages.de]\n1000 = \"a\"\nnope = \"b\"\n", {"project.toml:7:1", "nope"}},
        {"two directory levels", named + "[[files]]\nsource = \"files/app.jar\"\nname = \"a\\\\b\\\\c\"\n",
         {"project.toml:7:", "at most one directory level"}},
        {"semicolon in a name", named + "[[files]]\nsource = \"files/app.jar\"\nname = \"a;b\"\n", {"project.toml:7:"}},
        {"missing source", named + "[[files]]\nsource = \"files/none.jar\"\n", {"project.toml:5:1", "none.jar"}},
        {"file listed twice", named + "[[files]]\nsource = \"files/app.jar\"\n[[files]]\nsource = \"files/APP.jar\"\n",
         {"project.toml:7:1", "listed twice"}},
        {"no application name", head + "[config]\nmain_class = \"x\"\n", {"project.toml", "application_name"}},
        {"no download site", "launcher = \"bin/launcher.exe\"\n[config]\napplication_name = \"A\"\n", {"download_site"}},
        {"unknown setting", head + "compression = true\n", {"project.toml:3:1", "compression"}},
        {"no launcher", "download_site = \"x\"\n[config]\napplication_name = \"A\"\n", {"--launcher"}},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        layOutProject(dir, c.project);
        const fs::path output = dir / "out.exe";
        Outcome run = stowpack({"build", (dir / "project.toml").string(), "-o", output.string()});
        EXPECT_EQ(run.code, kExitBadInput) << c.what << ": " << run.err;
        for (const std::string& piece : c.expected) {
            EXPECT_NE(run.err.find(piece), std::string::npos) << c.what << ": " << run.err;
        }
        EXPECT_FALSE(fs::exists(output)) << c.what;
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            EXPECT_EQ(entry.path().string().find("out.exe"), std::string::npos) << c.what << ": " << entry.path();
        }
    }
}

// Malformed project files from anywhere: each ends in exit 2 naming the file, line and column,
// never in a crash or a parser's assertion.
TEST(StowpackErrors, HostileProjectFilesEndWithAPosition)
{
    struct Case {
        const char* file;
        std::string text;
        std::string expected;  // the start of the error message
    };
    const std::string deepJson = "{\"config\": " + std::string(25000, '[') + std::string(25000, ']') + "}";
    const std::string deepToml = "a = " + std::string(20000, '[') + std::string(20000, ']') + "\n";
    const Case cases[] = {
        {"project.json", deepJson, "project.json:1:43: nested deeper than 32 levels"},
        {"project.json", "{\"config\": " + std::string(30, '[') + std::string(30, ']') + "}",
         "project.json: [config] must be a table"},
        {"project.json", "{\"a\": [1, 2,\n  }", "project.json:2:3: "},
        {"project.json", "[1]", "project.json:1:1: the project must be a JSON object"},
        {"project.json", "{\"a\": \"\xC3\"}", "project.json:1:8: not UTF-8"},
        {"project.toml", deepToml, "project.toml:1:37: nested deeper than 32 levels"},
        {"project.toml", "x = {a = " + std::string(40, '{') + "\n", "project.toml:1:41: nested deeper"},
        {"project.toml", "[[[", "project.toml:1:1: a table header must name a key"},
        {"project.toml", "[[=", "project.toml:1:1: a table header must name a key"},
        {"project.toml", "a = 1\n  [ ]\n", "project.toml:2:3: a table header must name a key"},
        {"project.toml", "\xC3\xA9", "project.toml:1:1: a character outside a string or comment must be ASCII"},
        {"project.toml", "[[files]]\nsour = 0989-05-27Tc::33:00Z\n", "project.toml:2:12: dates and times are not"},
        {"project.toml", "a = 07:32:00\n", "project.toml:1:7: dates and times are not"},
        {"project.toml", "launcher = 22222 \"2\xCE\x95\"\n", "project.toml:1:18: a string cannot begin here"},
        {"project.toml", "hae=+&=\"H\xC2\xB7HH", "project.toml:1:6: a value cannot hold this character"},
        {"project.toml", "a = [1, x=\"\xC2\xB7\"]", "project.toml:1:10: a value cannot hold this character"},
        {"project.toml", "m=[3381.1~\"\xC2\xB7\"]", "project.toml:1:10: a value cannot hold this character"},
        // an array's value on a later line (and after a comment) is held to the same rule
        {"project.toml", "_=[\n4)e[\"\"\"[\xEF\xBB\xBF" "as", "project.toml:2:2: a value cannot hold this character"},
        {"project.toml", "a = [ # one\n  1, # two\n\n 2)\"\xC2\xB7\"]", "project.toml:4:3: a value cannot hold"},
        {"project.toml", "a = [\n  1,\n  # two\n  2,\n]\nb = [\n\"x\", # c\n]\n", "project.toml:1:1: a: unknown setting"},
        {"project.toml", "x = {a=1,b=[2,{c=3}]}\n", "project.toml:1:1: x: unknown setting"},  // screened through
        {"project.toml", "a = \"\"\"\\\xEF\xBB\xA6\"\"\"", "project.toml:1:9: an escape must be an ASCII letter"},
        {"project.toml", "a = \"\"\"\\  \n \xCE\x95\"\"\"", "project.toml:2:2: the text after a line-ending"},
        {"project.toml", "a = \"\xFF\"", "project.toml:1:6: not UTF-8"},
        {"project.toml", std::string("a = 1\n[\0]", 9), "project.toml:2:2: a control character is not allowed"},
        {"project.toml", "a = \"\xED\xA0\x80\"", "project.toml:1:6: not UTF-8"},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        layOutProject(dir);
        writeFile(dir / c.file, c.text);
        Outcome run = stowpack({"build", (dir / c.file).string(), "-o", (dir / "out.exe").string()});
        EXPECT_EQ(run.code, kExitBadInput) << c.expected;
        EXPECT_NE(run.err.find((dir / c.expected).string()), std::string::npos) << c.expected << "\n" << run.err;
    }
    // Texts the screening lets through: brackets, quotes and non-ASCII in strings and comments.
    ScratchDir dir;
    layOutProject(dir, "\xEF\xBB\xBFlauncher = \"bin/launcher.exe\"  # [[[ \xC3\xA9\ndownload_site = 'x[[[{{'\n"
                       "[ config ]\napplication_name = \"\"\"A \\\"[[\xC3\xA9\"\"\"\n");
    Outcome run = stowpack({"build", (dir / "project.toml").string(), "-o", (dir / "out.exe").string()});
    EXPECT_EQ(run.code, 0) << run.err;
}

TEST(StowpackErrors, UnreadableLauncherFailsWithoutOutput)
{
    ScratchDir dir;
    layOutProject(dir);
    writeFile(dir / "notpe.exe", std::string(100, 'x'));
    const fs::path output = dir / "out.exe";
    Outcome run = stowpack({"build", (dir / "project.toml").string(), "-o", output.string(), "--launcher",
                        (dir / "notpe.exe").string()});
    EXPECT_EQ(run.code, kExitFailure);
    EXPECT_NE(run.err.find("not a Windows executable"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(output));
    EXPECT_FALSE(fs::exists(dir / "out.exe.stowpack-partial"));
}

TEST(StowpackErrors, UsageMistakesExitWithTwo)
{
    const std::vector<std::vector<std::string>> cases = {
        {}, {"pack"}, {"build", "p.toml"}, {"build", "p.toml", "-o", "x.exe", "--trailing-bytes", "-3"}, {"dump"},
    };
    for (const auto& arguments : cases) {
        Outcome run = stowpack(arguments);
        EXPECT_EQ(run.code, kExitBadInput);
        EXPECT_NE(run.err.find("usage:"), std::string::npos);
    }
}

namespace {

constexpr size_t kSecurityEntry = 0x98 + 112 + 4 * 8;  // PE32+ optional header at 0x98

void putWord(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// Does to an installer what a signing tool does: pads it to 8 bytes, appends a certificate table
// of one entry and points the security directory at it (tableAt overrides where it points).
uint32_t signLikeATool(const fs::path& path, int64_t tableAt = -1)
{
    std::vector<uint8_t> bytes = readFile(path);
    putWord(bytes, 0x98 + 108, 16);  // NumberOfRvaAndSizes
    bytes.resize((bytes.size() + 7) / 8 * 8, 0);
    const auto offset = static_cast<uint32_t>(tableAt >= 0 ? tableAt : static_cast<int64_t>(bytes.size()));
    const size_t entry = bytes.size();
    bytes.resize(entry + 0x28, 0x30);
    putWord(bytes, entry, 0x28);
    putWord(bytes, entry + 4, 0x00020200);  // revision 2.0, PKCS#7 signed data
    putWord(bytes, kSecurityEntry, offset);
    putWord(bytes, kSecurityEntry + 4, 0x28);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return offset;
}

}  // namespace

TEST(StowpackVerify, PassesIntactInstallersSignedOrNotAndNamesTheFailingField)
{
    ScratchDir dir;
    layOutProject(dir);
    const std::string project = (dir / "project.toml").string();
    ASSERT_EQ(stowpack({"build", project, "-o", (dir / "plain.exe").string()}).code, 0);
    const ConfigBlock block = readBlock(readFile(dir / "plain.exe"));
    struct Case {
        const char* name;
        std::vector<std::string> options;
        std::function<void(const fs::path&)> change;
        int code;
        const char* said;  // on standard output (success) or error (failure)
    };
    auto flip = [](uint64_t offset) {
        return [offset](const fs::path& path) {
            std::vector<uint8_t> bytes = readFile(path);
            bytes[offset] ^= 0x01;
            std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                        static_cast<std::streamsize>(bytes.size()));
        };
    };
    const uint64_t lastPayloadByte = kBlockStart + 20 + static_cast<uint64_t>(block.coveredLength) - 1;
    const Case cases[] = {
        {"plain", {}, nullptr, 0, "signature: none"},
        {"signed", {}, [](const fs::path& p) { signLikeATool(p); }, 0, "signature: present, certificate table at"},
        {"signed, then a payload byte changed", {},
         [&](const fs::path& p) {
             signLikeATool(p);
             flip(lastPayloadByte)(p);
         }, 1, ": checksum: "},
        {"signature inside the covered region", {},
         [&](const fs::path& p) { signLikeATool(p, static_cast<int64_t>(lastPayloadByte - 7)); }, 1, ": coveredLength: "},
        {"no checksum", {"--no-checksum"}, nullptr, 1, ": checksumPresent: "},
        {"cut inside a config string", {"--truncate-at", std::to_string(kBlockStart + 30)}, nullptr, 1, ": readString: "},
        {"cut inside the payload", {"--truncate-at", std::to_string(block.payloadStart + 100)}, nullptr, 1,
         ": payload file: "},
        {"wrong magic", {}, flip(kBlockStart), 1, ": magic: "},
    };
    for (const Case& c : cases) {
        const fs::path installer = dir / (std::string(c.name) + ".exe");
        std::vector<std::string> arguments = {"build", project, "-o", installer.string()};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        ASSERT_EQ(stowpack(arguments).code, 0) << c.name;
        if (c.change) c.change(installer);
        Outcome run = stowpack({"verify", installer.string()});
        EXPECT_EQ(run.code, c.code) << c.name << "\n" << run.out << run.err;
        EXPECT_NE((c.code == 0 ? run.out : run.err).find(c.said), std::string::npos) << c.name << "\n" << run.out << run.err;
        EXPECT_EQ(run.out.find("OK\n") != std::string::npos, c.code == 0) << c.name;
    }
    EXPECT_EQ(stowpack({"verify"}).code, kExitBadInput);
}

TEST(StowpackDump, ShowsTheCertificateTableAndWarnsAboutOtherTrailingBytes)
{
    ScratchDir dir;
    layOutProject(dir);
    const std::string project = (dir / "project.toml").string();
    ASSERT_EQ(stowpack({"build", project, "-o", (dir / "signed.exe").string()}).code, 0);
    const uint32_t table = signLikeATool(dir / "signed.exe");
    Outcome run = stowpack({"dump", (dir / "signed.exe").string()});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.out.find("certificate table: offset " + std::to_string(table) + ", size 40 (1 entries"),
              std::string::npos) << run.out;
    EXPECT_EQ(run.err.find("warning"), std::string::npos) << run.err;

    ASSERT_EQ(stowpack({"build", project, "-o", (dir / "padded.exe").string(), "--trailing-bytes", "100"}).code, 0);
    run = stowpack({"dump", (dir / "padded.exe").string()});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.out.find("not a certificate table: 100 bytes"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("warning: " + (dir / "padded.exe").string() +
                           ": 100 bytes after the covered region are not a certificate table"),
              std::string::npos) << run.err;

    // A signed installer used as the launcher: its block and signature are left out, and the
    // security directory no longer points past the copy.
    Outcome repack = stowpack({"build", project, "-o", (dir / "repacked.exe").string(), "--launcher",
                               (dir / "signed.exe").string()});
    ASSERT_EQ(repack.code, 0) << repack.err;
    EXPECT_NE(repack.err.find("signature (40 bytes) is left out"), std::string::npos) << repack.err;
    std::vector<uint8_t> repacked = readFile(dir / "repacked.exe");
    EXPECT_EQ(std::vector<uint8_t>(repacked.begin() + kSecurityEntry, repacked.begin() + kSecurityEntry + 8),
              std::vector<uint8_t>(8, 0));
    EXPECT_EQ(stowpack({"verify", (dir / "repacked.exe").string()}).code, 0);
}
