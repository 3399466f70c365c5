// The pipe block: how two processes of the product frame their data on one named pipe.
//
//   offset  size  field
//   0       4     payload length n, unsigned 32-bit, little-endian
//   4       n     payload bytes
//
// Blocks follow one another directly; there is no type, checksum or padding. An empty block is the
// four bytes 00 00 00 00 alone.
//
// The length comes from the other process, so a reader never trusts it for an allocation: it
// refuses lengths no Java byte array can hold and grows its buffer only as bytes arrive
// (pipeBlockCapacity), so memory stays within about twice what the peer really sent.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

constexpr size_t kPipeBlockPrefixSize = 4;
// The longest payload accepted: the largest Java byte array a VM can be asked for (2^31 - 2).
constexpr uint32_t kPipeBlockMaxLength = 0x7FFFFFFEu;
// The room a reader makes at first (or the whole payload, if shorter): enough for the common
// block in one read, small enough that a false length costs nothing.
constexpr size_t kPipeBlockFirstChunk = 1048576;

// The prefix announcing a payload of length bytes.
std::array<uint8_t, kPipeBlockPrefixSize> encodePipeBlockPrefix(uint32_t length);
// The length a prefix announces.
uint32_t decodePipeBlockPrefix(const uint8_t* prefix);
// Whether a reader accepts a payload of this announced length.
inline bool pipeBlockLengthAccepted(uint32_t length) { return length <= kPipeBlockMaxLength; }
// The buffer size a reader should hold next, having received bytes of a payload of length bytes:
// never more than length, never less than received + 1 while bytes are missing, and at most about
// twice what was received (after the first chunk).
size_t pipeBlockCapacity(size_t received, size_t length);

// A whole block (prefix and payload) as it goes on the wire; size at most kPipeBlockMaxLength.
std::vector<uint8_t> encodePipeBlock(const uint8_t* payload, size_t size);

enum class PipeBlockStatus { Complete, NeedMore, TooLong };

// One block found at the start of a byte run.
struct PipeBlockView {
    PipeBlockStatus status = PipeBlockStatus::NeedMore;
    const uint8_t* payload = nullptr;  // inside the run, when Complete
    size_t length = 0;                 // the announced length (once the prefix is there)
    size_t consumed = 0;               // prefix + payload when Complete, else 0
};

// Reads the block at the start of data[0, size): Complete with the payload, NeedMore when the run
// ends first, TooLong when the prefix announces more than a reader accepts. Never reads past size.
PipeBlockView decodePipeBlock(const uint8_t* data, size_t size);
