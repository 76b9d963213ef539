// The handler's load and save callbacks, driven through the module the way
// the host drives them.
#include "plugin/identity.h"
#include "standin/scene_io.h"
#include "support/chains.h"
#include "support/module_fixture.h"

#include <cstring>

using standin::LineReader;
using standin::LineWriter;
using testsupport::chainIsSound;
using testsupport::chainOf;
using testsupport::keyValues;
using testsupport::makeInstance;
using testsupport::ModuleTest;

namespace {

const std::vector<std::string> kFreshBlock = {
    "VRIM_START",        "KEY_NUM 1.000000",  "KEY_START",         "FREQ 0.100000",
    "FREQ_W_X 0.000000", "FREQ_W_Y 0.100000", "FREQ_W_Z 0.000000", "START_F 0.000000",
    "END_F 30.000000",   "FALL_OFF 1.000000", "VRIM_END",
};

void expectKeys(const ShakeInstance* instance, const std::vector<ShakeKey>& keys) {
    EXPECT_TRUE(chainIsSound(instance));
    EXPECT_EQ(instance->keyCount, static_cast<int32_t>(keys.size()));
    auto chain = chainOf(instance);
    ASSERT_EQ(chain.size(), keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        SCOPED_TRACE("key " + std::to_string(i));
        EXPECT_EQ(chain[i]->startFrame, keys[i].startFrame);
        EXPECT_EQ(chain[i]->endFrame, keys[i].endFrame);
        EXPECT_EQ(chain[i]->fallOff, keys[i].fallOff);
        EXPECT_EQ(chain[i]->widthX, keys[i].widthX);
        EXPECT_EQ(chain[i]->widthY, keys[i].widthY);
        EXPECT_EQ(chain[i]->widthZ, keys[i].widthZ);
        EXPECT_EQ(chain[i]->freqTime, keys[i].freqTime);
    }
}

class KeyBlockTest : public ModuleTest {
  protected:
    // Loads lines into instance; returns how many lines the module took.
    size_t load(void* instance, const std::vector<std::string>& lines) {
        LineReader reader(lines);
        EXPECT_EQ(handler.load(instance, reader.state()), nullptr);
        return reader.consumed();
    }

    LineWriter save(void* instance) {
        LineWriter writer;
        EXPECT_EQ(handler.save(instance, writer.state()), nullptr);
        return writer;
    }

    // An interface activation on a host without "LWPanelServices" stops
    // after storing the message-service reference (or clearing it, when
    // "Info Messages" is off too).
    void activateInterface(int32_t version, bool infoMessages, void* instance) {
        ActivateFunc activate = module->findServer(kInterfaceClass, vrim::kServerName);
        host.offer("Info Messages", infoMessages);
        activate(version, host.global(), instance, nullptr);
        host.offer("Info Messages", true);
        host.messages.clear();
    }
};

} // namespace

TEST_F(KeyBlockTest, FreshInstanceSavesTheExampleBlockAndLoadsItBack) {
    auto* instance = static_cast<ShakeInstance*>(handler.create());
    LineWriter writer = save(instance);
    EXPECT_EQ(writer.lines, kFreshBlock);
    ASSERT_EQ(writer.byteCounts.size(), kFreshBlock.size());
    for (size_t i = 0; i < kFreshBlock.size(); ++i) {
        EXPECT_EQ(writer.byteCounts[i], static_cast<int32_t>(kFreshBlock[i].size() + 1));
    }
    EXPECT_EQ(writer.byteCounts[2], 10); // KEY_START
    EXPECT_EQ(writer.byteCounts[8], 16); // END_F 30.000000

    auto* loaded = static_cast<ShakeInstance*>(handler.create());
    std::strcpy(loaded->listText.lines[0], "kept");
    EXPECT_EQ(load(loaded, writer.lines), kFreshBlock.size());
    expectKeys(loaded, {keyValues(0, 30, 1, 0.0, 0.1, 0.0, 0.1)});
    EXPECT_STREQ(loaded->listText.lines[0], "kept"); // load leaves the list alone
    EXPECT_EQ(probe->live, 4);                       // two instances, one key each
    handler.destroy(instance);
    handler.destroy(loaded);
    EXPECT_EQ(probe->live, 0);
}

TEST_F(KeyBlockTest, LoadCases) {
    const ShakeKey zero = keyValues(0, 0, 0, 0, 0, 0, 0);
    const ShakeKey original = keyValues(5, 6, 0, 7, 8, 9, 10);
    struct Case {
        const char* what;
        std::vector<std::string> lines;
        std::vector<ShakeKey> keys; // the chain after the load
        size_t consumed;            // lines the module read
    };
    const std::vector<Case> cases = {
        {"short tokens take the first keyword of the order",
         {"VRIM_START", "KEY 7", "KEY_S", "F 3", "FR 0.5", "FREQ_ 2", "S 4", "E 9", "FREQ_W_Y -1",
          "FREQ_W_Z 1e-3", "VRIM_EN"},
         {keyValues(4, 9, 3, 2, -1, 1e-3, 0.5)},
         11},
        {"a repeated field: the last one wins, within its own key",
         {"VRIM_START", "KEY_START", "FREQ 1", "FREQ 2", "KEY_START", "FREQ 3", "END_F 4",
          "VRIM_END"},
         {keyValues(0, 0, 0, 0, 0, 0, 2), keyValues(0, 4, 0, 0, 0, 0, 3)},
         8},
        {"fields before the first key are skipped",
         {"VRIM_START", "FREQ 5", "START_F 6", "END_F 7", "FALL_OFF 8", "KEY_START", "VRIM_END"},
         {zero},
         7},
        {"KEY_START with a number still starts a key; FREQ alone applies it",
         {"VRIM_START", "KEY_START 5.5", "FREQ", "VRIM_END"},
         {keyValues(0, 0, 0, 0, 0, 0, 5.5)},
         4},
        {"a field without any number in this load applies 0",
         {"VRIM_START", "KEY_START", "FREQ", "FREQ_W_Y", "VRIM_END"},
         {zero},
         5},
        {"integers truncate toward zero and keep their low 32 bits",
         {"VRIM_START", "KEY_START", "START_F -1.5", "END_F 4294967297", "FALL_OFF 1e30",
          "VRIM_END"},
         {keyValues(-1, 1, 0, 0, 0, 0, 0)},
         6},
        {"KEY_NUM 0 and no keys", {"VRIM_START", "KEY_NUM 0.000000", "VRIM_END"}, {}, 3},
        {"KEY_NUM larger than the keys found",
         {"VRIM_START", "KEY_NUM 5", "KEY_START", "KEY_START", "VRIM_END"},
         {zero, zero},
         5},
        {"KEY_NUM smaller than the keys found",
         {"VRIM_START", "KEY_NUM 1", "KEY_START", "KEY_START", "KEY_START", "VRIM_END"},
         {zero, zero, zero},
         6},
        {"no KEY_NUM line",
         {"VRIM_START", "KEY_START", "END_F 3", "VRIM_END"},
         {keyValues(0, 3, 0, 0, 0, 0, 0)},
         4},
        {"first line not the opening keyword", {"KEY_START", "VRIM_END"}, {original}, 1},
        {"a longer first token does not open", {"VRIM_STARTED", "VRIM_END"}, {original}, 1},
        {"an empty first line opens the block",
         {"", "KEY_START", "FREQ 1", "VRIM_END"},
         {keyValues(0, 0, 0, 0, 0, 0, 1)},
         4},
        {"a line beginning with a blank ends the block",
         {"VRIM_START", "KEY_START", " FREQ 1", "FREQ 2", "VRIM_END"},
         {zero},
         3},
        {"an empty line ends the block", {"VRIM_START", "KEY_START", "", "KEY_START"}, {zero}, 3},
        {"unknown, lower-case, over-long and nested opening lines are skipped",
         {"VRIM_START", "KEY_START", "freq 1", "FREQX 2", "KEY_NUMBER 3", "VRIM_START", "Plugin 4",
          "END_F\t5", "VRIM_END"},
         {zero},
         9},
        {"data that ends without VRIM_END ends the block",
         {"VRIM_START", "KEY_START", "FREQ 1", "KEY_START"},
         {keyValues(0, 0, 0, 0, 0, 0, 1), zero},
         4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ShakeInstance* instance = makeInstance(handler, {original});
        LineReader reader(c.lines);
        EXPECT_EQ(handler.load(instance, reader.state()), nullptr);
        EXPECT_EQ(reader.consumed(), c.consumed);
        // One read past the data at most: a block that never ends cannot loop.
        EXPECT_LE(reader.reads(), static_cast<int>(c.lines.size()) + 1);
        expectKeys(instance, c.keys);
        // The replaced chain is gone: the instance and its new keys are all
        // that is left.
        EXPECT_EQ(probe->live, 1 + static_cast<int64_t>(c.keys.size()));
        handler.destroy(instance);
        EXPECT_EQ(probe->live, 0);
        EXPECT_TRUE(host.messages.empty());
    }
}

TEST_F(KeyBlockTest, NothingCarriesOverFromAnEarlierLoad) {
    auto* instance = static_cast<ShakeInstance*>(handler.create());
    load(instance, {"VRIM_START", "KEY_START", "FREQ 9", "VRIM_END"});
    load(instance, {"VRIM_START", "KEY_START", "FREQ", "VRIM_END"});
    expectKeys(instance, {keyValues(0, 0, 0, 0, 0, 0, 0)});
    handler.destroy(instance);
}

TEST_F(KeyBlockTest, SaveWritesKeyCountKeysAndNoMore) {
    ShakeInstance* instance = makeInstance(handler, {keyValues(1, 2, 0, 3, 4, 5, 6)});
    instance->keyCount = 0;
    EXPECT_EQ(save(instance).lines,
              (std::vector<std::string>{"VRIM_START", "KEY_NUM 0.000000", "VRIM_END"}));
    instance->keyCount = -3;
    EXPECT_EQ(save(instance).lines.size(), 3u);
    // A count beyond the chain writes the keys there are; next is never
    // followed past the last key.
    instance->keyCount = 4;
    LineWriter writer = save(instance);
    EXPECT_EQ(writer.lines.size(), 3u + 8u);
    EXPECT_EQ(writer.lines[1], "KEY_NUM 4.000000");
    instance->keyCount = 1;
    handler.destroy(instance);
}

TEST_F(KeyBlockTest, OutOfMemoryKeepsTheKeysSoFar) {
    const std::vector<std::string> block = {
        "VRIM_START", "KEY_NUM 4", "KEY_START", "FREQ 1", "KEY_START", "FREQ 2",
        "KEY_START",  "FREQ 3",    "KEY_START", "FREQ 4", "VRIM_END",
    };
    // With and without a message-service reference from an earlier
    // interface activation; without one the message is dropped.
    for (bool reference : {true, false}) {
        SCOPED_TRACE(reference ? "reference set" : "no reference");
        auto* instance = static_cast<ShakeInstance*>(handler.create());
        activateInterface(1, reference, instance);
        failAllocation(3);
        EXPECT_EQ(load(instance, block), 7u); // nothing after the third KEY_START
        failAllocation(0);
        expectKeys(instance, {keyValues(0, 0, 0, 0, 0, 0, 1), keyValues(0, 0, 0, 0, 0, 0, 2)});
        if (reference) {
            ASSERT_EQ(host.messages.size(), 1u);
            EXPECT_FALSE(host.messages[0].error);
            EXPECT_EQ(host.messages[0].first, "No memmory ");
            EXPECT_FALSE(host.messages[0].hasSecond);
        } else {
            EXPECT_TRUE(host.messages.empty());
        }
        host.messages.clear();
        handler.destroy(instance);
        EXPECT_EQ(probe->live, 0);
    }
}

TEST_F(KeyBlockTest, InterfaceVersionTwoKeepsTheMessageReference) {
    auto* instance = static_cast<ShakeInstance*>(handler.create());
    activateInterface(1, true, instance);
    activateInterface(2, false, instance); // refused before any lookup
    failAllocation(1);
    load(instance, {"VRIM_START", "KEY_START", "VRIM_END"});
    failAllocation(0);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].first, "No memmory ");
    expectKeys(instance, {});
    handler.destroy(instance);
}
