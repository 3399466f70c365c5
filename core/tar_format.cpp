#include "core/tar_format.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kSizeOffset = 124;
constexpr size_t kSizeLength = 12;
constexpr size_t kTypeOffset = 156;
constexpr size_t kMagicOffset = 257;
constexpr size_t kNameLength = 100;

bool isSeparator(char c) { return c == '\\' || c == '/'; }

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Windows opens these names as devices in every directory, whatever the extension.
bool isDeviceName(const std::string& component)
{
    std::string base = component.substr(0, component.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    std::transform(base.begin(), base.end(), base.begin(), upper);
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : kDevices) {
        if (base == device) return true;
    }
    return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
           base[3] >= '1' && base[3] <= '9';
}

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
        std::vector<char> block(std::min<size_t>(kTarCopyBlock, static_cast<size_t>(size) + 1));
        long long written = 0;
        bool streamError = false;
        while (written < size) {
            size_t want = static_cast<size_t>(std::min<long long>(static_cast<long long>(kTarCopyBlock), size - written));
            long got = in_.read(block.data(), want);
            if (got <= 0) break;
            if (!out_.write(block.data(), static_cast<size_t>(got))) {
                streamError = true;
                break;
            }
            written += got;
            if (out_.progress) out_.progress(in_.position(), false);
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
        if (climbs(component) || isDeviceName(component)) return false;
        start = end + 1;
    }
    return true;
}

TarOutcome walkTar(TarInput& input, TarOutput& output)
{
    Walk walk(input, output);
    return walk.run();
}
