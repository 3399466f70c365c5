#include "core/deletion_list.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

std::vector<uint8_t> utf16le(const std::u16string& text)
{
    std::vector<uint8_t> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    return bytes;
}

// A file system of paths; a locked path refuses deletion for its first `lockedPasses` attempts.
struct FakeFileSystem {
    std::set<std::u16string> present;
    std::set<std::u16string> directories;  // refuse deleteFile; the other paths refuse removeDirectory
    std::map<std::u16string, int> lockedAttempts;  // remaining refused attempts; -1: for ever
    bool schedulingWorks = true;
    std::vector<std::u16string> scheduled;
    std::vector<unsigned> sleeps;

    bool remove(const std::u16string& path)
    {
        if (!present.count(path)) return false;
        auto locked = lockedAttempts.find(path);
        if (locked != lockedAttempts.end() && locked->second != 0) {
            if (locked->second > 0) --locked->second;
            return false;
        }
        present.erase(path);
        return true;
    }

    DeletionOperations operations()
    {
        DeletionOperations ops;
        ops.deleteFile = [this](const std::u16string& path) { return !directories.count(path) && remove(path); };
        ops.removeDirectory = [this](const std::u16string& path) { return directories.count(path) && remove(path); };
        ops.exists = [this](const std::u16string& path) { return present.count(path) > 0; };
        ops.scheduleAtReboot = [this](const std::u16string& path) {
            if (schedulingWorks) scheduled.push_back(path);
            return schedulingWorks;
        };
        ops.sleep = [this](unsigned milliseconds) { sleeps.push_back(milliseconds); };
        return ops;
    }
};

}  // namespace

TEST(DeletionListParsing, SectionsInOrderWithCrLfOrLf)
{
    DeletionList list = parseDeletionList(utf16le(
        u"Local\\stw_sem\r\nreboot_deletion\r\nRestart now?\r\nSecond line\r\nEOSMARKER\r\n"
        u"Restart failed.\nEOSMARKER trailing text\n"
        u"C:\\a\\one.txt\r\nC:\\a\\two.txt\r\n\r\nC:\\a\\sub\r\n\r\nC:\\a\r"));  // the last line unended
    EXPECT_EQ(list.semaphore, u"Local\\stw_sem");
    EXPECT_TRUE(list.rebootDeletion);
    EXPECT_FALSE(list.forceReboot);
    EXPECT_EQ(list.rebootQuestion, u"Restart now?\nSecond line");
    EXPECT_EQ(list.rebootFailureText, u"Restart failed.");
    EXPECT_EQ(list.files, (std::vector<std::u16string>{u"C:\\a\\one.txt", u"C:\\a\\two.txt"}));
    EXPECT_EQ(list.directories, (std::vector<std::u16string>{u"C:\\a\\sub", u"C:\\a"}));
    // The last character of an unended list, one above U+00FF, and half a character after it.
    std::vector<uint8_t> bytes = utf16le(u"\n\n\nEOSMARKER\nEOSMARKER\n\nC:\\\u0416");
    for (int odd : {0, 1}) {
        if (odd) bytes.push_back(0x41);
        EXPECT_EQ(parseDeletionList(bytes).directories, std::vector<std::u16string>{u"C:\\\u0416"}) << odd;
    }
    // A list that ends with the question's line end has no empty line after it.
    EXPECT_EQ(parseDeletionList(utf16le(u"s\n\nRestart?\n")).rebootQuestion, u"Restart?");
    // A list cut after any of its lines, or before the first, keeps what came before the cut.
    const std::u16string whole = u"s\nforce_reboot\nq\nEOSMARKER\nf\nEOSMARKER\nC:\\x\n\nC:\\d\n";
    for (size_t cut = 0; cut <= whole.size(); cut = whole.find(u'\n', cut) + 1) {
        DeletionList part = parseDeletionList(utf16le(whole.substr(0, cut)));
        EXPECT_EQ(part.semaphore, cut > 0 ? u"s" : u"") << cut;
        EXPECT_EQ(part.forceReboot, cut > 2) << cut;
        EXPECT_EQ(part.directories.size(), cut == whole.size() ? 1u : 0u) << cut;
        if (cut == whole.size()) break;
    }
}

TEST(DeletionListParsing, OptionsLineIsComparedWhole)
{
    struct Case {
        const char16_t* options;
        bool force;
        bool rebootDeletion;
    };
    for (const Case& c : {Case{u"force_reboot", true, true}, Case{u"reboot_deletion", false, true},
                          Case{u"none", false, false}, Case{u"force_reboot ", false, false},
                          Case{u"REBOOT_DELETION", false, false}}) {
        DeletionList list = parseDeletionList(utf16le(std::u16string(u"\n") + c.options + u"\n"));
        EXPECT_EQ(list.forceReboot, c.force) << std::string(c.options, c.options + 5);
        EXPECT_EQ(list.rebootDeletion, c.rebootDeletion);
    }
}

TEST(DeletionListParsing, OverlongPathLinesAreDroppedNotCut)
{
    std::u16string longPath = u"C:\\" + std::u16string(kDeletionListLineLimit, u'a');  // and limit + 1 below
    std::u16string exactPath = u"C:\\" + std::u16string(kDeletionListLineLimit - 3, u'b');
    std::u16string longSemaphore(kDeletionListLineLimit + 1, u's');  // other lines are cut at the limit
    DeletionList list = parseDeletionList(utf16le(longSemaphore + u"\n\nq\nEOSMARKER\nf\nEOSMARKER\n" + longPath + u"\n" +
                                                  exactPath + u"\nC:\\short\n\n" + longPath.substr(2) + u"\nC:\\dir\n"));
    EXPECT_EQ(list.semaphore, longSemaphore.substr(1));
    EXPECT_EQ(list.files, (std::vector<std::u16string>{exactPath, u"C:\\short"}));
    EXPECT_EQ(list.directories, std::vector<std::u16string>{u"C:\\dir"});
}

TEST(DeletionPasses, LockedFileReleasedLaterIsDeletedWithoutReboot)
{
    FakeFileSystem fs;
    fs.present = {u"C:\\app\\a.txt", u"C:\\app\\b.txt", u"C:\\app"};
    fs.directories = {u"C:\\app"};
    fs.lockedAttempts[u"C:\\app\\b.txt"] = 3;
    fs.lockedAttempts[u"C:\\app"] = 3;  // not empty while b.txt is there
    DeletionList list;
    list.rebootDeletion = true;
    list.files = {u"C:\\app\\a.txt", u"C:\\app\\gone.txt", u"C:\\app\\b.txt"};  // gone.txt: already deleted
    list.directories = {u"C:\\app"};
    DeletionOutcome outcome = runDeletionPasses(list, fs.operations());
    EXPECT_TRUE(fs.present.empty());
    EXPECT_EQ(outcome.passes, 4);
    EXPECT_EQ(fs.sleeps, (std::vector<unsigned>{500, 500, 500}));
    EXPECT_FALSE(outcome.rebootNeeded);
    EXPECT_TRUE(fs.scheduled.empty());
}

TEST(DeletionPasses, ExtractionDirectoryLeftoversAreScheduledAtOnceAndAskNoQuestion)
{
    for (bool schedulingWorks : {true, false}) {
        FakeFileSystem fs;
        fs.schedulingWorks = schedulingWorks;
        const std::u16string file = u"C:\\T\\tlw1A.tmp_dir17\\stwruntime.jar";
        const std::u16string directory = u"C:\\T\\tlw1A.tmp_dir17";
        fs.present = {file, directory};
        fs.lockedAttempts[file] = -1;
        fs.lockedAttempts[directory] = -1;
        DeletionList list;  // no reboot deletion allowed: the rule applies regardless
        list.files = {file};
        list.directories = {directory};
        DeletionOutcome outcome = runDeletionPasses(list, fs.operations());
        EXPECT_EQ(outcome.passes, 1);
        const std::vector<std::u16string> both{file, directory};
        EXPECT_EQ(outcome.scheduled, schedulingWorks ? both : std::vector<std::u16string>{});
        EXPECT_EQ(outcome.remaining, schedulingWorks ? std::vector<std::u16string>{} : both);
        EXPECT_FALSE(outcome.rebootNeeded);
        EXPECT_TRUE(fs.sleeps.empty());
    }
}

TEST(DeletionPasses, StubbornFileIsScheduledInTheLastPassOnlyWhenAllowed)
{
    for (bool allowed : {false, true}) {
        FakeFileSystem fs;
        fs.present = {u"C:\\app\\locked.dll", u"C:\\app"};
        fs.lockedAttempts[u"C:\\app\\locked.dll"] = -1;
        fs.lockedAttempts[u"C:\\app"] = -1;
        DeletionList list;
        list.rebootDeletion = allowed;
        list.files = {u"C:\\app\\locked.dll"};
        list.directories = {u"C:\\app"};
        DeletionOutcome outcome = runDeletionPasses(list, fs.operations(), 60, 500);
        EXPECT_EQ(outcome.passes, 60);
        EXPECT_EQ(fs.sleeps.size(), 59u);  // none after the last pass
        EXPECT_EQ(outcome.rebootNeeded, allowed);
        if (allowed) {
            EXPECT_EQ(fs.scheduled, (std::vector<std::u16string>{u"C:\\app\\locked.dll", u"C:\\app"}));
            EXPECT_EQ(outcome.scheduled, fs.scheduled);
            EXPECT_TRUE(outcome.remaining.empty());
        } else {
            EXPECT_TRUE(fs.scheduled.empty());
            EXPECT_EQ(outcome.remaining.size(), 2u);
        }
    }
    // A directory scheduled alone needs no restart: only a file left in use does.
    FakeFileSystem fs;
    fs.present = {u"C:\\app"};
    fs.lockedAttempts[u"C:\\app"] = -1;
    DeletionList list;
    list.rebootDeletion = true;
    list.directories = {u"C:\\app"};
    DeletionOutcome outcome = runDeletionPasses(list, fs.operations(), 2, 500);
    EXPECT_EQ(outcome.scheduled, std::vector<std::u16string>{u"C:\\app"});
    EXPECT_FALSE(outcome.rebootNeeded);
}
