// What the module costs in memory: one allocation per instance and one per
// key, nothing hidden per operation, and nothing at all while evaluating.
#include "standin/scene_io.h"
#include "support/chains.h"
#include "support/module_fixture.h"

using testsupport::keyValues;
using testsupport::makeInstance;
using testsupport::ModuleTest;

namespace {

// The shapes the benchmarks time: the selected key first, last, or none.
std::vector<ShakeKey> benchmarkedChain(int count, int selected, int32_t fallOff) {
    const ShakeKey active = keyValues(0, 30, fallOff, 0.0, 0.1, 0.0, 0.1);
    const ShakeKey later = keyValues(1000, 1030, fallOff, 0.0, 0.1, 0.0, 0.1);
    std::vector<ShakeKey> keys(static_cast<size_t>(count), selected == 1 ? active : later);
    if (selected == 0) {
        keys[0] = active;
    }
    return keys;
}

} // namespace

TEST_F(ModuleTest, EvaluationNeverAllocates) {
    for (int count : {1, 16, 256}) {
        for (int selected : {0, 1, 2}) {
            for (int32_t fallOff : {0, 1}) {
                SCOPED_TRACE(testing::Message() << count << " keys, selected " << selected
                                                << ", fall-off " << fallOff);
                ShakeInstance* instance =
                    makeInstance(handler, benchmarkedChain(count, selected, fallOff));
                // Any allocation now would be refused and counted.
                failAllocation(1);
                int shaken = 0;
                for (int32_t frame = -5; frame <= 1040; frame += 5) {
                    shaken += handler.evaluate(host, instance, frame, frame / 30.0) ? 1 : 0;
                }
                EXPECT_EQ(probe->allocations, 0);
                EXPECT_EQ(probe->failures, 0);
                EXPECT_GT(shaken, 0); // the frames do reach an active key
                failAllocation(0);
                handler.destroy(instance);
            }
        }
    }
    EXPECT_EQ(probe->live, 0);
}

TEST_F(ModuleTest, AnInstanceCostsTwoBlocksAndEachKeyOneMore) {
    probe->allocations = 0;
    probe->totalBytes = 0;
    auto* instance = static_cast<ShakeInstance*>(handler.create());
    EXPECT_EQ(probe->allocations, 2); // the instance, its list text inside, and its first key

    // A copy costs the same bytes for every key it makes, whatever the count:
    // no block per copy, nothing that grows with the chain.
    const ShakeKey key = keyValues(0, 30, 1, 0.0, 0.1, 0.0, 0.1);
    int64_t perKey = 0; // as one key costs
    for (int count : {1, 16, 256, 3}) {
        SCOPED_TRACE(count);
        ShakeInstance* source = makeInstance(handler, std::vector<ShakeKey>(count, key));
        const int64_t liveBefore = probe->live;
        const int32_t keysBefore = instance->keyCount;
        probe->allocations = 0;
        probe->totalBytes = 0;
        ASSERT_EQ(handler.copy(source, instance), nullptr);
        EXPECT_EQ(probe->allocations, count);
        perKey = perKey == 0 ? probe->totalBytes : perKey;
        EXPECT_GT(perKey, 0);
        EXPECT_EQ(probe->totalBytes, count * perKey);
        // The keys the copy replaced are released, not kept beside the new ones.
        EXPECT_EQ(probe->live, liveBefore + count - keysBefore);
        handler.destroy(source);
    }
    handler.destroy(instance);
    EXPECT_EQ(probe->live, 0);
}

TEST_F(ModuleTest, ALoadAllocatesOneBlockPerKeyAndASaveNothing) {
    auto* instance = static_cast<ShakeInstance*>(handler.create());
    int64_t perKey = 0; // as one key costs
    for (int count : {1, 256, 10000, 256}) {
        SCOPED_TRACE(count);
        std::vector<std::string> block = {"VRIM_START",
                                          "KEY_NUM " + std::to_string(static_cast<double>(count))};
        for (int i = 0; i < count; ++i) {
            block.insert(block.end(),
                         {"KEY_START", "FREQ 0.100000", "FREQ_W_X 0.000000", "FREQ_W_Y 0.100000",
                          "FREQ_W_Z 0.000000", "START_F " + std::to_string(static_cast<double>(i)),
                          "END_F 30.000000", "FALL_OFF 1.000000"});
        }
        block.push_back("VRIM_END");

        standin::LineReader reader(block);
        const int64_t liveBefore = probe->live;
        const int32_t keysBefore = instance->keyCount;
        probe->allocations = 0;
        probe->totalBytes = 0;
        ASSERT_EQ(handler.load(instance, reader.state()), nullptr);
        ASSERT_EQ(instance->keyCount, count);
        EXPECT_EQ(probe->allocations, count);
        perKey = perKey == 0 ? probe->totalBytes : perKey;
        EXPECT_GT(perKey, 0);
        EXPECT_EQ(probe->totalBytes, count * perKey);
        // The chain the block replaced is released, not kept beside it.
        EXPECT_EQ(probe->live, liveBefore + count - keysBefore);

        standin::LineWriter writer;
        probe->allocations = 0;
        ASSERT_EQ(handler.save(instance, writer.state()), nullptr);
        EXPECT_EQ(probe->allocations, 0);
        EXPECT_EQ(writer.lines, block);
    }
    handler.destroy(instance);
    EXPECT_EQ(probe->live, 0);
}
