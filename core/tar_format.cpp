#include "core/tar_format.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
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

// Makes the output's calls on a second thread, in the walk's order: creating directories and
// files, writing, closing and the log lines of entries, so that the file system's work overlaps
// the inflation of the entries after. Progress stays on the walk's thread. After an open or a write
// fails, the second thread makes no further call except closing the open file; the walk sees
// failed() at its next block or entry and stops there. Nothing is allocated and no thread starts
// before the first call.
class OutputThread {
public:
    explicit OutputThread(TarOutput& output) : out_(output) {}
    ~OutputThread()
    {
        if (!thread_.joinable()) return;
        {
            // An unwinding walk (a cancel) leaves what is queued unwritten.
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        work_.notify_one();
        thread_.join();
    }
    OutputThread(const OutputThread&) = delete;
    OutputThread& operator=(const OutputThread&) = delete;

    void makeDirectory(const std::string& name) { push(Call{Call::Kind::Directory, name}); }
    void info(const std::string& text) { push(Call{Call::Kind::Info, text}); }
    void openFile(const std::string& name) { push(Call{Call::Kind::Open, name}); }
    void closeFile() { push(Call{Call::Kind::Close, {}}); }

    // A buffer of at least size bytes (at most kTarCopyBlock) for the next write; waits while
    // every block is queued.
    char* block(size_t size)
    {
        if (!started_) start();
        if (filling_ == kNoBlock) {
            std::unique_lock<std::mutex> lock(mutex_);
            waitForWriter(lock, [this] { return !freeBlocks_.empty(); });
            filling_ = freeBlocks_.back();
            freeBlocks_.pop_back();
        }
        // Only the walk touches a block between here and its write.
        Block& block = blocks_[filling_];
        if (block.capacity < size) {
            block.bytes.reset(new char[size]);
            block.capacity = size;
        }
        return block.bytes.get();
    }
    // Queues the first size bytes of the buffer block() gave.
    void write(size_t size)
    {
        Call call{Call::Kind::Write, {}};
        call.block = filling_;
        call.size = size;
        filling_ = kNoBlock;
        push(std::move(call));
    }

    bool failed() const { return failed_.load(); }
    // Waits until every queued call has been made.
    void drain()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        waitForWriter(lock, [this] { return calls_.empty() && !busy_; });
    }
    // After drain: the file that could not be created (empty when a write failed or none did).
    const std::string& unopenedName() const { return unopened_; }

private:
    static constexpr size_t kBlocks = 8;
    static constexpr size_t kQueuedCalls = 256;  // bounds the queue of an archive of directories
    static constexpr size_t kNoBlock = kBlocks;

    struct Call {
        enum class Kind { Directory, Info, Open, Write, Close } kind;
        std::string text;
        size_t block = 0;
        size_t size = 0;
    };
    struct Block {
        std::unique_ptr<char[]> bytes;
        size_t capacity = 0;
    };

    void start()
    {
        started_ = true;
        for (size_t i = 0; i < kBlocks; ++i) freeBlocks_.push_back(i);
        try {
            thread_ = std::thread([this] { run(); });
        } catch (const std::system_error&) {
            // No second thread: every call is made where the walk queues it.
        }
    }

    void push(Call call)
    {
        if (!started_) start();
        if (!thread_.joinable()) {
            make(call);
            if (call.kind == Call::Kind::Write) freeBlocks_.push_back(call.block);
            return;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        waitForWriter(lock, [this] { return calls_.size() < kQueuedCalls; });
        // Waking a thread costs system calls (under Wine, server round trips): the writer is woken
        // for a file's data and its close, not for each line or name before them.
        const bool wake = writerWaiting_ && (call.kind == Call::Kind::Write || call.kind == Call::Kind::Close);
        calls_.push_back(std::move(call));
        lock.unlock();
        if (wake) work_.notify_one();
    }

    // Waits on the walk's side until ready() holds, waking the writer first when it sleeps on
    // calls it was not woken for.
    template <typename Ready>
    void waitForWriter(std::unique_lock<std::mutex>& lock, Ready ready)
    {
        if (ready()) return;
        if (writerWaiting_) work_.notify_one();
        walkWaiting_ = true;
        room_.wait(lock, ready);
        walkWaiting_ = false;
    }

    void run()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            if (!stop_ && calls_.empty()) {
                writerWaiting_ = true;
                work_.wait(lock, [this] { return stop_ || !calls_.empty(); });
                writerWaiting_ = false;
            }
            if (calls_.empty()) return;
            Call call = std::move(calls_.front());
            calls_.pop_front();
            busy_ = true;
            const bool skip = stop_ && call.kind != Call::Kind::Close;
            lock.unlock();
            if (!skip) make(call);
            lock.lock();
            busy_ = false;
            if (call.kind == Call::Kind::Write) freeBlocks_.push_back(call.block);
            if (walkWaiting_) room_.notify_one();
        }
    }

    // Makes one call; after a failure only the open file's close is made, so nothing reaches the
    // output that the walk, stopping at the failure, would not have made. A close follows each
    // open the walk queues, made or not (refused, after a failure, or skipped when cancelled): it
    // reaches the output only for a file that is open.
    void make(const Call& call)
    {
        if (failed_.load() && call.kind != Call::Kind::Close) return;
        switch (call.kind) {
        case Call::Kind::Directory:
            if (out_.makeDirectory) out_.makeDirectory(call.text);
            break;
        case Call::Kind::Info:
            if (out_.info) out_.info(call.text);
            break;
        case Call::Kind::Open:
            fileOpen_ = out_.openFile(call.text);
            if (fileOpen_) break;
            unopened_ = call.text;
            failed_ = true;
            break;
        case Call::Kind::Write:
            if (!out_.write(blocks_[call.block].bytes.get(), call.size)) failed_ = true;
            break;
        case Call::Kind::Close:
            if (!fileOpen_) break;
            fileOpen_ = false;
            out_.closeFile();
            break;
        }
    }

    TarOutput& out_;
    std::array<Block, kBlocks> blocks_;
    std::vector<size_t> freeBlocks_;
    size_t filling_ = kNoBlock;  // the block the walk reads into (the walk's thread only)
    std::deque<Call> calls_;
    std::string unopened_;
    bool fileOpen_ = false;  // the thread making the calls only
    std::atomic<bool> failed_{false};
    bool started_ = false;  // the walk's thread only
    bool busy_ = false;     // a call is being made
    bool stop_ = false;
    bool writerWaiting_ = false;
    bool walkWaiting_ = false;
    std::mutex mutex_;
    std::condition_variable work_;  // the writer waits here for calls
    std::condition_variable room_;  // the walk waits here for blocks, queue room or the drain
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
            if (!entry() || outputFailed()) break;
        }
        output_.drain();
        outputFailed();
        if (result_ && in_.truncated && in_.truncated()) {
            report("unexpected eof");
            result_ = false;
        }
        outcome_.result = fileNotCreated_ ? TarResult::FileNotCreated
                                          : (result_ ? TarResult::Success : TarResult::Failure);
        return outcome_;
    }

private:
    // Error lines follow every line queued before them. After a failed output call the walk would
    // have stopped there, so that failure is what it reports.
    void report(const std::string& text)
    {
        output_.drain();
        if (outputFailed()) return;
        if (out_.report) out_.report(text);
    }

    // Reports why the walk ends. result_ needs no reset: only the end of the archive sets it, and
    // that ends the walk.
    bool fail(const std::string& text)
    {
        report(text);
        return false;
    }

    // Whether an output call failed (seen without waiting); the first time, drains the output
    // and ends the walk with that failure.
    bool outputFailed()
    {
        if (!output_.failed()) return false;
        if (failureNoted_) return true;
        failureNoted_ = true;
        result_ = false;
        output_.drain();
        if (!output_.unopenedName().empty()) {
            fileNotCreated_ = true;
            outcome_.failedName = output_.unopenedName();
        } else if (out_.report) {
            out_.report("stream error");
            out_.report("extract file failed");
        }
        return true;
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
        if (got < 0) return fail("gzread failed");
        // A header cut short is a damaged archive, whatever its first bytes say.
        if (got > 0 && static_cast<size_t>(got) < kTarHeaderReadSize) return fail("unexpected eof");
        if (!hasUstarMagic(header_)) {
            endOfArchive("no magic number");
            return false;
        }
        if (!in_.skip(kTarRecordSize - kTarHeaderReadSize)) return fail("gzseek 1 failed");
        return true;
    }

    bool parseSize(int32_t& size)
    {
        if (parseTarSize(reinterpret_cast<const char*>(header_) + kSizeOffset, kSizeLength, size)) return true;
        return fail("invalid size field");
    }

    bool skipPadding(uint32_t size, const char* failure)
    {
        uint32_t padding = tarPadding(size);
        if (padding == 0 || in_.skip(padding)) return true;
        return fail(failure);
    }

    // One entry whose header is in header_; false ends the walk.
    bool entry()
    {
        int32_t size = 0;
        if (!parseSize(size)) return false;
        char type = static_cast<char>(header_[kTypeOffset]);
        std::string name;
        if (type == 'L') {
            if (static_cast<size_t>(size) >= kTarLongNameCapacity)
                return fail("long file name too long: " + std::to_string(size));
            std::vector<char> stored(static_cast<size_t>(size) + 1, '\0');
            long got = size == 0 ? 0 : in_.read(stored.data(), static_cast<size_t>(size));
            if (got != size) return fail("gzread failed for long file name");
            name.assign(stored.data());  // up to the first NUL, as stored
            if (!skipPadding(static_cast<uint32_t>(size), "gzseek 4 failed")) return false;
            if (!readHeader()) return false;
            if (!parseSize(size)) return false;
            type = static_cast<char>(header_[kTypeOffset]);
        } else {
            name = tarHeaderName(header_);
        }

        if ((type == '5' || type == '0') && !isSafeEntryName(name)) return fail("refused entry name " + name);
        if (type == '5') {
            output_.makeDirectory(name);
        } else if (type == '0') {
            if (out_.progress) out_.progress(in_.position(), true);
            if (!extractFile(name, size)) return fail("extract file failed");
            ++outcome_.regularFiles;
        } else if (size > 0 && !in_.skip(static_cast<size_t>(size))) {
            return fail("gzseek 2 failed");
        }
        return skipPadding(static_cast<uint32_t>(size), "gzseek 3 failed");
    }

    bool extractFile(const std::string& name, int32_t size)
    {
        output_.info("extracting " + name + " (size " + std::to_string(size) + ")");
        output_.openFile(name);
        long long written = 0;
        while (written < size && !output_.failed()) {
            const size_t want = static_cast<size_t>(std::min<long long>(static_cast<long long>(kTarCopyBlock), size - written));
            char* block = output_.block(want);
            size_t got = 0;
            while (got < want) {
                long more = in_.read(block + got, want - got);
                if (more <= 0) break;
                got += static_cast<size_t>(more);
            }
            if (got > 0) {
                output_.write(got);
                written += static_cast<long long>(got);
                if (out_.progress) out_.progress(in_.position(), false);
            }
            if (got < want) break;
        }
        output_.closeFile();
        if (outputFailed()) return false;
        if (written != size) return fail(describeSizes("sizes don't match: ", written, size));
        return true;
    }

    TarInput& in_;
    TarOutput& out_;
    OutputThread output_{out_};
    uint8_t header_[kTarHeaderReadSize]{};
    bool result_ = false;
    bool fileNotCreated_ = false;
    bool failureNoted_ = false;  // an output failure ended the walk
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
