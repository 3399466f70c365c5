// The system's handle list as the handle natives read it: two layouts, both drawn below, read for
// either pointer width so that both builds' tables can be checked on any machine.
//
// Compact list (information class 16), pointer width P:
//   u32 count, padded to P | entries: u16 process id, u16 back-trace index, u8 type, u8 flags,
//                            u16 handle value, P object address, u32 granted access, padded to P
// Extended list (information class 64):
//   P count, P reserved    | entries: P object address, P process id, P handle value,
//                            u32 granted access, u16 back-trace index, u16 type, u32 flags, u32 reserved
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

enum class HandleTableLayout { Compact, Extended };

struct HandleTableEntry {
    std::uint64_t handle;
    std::uint32_t grantedAccess;
};

// The entries of processId in a list of size bytes, in list order. The count is cut to the entries
// that fit. Process ids and handle values are read at their full width (little-endian); the compact
// layout holds only 16 bits of each, so it names no process above 65,535: such an id gets no
// entries rather than another process's. Empty for a pointer width other than 4 or 8.
std::vector<HandleTableEntry> handlesOfProcess(const std::uint8_t* data, std::size_t size, HandleTableLayout layout,
                                               unsigned pointerSize, std::uint64_t processId);
