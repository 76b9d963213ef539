// shakeEvaluate as the host calls it, beside its floor.
//
// The floor is what any evaluation has to do: one call of the host's
// get-parameter, one sine, one call of set-parameter, reached through the
// same kind of callback pointer the host uses. For a chain of many keys the
// floor also includes one bare walk of the same chain, since the last key
// that has started can only be found by looking at every key.
#include "bench/session.h"

#include "support/chains.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <string>

namespace bench {

namespace {

using EvaluateFunc = void (*)(void* instance, const MotionAccess* access);

// Every case evaluates frame 4. A key that starts at frame 0 is active there,
// one that starts at frame 1000 has not started.
constexpr int32_t kFrame = 4;
constexpr double kTime = 4.0 / 30.0;
constexpr int32_t kLaterStart = 1000;
// The phase that an active key below reaches at frame 4 (4/30 s into a
// period of 0.1 s): the floor's sine pays the same argument reduction.
constexpr double kPhaseAtFrame4 = 8.37758040957;

enum class Selected { First, Last, None };

const char* selectedName(Selected selected) {
    switch (selected) {
    case Selected::First:
        return "first";
    case Selected::Last:
        return "last";
    case Selected::None:
        return "none";
    }
    return "?";
}

// A chain of count keys whose selected key at frame 4 is the first (every
// other key starts later), the last (every key has started), or none.
std::vector<ShakeKey> chainKeys(int count, Selected selected, bool fallOff) {
    const ShakeKey active = testsupport::keyValues(0, 30, fallOff ? 1 : 0, 0.0, 0.1, 0.0, 0.1);
    ShakeKey later = active;
    later.startFrame = kLaterStart;
    later.endFrame = kLaterStart + 30;
    std::vector<ShakeKey> keys(static_cast<size_t>(count),
                               selected == Selected::Last ? active : later);
    if (selected == Selected::First) {
        keys[0] = active;
    }
    return keys;
}

void evaluateLoop(benchmark::State& state, EvaluateFunc evaluate, void* instance, bool shakes) {
    Session& s = session();
    const MotionAccess access = s.host.motionAccess(kFrame, kTime);
    // A case that does not do what it claims would time the wrong work.
    const int64_t setsBefore = s.host.setCalls;
    evaluate(instance, &access);
    if ((s.host.setCalls != setsBefore) != shakes) {
        state.SkipWithError(shakes ? "the item was not shaken" : "the item was shaken");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(evaluate);
        evaluate(instance, &access);
    }
}

// The floor of an evaluation that moves the item. data points at the phase.
__attribute__((noinline)) void floorShake(void* data, const MotionAccess* access) {
    double position[3];
    access->getParam(kParamPosition, access->time, position);
    position[1] += std::sin(*static_cast<const double*>(data));
    access->setParam(kParamPosition, position);
}

// The floor of an evaluation that leaves the item where it is.
__attribute__((noinline)) void floorStill(void* /*data*/, const MotionAccess* access) {
    double position[3];
    access->getParam(kParamPosition, access->time, position);
    benchmark::DoNotOptimize(position);
}

// The bare walk: the last key in the chain whose start frame has been reached.
__attribute__((noinline)) const ShakeKey* lastStarted(const ShakeKey* key, int32_t frame) {
    const ShakeKey* selected = nullptr;
    for (; key != nullptr; key = key->next) {
        if (key->startFrame <= frame) {
            selected = key;
        }
    }
    return selected;
}

double phase = kPhaseAtFrame4;

} // namespace

void registerEvaluation() {
    const EvaluateFunc evaluate = session().handler.record.evaluate;
    for (int count : {1, 16, 256}) {
        for (Selected selected : {Selected::First, Selected::Last, Selected::None}) {
            if (count == 1 && selected == Selected::Last) {
                continue; // the only key is both first and last
            }
            for (bool fallOff : {true, false}) {
                ShakeInstance* instance = chainInstance(chainKeys(count, selected, fallOff));
                const std::string name = "evaluate/keys:" + std::to_string(count) +
                                         "/selected:" + selectedName(selected) +
                                         "/falloff:" + (fallOff ? "on" : "off");
                const bool shakes = selected != Selected::None;
                benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& state) {
                    evaluateLoop(state, evaluate, instance, shakes);
                });
            }
            if (count > 1) {
                // Fall-off does not change the walk: one chain per selection.
                ShakeInstance* instance = chainInstance(chainKeys(count, selected, true));
                const std::string name =
                    "walk/keys:" + std::to_string(count) + "/selected:" + selectedName(selected);
                benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& state) {
                    for (auto _ : state) {
                        const ShakeKey* first = instance->firstKey;
                        benchmark::DoNotOptimize(first);
                        benchmark::DoNotOptimize(lastStarted(first, kFrame));
                    }
                });
            }
        }
    }
    benchmark::RegisterBenchmark("evaluate_floor/shake", [](benchmark::State& state) {
        evaluateLoop(state, floorShake, &phase, true);
    });
    benchmark::RegisterBenchmark("evaluate_floor/still", [](benchmark::State& state) {
        evaluateLoop(state, floorStill, nullptr, false);
    });
}

} // namespace bench
