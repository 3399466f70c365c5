// The integrity check of the data appended to the executable: a CRC-32 over the covered region
// (config entries, message table and payload) compared with the value in the block's header.
//
//   header at the block start (little-endian):
//     0   u32  magic 0xE8E413D5
//     4   u32  check flag: 0 no check
//     8   u32  expected CRC-32 (zlib's)
//     12  i64  covered length: bytes after the 20-byte header that the CRC covers
//   Bytes after the covered region (a signature added later) are not read.
#pragma once

#include <windows.h>

#include <cstdint>

enum class PayloadVerdict {
    Intact,      // the CRC matches
    NotChecked,  // the check is off (switch or check flag 0): nothing was read after the header
    WrongMagic,  // the header is not there (also when it cannot be read)
    Mismatch,    // the CRC differs
    Truncated,   // the file ends before the covered region does (or the length is negative)
    ReadFailed,  // ReadFile failed inside the covered region
};

struct PayloadCheck {
    PayloadVerdict verdict = PayloadVerdict::WrongMagic;
    uint32_t expected = 1;  // a missing header compares as expected 1, computed 0
    uint32_t computed = 0;
    int64_t coveredLength = 0;
    int64_t bytesDone = 0;
    DWORD readError = 0;    // GetLastError of a failed read
};

// Checks the block whose header starts at file's current position; with checkEnabled false only
// the magic is read. With a window the bar moves 0-100 as the percentage grows (or is set to 101 of
// 100-400 when nothing is checked). Never ends the process.
PayloadCheck checkPayload(HANDLE file, HWND window, bool checkEnabled);

// The check of the running executable, unless "-nocheck": returns when the data is intact or not
// checked; otherwise shows message 20016 (read errors: internal error "34") and ends with code 1.
void verifyPayload(HWND window);
