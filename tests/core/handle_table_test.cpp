#include "core/handle_table.h"

#include <gtest/gtest.h>

namespace {

struct Row {
    std::uint64_t process, handle;
};

// A list as the system writes it (compact entries keep the low 16 bits of ids and handles), with
// the granted access 0xAC0000AC of every entry; the fields read past (padding, object, back-trace index)
// hold 0xEE, so a read one byte too wide shows.
std::vector<std::uint8_t> table(HandleTableLayout layout, unsigned p, const std::vector<Row>& rows, std::uint64_t count)
{
    const bool compact = layout == HandleTableLayout::Compact;
    const std::size_t header = compact ? p : 2 * p, entry = compact ? 8 + 2 * p : 3 * p + 16;
    std::vector<std::uint8_t> out(header + rows.size() * entry, 0xEE);
    auto put = [&](std::size_t at, std::uint64_t value, unsigned bytes) {
        for (unsigned i = 0; i < bytes; ++i) out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    put(0, count, compact ? 4 : p);
    for (std::size_t i = 0, at = header; i < rows.size(); ++i, at += entry) {
        put(at + (compact ? 0 : p), rows[i].process, compact ? 2 : p);
        put(at + (compact ? 6 : 2 * p), rows[i].handle, compact ? 2 : p);
        put(at + (compact ? 8 + p : 3 * p), 0xAC0000AC, 4);
    }
    return out;
}

}  // namespace

TEST(HandleTable, EntriesOfOneProcessAtTheLayoutsWidth)
{
    const auto extended = HandleTableLayout::Extended, compact = HandleTableLayout::Compact;
    // 0x10004 is above 65,535 and equals 0x4 modulo 65,536.
    const std::vector<Row> rows = {{0x10004, 0x10010}, {0x4, 0x20}, {0x10004, 0x8}, {0xFFFF, 0x10214}};
    struct Case {
        HandleTableLayout layout;
        std::uint64_t self, count;
        std::size_t cut;  // bytes left off the end
        std::vector<std::uint64_t> handles;
    } cases[] = {
        {extended, 0x10004, 4, 0, {0x10010, 0x8}},
        {extended, 0x4, 4, 0, {0x20}},
        {extended, 0x10004, 2, 0, {0x10010}},       // the count, not the size, ends the list
        {extended, 0x10004, 100, 1, {0x10010, 0x8}},  // a count beyond the size is cut
        {extended, 0xFFFF, 100, 1, {}},                // ... before the entry the cut reaches
        {compact, 0x4, 0x01000000, 0, {0x10, 0x20, 0x8}},
        {compact, 0x4, 2, 0, {0x10, 0x20}},
        {compact, 0xFFFF, 4, 0, {0x214}},
        {compact, 0x4, 4, 0, {0x10, 0x20, 0x8}},  // 16 bits cannot tell 0x10004 from it
        {compact, 0x10000, 4, 0, {}},  // no 16-bit id names it
    };
    for (unsigned p : {4u, 8u}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << p << " " << c.self << " " << c.count);
            const auto data = table(c.layout, p, rows, c.count);
            std::vector<std::uint64_t> handles;
            for (const HandleTableEntry& entry : handlesOfProcess(data.data(), data.size() - c.cut, c.layout, p, c.self)) {
                handles.push_back(entry.handle);
                EXPECT_EQ(entry.grantedAccess, 0xAC0000ACu);
            }
            EXPECT_EQ(handles, c.handles);
            EXPECT_TRUE(handlesOfProcess(data.data(), (c.layout == compact ? p : 2 * p) - 1, c.layout, p, c.self).empty());
        }
    }
    const auto data = table(extended, 8, rows, 4);
    EXPECT_TRUE(handlesOfProcess(data.data(), data.size(), extended, 2, 0x4).empty());
    // Read with no pointer width, the compact count (4) would pass for the first entry's process id.
    const auto packed = table(compact, 4, rows, 4);
    EXPECT_TRUE(handlesOfProcess(packed.data(), packed.size(), compact, 0, 0x4).empty());
}
