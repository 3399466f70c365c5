#include "core/handle_table.h"

namespace {

std::uint64_t readLittle(const std::uint8_t* at, unsigned bytes)
{
    std::uint64_t value = 0;
    for (unsigned i = bytes; i-- > 0;) value = (value << 8) | at[i];
    return value;
}

struct Shape {
    std::size_t header, entry, processOffset, processBytes, handleOffset, handleBytes, accessOffset;
};

Shape shapeOf(HandleTableLayout layout, unsigned p)
{
    if (layout == HandleTableLayout::Compact) return {p, 8 + 2 * std::size_t(p), 0, 2, 6, 2, 8 + std::size_t(p)};
    return {2 * std::size_t(p), 3 * std::size_t(p) + 16, p, p, 2 * std::size_t(p), p, 3 * std::size_t(p)};
}

}  // namespace

std::vector<HandleTableEntry> handlesOfProcess(const std::uint8_t* data, std::size_t size, HandleTableLayout layout,
                                               unsigned pointerSize, std::uint64_t processId)
{
    std::vector<HandleTableEntry> entries;
    if ((pointerSize != 4 && pointerSize != 8) || data == nullptr) return entries;
    const Shape shape = shapeOf(layout, pointerSize);
    if (size < shape.header || (layout == HandleTableLayout::Compact && processId > 0xFFFF)) return entries;
    const std::uint64_t count = readLittle(data, layout == HandleTableLayout::Compact ? 4 : pointerSize);
    const std::uint64_t fit = (size - shape.header) / shape.entry;
    const std::uint8_t* entry = data + shape.header;
    for (std::uint64_t i = 0; i < count && i < fit; ++i, entry += shape.entry) {
        if (readLittle(entry + shape.processOffset, static_cast<unsigned>(shape.processBytes)) != processId) continue;
        entries.push_back({readLittle(entry + shape.handleOffset, static_cast<unsigned>(shape.handleBytes)),
                           static_cast<std::uint32_t>(readLittle(entry + shape.accessOffset, 4))});
    }
    return entries;
}
