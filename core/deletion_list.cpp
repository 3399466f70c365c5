#include "core/deletion_list.h"

#include "core/payload_names.h"

namespace {

struct Line {
    std::u16string text;
    bool tooLong = false;
};

std::vector<Line> splitLines(const std::vector<uint8_t>& bytes)
{
    std::vector<Line> lines;
    Line current;
    bool pending = false;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char16_t c = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        pending = true;
        if (c == u'\n') {
            while (!current.text.empty() && current.text.back() == u'\r') current.text.pop_back();
            lines.push_back(std::move(current));
            current = Line();
            pending = false;
            continue;
        }
        if (current.text.size() < kDeletionListLineLimit + 1) current.text += c;
        else current.tooLong = true;
    }
    if (pending) {
        while (!current.text.empty() && current.text.back() == u'\r') current.text.pop_back();
        lines.push_back(std::move(current));
    }
    for (Line& line : lines) {
        if (line.text.size() > kDeletionListLineLimit) {
            line.text.resize(kDeletionListLineLimit);
            line.tooLong = true;
        }
    }
    return lines;
}

bool beginsWithMarker(const std::u16string& line) { return line.compare(0, 9, u"EOSMARKER") == 0; }

void appendLine(std::u16string& text, bool& first, const std::u16string& line)
{
    if (!first) text += u'\n';
    text += line;
    first = false;
}

}  // namespace

DeletionList parseDeletionList(const std::vector<uint8_t>& bytes)
{
    DeletionList list;
    std::vector<Line> lines = splitLines(bytes);
    size_t i = 0;
    if (i < lines.size()) list.semaphore = lines[i++].text;
    if (i < lines.size()) {
        const std::u16string& options = lines[i++].text;
        list.forceReboot = options == u"force_reboot";
        list.rebootDeletion = list.forceReboot || options == u"reboot_deletion";
    }
    bool first = true;
    while (i < lines.size() && !beginsWithMarker(lines[i].text)) appendLine(list.rebootQuestion, first, lines[i++].text);
    if (i < lines.size()) ++i;
    first = true;
    while (i < lines.size() && !beginsWithMarker(lines[i].text))
        appendLine(list.rebootFailureText, first, lines[i++].text);
    if (i < lines.size()) ++i;
    for (; i < lines.size(); ++i) {
        if (lines[i].text.empty()) {
            ++i;
            break;
        }
        if (!lines[i].tooLong) list.files.push_back(lines[i].text);
    }
    for (; i < lines.size(); ++i) {
        if (!lines[i].text.empty() && !lines[i].tooLong) list.directories.push_back(lines[i].text);
    }
    return list;
}

DeletionOutcome runDeletionPasses(const DeletionList& list, const DeletionOperations& operations, int maxPasses,
                                  unsigned interval)
{
    struct Entry {
        std::u16string path;
        bool directory;
    };
    std::vector<Entry> entries;
    for (const std::u16string& file : list.files) entries.push_back({file, false});
    for (const std::u16string& directory : list.directories) entries.push_back({directory, true});

    DeletionOutcome outcome;
    for (int pass = 1; pass <= maxPasses && !entries.empty(); ++pass) {
        outcome.passes = pass;
        bool failed = false;
        std::vector<Entry> kept;
        for (const Entry& entry : entries) {
            bool removed = entry.directory ? operations.removeDirectory(entry.path) : operations.deleteFile(entry.path);
            if (removed || !operations.exists(entry.path)) continue;
            if (isExtractionDirectoryPath(entry.path)) {
                // Leftovers of an extraction directory go at the reboot without holding up the run.
                if (operations.scheduleAtReboot(entry.path)) outcome.scheduled.push_back(entry.path);
                else outcome.remaining.push_back(entry.path);
                continue;
            }
            failed = true;
            if (pass == maxPasses && list.rebootDeletion && operations.scheduleAtReboot(entry.path)) {
                outcome.scheduled.push_back(entry.path);
                if (!entry.directory) outcome.rebootNeeded = true;
                continue;
            }
            kept.push_back(entry);
        }
        entries = std::move(kept);
        if (!failed) break;
        if (pass < maxPasses) operations.sleep(interval);
    }
    for (const Entry& entry : entries) outcome.remaining.push_back(entry.path);
    return outcome;
}
