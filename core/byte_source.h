// A sequential byte source for the readers of the config block and the payload: a Win32 file
// handle in the launcher, a stdio stream in the packer, a memory buffer in tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

struct ByteSource {
    // Reads up to size bytes at the current position and advances; returns the count read
    // (short at the end of the data); on an I/O failure sets *systemError and returns what it got.
    std::function<size_t(void* buffer, size_t size, uint32_t* systemError)> read;
    // Moves to an absolute offset; false (and *systemError) on failure.
    std::function<bool(uint64_t offset, uint32_t* systemError)> seek;
    // The current absolute offset.
    std::function<uint64_t()> tell;
};

// A source over bytes the caller keeps alive; reads past the end are short.
ByteSource memoryByteSource(const std::vector<uint8_t>& bytes);
