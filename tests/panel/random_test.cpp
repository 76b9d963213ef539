// Random sessions: typed values and button presses against chains of 0 to
// 300 keys, checked after every action against a model of what the user sees.
#include "panel_fixture.h"
#include "plugin/vocabulary.h"

#include <cstdlib>
#include <random>

using testsupport::chainOf;
using testsupport::defaultKey;
using testsupport::keysValues;
using testsupport::keyValues;
using testsupport::listLine;
using testsupport::PanelTest;
using testsupport::valuesOf;

namespace {

constexpr uint32_t kSeed = 20240611;
constexpr int kSessions = 36;
// Valgrind runs the module some fifty times slower: fewer sessions there.
constexpr int kSessionsUnderValgrind = 6;

// What the panel should show and hold.
struct Model {
    std::vector<ShakeKey> keys;
    int current = -1; // -1: no key shown
    ShakeKey shown{};
    std::string keyNo;

    void show(int index) {
        current = index;
        shown = keys[static_cast<std::size_t>(index)];
        keyNo = std::to_string(index + 1);
    }
    void step(int to) {
        if (current < 0 || to < 0 || to >= static_cast<int>(keys.size())) {
            return;
        }
        keys[static_cast<std::size_t>(current)] = shown;
        show(to);
    }
    void apply(const standin::PanelAction& action) {
        using Kind = standin::PanelAction::Kind;
        if (action.kind == Kind::Type) {
            const std::vector<double>& v = action.numbers;
            if (action.label == vrim::label::kFreqTime) {
                shown.freqTime = v[0];
            } else if (action.label == vrim::label::kWidth) {
                shown.widthX = v[0];
                shown.widthY = v[1];
                shown.widthZ = v[2];
            } else if (action.label == vrim::label::kStartFrame) {
                shown.startFrame = static_cast<int32_t>(v[0]);
            } else if (action.label == vrim::label::kEndFrame) {
                shown.endFrame = static_cast<int32_t>(v[0]);
            } else {
                shown.fallOff = v[0] != 0.0 ? 1 : 0;
            }
        } else if (action.label == vrim::label::kAddKey) {
            keys.push_back(defaultKey());
            if (current < 0) {
                show(0);
            }
        } else if (action.label == vrim::label::kDeleteKey) {
            if (keys.size() > 1) {
                keys.erase(keys.begin() + current);
                show(0);
            }
        } else if (action.label == vrim::label::kNextKey) {
            step(current + 1);
        } else if (action.label == vrim::label::kPrevKey) {
            step(current - 1);
        }
    }
};

class Sessions {
  public:
    explicit Sessions(uint32_t seed) : random_(seed) {}

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
    double anyDouble() {
        switch (below(4)) {
        case 0:
            return std::uniform_real_distribution<double>(-1e300, 1e300)(random_);
        case 1:
            return std::uniform_real_distribution<double>(-10.0, 10.0)(random_);
        default:
            return below(1000) / 100.0;
        }
    }
    int32_t anyFrame() {
        switch (below(8)) {
        case 0:
            return INT32_MIN;
        case 1:
            return INT32_MAX;
        default:
            return below(4000) - 1000;
        }
    }

    int keyCount() {
        switch (below(5)) {
        case 0:
            return below(3);
        case 1:
            return 250 + below(51);
        default:
            return below(40);
        }
    }

    ShakeKey anyKey() {
        return keyValues(anyFrame(), anyFrame(), below(2), anyDouble(), anyDouble(), anyDouble(),
                         anyDouble());
    }

    standin::PanelAction next(const Model& model) {
        standin::PanelAction action;
        const int roll = below(20);
        if (roll < 8) {
            static const char* const buttons[] = {vrim::label::kAddKey, vrim::label::kDeleteKey,
                                                  vrim::label::kNextKey, vrim::label::kPrevKey};
            // Stepping is the common case; adding and deleting keep the length wandering.
            static const int weights[] = {1, 1, 3, 3};
            int pick = below(8);
            int button = 0;
            while (pick >= weights[button]) {
                pick -= weights[button++];
            }
            action.kind = standin::PanelAction::Kind::Press;
            action.label = buttons[button];
        } else if (roll < 19 || model.keys.empty()) {
            static const char* const fields[] = {vrim::label::kFreqTime, vrim::label::kWidth,
                                                 vrim::label::kStartFrame, vrim::label::kEndFrame,
                                                 vrim::label::kFallOff};
            action.kind = standin::PanelAction::Kind::Type;
            action.label = fields[below(5)];
            if (action.label == vrim::label::kWidth) {
                action.numbers = {anyDouble(), anyDouble(), anyDouble()};
            } else if (action.label == vrim::label::kFallOff) {
                action.numbers = {static_cast<double>(below(2))};
            } else if (action.label == vrim::label::kFreqTime) {
                action.numbers = {anyDouble()};
            } else {
                action.numbers = {static_cast<double>(anyFrame())};
            }
        } else {
            action.kind = standin::PanelAction::Kind::Pick;
            const int rows = std::min<int>(static_cast<int>(model.keys.size()), 256);
            action.row = below(rows);
        }
        return action;
    }

  private:
    std::mt19937 random_;
};

} // namespace

TEST_F(PanelTest, RandomSessionsKeepChainListAndControlsInStep) {
    Sessions sessions(kSeed);
    const bool underValgrind = std::getenv("VRIM_UNDER_VALGRIND") != nullptr;
    const int sessionCount = underValgrind ? kSessionsUnderValgrind : kSessions;
    long actionsPlayed = 0;
    for (int session = 0; session < sessionCount; ++session) {
        Model model;
        // The first two sessions start at the extremes: no key, and more keys than lines.
        const int keys = session == 0 ? 0 : session == 1 ? 300 : sessions.keyCount();
        for (int i = 0; i < keys; ++i) {
            model.keys.push_back(sessions.anyKey());
        }
        ShakeInstance* instance = testsupport::makeInstance(handler, model.keys);
        if (keys > 0) {
            model.show(0);
        } else {
            model.shown = defaultKey();
            model.keyNo = std::to_string(0);
        }

        const int length = 40 + sessions.below(160);
        int played = 0;
        std::string trail; // the session's script so far, shown on failure
        bool failed = false;
        panelHost.afterAction = [&](const standin::PanelAction& action) {
            ++played;
            trail += standin::formatPanelAction(action) + "\n";
            model.apply(action);
            const std::vector<const ShakeKey*> chain = chainOf(instance);
            const KeyEditor* shownBy = editor();
            const std::size_t listed = std::min<std::size_t>(model.keys.size(), 256);
            std::vector<std::string> lines;
            for (std::size_t i = 0; i < listed; ++i) {
                lines.push_back(listLine(model.keys[i]));
            }
            std::vector<std::string> stored(
                instance->listText.lines, instance->listText.lines + instance->listText.lineCount);
            const bool ok = testsupport::chainIsSound(instance) &&
                            static_cast<std::size_t>(instance->keyCount) == model.keys.size() &&
                            testsupport::chainValues(instance) == keysValues(model.keys) &&
                            (model.current < 0 ? shownBy->currentKey == nullptr
                                               : shownBy->currentKey == chain[model.current]) &&
                            valuesOf(shown()) == valuesOf(model.shown) && keyNo() == model.keyNo &&
                            stored == lines && control(vrim::label::kKeyList).rows == lines;
            if (!ok && !failed) {
                failed = true;
                ADD_FAILURE() << "seed " << kSeed << ", session " << session << " (" << keys
                              << " keys), after action " << played << ":\n"
                              << trail << "keyCount " << instance->keyCount << ", model keys "
                              << model.keys.size() << ", KEY_NO \"" << keyNo() << "\" (model \""
                              << model.keyNo << "\"), list " << instance->listText.lineCount
                              << " lines";
            }
            if (played < length) {
                panelHost.script.push_back(sessions.next(model));
            } else if (sessions.below(3) != 0) {
                panelHost.script.push_back(standin::PanelAction{
                    sessions.below(2) != 0 ? standin::PanelAction::Kind::Close
                                           : standin::PanelAction::Kind::Cancel,
                    "",
                    {},
                    0});
            }
        };
        panelHost.setScript({sessions.next(model)});
        ASSERT_EQ(activate(1, host.global(), instance, nullptr), 0);
        actionsPlayed += played;
        if (model.current >= 0) {
            model.keys[static_cast<std::size_t>(model.current)] = model.shown;
        }
        EXPECT_TRUE(testsupport::chainIsSound(instance));
        EXPECT_EQ(testsupport::chainValues(instance), keysValues(model.keys))
            << "seed " << kSeed << ", session " << session << ": after closing\n"
            << trail;
        EXPECT_EQ(probe->live, 1 + static_cast<int64_t>(model.keys.size()))
            << "only the instance and its keys stay allocated";
        handler.destroy(instance);
        ASSERT_FALSE(failed);
    }
    EXPECT_GT(actionsPlayed, underValgrind ? 400 : 3000);
}
