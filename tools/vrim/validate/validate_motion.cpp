// Evaluation over random chains and frames, as a host evaluates: frames
// negative and huge, times between frames, in forward, backward and random
// order. The module must ask for the position once and set it at most once,
// never hand back a non-finite position from finite keys, give the same bits
// for the same frame every time (also after a save and reload), and leave
// the instance exactly as it was.
#include "tools/vrim/validate/validate.h"

#include "plugin/vocabulary.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

namespace vrim::validate {

namespace {

struct Sample {
    int32_t frame = 0;
    double time = 0.0;
    double rest[3] = {0.0, 0.0, 0.0}; // the item's position before the shake
};

struct Outcome {
    bool moved = false;
    double position[3] = {0.0, 0.0, 0.0};
    bool operator==(const Outcome& other) const {
        if (moved != other.moved) {
            return false;
        }
        for (int axis = 0; axis < 3; ++axis) {
            const double a = position[axis], b = other.position[axis];
            if (std::memcmp(&a, &b, sizeof a) != 0 && !(std::isnan(a) && std::isnan(b))) {
                return false;
            }
        }
        return true;
    }
};

// Frames around every key's start and end, anywhere near the chain, and at
// the ends of the frame range; times on the frame or between it and the next.
std::vector<Sample> samplesFor(const std::vector<KeyValues>& keys, int count, Random& random) {
    std::vector<int32_t> frames = {INT32_MIN, INT32_MIN + 1, INT32_MAX, -1, 0,
                                   1,         -100000000,    100000000};
    int64_t low = 0, high = 0;
    for (const KeyValues& key : keys) {
        for (int64_t frame : {int64_t{key.startFrame}, int64_t{key.endFrame}}) {
            for (int64_t near = frame - 1; near <= frame + 1; ++near) {
                frames.push_back(
                    static_cast<int32_t>(std::clamp<int64_t>(near, INT32_MIN, INT32_MAX)));
            }
            low = std::min(low, frame);
            high = std::max(high, frame);
        }
    }
    while (static_cast<int>(frames.size()) < count) {
        frames.push_back(static_cast<int32_t>(
            low - 30 + static_cast<int64_t>(random.unit() * static_cast<double>(high - low + 60))));
    }
    std::vector<Sample> samples;
    for (int32_t frame : frames) {
        Sample sample;
        sample.frame = frame;
        sample.time =
            random.oneIn(3) ? (frame + random.unit()) / kKeyFrameRate : frame / kKeyFrameRate;
        for (double& axis : sample.rest) {
            axis = random.oneIn(4) ? 0.0 : random.between(-100.0, 100.0);
        }
        samples.push_back(sample);
    }
    return samples;
}

// Everything the evaluation may read, as bytes, to see that it wrote nothing.
struct Snapshot {
    int32_t keyCount = 0;
    const ShakeKey* firstKey = nullptr;
    std::vector<const ShakeKey*> keys;
    std::vector<unsigned char> keyBytes;

    explicit Snapshot(const ShakeInstance* instance)
        : keyCount(instance->keyCount), firstKey(instance->firstKey), keys(keysOf(instance)) {
        for (const ShakeKey* key : keys) {
            const auto* bytes = reinterpret_cast<const unsigned char*>(key);
            keyBytes.insert(keyBytes.end(), bytes, bytes + sizeof(ShakeKey));
        }
    }
    bool unchanged(const ShakeInstance* instance) const {
        if (instance->keyCount != keyCount || instance->firstKey != firstKey) {
            return false;
        }
        for (std::size_t i = 0; i < keys.size(); ++i) {
            if (std::memcmp(keys[i], keyBytes.data() + i * sizeof(ShakeKey), sizeof(ShakeKey)) !=
                0) {
                return false;
            }
        }
        return true;
    }
};

std::string where(const Sample& sample) {
    char text[80];
    std::snprintf(text, sizeof text, "frame %d, time %.17g", sample.frame, sample.time);
    return text;
}

// Evaluates one sample and checks the calls the module made to the host.
std::string evaluate(Bench& bench, ShakeInstance* instance, const Sample& sample, bool finiteKeys,
                     Outcome& outcome) {
    standin::Host& host = bench.host;
    std::memcpy(host.position, sample.rest, sizeof host.position);
    host.motionLog.clear();
    outcome.moved = bench.handler.evaluate(host, instance, sample.frame, sample.time);
    std::memcpy(outcome.position, host.position, sizeof outcome.position);
    const std::vector<standin::MotionCall>& calls = host.motionLog;
    if (calls.empty() || calls[0].set || calls[0].param != kParamPosition ||
        std::memcmp(&calls[0].time, &sample.time, sizeof sample.time) != 0) {
        return where(sample) + ": the first call is not get-parameter of the position at that time";
    }
    if (calls.size() > 2 ||
        (calls.size() == 2 && (!calls[1].set || calls[1].param != kParamPosition))) {
        return where(sample) + ": calls beyond one get and one set of the position";
    }
    if (outcome.moved && finiteKeys) {
        for (double axis : outcome.position) {
            if (!std::isfinite(axis)) {
                return where(sample) +
                       ": set-parameter with a non-finite position from finite keys";
            }
        }
    }
    return "";
}

class Evaluation {
  public:
    Evaluation(Bench& bench, Random& random) : bench_(bench), random_(random) {}

    // Every sample in order, each against the outcome first seen for it.
    std::string pass(ShakeInstance* instance, const std::vector<std::size_t>& order,
                     const char* how) {
        const Snapshot before(instance);
        const KeyListText list = instance->listText;
        for (std::size_t index : order) {
            Outcome outcome;
            const Sample& sample = samples[index];
            if (std::string fault = evaluate(bench_, instance, sample, finiteKeys, outcome);
                !fault.empty()) {
                return fault;
            }
            ++evaluations;
            if (!seen[index]) {
                seen[index] = true;
                first[index] = outcome;
            } else if (!(outcome == first[index])) {
                return std::string(how) + ", " + where(sample) +
                       ": a different result from the one evaluated before";
            }
            if (!before.unchanged(instance)) {
                return std::string(how) + ", " + where(sample) +
                       ": the evaluation changed the instance";
            }
        }
        if (std::memcmp(&list, &instance->listText, sizeof list) != 0) {
            return std::string(how) + ": the evaluation changed the instance's list text";
        }
        return "";
    }

    std::string run(ShakeInstance* instance) {
        seen.assign(samples.size(), false);
        first.assign(samples.size(), Outcome{});
        std::vector<std::size_t> order(samples.size());
        for (std::size_t i = 0; i < order.size(); ++i) {
            order[i] = i;
        }
        std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return samples[a].frame != samples[b].frame ? samples[a].frame < samples[b].frame
                                                        : samples[a].time < samples[b].time;
        });
        if (std::string fault = pass(instance, order, "forward"); !fault.empty()) {
            return fault;
        }
        std::reverse(order.begin(), order.end());
        if (std::string fault = pass(instance, order, "backward"); !fault.empty()) {
            return fault;
        }
        shuffle(order);
        return pass(instance, order, "random order");
    }

    void shuffle(std::vector<std::size_t>& order) {
        for (std::size_t i = order.size() - 1; i > 0; --i) {
            std::swap(order[i],
                      order[static_cast<std::size_t>(random_.below(static_cast<int>(i) + 1))]);
        }
    }

    std::vector<Sample> samples;
    bool finiteKeys = true;
    std::vector<bool> seen;
    std::vector<Outcome> first;
    long evaluations = 0;

  private:
    Bench& bench_;
    Random& random_;
};

} // namespace

namespace {

// A random chain of tame keys; now and then a key holds a non-finite
// number, as a scene can.
std::vector<KeyValues> randomChain(Random& random) {
    std::vector<KeyValues> keys;
    for (int n = randomKeyCount(random, 0); n > 0; --n) {
        keys.push_back(randomKey(random, Values::Tame));
    }
    if (!keys.empty() && random.oneIn(6)) {
        KeyValues& key =
            keys[static_cast<std::size_t>(random.below(static_cast<int>(keys.size())))];
        (random.oneIn(2) ? key.widthY : key.freqTime) = random.oneIn(2) ? INFINITY : NAN;
    }
    return keys;
}

// The chain loaded and evaluated; saved and loaded again, the same keys
// give the same bits in any order. What went wrong, or "".
std::string evaluatedChainFault(Bench& bench, Evaluation& evaluation,
                                const std::vector<KeyValues>& keys, Random& random,
                                std::vector<ShakeInstance*>& made) {
    std::string fault;
    made.push_back(create(bench.handler, fault));
    if (fault.empty()) {
        fault = load(bench.handler, made[0], blockFor(keys, random, Values::Tame, false));
    }
    if (fault.empty()) {
        fault = chainFault(made[0]);
    }
    if (fault.empty() && !(chainValues(made[0]) == keys)) {
        fault = "the keys loaded are not the block's keys";
    }
    if (fault.empty()) {
        fault = evaluation.run(made[0]);
    }
    Saved saved;
    if (fault.empty()) {
        saved = save(bench.handler, made[0]);
        fault = saved.fault;
    }
    if (fault.empty()) {
        made.push_back(create(bench.handler, fault));
    }
    if (fault.empty()) {
        fault = load(bench.handler, made[1], saved.lines);
    }
    if (fault.empty() && (!chainFault(made[1]).empty() || !(chainValues(made[1]) == keys))) {
        fault = "saved and loaded again, the chain is not the same";
    }
    if (fault.empty()) {
        std::vector<std::size_t> order(evaluation.samples.size());
        for (std::size_t n = 0; n < order.size(); ++n) {
            order[n] = n;
        }
        evaluation.shuffle(order);
        fault = evaluation.pass(made[1], order, "after a save and reload");
    }
    return fault;
}

} // namespace

Verdict checkEvaluation(Bench& bench) {
    Random random = bench.random(6);
    const int chains = bench.scaled(25);
    const int samples = 40 + 15 * bench.level;
    Evaluation evaluation(bench, random);
    Verdict verdict;
    for (int i = 1; i <= chains && verdict.fault.empty(); ++i) {
        const std::vector<KeyValues> keys = randomChain(random);
        evaluation.finiteKeys = std::all_of(keys.begin(), keys.end(),
                                            [](const KeyValues& key) { return key.finite(); });
        evaluation.samples = samplesFor(keys, samples, random);
        std::vector<ShakeInstance*> made;
        const std::string fault = evaluatedChainFault(bench, evaluation, keys, random, made);
        destroyAll(bench.handler, made);
        if (!fault.empty()) {
            verdict.fault = "chain " + std::to_string(i) + " (" +
                            keysText(static_cast<int64_t>(keys.size())) + "), " + fault;
        }
    }
    verdict.detail = std::to_string(evaluation.evaluations) + " evaluations of " +
                     std::to_string(chains) +
                     " random chains: forward, backward, random order, after a reload";
    return verdict;
}

} // namespace vrim::validate
