// Building, opening and closing the key editor panel.
#include "panel_fixture.h"

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

TEST_F(PanelTest, ControlsAreAddedPlacedAndWiredInOrder) {
    struct Expected {
        const char* type;
        const char* label;
        int32_t descriptorType;
        int fieldX;
        int row;
    };
    const std::vector<Expected> added = {
        {"FloatControl", "Freqency Time", 3, 100, 1},
        {"FVecControl", "Freq Width X,Y,Z", 6, 100, 2},
        {"NumControl", "StartFrame", 2, 100, 3},
        {"NumControl", "EndFrame", 2, 300, 3},
        {"BoolControl", "FallOff", 8, 500, 3},
        {"ButtonControl", "ADD KEY", 2, 100, 5},
        {"ButtonControl", "NEXT KEY", 2, 300, 6},
        {"ButtonControl", "PREV KEY", 2, 100, 6},
        {"ButtonControl", "DELETE KEY", 2, 300, 5},
        {"InfoControl", "KEY_NO", 1, 250, 6},
        {"ListBoxControl", "Key List", 18, 100, 7},
    };
    ShakeInstance* instance = instanceWith({kFirst, kSecond});
    KeyEditor seen{};
    panelHost.afterAction = [&](const standin::PanelAction&) { seen = *editor(); };
    ASSERT_EQ(run(instance, "pick 0\nclose"), 0);

    const standin::Panel& panel = *panelHost.lastPanel();
    EXPECT_EQ(panel.title.rfind("VRIM_S   ver1.0", 0), 0u) << panel.title;
    EXPECT_EQ(panelHost.log.front(), "create " + panel.title);
    ASSERT_EQ(panel.controls.size(), added.size());
    std::vector<std::string> placement;
    for (std::size_t i = 0; i < added.size(); ++i) {
        const Expected& e = added[i];
        const standin::PanelControl& c = *panel.controls[i];
        SCOPED_TRACE(e.label);
        EXPECT_EQ(panelHost.log[1 + i], std::string("add ") + e.type + " " + e.label);
        EXPECT_EQ(c.descriptor.type, e.descriptorType);
        EXPECT_EQ(c.labelWidth, standin::PanelHost::labelWidthFor(e.type, e.label));
        EXPECT_EQ(c.x, e.fieldX - c.labelWidth);
        EXPECT_EQ(c.y, e.row * 20);
    }
    const standin::PanelControl& keyNoControl = *panel.controls[9];
    EXPECT_EQ(keyNoControl.descriptor.width, 4);
    const standin::PanelControl& list = *panel.controls[10];
    EXPECT_EQ(list.descriptor.width, 400);
    EXPECT_EQ(list.descriptor.visibleRows, 5);
    EXPECT_EQ(list.descriptor.reserved, 0);
    EXPECT_NE(list.descriptor.count, nullptr);
    EXPECT_NE(list.descriptor.name, nullptr);
    EXPECT_EQ(list.listData, &instance->listText);
    EXPECT_EQ(panelHost.services()->userData, &instance->listText);
    EXPECT_TRUE(panel.heightSet);
    EXPECT_EQ(panel.height, 312);
    EXPECT_EQ(panel.openFlags, 7);

    // Placement: each control's label width read, then x and y, in this order.
    std::vector<std::string> expectedPlacement;
    for (const char* label :
         {"Freqency Time", "Freq Width X,Y,Z", "StartFrame", "EndFrame", "FallOff", "ADD KEY",
          "DELETE KEY", "PREV KEY", "NEXT KEY", "KEY_NO", "Key List"}) {
        for (const char* step : {" 9", " 0", " 1"}) {
            expectedPlacement.push_back(std::string(step == std::string(" 9") ? "get " : "set ") +
                                        label + step);
        }
    }
    expectedPlacement.push_back("panel set 3 312");
    std::vector<std::string> fromPlacement = logFrom("get Freqency Time 9");
    fromPlacement.resize(std::min(fromPlacement.size(), expectedPlacement.size()));
    EXPECT_EQ(fromPlacement, expectedPlacement);

    // Wiring: user data, then event, button by button, then the list box.
    std::vector<std::string> wiring;
    for (const std::string& line : panelHost.log) {
        if (line.size() > 3 && (line.ends_with(" 16") || line.ends_with(" 14")) &&
            line.starts_with("set ")) {
            wiring.push_back(line);
        }
    }
    const std::vector<std::string> expectedWiring = {
        "set ADD KEY 16",  "set ADD KEY 14",  "set PREV KEY 16",   "set PREV KEY 14",
        "set NEXT KEY 16", "set NEXT KEY 14", "set DELETE KEY 16", "set DELETE KEY 14",
        "set Key List 16", "set Key List 14",
    };
    EXPECT_EQ(wiring, expectedWiring);
    std::vector<ControlEventFunc> events;
    for (const char* button : {"ADD KEY", "PREV KEY", "NEXT KEY", "DELETE KEY"}) {
        EXPECT_EQ(control(button).userData, control("ADD KEY").userData) << button;
        events.push_back(control(button).event);
    }
    events.push_back(list.event);
    std::sort(events.begin(), events.end());
    EXPECT_EQ(std::adjacent_find(events.begin(), events.end()), events.end());
    EXPECT_EQ(events.front() != nullptr, true);
    EXPECT_EQ(list.userData, &instance->listText);

    // The editor the buttons share, as it was while the panel was open.
    EXPECT_EQ(seen.services, panelHost.services());
    EXPECT_EQ(seen.panel, static_cast<PanelHandle>(panelHost.lastPanel()));
    const ControlRecord* expectedControls[] = {
        control("Freqency Time").record(), control("Freq Width X,Y,Z").record(),
        control("StartFrame").record(),    control("EndFrame").record(),
        control("FallOff").record(),       control("KEY_NO").record(),
        control("Key List").record()};
    const ControlRecord* seenControls[] = {seen.freqControl, seen.widthControl,   seen.startControl,
                                           seen.endControl,  seen.fallOffControl, seen.keyNoControl,
                                           seen.listControl};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(seenControls[i], expectedControls[i]) << i;
    }
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
