// ADD KEY, DELETE KEY, PREV KEY and NEXT KEY.
#include "panel_fixture.h"
#include "plugin/vocabulary.h"

#include <algorithm>

using testsupport::chainOf;
using testsupport::chainValues;
using testsupport::defaultKey;
using testsupport::keysValues;
using testsupport::keyValues;
using testsupport::listLine;
using testsupport::PanelTest;
using testsupport::valuesOf;

namespace {

const ShakeKey kA = keyValues(0, 30, 1, 0.0, 0.1, 0.0, 0.1);
const ShakeKey kB = keyValues(40, 90, 0, 1.5, -2.0, 0.25, 0.5);
const ShakeKey kC = keyValues(100, 160, 1, 0.0, 0.0, 3.0, 2.0);

std::string press(const char* button) {
    return std::string("press \"") + button + "\"\n";
}

} // namespace

TEST_F(PanelTest, AddKeyAppendsADefaultKeyAndKeepsTheShownOne) {
    ShakeInstance* instance = instanceWith({kA, kB});
    const ShakeKey* second = instance->firstKey->next;
    KeyEditor afterAdd{};
    std::vector<std::string> rowsAfterAdd;
    ShakeKey shownAfterAdd{};
    panelHost.afterAction = [&](const standin::PanelAction& action) {
        if (action.label == vrim::label::kAddKey) {
            afterAdd = *editor();
            rowsAfterAdd = control(vrim::label::kKeyList).rows;
            shownAfterAdd = shown();
            EXPECT_EQ(keyNo(), "2");
            EXPECT_EQ(chainValues(instance), keysValues({kA, kB, defaultKey()}));
        }
    };
    ASSERT_EQ(run(instance, press(vrim::label::kNextKey) + "type \"Freqency Time\" 0.7\n" +
                                press(vrim::label::kAddKey) + "close"),
              0);
    EXPECT_EQ(afterAdd.currentKey, second);
    ShakeKey typed = kB;
    typed.freqTime = 0.7;
    EXPECT_EQ(valuesOf(shownAfterAdd), valuesOf(typed));
    // The typed value is not stored by ADD KEY: the list still has the old line.
    EXPECT_EQ(rowsAfterAdd,
              (std::vector<std::string>{listLine(kA), listLine(kB), listLine(defaultKey())}));
    EXPECT_EQ(instance->keyCount, 3);
    EXPECT_TRUE(testsupport::chainIsSound(instance));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_FALSE(host.messages[0].error);
    EXPECT_EQ(host.messages[0].first, "Create Key");
    EXPECT_FALSE(host.messages[0].hasSecond);
    // Closing stores the typing into the key still shown.
    EXPECT_EQ(chainValues(instance), keysValues({kA, typed, defaultKey()}));
}

TEST_F(PanelTest, AddKeyWithoutMemoryDoesNothing) {
    ShakeInstance* instance = instanceWith({kA});
    failAllocation(2); // the first is the editor's
    ASSERT_EQ(run(instance, press(vrim::label::kAddKey) + "close"), 0);
    failAllocation(0);
    EXPECT_EQ(instance->keyCount, 1);
    EXPECT_EQ(chainValues(instance), keysValues({kA}));
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(control(vrim::label::kKeyList).rows, std::vector<std::string>{listLine(kA)});
}

TEST_F(PanelTest, PrevAndNextStepAlongTheChain) {
    ShakeKey aTyped = kA;
    aTyped.startFrame = 11;
    ShakeKey cTyped = kC;
    cTyped.startFrame = 77;
    struct Case {
        std::string name;
        std::string script;
        std::vector<std::string> keyNos; // after each action
        ShakeKey shownAtEnd;
        std::vector<ShakeKey> chainAtEnd; // after closing
    };
    const std::vector<Case> cases = {
        {"next past the end",
         press(vrim::label::kNextKey) + press(vrim::label::kNextKey) + press(vrim::label::kNextKey),
         {"2", "3", "3"},
         kC,
         {kA, kB, kC}},
        {"prev stores the typing into the key left",
         press(vrim::label::kNextKey) + press(vrim::label::kNextKey) + "type \"StartFrame\" 77\n" +
             press(vrim::label::kPrevKey),
         {"2", "3", "3", "2"},
         kB,
         {kA, kB, cTyped}},
        {"prev at the first key keeps the typing in the controls",
         "type \"StartFrame\" 11\n" + press(vrim::label::kPrevKey) + press(vrim::label::kPrevKey),
         {"1", "1", "1"},
         aTyped,
         {aTyped, kB, kC}},
        {"there and back",
         press(vrim::label::kNextKey) + press(vrim::label::kPrevKey),
         {"2", "1"},
         kA,
         {kA, kB, kC}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ShakeInstance* instance = instanceWith({kA, kB, kC});
        std::vector<std::string> keyNos;
        std::size_t presses = 0;
        panelHost.afterAction = [&](const standin::PanelAction& action) {
            keyNos.push_back(keyNo());
            if (action.kind == standin::PanelAction::Kind::Press) {
                ++presses;
                // Moving never changes the chain, at the ends only the list is redrawn.
                EXPECT_EQ(chainOf(instance).size(), 3u);
                EXPECT_TRUE(testsupport::chainIsSound(instance));
            }
        };
        panelHost.log.clear();
        ASSERT_EQ(run(instance, c.script + "close"), 0);
        EXPECT_EQ(keyNos, c.keyNos);
        EXPECT_EQ(valuesOf(shown()), valuesOf(c.shownAtEnd));
        EXPECT_EQ(chainValues(instance), keysValues(c.chainAtEnd));
        EXPECT_EQ(std::count(panelHost.log.begin(), panelHost.log.end(), "draw Key List 3"),
                  static_cast<std::ptrdiff_t>(1 + presses));
        EXPECT_TRUE(host.messages.empty());
    }
}

TEST_F(PanelTest, DeleteKeyRemovesTheShownKey) {
    for (int shownPosition = 1; shownPosition <= 3; ++shownPosition) {
        SCOPED_TRACE(testing::Message() << "deleting key " << shownPosition);
        ShakeInstance* instance = instanceWith({kA, kB, kC});
        std::vector<const ShakeKey*> survivors = chainOf(instance);
        survivors.erase(survivors.begin() + shownPosition - 1);
        std::vector<ShakeKey> remaining = {kA, kB, kC};
        remaining.erase(remaining.begin() + shownPosition - 1);

        std::string script;
        for (int i = 1; i < shownPosition; ++i) {
            script += press(vrim::label::kNextKey);
        }
        // What was typed for the deleted key is dropped.
        script += "type \"Freqency Time\" 42\n" + press(vrim::label::kDeleteKey) + "close";
        host.messages.clear();
        KeyEditor afterDelete{};
        panelHost.afterAction = [&](const standin::PanelAction& action) {
            if (action.label == vrim::label::kDeleteKey) {
                afterDelete = *editor();
                EXPECT_EQ(keyNo(), "1");
                EXPECT_EQ(valuesOf(shown()), valuesOf(remaining[0]));
                EXPECT_EQ(
                    control(vrim::label::kKeyList).rows,
                    (std::vector<std::string>{listLine(remaining[0]), listLine(remaining[1])}));
            }
        };
        ASSERT_EQ(run(instance, script), 0);
        EXPECT_EQ(chainOf(instance), survivors);
        EXPECT_EQ(afterDelete.currentKey, survivors[0]);
        EXPECT_EQ(instance->keyCount, 2);
        EXPECT_EQ(instance->listText.lineCount, 2);
        EXPECT_TRUE(testsupport::chainIsSound(instance));
        EXPECT_EQ(chainValues(instance), keysValues(remaining));
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_FALSE(host.messages[0].error);
        EXPECT_EQ(host.messages[0].first, "Delete Key!");
        EXPECT_FALSE(host.messages[0].hasSecond);
    }
}

TEST_F(PanelTest, DeletingTheOnlyKeyIsRefused) {
    ShakeInstance* instance = instanceWith({kB});
    const ShakeKey* only = instance->firstKey;
    ASSERT_EQ(run(instance, "type \"EndFrame\" 9\n" + press(vrim::label::kDeleteKey) + "close"), 0);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(instance->firstKey, only);
    EXPECT_EQ(instance->keyCount, 1);
    EXPECT_EQ(keyNo(), "1");
    ShakeKey typed = kB;
    typed.endFrame = 9;
    EXPECT_EQ(chainValues(instance), keysValues({typed}));
}
