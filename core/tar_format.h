// The tar subset of a runtime archive ("jre.tar.gz") and the walk that extracts it.
//
//   record (512 bytes; the launcher reads 500 and skips 12):
//     0    100  name, up to the first NUL; "/" becomes "\"
//     124  12   size, octal ASCII (leading blanks and zeros skipped; NUL, or a blank after a digit, ends it)
//     156  1    type: '0' regular file, '5' directory, 'L' the data is the next entry's name;
//               every other type (NUL, links, extended headers) is skipped with its data
//     257  5    "ustar" (the version after it is not compared)
//   data follows its header, padded with zeros to the next multiple of 512 bytes.
//   The archive ends at a record without the magic (the zero records), or at the end of the data;
//   it succeeds only when at least one regular file was extracted.
//
// Entry names are relative to the target directory. A name that is absolute, carries a drive or a
// stream (any ":"), climbs with "..", or names a device is refused, as are sizes that are not
// octal digits or do not fit a signed 32-bit count, and long names of 6000 bytes or more.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

constexpr size_t kTarRecordSize = 512;
constexpr size_t kTarHeaderReadSize = 500;
constexpr size_t kTarLongNameCapacity = 6000;  // including the terminating NUL
// Files are read and written in blocks of at most this size; up to eight blocks wait for the
// output's thread while the walk reads on.
constexpr size_t kTarCopyBlock = 1 << 20;

// The size field (12 characters from byte 124); false when a character is not an octal digit
// or the value exceeds INT32_MAX (size is then untouched).
bool parseTarSize(const char* field, size_t length, int32_t& size);
// Bytes 257-261 read "ustar"; header holds at least 262 bytes.
bool hasUstarMagic(const uint8_t* header);
// Bytes 0-99 up to the first NUL, with "/" turned into "\".
std::string tarHeaderName(const uint8_t* header);
// Zero bytes after size data bytes up to the next record boundary.
uint32_t tarPadding(uint32_t size);
// Whether name may be created below the target directory (rules above; empty names are refused).
bool isSafeEntryName(const std::string& name);

// The archive as the walk reads it (zlib's gz interface in the launcher, memory in tests).
struct TarInput {
    // Reads up to size bytes; the count (short at the end), or -1 on a read error.
    std::function<long(void* buffer, size_t size)> read;
    // Skips count bytes forward; false on an error.
    std::function<bool(size_t count)> skip;
    // True once a read has hit the end of the data.
    std::function<bool()> atEnd;
    // The uncompressed position, for progress.
    std::function<uint64_t()> position;
    // True when the data ended before its container said it would (a cut gzip stream); optional.
    std::function<bool()> truncated;
};

// Where the walk puts entries and what it says (narrow text; names as stored in the archive).
// makeDirectory, openFile, write, closeFile and info are called on a second thread, one at a time
// and in the walk's order, while the walk reads on; progress and report on the walk's own thread,
// report only once every earlier call has returned.
struct TarOutput {
    std::function<void(const std::string& name)> makeDirectory;  // a failure is ignored
    // Creates name for writing; false when it cannot be created.
    std::function<bool(const std::string& name)> openFile;
    // Writes to the open file; false on a short write.
    std::function<bool(const void* bytes, size_t size)> write;
    std::function<void()> closeFile;
    // position of the archive at a regular file's start (fileStart) and after each copied block.
    std::function<void(uint64_t position, bool fileStart)> progress;
    std::function<void(const std::string& text)> info;    // log lines
    std::function<void(const std::string& text)> report;  // error lines
};

enum class TarResult { Success, Failure, FileNotCreated };

struct TarOutcome {
    TarResult result = TarResult::Failure;
    std::string failedName;  // the entry that could not be created (FileNotCreated)
    int regularFiles = 0;    // regular files extracted completely (counted on success)
};

// Walks the archive from its current position to its end, extracting into output.
TarOutcome walkTar(TarInput& input, TarOutput& output);
