// Copying one included file out of the payload: its bytes follow an 8-byte length and are each
// XOR-ed with the payload mask (see config_format.h for the whole layout).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// Reads up to size bytes; false on an I/O failure (with *systemError). A true result with
// *got == 0 is the end of the data.
using PayloadRead = std::function<bool(void* buffer, size_t size, size_t* got, uint32_t* systemError)>;
// Writes up to size bytes; false on an I/O failure (with *systemError). *written may be short.
using PayloadWrite = std::function<bool(const void* buffer, size_t size, size_t* written, uint32_t* systemError)>;

enum class PayloadCopyResult { Done, ReadFailed, WriteFailed };

struct PayloadCopyStatus {
    PayloadCopyResult result = PayloadCopyResult::Done;
    int64_t copied = 0;         // bytes written completely so far
    size_t lastRead = 0;        // bytes of the failing read
    size_t unwritten = 0;       // bytes of the failing chunk still to write
    uint32_t systemError = 0;   // of the failing call, 0 for a short read or a zero-byte write
};

// Copies length bytes from read to write through buffer (bufferSize bytes, chunks no larger),
// unmasking them. Data that ends before length is a read failure; a write that makes no
// progress is a write failure. Length 0 or less copies nothing.
PayloadCopyStatus copyPayloadFile(int64_t length, uint8_t* buffer, size_t bufferSize, const PayloadRead& read,
                                  const PayloadWrite& write);

// Decodes the signed 64-bit little-endian length that precedes each file's data.
int64_t decodePayloadLength(const uint8_t bytes[8]);
