// Evaluation through the host's motion access record.
#include "support/chains.h"
#include "support/module_fixture.h"

#include <cmath>
#include <cstring>
#include <optional>

using testsupport::keyValues;
using testsupport::makeInstance;
using testsupport::ModuleTest;

namespace {

struct Vec {
    double x, y, z;
};

struct Case {
    const char* what;
    std::vector<ShakeKey> keys;
    int32_t frame;
    double time;
    Vec start;
    std::optional<Vec> set;   // nullopt: set-parameter must not be called
    double tolerance = 1e-11; // relative, or absolute below 1
};

const ShakeKey kDefault = keyValues(0, 30, 1, 0.0, 0.1, 0.0, 0.1);
const ShakeKey kDefaultNoFallOff = keyValues(0, 30, 0, 0.0, 0.1, 0.0, 0.1);
ShakeKey withFreq(ShakeKey key, double freq) {
    key.freqTime = freq;
    return key;
}

void expectNear(double actual, double expected, double tolerance, const char* axis) {
    double scale = std::max(1.0, std::fabs(expected));
    EXPECT_NEAR(actual, expected, tolerance * scale) << axis;
}

} // namespace

// Evaluates each case on a fresh instance: the host is asked for the
// position first, and given the shaken one only when a key acts.
class Evaluation : public ModuleTest {
  protected:
    void expectCases(const std::vector<Case>& cases) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            ShakeInstance* instance = makeInstance(handler, c.keys);
            host.position[0] = c.start.x;
            host.position[1] = c.start.y;
            host.position[2] = c.start.z;
            host.motionLog.clear();
            bool set = handler.evaluate(host, instance, c.frame, c.time);

            ASSERT_GE(host.motionLog.size(), 1u);
            EXPECT_FALSE(host.motionLog[0].set); // get first, before any test
            EXPECT_EQ(host.motionLog[0].param, 1);
            EXPECT_EQ(host.motionLog[0].time, c.time);
            EXPECT_EQ(set, c.set.has_value());
            EXPECT_EQ(host.motionLog.size(), c.set ? 2u : 1u);
            if (c.set) {
                EXPECT_EQ(host.motionLog[1].param, 1);
                expectNear(host.position[0], c.set->x, c.tolerance, "x");
                expectNear(host.position[1], c.set->y, c.tolerance, "y");
                expectNear(host.position[2], c.set->z, c.tolerance, "z");
            }
            handler.destroy(instance);
        }
    }
};

TEST_F(Evaluation, OneKeyMatchesWorkedValues) {
    const ShakeKey second = keyValues(10, 40, 1, 0.5, 0.0, -0.2, 0.25);
    ShakeKey secondNoFallOff = second;
    secondNoFallOff.fallOff = 0;
    expectCases({
        {"frame 4", {kDefault}, 4, 4.0 / 30, {0, 0, 0}, Vec{0, 0.0750555349946, 0}},
        {"frame 4 no fall-off",
         {kDefaultNoFallOff},
         4,
         4.0 / 30,
         {0, 0, 0},
         Vec{0, 0.0866025403784, 0}},
        // sin(31.4159265359) is about 2.0665e-12: not 0, unlike sin(10*pi).
        {"frame 15", {kDefault}, 15, 0.5, {0, 0, 0}, Vec{0, 1.0332e-13, 0}, 1e-16},
        {"frame 0 start inclusive", {kDefault}, 0, 0.0, {0, 0, 0}, Vec{0, 0, 0}},
        {"frame 30 end inclusive", {kDefault}, 30, 1.0, {0, 0, 0}, Vec{0, 0, 0}},
        {"frame 31 after the end", {kDefault}, 31, 31.0 / 30, {0, 0, 0}, std::nullopt},
        {"zero period", {withFreq(kDefault, 0.0)}, 15, 0.5, {0, 0, 0}, Vec{0, 0.0420735492404, 0}},
        {"zero period no fall-off",
         {withFreq(kDefaultNoFallOff, 0.0)},
         15,
         0.5,
         {0, 0, 0},
         Vec{0, 0.0841470984808, 0}},
        {"negative period",
         {withFreq(kDefault, -0.1)},
         4,
         4.0 / 30,
         {0, 0, 0},
         Vec{0, -0.0750555349946, 0}},
        {"second key", {second}, 16, 0.5, {1, 2, 3}, Vec{0.639156081756, 2, 3.14433756730}},
        {"second key no fall-off",
         {secondNoFallOff},
         16,
         0.5,
         {1, 2, 3},
         Vec{0.566987298108, 2, 3.17320508076}},
    });
}

TEST_F(Evaluation, ChainsMatchWorkedValues) {
    const ShakeKey a = keyValues(0, 100, 0, 1, 0, 0, 0.5);
    const ShakeKey b = keyValues(10, 20, 0, 0, 1, 0, 0.5);
    expectCases({
        {"empty chain", {}, 5, 5.0 / 30, {1, 2, 3}, std::nullopt},
        {"every key starts later",
         {keyValues(10, 20, 0, 1, 1, 1, 1)},
         5,
         5.0 / 30,
         {1, 2, 3},
         std::nullopt},
        // Chain A then B: only B at 15, and B (over) still selected at 50.
        // B is 1/6 s into its span of period 0.5 s: sin(2pi/3) = sqrt(3)/2.
        {"later key wins", {a, b}, 15, 0.5, {0, 0, 0}, Vec{0, 0.866025403784, 0}},
        {"selected key over hides earlier", {a, b}, 50, 50.0 / 30, {0, 0, 0}, std::nullopt},
        // A is 5/3 s into its span of period 0.5 s: sin(20pi/3) = sin(2pi/3).
        {"order B then A", {b, a}, 50, 50.0 / 30, {0, 0, 0}, Vec{0.866025403784, 0, 0}},
        {"same start: later in chain",
         {keyValues(0, 30, 0, 1, 0, 0, 0), keyValues(0, 30, 0, 0, 1, 0, 0)},
         3,
         0.1,
         {0, 0, 0},
         Vec{0, std::sin(1.0), 0}},
        {"end before start never acts, hides earlier",
         {keyValues(0, 100, 0, 1, 0, 0, 0), keyValues(10, 5, 0, 0, 1, 0, 0)},
         12,
         0.4,
         {0, 0, 0},
         std::nullopt},
        // 1/6 s into a span of period 0.1 s: sin(10pi/3) = sin(4pi/3) = -sqrt(3)/2.
        {"negative frames",
         {keyValues(-10, 0, 0, 1, 0, 0, 0.1)},
         -5,
         -5.0 / 30,
         {0, 0, 0},
         Vec{-0.866025403784, 0, 0}},
        {"60 fps: selected but not yet in span",
         {keyValues(20, 40, 0, 1, 1, 1, 1)},
         30,
         0.5,
         {0, 0, 0},
         std::nullopt},
        {"between frames: key by frame, span by time",
         {keyValues(0, 10, 0, 1, 0, 0, 0), keyValues(5, 10, 0, 0, 1, 0, 0)},
         4,
         5.5 / 30,
         {0, 0, 0},
         Vec{std::sin(1.0), 0, 0}},
        // A one-instant span with fall-off: full strength, never 0/0.
        {"zero-length span",
         {keyValues(6, 6, 1, 0, 2, 0, 0)},
         6,
         0.2,
         {0, 0, 0},
         Vec{0, 2 * std::sin(1.0), 0}},
    });
}

TEST_F(ModuleTest, EvaluationAllocatesNothingAndChangesNothing) {
    ShakeInstance* instance =
        makeInstance(handler, {kDefault, keyValues(10, 40, 1, 0.5, 0, -0.2, 0.25)});
    ShakeKey first = *instance->firstKey, second = *instance->firstKey->next;
    int64_t allocations = probe->allocations;
    for (int frame = -5; frame < 50; ++frame) {
        handler.evaluate(host, instance, frame, frame / 30.0);
    }
    EXPECT_EQ(probe->allocations, allocations);
    EXPECT_EQ(0, std::memcmp(&first, instance->firstKey, sizeof first));
    EXPECT_EQ(0, std::memcmp(&second, instance->firstKey->next, sizeof second));
    handler.destroy(instance);
}
