// A scene's items held compactly come back as they went in: places that go
// back, numbers past 32 bits, names long enough to start new pieces, names
// alike and addresses made of them, more items than one mark covers, blocks
// that are not all items. And they are compact: a scene of small items costs
// under 20 bytes an item.
#include "tools/vrim/library/vrim.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

using vrim::library::Item;
using vrim::library::ItemTable;

auto fields(const Item& item) {
    return std::tie(item.name, item.block, item.kind, item.firstLine, item.lastLine, item.begin,
                    item.end, item.keyCount, item.errors, item.warnings);
}

// Names alike and not, long ones, and addresses of the form the reader
// makes ("NAME@N", N the block's number) beside names that only look so.
std::string nameOf(std::size_t i, std::size_t block) {
    if (i == 200) {
        return std::string(3 * ItemTable::kChunkBytes, 'L');
    }
    if (i % 50 == 10) {
        return std::string(300000 + i, 'n');
    }
    if (i % 11 == 0) {
        return "Twin@" + std::to_string(block);
    }
    if (i % 13 == 0) {
        return "Odd@" + std::to_string(block + 1);
    }
    return i % 17 == 0 ? "@" + std::to_string(block) : "Item_" + std::to_string(i);
}

Item nextItem(std::size_t i, std::uint64_t& at, std::uint64_t& line) {
    // Every seventh item is placed before the one before it: the table
    // takes them in any order.
    if (i % 7 == 3) {
        at -= 1000;
        line -= 100;
    }
    if (i == 250) {
        at += std::uint64_t{5} << 32;
        line += std::uint64_t{3} << 32;
    }
    Item item;
    item.block = i + 1 + (i >= 100 ? 5 : 0); // blocks 101-105 are no item's
    item.name = nameOf(i, item.block);
    item.kind = i % 3 == 0 ? "" : i % 3 == 1 ? "null" : "light";
    item.begin = at + 40 + i % 5;
    item.end = item.begin + 200 + i * 13;
    item.firstLine = line + 2;
    item.lastLine = item.firstLine + 11 + i % 9;
    item.keyCount = i * 7 % 1000;
    item.errors = i == 77 ? 100000 : static_cast<int>(i % 4);
    item.warnings = static_cast<int>(i % 5);
    at = item.end;
    line = item.lastLine + 1;
    return item;
}

std::vector<Item> sampleItems() {
    std::vector<Item> items;
    std::uint64_t at = 6000, line = 800;
    for (std::size_t i = 0; i < 300; ++i) {
        items.push_back(nextItem(i, at, line));
    }
    return items;
}

class ItemTableTest : public testing::Test {
  protected:
    void SetUp() override {
        for (const Item& item : items) {
            table.push_back(item);
        }
        table.shrinkToFit();
    }
    const std::vector<Item> items = sampleItems();
    ItemTable table;
};

TEST_F(ItemTableTest, EveryItemComesBackAsItWentIn) {
    ASSERT_EQ(table.size(), items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(fields(table.at(i)), fields(items[i])) << "item " << i;
    }
    EXPECT_THROW(table.at(items.size()), std::out_of_range);
}

TEST_F(ItemTableTest, RangesCrossMarksAndStopAtTheEnd) {
    struct Case {
        std::size_t first, count, expected;
    };
    for (const Case& c : {Case{0, 300, 300}, Case{60, 10, 10}, Case{127, 3, 3}, Case{295, 10, 5},
                          Case{300, 4, 0}, Case{5000, 1, 0}}) {
        const std::vector<Item> got = table.range(c.first, c.count);
        ASSERT_EQ(got.size(), c.expected) << c.first << "+" << c.count;
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(fields(got[i]), fields(items[c.first + i])) << c.first + i;
        }
    }
}

TEST_F(ItemTableTest, ItemsAreFoundByNameAndByBlock) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(table.find(items[i].name), i);
        EXPECT_EQ(table.findBlock(items[i].block), i);
    }
    EXPECT_EQ(table.find("Item_"), std::nullopt);
    EXPECT_EQ(table.find(""), std::nullopt);
    for (const std::size_t number : {0, 101, 105, 306, 1000}) {
        EXPECT_EQ(table.findBlock(number), std::nullopt) << number;
    }
}

TEST(ItemTableSize, ASceneOfSmallItemsCostsUnderTwentyBytesAnItem) {
    // Items of two keys as a host writes them, 270 bytes and 20 lines each,
    // their names alike.
    ItemTable table;
    constexpr std::size_t kItems = 100000;
    for (std::size_t i = 0; i < kItems; ++i) {
        Item item;
        item.name = "Null_" + std::to_string(i);
        item.block = i + 1;
        item.kind = "null";
        item.begin = 80 + i * 270;
        item.end = item.begin + 250;
        item.firstLine = 10 + i * 20;
        item.lastLine = item.firstLine + 17;
        item.keyCount = 2;
        table.push_back(item);
    }
    table.shrinkToFit();
    EXPECT_LT(table.heldBytes(), kItems * 20);
    EXPECT_EQ(table.at(kItems - 1).name, "Null_99999");
}

} // namespace
