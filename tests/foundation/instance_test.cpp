// Create, copy, describe and destroy, as the host calls them.
#include "support/chains.h"
#include "support/module_fixture.h"

#include <cstring>

using testsupport::chainIsSound;
using testsupport::chainOf;
using testsupport::keyValues;
using testsupport::makeInstance;
using testsupport::ModuleTest;

namespace {

void expectSameValues(const ShakeKey& a, const ShakeKey& b) {
    EXPECT_EQ(a.startFrame, b.startFrame);
    EXPECT_EQ(a.endFrame, b.endFrame);
    EXPECT_EQ(a.fallOff, b.fallOff);
    EXPECT_EQ(a.widthX, b.widthX);
    EXPECT_EQ(a.widthY, b.widthY);
    EXPECT_EQ(a.widthZ, b.widthZ);
    EXPECT_EQ(a.freqTime, b.freqTime);
}

} // namespace

TEST_F(ModuleTest, NewInstanceHoldsTheDefaultKey) {
    HostError error = "untouched";
    auto* instance = static_cast<ShakeInstance*>(handler.create(&error));
    ASSERT_NE(instance, nullptr);
    EXPECT_STREQ(error, "untouched");
    EXPECT_EQ(instance->keyCount, 1);
    ASSERT_NE(instance->firstKey, nullptr);
    expectSameValues(*instance->firstKey, keyValues(0, 30, 1, 0.0, 0.1, 0.0, 0.1));
    EXPECT_EQ(instance->firstKey->prev, nullptr);
    EXPECT_EQ(instance->firstKey->next, nullptr);
    EXPECT_EQ(instance->listText.lineCount, 1);
    EXPECT_STREQ(instance->listText.lines[0], "none");
    EXPECT_EQ(probe->live, 2); // the instance and its key
    handler.destroy(instance);
    EXPECT_EQ(probe->live, 0);
}

TEST_F(ModuleTest, CreateFailsCleanlyAtEitherAllocation) {
    for (int64_t failing : {1, 2}) {
        SCOPED_TRACE(failing);
        failAllocation(failing);
        HostError error = nullptr;
        EXPECT_EQ(handler.create(&error), nullptr);
        EXPECT_STREQ(error, "No memory for new VRIM_S.");
        EXPECT_EQ(probe->live, 0);
        EXPECT_EQ(probe->allocations, failing);
    }
}

TEST_F(ModuleTest, DescribeShowsTheKeyCountWithATrailingBlank) {
    auto* instance = static_cast<ShakeInstance*>(handler.create());
    const struct {
        int32_t count;
        const char* text;
    } cases[] = {
        {1, "VRIM_S 1 "}, {12, "VRIM_S 12 "}, {0, "VRIM_S 0 "}, {INT32_MIN, "VRIM_S -2147483648 "}};
    for (const auto& c : cases) {
        instance->keyCount = c.count;
        EXPECT_STREQ(handler.record.describe(instance), c.text);
    }
    instance->keyCount = 1;
    handler.destroy(instance);
}

TEST_F(ModuleTest, CopyGivesTheDestinationItsOwnEqualChain) {
    const std::vector<ShakeKey> keys = {keyValues(0, 100, 1, 1, 2, 3, 0.5),
                                        keyValues(10, 20, 0, -1, 0, 0.25, 0.0),
                                        keyValues(-10, 5, 1, 0, 0.1, 0, -0.1)};
    ShakeInstance* source = makeInstance(handler, keys);
    std::strcpy(source->listText.lines[255], "last line");
    source->listText.lineCount = 3;
    auto* destination = static_cast<ShakeInstance*>(handler.create());

    EXPECT_EQ(handler.copy(source, destination), nullptr);
    EXPECT_TRUE(chainIsSound(destination));
    EXPECT_STREQ(handler.record.describe(destination), "VRIM_S 3 ");
    EXPECT_EQ(0, std::memcmp(&source->listText, &destination->listText, sizeof source->listText));
    auto copied = chainOf(destination);
    ASSERT_EQ(copied.size(), keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        expectSameValues(*copied[i], keys[i]);
        EXPECT_NE(copied[i], chainOf(source)[i]); // duplicates, not shared keys
    }

    // Editing or destroying the source leaves the copy alone.
    source->firstKey->widthX = 99;
    handler.destroy(source);
    EXPECT_EQ(destination->firstKey->widthX, 1.0);
    handler.destroy(destination);
    EXPECT_EQ(probe->live, 0);
}

TEST_F(ModuleTest, CopyOntoItselfChangesAndFreesNothing) {
    ShakeInstance* instance =
        makeInstance(handler, {keyValues(1, 2, 0, 3, 4, 5, 6), keyValues(7, 8, 1, 9, 10, 11, 12)});
    auto before = chainOf(instance);
    int64_t live = probe->live;
    EXPECT_EQ(handler.copy(instance, instance), nullptr);
    EXPECT_EQ(chainOf(instance), before);
    EXPECT_EQ(instance->keyCount, 2);
    EXPECT_EQ(instance->firstKey->next->widthZ, 11.0);
    EXPECT_EQ(probe->live, live);
    handler.destroy(instance);
}

TEST_F(ModuleTest, CopyWithoutMemoryLeavesTheDestinationAsItWas) {
    ShakeInstance* source =
        makeInstance(handler, {keyValues(1, 2, 0, 3, 4, 5, 6), keyValues(7, 8, 1, 9, 10, 11, 12),
                               keyValues(13, 14, 1, 15, 16, 17, 18)});
    auto* destination = static_cast<ShakeInstance*>(handler.create());
    const ShakeKey* destinationKey = destination->firstKey;
    for (int64_t failing : {1, 2, 3}) {
        SCOPED_TRACE(failing);
        int64_t live = probe->live;
        failAllocation(failing);
        EXPECT_STREQ(handler.copy(source, destination), "No memory for new VRIM_S.");
        EXPECT_EQ(probe->live, live);
        EXPECT_EQ(destination->firstKey, destinationKey);
        EXPECT_EQ(destination->keyCount, 1);
        EXPECT_STREQ(destination->listText.lines[0], "none");
    }
    failAllocation(0);
    handler.destroy(source);
    handler.destroy(destination);
    EXPECT_EQ(probe->live, 0);
}

TEST_F(ModuleTest, CopyOfAnEmptyChainReleasesTheDestinationsKeys) {
    ShakeInstance* empty = makeInstance(handler, {});
    auto* destination = static_cast<ShakeInstance*>(handler.create());
    EXPECT_EQ(handler.copy(empty, destination), nullptr);
    EXPECT_EQ(destination->firstKey, nullptr);
    EXPECT_EQ(destination->keyCount, 0);
    EXPECT_STREQ(handler.record.describe(destination), "VRIM_S 0 ");
    handler.destroy(empty);
    handler.destroy(destination);
    handler.destroy(nullptr); // harmless
    EXPECT_EQ(probe->live, 0);
}
