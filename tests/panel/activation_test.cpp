// Building, opening and closing the key editor panel.
#include "panel_fixture.h"
#include "standin/panel_layout.h"

#include <utility>

using testsupport::chainValues;
using testsupport::defaultKey;
using testsupport::keysValues;
using testsupport::keyValues;
using testsupport::listLine;
using testsupport::PanelTest;
using testsupport::valuesOf;

namespace {

const ShakeKey kFirst = keyValues(0, 30, 1, 0.0, 0.1, 0.0, 0.1);
const ShakeKey kSecond = keyValues(40, 90, 0, 1.5, -2.0, 0.25, 0.5);
const ShakeKey kThird = keyValues(100, 160, 1, 0.0, 0.0, 3.0, 2.0);

} // namespace

TEST_F(PanelTest, FailuresWhileBuildingThePanel) {
    struct Case {
        std::string name;
        bool failCreate;
        int failControl;
        int failAllocation;
        int result;
        std::string first; // "": no message
        bool hasSecond;
        int controlsAdded;
    };
    std::vector<Case> cases = {
        {"panel", true, 0, 0, 2, "Duoooh!:", true, 0},
        {"editor", false, 0, 1, 0, "Couldn't allocate memory !!", false, 11},
        {"none", false, 0, 0, 0, "", false, 11},
    };
    for (int n = 1; n <= 11; ++n) {
        cases.push_back({"control " + std::to_string(n), false, n, 0, 2, "Duoooh!:", true, n - 1});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ShakeInstance* instance = instanceWith({kFirst, kSecond});
        host.messages.clear();
        panelHost.log.clear();
        panelHost.failCreate = c.failCreate;
        panelHost.failControl = c.failControl;
        std::size_t messagesAtDestroy = 99;
        panelHost.onDestroy = [&](standin::Panel&) { messagesAtDestroy = host.messages.size(); };
        const std::size_t panelsBefore = panelHost.panels.size();
        failAllocation(c.failAllocation);

        EXPECT_EQ(run(instance, "type \"StartFrame\" 5\nclose"), c.result);
        failAllocation(0);

        if (c.first.empty()) {
            EXPECT_TRUE(host.messages.empty());
        } else {
            ASSERT_EQ(host.messages.size(), 1u);
            EXPECT_TRUE(host.messages[0].error);
            EXPECT_EQ(host.messages[0].first, c.first);
            EXPECT_EQ(host.messages[0].hasSecond, c.hasSecond);
            if (c.hasSecond) {
                EXPECT_EQ(host.messages[0].second, "Unable to create panel");
            }
        }
        if (c.failCreate) {
            EXPECT_EQ(panelHost.panels.size(), panelsBefore);
            continue;
        }
        ASSERT_EQ(panelHost.panels.size(), panelsBefore + 1);
        const standin::Panel& panel = *panelHost.lastPanel();
        EXPECT_TRUE(panel.destroyed);
        EXPECT_EQ(messagesAtDestroy, 0u) << "the panel goes before the message";
        EXPECT_EQ(static_cast<int>(panel.controls.size()), c.controlsAdded);
        const bool opened = c.first.empty();
        EXPECT_EQ(panel.opens, opened ? 1 : 0);
        // Only an opened panel lets the user's typing reach the first key.
        EXPECT_EQ(instance->firstKey->startFrame, opened ? 5 : 0);
        EXPECT_EQ(valuesOf(*instance->firstKey->next), valuesOf(kSecond));
        EXPECT_EQ(instance->keyCount, 2);
    }
}

// The controls the host is asked for, by the words a user and a panel script
// know them by; laid out where none covers another and all fit the panel;
// each placed only once its label's width is known; every button and the
// list wired to the one editor.
TEST_F(PanelTest, ControlsAreAddedLaidOutApartAndWired) {
    const std::vector<std::pair<std::string, std::string>> added = {
        {"FloatControl", "Freqency Time"}, {"FVecControl", "Freq Width X,Y,Z"},
        {"NumControl", "StartFrame"},      {"NumControl", "EndFrame"},
        {"BoolControl", "FallOff"},        {"ButtonControl", "ADD KEY"},
        {"ButtonControl", "NEXT KEY"},     {"ButtonControl", "PREV KEY"},
        {"ButtonControl", "DELETE KEY"},   {"InfoControl", "KEY_NO"},
        {"ListBoxControl", "Key List"},
    };
    ShakeInstance* instance = instanceWith({kFirst, kSecond});
    KeyEditor seen{};
    panelHost.afterAction = [&](const standin::PanelAction&) { seen = *editor(); };
    ASSERT_EQ(run(instance, "pick 0\nclose"), 0);
    const standin::Panel& panel = *panelHost.lastPanel();
    EXPECT_EQ(panel.title.rfind("VRIM_S   ver1.0", 0), 0u) << panel.title;
    ASSERT_EQ(panel.controls.size(), added.size());
    for (std::size_t i = 0; i < added.size(); ++i) {
        const auto& [type, label] = added[i];
        EXPECT_EQ(panelHost.log[1 + i], "add " + type + " " + label);
        // Placed after its label's width was read, else it is placed blind.
        const std::vector<std::string> placing = logFrom("get " + label + " 9");
        ASSERT_GE(placing.size(), 3u) << label;
        EXPECT_EQ(placing[1], "set " + label + " 0") << label;
        EXPECT_EQ(placing[2], "set " + label + " 1") << label;
    }

    const standin::PanelLayout layout = standin::layoutOf(panel);
    ASSERT_TRUE(panel.heightSet);
    for (const standin::ControlBox& box : layout.boxes) {
        const std::string& label = box.control->label;
        EXPECT_GE(box.x, 0) << label;
        EXPECT_LE(box.y + box.fieldHeight, panel.height) << label << ": below the panel";
        for (const standin::ControlBox& other : layout.boxes) {
            const bool apart = &box == &other || box.fieldX + box.fieldWidth <= other.x ||
                               other.fieldX + other.fieldWidth <= box.x ||
                               box.y + box.fieldHeight <= other.y ||
                               other.y + other.fieldHeight <= box.y;
            EXPECT_TRUE(apart) << label << " covers " << other.control->label;
        }
    }

    // Every button and the list call back into the one editor, each its own way.
    const standin::PanelControl& list = control("Key List");
    std::vector<ControlEventFunc> events = {list.event};
    for (const char* button : {"ADD KEY", "PREV KEY", "NEXT KEY", "DELETE KEY"}) {
        EXPECT_EQ(control(button).userData, control("ADD KEY").userData) << button;
        events.push_back(control(button).event);
    }
    std::sort(events.begin(), events.end());
    EXPECT_NE(events.front(), nullptr);
    EXPECT_EQ(std::adjacent_find(events.begin(), events.end()), events.end());
    EXPECT_EQ(list.userData, &instance->listText);
    EXPECT_EQ(list.listData, &instance->listText);

    // The editor the buttons share holds each control under its own name.
    const std::vector<std::pair<const ControlRecord*, const char*>> held = {
        {seen.freqControl, "Freqency Time"}, {seen.widthControl, "Freq Width X,Y,Z"},
        {seen.startControl, "StartFrame"},   {seen.endControl, "EndFrame"},
        {seen.fallOffControl, "FallOff"},    {seen.keyNoControl, "KEY_NO"},
        {seen.listControl, "Key List"}};
    for (const auto& [record, label] : held) {
        EXPECT_EQ(record, control(label).record()) << label;
    }
    EXPECT_EQ(seen.services, panelHost.services());
    EXPECT_EQ(seen.instance, instance);
    EXPECT_EQ(seen.currentKey, instance->firstKey);
}

TEST_F(PanelTest, OpeningShowsTheFirstKeyAndOneLinePerKey) {
    ShakeInstance* instance = instanceWith({kSecond, kThird, kFirst});
    ASSERT_EQ(run(instance, "close"), 0);
    EXPECT_EQ(valuesOf(shown()), valuesOf(kSecond));
    EXPECT_EQ(keyNo(), "1");
    const std::vector<std::string> lines = {listLine(kSecond), listLine(kThird), listLine(kFirst)};
    EXPECT_EQ(control("Key List").rows, lines);
    EXPECT_EQ(instance->listText.lineCount, 3);
}

TEST_F(PanelTest, ClosingUntouchedWritesTheShownKeyOnly) {
    ShakeInstance* instance = instanceWith({kSecond, kThird});
    const ShakeKey* first = instance->firstKey;
    ASSERT_EQ(run(instance, "close"), 0);
    const std::vector<std::string> expected = {
        "user close",       "get Freqency Time 4", "get Freq Width X,Y,Z 4",
        "get StartFrame 4", "get EndFrame 4",      "get FallOff 4",
        "destroy"};
    EXPECT_EQ(logFrom("user close"), expected);
    EXPECT_EQ(instance->firstKey, first);
    EXPECT_EQ(chainValues(instance), keysValues({kSecond, kThird}));
}

TEST_F(PanelTest, EveryWayOfClosingWritesTheEditsBack) {
    const std::string edits = "type \"Freqency Time\" 0.25\n"
                              "type \"Freq Width X,Y,Z\" 1 -2 3.5\n"
                              "type \"StartFrame\" 7\n"
                              "type \"EndFrame\" 70\n"
                              "type \"FallOff\" 0\n";
    for (const char* ending : {"close", "cancel", ""}) {
        SCOPED_TRACE(std::string("ending: ") + ending);
        ShakeInstance* instance = instanceWith({kFirst, kSecond});
        EXPECT_EQ(run(instance, edits + ending), 0);
        EXPECT_EQ(valuesOf(*instance->firstKey), valuesOf(keyValues(7, 70, 0, 1, -2, 3.5, 0.25)));
        EXPECT_EQ(valuesOf(*instance->firstKey->next), valuesOf(kSecond));
    }
}

TEST_F(PanelTest, EditsReachTheKeyShownWhenClosing) {
    ShakeInstance* instance = instanceWith({kFirst, kSecond, kThird});
    ASSERT_EQ(run(instance, "type \"StartFrame\" 3\n"
                            "press \"NEXT KEY\"\n"
                            "press \"NEXT KEY\"\n"
                            "type \"Freqency Time\" 9.5\n"
                            "type \"EndFrame\" 999\n"
                            "close"),
              0);
    ShakeKey first = kFirst;
    first.startFrame = 3; // stored when the panel moved away from it
    ShakeKey third = kThird;
    third.freqTime = 9.5;
    third.endFrame = 999;
    EXPECT_EQ(chainValues(instance), keysValues({first, kSecond, third}));
}

// A tool that opens the editor for thousands of items turns the log off;
// what the module does and what the panel shows must not change with it.
TEST_F(PanelTest, WithoutTheLogTheEditorDoesTheSame) {
    const std::string script = "type \"StartFrame\" 3\npress \"NEXT KEY\"\n"
                               "type \"Freqency Time\" 9.5\npress \"ADD KEY\"\n"
                               "press \"PREV KEY\"\npress \"DELETE KEY\"\nclose";
    struct Seen {
        std::vector<decltype(valuesOf(ShakeKey{}))> chain;
        std::vector<std::string> rows;
        std::string keyNo;
        decltype(valuesOf(ShakeKey{})) shown;
        int code;
    };
    std::vector<Seen> seen;
    for (const bool keep : {true, false}) {
        panelHost.keepLog = keep;
        panelHost.log.clear();
        ShakeInstance* instance = instanceWith({kFirst, kSecond, kThird});
        const int code = run(instance, script);
        seen.push_back(
            {chainValues(instance), control("Key List").rows, keyNo(), valuesOf(shown()), code});
        EXPECT_EQ(panelHost.log.empty(), !keep);
    }
    EXPECT_EQ(seen[0].chain, seen[1].chain);
    EXPECT_EQ(seen[0].rows, seen[1].rows);
    EXPECT_EQ(seen[0].keyNo, seen[1].keyNo);
    EXPECT_EQ(seen[0].shown, seen[1].shown);
    EXPECT_EQ(seen[0].code, seen[1].code);
}

TEST_F(PanelTest, ASecondActivationSeesTheFirstOnesChanges) {
    ShakeInstance* instance = instanceWith({kFirst, kSecond});
    ASSERT_EQ(run(instance, "press \"NEXT KEY\"\ntype \"StartFrame\" 55\n"
                            "press \"ADD KEY\"\nclose"),
              0);
    ASSERT_EQ(run(instance, "close"), 0);
    ASSERT_EQ(panelHost.panels.size(), 2u);
    ShakeKey second = kSecond;
    second.startFrame = 55;
    EXPECT_EQ(
        control("Key List").rows,
        (std::vector<std::string>{listLine(kFirst), listLine(second), listLine(defaultKey())}));
    EXPECT_EQ(keyNo(), "1");
    EXPECT_EQ(valuesOf(shown()), valuesOf(kFirst));
    EXPECT_EQ(instance->keyCount, 3);
}

TEST_F(PanelTest, AnInstanceWithoutKeys) {
    // Opening shows the default key numbered 0; only ADD KEY does anything.
    ShakeInstance* empty = instanceWith({});
    std::vector<std::string> keyNos;
    panelHost.afterAction = [&](const standin::PanelAction&) { keyNos.push_back(keyNo()); };
    ASSERT_EQ(run(empty, "type \"Freqency Time\" 4\n"
                         "press \"NEXT KEY\"\npress \"PREV KEY\"\npress \"DELETE KEY\"\nclose"),
              0);
    EXPECT_EQ(keyNos, (std::vector<std::string>{"0", "0", "0", "0"}));
    EXPECT_EQ(empty->keyCount, 0);
    EXPECT_EQ(empty->firstKey, nullptr);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(logFrom("user close"), (std::vector<std::string>{"user close", "destroy"}));
    EXPECT_EQ(control("Key List").rows, std::vector<std::string>{});
    ShakeKey typed = defaultKey();
    typed.freqTime = 4;
    EXPECT_EQ(valuesOf(shown()), valuesOf(typed));

    // ADD KEY makes the new key the first and the shown one.
    KeyEditor seen{};
    keyNos.clear();
    panelHost.afterAction = [&](const standin::PanelAction&) {
        keyNos.push_back(keyNo());
        seen = *editor();
    };
    ASSERT_EQ(run(empty, "type \"EndFrame\" 12\npress \"ADD KEY\"\n"
                         "type \"StartFrame\" 2\nclose"),
              0);
    EXPECT_EQ(keyNos, (std::vector<std::string>{"0", "1", "1"}));
    ASSERT_EQ(empty->keyCount, 1);
    ASSERT_NE(empty->firstKey, nullptr);
    EXPECT_EQ(seen.currentKey, empty->firstKey);
    ShakeKey added = defaultKey();
    added.startFrame = 2;
    EXPECT_EQ(chainValues(empty), keysValues({added}));
    EXPECT_TRUE(testsupport::chainIsSound(empty));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].first, "Create Key");
}

// The module keeps one control descriptor for the whole load: every opening
// must hand the host the same descriptors as the first, not fields left over
// from the list box added last time.
TEST_F(PanelTest, EveryOpeningLaysOutLikeTheFirst) {
    ShakeInstance* instance = instanceWith({kFirst, kSecond});
    ASSERT_EQ(run(instance, "close"), 0);
    ASSERT_EQ(run(instance, "close"), 0);
    ASSERT_EQ(panelHost.panels.size(), 2u);
    const standin::Panel& first = *panelHost.panels[0];
    const standin::Panel& second = *panelHost.panels[1];
    ASSERT_EQ(first.controls.size(), second.controls.size());
    for (std::size_t i = 0; i < first.controls.size(); ++i) {
        const standin::PanelControl& a = *first.controls[i];
        const standin::PanelControl& b = *second.controls[i];
        SCOPED_TRACE(b.label);
        EXPECT_EQ(b.typeName, a.typeName);
        EXPECT_EQ(b.descriptor.type, a.descriptor.type);
        EXPECT_EQ(b.descriptor.width, a.descriptor.width);
        EXPECT_EQ(b.descriptor.visibleRows, a.descriptor.visibleRows);
        EXPECT_EQ(b.descriptor.reserved, 0);
        EXPECT_EQ(b.descriptor.count, a.descriptor.count);
        EXPECT_EQ(b.descriptor.name, a.descriptor.name);
        EXPECT_EQ(std::make_pair(b.x, b.y), std::make_pair(a.x, a.y));
        if (b.typeName != "ListBoxControl") {
            EXPECT_EQ(b.descriptor.visibleRows, 0);
            EXPECT_EQ(b.descriptor.count, nullptr);
            EXPECT_EQ(b.descriptor.width, b.typeName == "InfoControl" ? 4 : 0);
        }
    }
    EXPECT_EQ(standin::PanelHost::svg(second), standin::PanelHost::svg(first));
}
