// vrim's comparison of two scene versions against motion worked out here in
// closed form: the sine of each selected key, from its frames at 30 a second
// and the scene's own rate, not through the tool's evaluation.
#include "support/own_folder.h"
#include "support/tool_run.h"
#include "tools/vrim/compare/compare.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>

namespace {

using vrim::compare::Change;

struct TestKey {
    int start = 0, end = 30;
    bool fallOff = false;
    double widthX = 0.0, widthY = 0.0, widthZ = 0.0;
    double period = 0.1;
};
struct TestItem {
    std::string name;
    std::vector<TestKey> keys;
};
struct TestScene {
    double fps = 30.0;
    std::vector<TestItem> items;
    std::string lineEnd = "\n";
    bool shortNumbers = false; // "0.25" where a host writes "0.250000"
};

std::string numberText(double value, bool shortForm) {
    char text[64];
    std::snprintf(text, sizeof text, shortForm ? "%g" : "%f", value);
    return text;
}

std::string sceneText(const TestScene& scene) {
    std::vector<std::string> lines = {"LWSC",
                                      "3",
                                      "",
                                      "FirstFrame 0",
                                      "LastFrame 90",
                                      "FramesPerSecond " + numberText(scene.fps, true),
                                      ""};
    auto value = [&](const char* word, double number) {
        lines.push_back(std::string(word) + " " + numberText(number, scene.shortNumbers));
    };
    for (const TestItem& item : scene.items) {
        lines.push_back("AddNullObject " + item.name);
        lines.push_back("Plugin ItemMotionHandler 1 VRIM_S");
        lines.push_back("VRIM_START");
        value("KEY_NUM", static_cast<double>(item.keys.size()));
        for (const TestKey& key : item.keys) {
            lines.push_back("KEY_START");
            value("FREQ", key.period);
            value("FREQ_W_X", key.widthX);
            value("FREQ_W_Y", key.widthY);
            value("FREQ_W_Z", key.widthZ);
            value("START_F", key.start);
            value("END_F", key.end);
            value("FALL_OFF", key.fallOff ? 1.0 : 0.0);
        }
        lines.push_back("VRIM_END");
        lines.push_back("EndPlugin");
    }
    std::string text;
    for (const std::string& line : lines) {
        text += line + scene.lineEnd;
    }
    return text;
}

// The offset on one axis: the last key in the chain that has started is the
// one that may act, and only within its own span.
double closedOffset(const std::vector<TestKey>& keys, int frame, double fps, int axis) {
    const TestKey* selected = nullptr;
    for (const TestKey& key : keys) {
        if (key.start <= frame) {
            selected = &key;
        }
    }
    if (selected == nullptr) {
        return 0.0;
    }
    const double time = frame / fps, start = selected->start / 30.0, end = selected->end / 30.0;
    if (start > time || end < time) {
        return 0.0;
    }
    const double phase =
        selected->period == 0.0 ? 1.0 : (time - start) * 6.28318530718 / selected->period;
    const double width = axis == 0   ? selected->widthX
                         : axis == 1 ? selected->widthY
                                     : selected->widthZ;
    const double factor = selected->fallOff ? 1.0 - (time - start) / (end - start) : 1.0;
    return std::sin(phase) * factor * width;
}

struct Expected {
    std::array<double, 3> largest = {0.0, 0.0, 0.0};
    std::optional<int64_t> first, last;
};

// Frames outside where either version acts differ by nothing, so a window
// wider than every key in the cases gives the same answer.
Expected closedDifference(const std::vector<TestKey>& before, double beforeFps,
                          const std::vector<TestKey>& after, double afterFps) {
    Expected expected;
    for (int frame = -50; frame <= 400; ++frame) {
        bool beyond = false;
        for (int axis = 0; axis < 3; ++axis) {
            const double gap = std::fabs(closedOffset(before, frame, beforeFps, axis) -
                                         closedOffset(after, frame, afterFps, axis));
            expected.largest[axis] = std::max(expected.largest[axis], gap);
            beyond = beyond || gap > 1e-6;
        }
        if (beyond) {
            expected.first = expected.first.value_or(frame);
            expected.last = frame;
        }
    }
    return expected;
}

const TestItem kCameraRig = {
    "Camera_Rig", {{0, 24, true, 0.0, 0.08, 0.0, 0.1}, {36, 60, false, 0.05, 0.0, 0.03, 0.25}}};
const TestItem kLampSwing = {"Lamp_Swing",
                             {{0, 90, true, 0.2, 0.0, 0.0, 0.5},
                              {30, 45, false, 0.0, 0.05, 0.0, 0.2},
                              {60, 75, true, 0.0, 0.0, 0.05, 0.0}}};
// The first key never acts: the second starts on the same frame and comes
// later in the chain, so it is always the one selected.
const TestItem kHidden = {
    "Hidden_Rig", {{0, 30, false, 0.0, 0.1, 0.0, 0.2}, {0, 60, false, 0.0, 0.05, 0.0, 0.5}}};

struct Case {
    const char* name;
    TestScene before, after;
    // (change, address, old address) of every item reported, in order.
    std::vector<std::tuple<Change, std::string, std::string>> items;
    bool moves;
};

TestScene with(TestScene scene, const std::function<void(TestScene&)>& change) {
    change(scene);
    return scene;
}

std::vector<Case> cases() {
    const TestScene base{30.0, {kCameraRig, kLampSwing, kHidden}};
    return {
        {"period changed",
         base,
         with(base, [](TestScene& s) { s.items[0].keys[1].period = 0.2; }),
         {{Change::Changed, "Camera_Rig", ""}},
         true},
        {"hidden key changed",
         base,
         with(base, [](TestScene& s) { s.items[2].keys[0].widthY = 0.3; }),
         {{Change::Changed, "Hidden_Rig", ""}},
         false},
        {"numbers written shorter",
         base,
         with(base, [](TestScene& s) { s.shortNumbers = true; }),
         {},
         false},
        {"CRLF line ends", base, with(base, [](TestScene& s) { s.lineEnd = "\r\n"; }), {}, false},
        {"item added",
         base,
         with(base,
              [](TestScene& s) {
                  s.items.push_back({"Extra", kCameraRig.keys});
              }),
         {{Change::Added, "Extra", ""}},
         true},
        {"item removed",
         base,
         with(base, [](TestScene& s) { s.items.erase(s.items.begin()); }),
         {{Change::Removed, "Camera_Rig", ""}},
         true},
        {"item renamed",
         base,
         with(base, [](TestScene& s) { s.items[1].name = "Lamp_Sway"; }),
         {{Change::Renamed, "Lamp_Sway", "Lamp_Swing"}},
         false},
        // Two candidates with the same keys: which went where is not known.
        {"ambiguous rename",
         with(base,
              [](TestScene& s) {
                  s.items.push_back({"Twin", kCameraRig.keys});
              }),
         with(base,
              [](TestScene& s) {
                  s.items[0].name = "Rig_A";
                  s.items.push_back({"Rig_B", kCameraRig.keys});
              }),
         {{Change::Added, "Rig_A", ""},
          {Change::Added, "Rig_B", ""},
          {Change::Removed, "Camera_Rig", ""},
          {Change::Removed, "Twin", ""}},
         true},
        {"frame rate changed",
         base,
         with(base, [](TestScene& s) { s.fps = 24.0; }),
         {{Change::Changed, "Camera_Rig", ""},
          {Change::Changed, "Lamp_Swing", ""},
          {Change::Changed, "Hidden_Rig", ""}},
         true},
        // Pairs found out of the old file's order take further passes.
        {"items reordered and changed",
         base,
         with(base,
              [](TestScene& s) {
                  std::swap(s.items[0], s.items[2]);
                  for (TestItem& item : s.items) {
                      item.keys[0].widthY += 0.5;
                  }
              }),
         {{Change::Changed, "Hidden_Rig", ""},
          {Change::Changed, "Lamp_Swing", ""},
          {Change::Changed, "Camera_Rig", ""}},
         true},
        {"key inserted in the middle",
         base,
         with(base,
              [](TestScene& s) {
                  s.items[1].keys.insert(s.items[1].keys.begin() + 1,
                                         {20, 28, false, 0.1, 0.0, 0.0, 0.25});
              }),
         {{Change::Changed, "Lamp_Swing", ""}},
         true},
    };
}

const TestItem* findItem(const TestScene& scene, const std::string& name) {
    for (const TestItem& item : scene.items) {
        if (item.name == name) {
            return &item;
        }
    }
    return nullptr;
}

class DiffTest : public ::testing::Test {
  protected:
    vrim::Session session{vrim::defaultModulePath()};
    std::filesystem::path folder = testsupport::ownFolder("diff-tests");

    std::string write(const std::string& name, const TestScene& scene) {
        const std::filesystem::path path = folder / name;
        testsupport::writeBytes(path, sceneText(scene));
        return path.string();
    }
};

TEST_F(DiffTest, ItemsAndMotionAsTheClosedFormHasThem) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        const std::string before = write("old.lws", c.before), after = write("new.lws", c.after);
        std::vector<vrim::compare::ItemDiff> items;
        vrim::compare::SceneListener listener;
        listener.item = [&items](const vrim::compare::ItemDiff& item) { items.push_back(item); };
        const vrim::compare::SceneTotals totals =
            vrim::compare::compareScenes(session, before, after, {}, listener);
        ASSERT_EQ(items.size(), c.items.size());
        EXPECT_EQ(totals.moves(), c.moves);
        for (std::size_t i = 0; i < items.size(); ++i) {
            const auto& [change, address, oldAddress] = c.items[i];
            EXPECT_EQ(items[i].change, change) << address;
            EXPECT_EQ(items[i].address, address);
            EXPECT_EQ(items[i].oldAddress, oldAddress);
            const TestItem* was = findItem(c.before, oldAddress.empty() ? address : oldAddress);
            const TestItem* now = findItem(c.after, address);
            const Expected expected =
                closedDifference(was != nullptr ? was->keys : std::vector<TestKey>{}, c.before.fps,
                                 now != nullptr ? now->keys : std::vector<TestKey>{}, c.after.fps);
            const vrim::compare::MotionDifference& motion = items[i].motion;
            for (std::size_t axis = 0; axis < 3; ++axis) {
                EXPECT_NEAR(motion.largest[axis], expected.largest[axis], 1e-12) << axis;
            }
            EXPECT_EQ(motion.first, expected.first);
            EXPECT_EQ(motion.last, expected.last);
        }
    }
}

TEST_F(DiffTest, KeyChangesFieldByField) {
    using vrim::compare::Field;
    const TestScene base{30.0, {kLampSwing}};
    struct KeyCase {
        const char* name;
        TestScene after;
        // (old key, new key, fields changed) of every key reported.
        std::vector<std::tuple<std::size_t, std::size_t, std::vector<Field>>> keys;
    };
    const std::vector<KeyCase> keyCases = {
        {"period and width",
         with(base,
              [](TestScene& s) {
                  s.items[0].keys[1].period = 0.25;
                  s.items[0].keys[1].widthY = 0.1;
              }),
         {{2, 2, {Field::Period, Field::WidthY}}}},
        {"frames and fall-off",
         with(base,
              [](TestScene& s) {
                  s.items[0].keys[0].start = 2;
                  s.items[0].keys[0].end = 80;
                  s.items[0].keys[0].fallOff = false;
              }),
         {{1, 1, {Field::Start, Field::End, Field::FallOff}}}},
        {"key inserted",
         with(base,
              [](TestScene& s) { s.items[0].keys.insert(s.items[0].keys.begin() + 1, TestKey{}); }),
         {{0, 2, {}}}},
        {"last key removed",
         with(base, [](TestScene& s) { s.items[0].keys.pop_back(); }),
         {{3, 0, {}}}},
    };
    const std::string before = write("keys-old.lws", base);
    for (const KeyCase& c : keyCases) {
        SCOPED_TRACE(c.name);
        std::vector<vrim::compare::KeyChange> keys;
        vrim::compare::SceneListener listener;
        listener.item = [&keys](const vrim::compare::ItemDiff& item) { keys = item.keys; };
        vrim::compare::compareScenes(session, before, write("keys-new.lws", c.after), {}, listener);
        ASSERT_EQ(keys.size(), c.keys.size());
        for (std::size_t k = 0; k < keys.size(); ++k) {
            const auto& [oldKey, newKey, fields] = c.keys[k];
            EXPECT_EQ(keys[k].oldKey, oldKey);
            EXPECT_EQ(keys[k].newKey, newKey);
            ASSERT_EQ(keys[k].fields.size(), fields.size());
            for (std::size_t f = 0; f < fields.size(); ++f) {
                EXPECT_EQ(keys[k].fields[f].field, fields[f]);
            }
        }
    }
}

TEST_F(DiffTest, HeaderChangesNamedWithTheirEffect) {
    TestScene base{30.0, {kCameraRig}};
    std::vector<vrim::compare::HeaderChange> changes;
    vrim::compare::SceneListener listener;
    listener.header = [&changes](const std::vector<vrim::compare::HeaderChange>& found) {
        changes = found;
    };
    std::string newText = sceneText(with(base, [](TestScene& s) { s.fps = 25.0; }));
    newText.replace(newText.find("LastFrame 90"), 12, "LastFrame 60");
    const std::filesystem::path after = folder / "header-new.lws";
    testsupport::writeBytes(after, newText);
    vrim::compare::compareScenes(session, write("header-old.lws", base), after.string(), {},
                                 listener);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].what, "frame rate");
    EXPECT_EQ(changes[0].before + " " + changes[0].after, "30 25");
    EXPECT_EQ(changes[1].what, "last frame");
    EXPECT_EQ(changes[1].before + " " + changes[1].after, "90 60");
    EXPECT_NE(changes[1].effect.find("frames 61\u201390 leave the range"), std::string::npos)
        << changes[1].effect;
}

TEST_F(DiffTest, FoldersPairedByPathWithOneSidedScenes) {
    const std::filesystem::path before = folder / "week1", after = folder / "week2";
    for (const auto& [path, scene] : std::map<std::filesystem::path, TestScene>{
             {before / "a.lws", TestScene{30.0, {kCameraRig}}},
             {before / "gone.lws", TestScene{30.0, {kLampSwing}}},
             {after / "a.lws", TestScene{30.0, {kCameraRig}}},
             {after / "sub" / "new.lws", TestScene{30.0, {kHidden}}}}) {
        std::filesystem::create_directories(path.parent_path());
        testsupport::writeBytes(path, sceneText(scene));
    }
    const auto pairs = vrim::compare::pairsOf(before.string(), after.string(), true);
    ASSERT_EQ(pairs.size(), 3u);
    EXPECT_EQ(pairs[0].relative, "a.lws");
    EXPECT_FALSE(pairs[0].oldPath.empty() || pairs[0].newPath.empty());
    EXPECT_EQ(pairs[1].relative, "gone.lws");
    EXPECT_TRUE(pairs[1].newPath.empty());
    EXPECT_EQ(pairs[2].relative, "sub/new.lws");
    EXPECT_TRUE(pairs[2].oldPath.empty());
    EXPECT_THROW(vrim::compare::pairsOf(before.string(), (before / "a.lws").string(), false),
                 vrim::ToolError);
}

} // namespace
