// The deletion list of a clean-up run and the passes that work it off.
//
//   UTF-16LE text, read as raw wide characters (no byte-order mark handling), lines ended by LF
//   or CR LF, at most 8191 characters a line:
//     line 1          semaphore held by the process whose end is awaited (empty: no wait)
//     line 2          options: "force_reboot" or "reboot_deletion" (anything else: neither)
//     lines ...       reboot question text, up to a line beginning with "EOSMARKER"
//     lines ...       reboot failure text, up to the next line beginning with "EOSMARKER"
//     lines ...       files to delete, one full path a line, ended by an empty line
//     lines ...       directories to remove, one full path a line (empty lines skipped)
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

constexpr size_t kDeletionListLineLimit = 8191;

struct DeletionList {
    std::u16string semaphore;
    bool forceReboot = false;
    bool rebootDeletion = false;       // deletions may be scheduled for the next reboot
    std::u16string rebootQuestion;     // lines joined with "\n"
    std::u16string rebootFailureText;  // lines joined with "\n"
    std::vector<std::u16string> files;
    std::vector<std::u16string> directories;
};

// Parses the bytes of a list file. Missing sections are empty; an odd last byte is ignored; a path
// line longer than the line limit is dropped rather than cut to a different path.
DeletionList parseDeletionList(const std::vector<uint8_t>& bytes);

// The file system operations of the passes (the launcher passes Win32 calls, tests a fake).
struct DeletionOperations {
    std::function<bool(const std::u16string&)> deleteFile;
    std::function<bool(const std::u16string&)> removeDirectory;
    std::function<bool(const std::u16string&)> exists;
    std::function<bool(const std::u16string&)> scheduleAtReboot;  // delete at the next reboot
    std::function<void(unsigned milliseconds)> sleep;
};

struct DeletionOutcome {
    int passes = 0;              // passes made
    bool rebootNeeded = false;   // a file (not a directory) was scheduled for the reboot after retries
    std::vector<std::u16string> scheduled;  // in the order they were scheduled
    std::vector<std::u16string> remaining;  // neither deleted nor scheduled
};

// Works off the list: up to maxPasses passes, interval apart (no sleep after the last), files
// before directories. A deleted or vanished entry leaves the list; one that stays and lies in an
// extraction directory is scheduled at once; the others are retried, and in the last pass are
// scheduled when the list allows reboot deletion. A pass without failures ends the retries.
DeletionOutcome runDeletionPasses(const DeletionList& list, const DeletionOperations& operations,
                                  int maxPasses = 60, unsigned interval = 500);
