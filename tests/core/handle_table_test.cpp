#include "core/handle_table.h"

#include <gtest/gtest.h>

namespace {

struct Row {
    std::uint64_t process, handle;
    std::uint32_t access;
};

void put(std::vector<std::uint8_t>& out, std::size_t at, std::uint64_t value, unsigned bytes)
{
    for (unsigned i = 0; i < bytes; ++i) out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A list as the system writes it; the compact layout keeps the low 16 bits of ids and handles.
std::vector<std::uint8_t> table(HandleTableLayout layout, unsigned p, const std::vector<Row>& rows, std::uint64_t count)
{
    const bool compact = layout == HandleTableLayout::Compact;
    const std::size_t header = compact ? p : 2 * p, entry = compact ? 8 + 2 * p : 3 * p + 16;
    std::vector<std::uint8_t> out(header + rows.size() * entry, 0xEE);
    put(out, 0, count, compact ? 4 : p);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::size_t at = header + i * entry;
        if (compact) {
            put(out, at, rows[i].process & 0xFFFF, 2);
            put(out, at + 2, 0, 2);
            put(out, at + 6, rows[i].handle & 0xFFFF, 2);
            put(out, at + 8 + p, rows[i].access, 4);
        } else {
            put(out, at + p, rows[i].process, p);
            put(out, at + 2 * p, rows[i].handle, p);
            put(out, at + 3 * p, rows[i].access, 4);
        }
    }
    return out;
}

std::vector<std::uint64_t> handles(const std::vector<HandleTableEntry>& entries)
{
    std::vector<std::uint64_t> out;
    for (const HandleTableEntry& entry : entries) out.push_back(entry.handle);
    return out;
}

}  // namespace

TEST(HandleTable, TakesOnlyTheProcessAtFullWidth)
{
    const std::uint64_t self = 0x10004;  // above 65,535
    const std::vector<Row> rows = {
        {self, 0x10010, 0x0012019F}, {0x4, 0x20, 1}, {self, 0x8, 2}, {self + 0x10000, 0x30, 3}, {self >> 16, 0x40, 4}};
    for (unsigned p : {4u, 8u}) {
        SCOPED_TRACE(p);
        const auto data = table(HandleTableLayout::Extended, p, rows, rows.size());
        const auto entries = handlesOfProcess(data.data(), data.size(), HandleTableLayout::Extended, p, self);
        EXPECT_EQ(handles(entries), (std::vector<std::uint64_t>{0x10010, 0x8}));
        ASSERT_EQ(entries.size(), 2u);
        EXPECT_EQ(entries[0].grantedAccess, 0x0012019Fu);
        // An alias of ours modulo 65,536 is its own process.
        EXPECT_EQ(handles(handlesOfProcess(data.data(), data.size(), HandleTableLayout::Extended, p, 0x4)),
                  std::vector<std::uint64_t>{0x20});
    }
}

TEST(HandleTable, CompactListNamesNoIdAbove16Bits)
{
    struct Case {
        std::uint64_t self;
        std::vector<std::uint64_t> handles;
    } cases[] = {{0xFFFF, {0x10, 0x14}}, {0x10000, {}}, {0x1FFFF, {}}, {0x4, {0x18}}};
    const std::vector<Row> rows = {{0xFFFF, 0x10, 7}, {0x4, 0x18, 0}, {0xFFFF, 0x10014, 0}};
    for (unsigned p : {4u, 8u}) {
        const auto data = table(HandleTableLayout::Compact, p, rows, rows.size());
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << p << " " << c.self);
            EXPECT_EQ(handles(handlesOfProcess(data.data(), data.size(), HandleTableLayout::Compact, p, c.self)), c.handles);
        }
    }
}

TEST(HandleTable, CountIsCutToWhatFits)
{
    const std::vector<Row> rows = {{8, 1, 0}, {8, 2, 0}, {8, 3, 0}};
    for (HandleTableLayout layout : {HandleTableLayout::Compact, HandleTableLayout::Extended}) {
        for (unsigned p : {4u, 8u}) {
            auto data = table(layout, p, rows, 100);
            EXPECT_EQ(handlesOfProcess(data.data(), data.size(), layout, p, 8).size(), 3u);
            EXPECT_EQ(handlesOfProcess(data.data(), data.size() - 1, layout, p, 8).size(), 2u);
            data = table(layout, p, rows, 2);
            EXPECT_EQ(handlesOfProcess(data.data(), data.size(), layout, p, 8).size(), 2u);
            EXPECT_TRUE(handlesOfProcess(data.data(), p - 1, layout, p, 8).empty());
            EXPECT_TRUE(handlesOfProcess(data.data(), data.size(), layout, 2, 8).empty());
        }
    }
}
