#include "core/tar_format.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "core/device_names.h"

namespace {

constexpr size_t kSizeOffset = 124;
constexpr size_t kSizeLength = 12;
constexpr size_t kTypeOffset = 156;
constexpr size_t kMagicOffset = 257;
constexpr size_t kNameLength = 100;

bool isSeparator(char c) { return c == '\\' || c == '/'; }

// Windows drops trailing dots and blanks from a path component, so ". ." and "..." climb like "..".
bool climbs(const std::string& component)
{
    size_t dots = 0;
    for (char c : component) {
        if (c == '.') {
            ++dots;
        } else if (c != ' ') {
            return false;
        }
    }
    return dots >= 2;
}

// Writes a file's blocks on a second thread while the walk inflates the next ones, so the two
// overlap. Only write runs there, in order, one block at a time; the walk waits for the writer
// (drain) before it closes a file or calls anything else of the output, so every other call and
// every result stays where and when it was.
class BlockWriter {
public:
    // Nothing is allocated and no thread starts before the first block is asked for, so archives
    // of small files never pay for them.
    explicit BlockWriter(TarOutput& output) : out_(output) {}
    ~BlockWriter()
    {
        if (!thread_.joinable()) return;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    BlockWriter(const BlockWriter&) = delete;
    BlockWriter& operator=(const BlockWriter&) = delete;

    // A free block to read into (waits while every block is queued).
    char* freeBlock()
    {
        if (!blocks_[0]) start();
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return queued_ < blocks_.size(); });
        return blocks_[(first_ + queued_) % blocks_.size()].get();
    }
    // Queues the first size bytes of the block freeBlock gave; false once a write has failed.
    bool queue(size_t size)
    {
        if (!thread_.joinable()) {
            failed_ = failed_ || !out_.write(freeBlock(), size);
            return !failed_;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        if (failed_) return false;
        sizes_[(first_ + queued_) % blocks_.size()] = size;
        ++queued_;
        changed_.notify_all();
        return true;
    }
    // Waits until every queued block is written; false when one failed (and clears the failure).
    bool drain()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return queued_ == 0 && !writing_; });
        bool ok = !failed_;
        failed_ = false;
        return ok;
    }

private:
    void start()
    {
        for (auto& block : blocks_) block.reset(new char[kTarCopyBlock]);
        try {
            thread_ = std::thread([this] { run(); });
        } catch (const std::system_error&) {
            // No second thread: blocks are written where they are read.
        }
    }
    void run()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return stop_ || queued_ > 0; });
            if (queued_ == 0) return;
            const size_t index = first_;
            writing_ = true;
            const bool skip = failed_;  // after a failed write the file's other blocks are dropped
            lock.unlock();
            const bool ok = skip || out_.write(blocks_[index].get(), sizes_[index]);
            lock.lock();
            writing_ = false;
            failed_ = failed_ || !ok;
            first_ = (first_ + 1) % blocks_.size();
            --queued_;
            changed_.notify_all();
        }
    }

    TarOutput& out_;
    std::array<std::unique_ptr<char[]>, 4> blocks_;
    std::array<size_t, 4> sizes_{};
    size_t first_ = 0;   // the oldest queued block
    size_t queued_ = 0;  // blocks queued, the one being written included
    bool writing_ = false;
    bool failed_ = false;
    bool stop_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread thread_;
};

std::string describeSizes(const char* text, long long written, long long expected)
{
    return std::string(text) + std::to_string(written) + ", " + std::to_string(expected);
}

class Walk {
public:
    Walk(TarInput& input, TarOutput& output) : in_(input), out_(output) {}

    TarOutcome run()
    {
        while (readHeader()) {
            if (!entry()) break;
        }
        if (result_ && in_.truncated && in_.truncated()) {
            report("unexpected eof");
            result_ = false;
        }
        outcome_.result = fileNotCreated_ ? TarResult::FileNotCreated
                                          : (result_ ? TarResult::Success : TarResult::Failure);
        return outcome_;
    }

private:
    void report(const std::string& text)
    {
        if (out_.report) out_.report(text);
    }
    void info(const std::string& text)
    {
        if (out_.info) out_.info(text);
    }

    // The end of the archive decides the result: it succeeds after at least one regular file.
    void endOfArchive(const char* whyNone)
    {
        result_ = outcome_.regularFiles > 0;
        if (!result_) report(whyNone);
    }

    bool readHeader()
    {
        if (in_.atEnd()) {
            endOfArchive("unexpected eof");
            return false;
        }
        std::memset(header_, 0, sizeof header_);
        long got = in_.read(header_, kTarHeaderReadSize);
        if (got < 0) {
            report("gzread failed");
            result_ = false;
            return false;
        }
        // A header cut short is a damaged archive, whatever its first bytes say.
        if (got > 0 && static_cast<size_t>(got) < kTarHeaderReadSize) {
            report("unexpected eof");
            result_ = false;
            return false;
        }
        if (!hasUstarMagic(header_)) {
            endOfArchive("no magic number");
            return false;
        }
        if (!in_.skip(kTarRecordSize - kTarHeaderReadSize)) {
            report("gzseek 1 failed");
            result_ = false;
            return false;
        }
        return true;
    }

    bool parseSize(int32_t& size)
    {
        if (parseTarSize(reinterpret_cast<const char*>(header_) + kSizeOffset, kSizeLength, size)) return true;
        report("invalid size field");
        result_ = false;
        return false;
    }

    bool skipPadding(uint32_t size, const char* failure)
    {
        uint32_t padding = tarPadding(size);
        if (padding == 0 || in_.skip(padding)) return true;
        report(failure);
        result_ = false;
        return false;
    }

    // One entry whose header is in header_; false ends the walk.
    bool entry()
    {
        int32_t size = 0;
        if (!parseSize(size)) return false;
        char type = static_cast<char>(header_[kTypeOffset]);
        std::string name;
        if (type == 'L') {
            if (static_cast<size_t>(size) >= kTarLongNameCapacity) {
                report("long file name too long: " + std::to_string(size));
                result_ = false;
                return false;
            }
            std::vector<char> stored(static_cast<size_t>(size) + 1, '\0');
            long got = size == 0 ? 0 : in_.read(stored.data(), static_cast<size_t>(size));
            if (got != size) {
                report("gzread failed for long file name");
                result_ = false;
                return false;
            }
            name.assign(stored.data());  // up to the first NUL, as stored
            if (!skipPadding(static_cast<uint32_t>(size), "gzseek 4 failed")) return false;
            if (!readHeader()) return false;
            if (!parseSize(size)) return false;
            type = static_cast<char>(header_[kTypeOffset]);
        } else {
            name = tarHeaderName(header_);
        }

        if (type == '5' || type == '0') {
            if (!isSafeEntryName(name)) {
                report("refused entry name " + name);
                result_ = false;
                return false;
            }
        }
        if (type == '5') {
            if (out_.makeDirectory) out_.makeDirectory(name);
        } else if (type == '0') {
            if (out_.progress) out_.progress(in_.position(), true);
            if (!extractFile(name, size)) {
                if (!fileNotCreated_) report("extract file failed");
                result_ = false;
                return false;
            }
            ++outcome_.regularFiles;
        } else if (size > 0 && !in_.skip(static_cast<size_t>(size))) {
            report("gzseek 2 failed");
            result_ = false;
            return false;
        }
        return skipPadding(static_cast<uint32_t>(size), "gzseek 3 failed");
    }

    bool extractFile(const std::string& name, int32_t size)
    {
        info("extracting " + name + " (size " + std::to_string(size) + ")");
        if (!out_.openFile(name)) {
            fileNotCreated_ = true;
            outcome_.failedName = name;
            return false;
        }
        long long written = 0;
        bool streamError = false;
        if (static_cast<size_t>(size) <= kTarCopyBlock) {
            // One block: nothing to overlap, so it is read and written here.
            if (single_.size() < static_cast<size_t>(size)) single_.resize(static_cast<size_t>(size));
            long long got = 0;
            while (got < size) {
                long more = in_.read(single_.data() + got, static_cast<size_t>(size - got));
                if (more <= 0) break;
                got += more;
            }
            if (got > 0) {
                streamError = !out_.write(single_.data(), static_cast<size_t>(got));
                if (!streamError) written = got;
                if (out_.progress) out_.progress(in_.position(), false);
            }
        } else {
            while (written < size) {
                size_t want = static_cast<size_t>(std::min<long long>(static_cast<long long>(kTarCopyBlock), size - written));
                long got = in_.read(writer_.freeBlock(), want);
                if (got <= 0) break;
                if (!writer_.queue(static_cast<size_t>(got))) {
                    streamError = true;
                    break;
                }
                written += got;
                if (out_.progress) out_.progress(in_.position(), false);
            }
            if (!writer_.drain()) streamError = true;
        }
        out_.closeFile();
        if (streamError) {
            report("stream error");
            return false;
        }
        if (written != size) {
            report(describeSizes("sizes don't match: ", written, size));
            return false;
        }
        return true;
    }

    TarInput& in_;
    TarOutput& out_;
    BlockWriter writer_{out_};
    std::vector<char> single_;  // the buffer of files of at most one block
    uint8_t header_[kTarHeaderReadSize]{};
    bool result_ = false;
    bool fileNotCreated_ = false;
    TarOutcome outcome_;
};

}  // namespace

bool parseTarSize(const char* field, size_t length, int32_t& size)
{
    uint64_t value = 0;
    bool significant = false;
    for (size_t i = 0; i < length; ++i) {
        char c = field[i];
        if (c == '\0') break;
        if (!significant && (c == ' ' || c == '0')) continue;
        if (c == ' ') break;
        if (c < '0' || c > '7') return false;
        significant = true;
        value = value * 8 + static_cast<uint64_t>(c - '0');
        if (value > 0x7FFFFFFFu) return false;
    }
    size = static_cast<int32_t>(value);
    return true;
}

bool hasUstarMagic(const uint8_t* header) { return std::memcmp(header + kMagicOffset, "ustar", 5) == 0; }

std::string tarHeaderName(const uint8_t* header)
{
    const char* text = reinterpret_cast<const char*>(header);
    std::string name(text, strnlen(text, kNameLength));
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}

uint32_t tarPadding(uint32_t size)
{
    uint32_t rest = size % kTarRecordSize;
    return rest == 0 ? 0 : static_cast<uint32_t>(kTarRecordSize) - rest;
}

bool isSafeEntryName(const std::string& name)
{
    if (name.empty() || isSeparator(name[0]) || name.find(':') != std::string::npos) return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = start;
        while (end < name.size() && !isSeparator(name[end])) ++end;
        std::string component = name.substr(start, end - start);
        if (climbs(component) || isDeviceNameCp1252(component)) return false;
        start = end + 1;
    }
    return true;
}

TarOutcome walkTar(TarInput& input, TarOutput& output)
{
    Walk walk(input, output);
    return walk.run();
}
