// The tool's account of which key acts, which frames a key's span runs on and
// where later keys hide it, held against what the module does.
#include "support/chains.h"
#include "support/module_fixture.h"
#include "tools/vrim/module/analysis.h"

#include <cmath>
#include <limits>
#include <optional>
#include <random>

using testsupport::keyValues;
using testsupport::makeInstance;
using testsupport::ModuleTest;

namespace {

constexpr double kRates[] = {30.0, 24.0, 60.0, 25.0};

// Chains whose keys overlap, hide one another, run backwards, start on the
// same frame, start below zero or last one instant.
std::vector<std::vector<ShakeKey>> namedChains() {
    return {
        {keyValues(0, 30, 1, 0.0, 0.1, 0.0, 0.1)},
        {keyValues(0, 90, 1, 0.2, 0, 0, 0.5), keyValues(30, 45, 0, 0, 0.05, 0, 0.2),
         keyValues(60, 75, 1, 0, 0, 0.05, 0.0)},
        {keyValues(0, 100, 0, 1, 0, 0, 0.5), keyValues(10, 20, 0, 0, 1, 0, 0.5)},
        {keyValues(10, 20, 0, 0, 1, 0, 0.5), keyValues(0, 100, 0, 1, 0, 0, 0.5)},
        {keyValues(0, 30, 0, 1, 0, 0, 0.3), keyValues(0, 30, 0, 0, 1, 0, 0.3)},
        {keyValues(0, 100, 0, 1, 0, 0, 0.2), keyValues(10, 5, 0, 0, 1, 0, 0.2)},
        {keyValues(-10, 0, 0, 1, 0, 0, 0.1), keyValues(20, 40, 1, 1, 1, 1, 1.0)},
        {keyValues(6, 6, 1, 0, 2, 0, 0.0), keyValues(7, 7, 0, 1, 0, 0, 0.1)},
    };
}

std::vector<std::vector<ShakeKey>> randomChains(int count) {
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> keysPerChain(1, 4), start(-10, 60), length(-5, 40),
        flag(0, 1);
    std::uniform_real_distribution<double> width(-1.0, 1.0), period(0.05, 1.0);
    std::vector<std::vector<ShakeKey>> chains;
    for (int c = 0; c < count; ++c) {
        std::vector<ShakeKey> keys;
        for (int k = keysPerChain(random); k > 0; --k) {
            const int first = start(random);
            keys.push_back(keyValues(first, first + length(random), flag(random), width(random),
                                     width(random), width(random), period(random)));
        }
        chains.push_back(keys);
    }
    return chains;
}

} // namespace

class AnalysisTest : public ModuleTest {
  protected:
    void TearDown() override {
        for (ShakeInstance* instance : instances) {
            handler.destroy(instance);
        }
    }
    ShakeInstance* instanceOf(const std::vector<ShakeKey>& keys) {
        instances.push_back(makeInstance(handler, keys));
        return instances.back();
    }
    // The module's position for an item at rest at the origin, or nothing.
    std::optional<std::array<double, 3>> moduleMotion(ShakeInstance* instance, int32_t frame,
                                                      double time) {
        host.position[0] = host.position[1] = host.position[2] = 0.0;
        if (!handler.evaluate(host, instance, frame, time)) {
            return std::nullopt;
        }
        return std::array<double, 3>{host.position[0], host.position[1], host.position[2]};
    }
    std::vector<ShakeInstance*> instances;
};

// Whenever the module moves the item the analysis names a key, and that key
// alone moves it the same way; whenever the module leaves it, no key is named.
TEST_F(AnalysisTest, ActingKeyIsTheKeyTheModuleUses) {
    host.logMotion = false;
    std::vector<std::vector<ShakeKey>> chains = namedChains();
    for (const auto& chain : randomChains(150)) {
        chains.push_back(chain);
    }
    for (const auto& keys : chains) {
        ShakeInstance* whole = instanceOf(keys);
        std::vector<ShakeInstance*> alone;
        for (const ShakeKey& key : keys) {
            alone.push_back(instanceOf({key}));
        }
        for (double fps : kRates) {
            for (double frame = -20; frame <= 110; frame += 0.5) {
                const auto hostFrame = static_cast<int32_t>(std::floor(frame));
                const double time = frame / fps;
                SCOPED_TRACE(::testing::Message()
                             << "chain of " << keys.size() << " starting " << keys[0].startFrame
                             << ", " << fps << " fps, frame " << frame);
                const auto moved = moduleMotion(whole, hostFrame, time);
                const int key = vrim::actingKey(*whole, hostFrame, time);
                ASSERT_EQ(moved.has_value(), key >= 0);
                if (moved) {
                    EXPECT_EQ(*moved,
                              *moduleMotion(alone[static_cast<std::size_t>(key)], hostFrame, time));
                }
            }
        }
    }
}

// A key acts on exactly the scene frames spanFrames gives, at any rate. The
// last frame the host can pass selects a lone key, so only its span decides.
TEST_F(AnalysisTest, SpanFramesAreTheFramesTheModuleActsOn) {
    host.logMotion = false;
    std::vector<ShakeKey> keys;
    for (const auto& chain : namedChains()) {
        keys.insert(keys.end(), chain.begin(), chain.end());
    }
    for (const auto& chain : randomChains(60)) {
        keys.insert(keys.end(), chain.begin(), chain.end());
    }
    constexpr int32_t kSelectsEveryKey = std::numeric_limits<int32_t>::max();
    for (const ShakeKey& key : keys) {
        ShakeInstance* alone = instanceOf({key});
        for (double fps : kRates) {
            const vrim::FrameSpan span = vrim::spanFrames(key, fps);
            for (int64_t frame = -40; frame <= 220; ++frame) {
                SCOPED_TRACE(::testing::Message() << "key " << key.startFrame << "-" << key.endFrame
                                                  << ", " << fps << " fps, frame " << frame);
                const bool acts =
                    moduleMotion(alone, kSelectsEveryKey, static_cast<double>(frame) / fps)
                        .has_value();
                ASSERT_EQ(acts, frame >= span.first && frame <= span.last);
            }
        }
    }
}

// Hidden runs are the frames of a key's span on which a later key is
// selected, in runs by the selecting key.
TEST_F(AnalysisTest, HiddenRunsCoverTheFramesWhereALaterKeyIsSelected) {
    struct Case {
        const char* what;
        std::vector<ShakeKey> keys;
        int key;
        double fps;
        std::vector<vrim::HiddenRun> expected;
    };
    const std::vector<Case> cases = {
        {"the sample's swinging lamp", namedChains()[1], 0, 30, {{{30, 59}, 1}, {{60, 90}, 2}}},
        {"a later key over, an earlier span still running",
         namedChains()[2],
         0,
         30,
         {{{10, 100}, 1}}},
        // A later key that started earlier is selected all through the span.
        {"hidden by a later key that started first", namedChains()[3], 0, 30, {{{10, 20}, 1}}},
        {"a later key hides no later frames", namedChains()[3], 1, 30, {}},
        {"the later key of two", namedChains()[2], 1, 30, {}},
        {"a key that never acts hides from its start", namedChains()[5], 0, 30, {{{10, 100}, 1}}},
        {"same start: the later one wins", namedChains()[4], 0, 30, {{{0, 30}, 1}}},
        {"at 24 fps the span ends on frame 72",
         namedChains()[1],
         0,
         24,
         {{{30, 59}, 1}, {{60, 72}, 2}}},
        {"no span: never acts",
         {keyValues(10, 5, 0, 1, 0, 0, 1), keyValues(0, 30, 0, 1, 0, 0, 1)},
         0,
         30,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ShakeInstance* instance = instanceOf(c.keys);
        const auto runs = vrim::hiddenRuns(*instance, c.key, c.fps);
        ASSERT_EQ(runs.size(), c.expected.size());
        for (std::size_t i = 0; i < runs.size(); ++i) {
            EXPECT_EQ(runs[i].frames.first, c.expected[i].frames.first);
            EXPECT_EQ(runs[i].frames.last, c.expected[i].frames.last);
            EXPECT_EQ(runs[i].by, c.expected[i].by);
        }
    }

    // The same, frame by frame, over random chains.
    for (const auto& keys : randomChains(150)) {
        ShakeInstance* instance = instanceOf(keys);
        for (double fps : kRates) {
            for (int key = 0; key < static_cast<int>(keys.size()); ++key) {
                const vrim::FrameSpan span = vrim::spanFrames(keys[std::size_t(key)], fps);
                std::vector<int> hiddenBy(400, -1); // frames -100 to 299
                for (const vrim::HiddenRun& run : vrim::hiddenRuns(*instance, key, fps)) {
                    ASSERT_LE(run.frames.first, run.frames.last);
                    for (int64_t f = run.frames.first; f <= run.frames.last; ++f) {
                        hiddenBy[std::size_t(f + 100)] = run.by;
                    }
                }
                for (int32_t frame = -100; frame < 300; ++frame) {
                    const int selected = vrim::selectedKey(*instance, frame);
                    const bool hidden = frame >= span.first && frame <= span.last && selected > key;
                    ASSERT_EQ(hiddenBy[std::size_t(frame + 100)], hidden ? selected : -1)
                        << "frame " << frame << ", key " << key << ", " << fps << " fps";
                }
            }
        }
    }
}
