// What the validator's checks share: the random source, reading chains
// without trusting them, saving and loading through the handler, and random
// keys and blocks.
#include "tools/vrim/validate/validate.h"

#include "plugin/core/inspect.h"
#include "plugin/vocabulary.h"

#include "standin/scene_io.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <unordered_set>

namespace vrim::validate {

// ---------------------------------------------------------------------------
// Random: splitmix64, the same on every platform.

Random::Random(uint64_t seed, uint64_t stream) : state_(seed ^ (stream * 0xD1B54A32D192ED03ull)) {
    next();
}

uint64_t Random::next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

int Random::below(int n) {
    return n <= 1 ? 0 : static_cast<int>(next() % static_cast<uint64_t>(n));
}

int Random::between(int low, int high) {
    const uint64_t span = static_cast<uint64_t>(static_cast<int64_t>(high) - low) + 1;
    return static_cast<int>(static_cast<int64_t>(low) + static_cast<int64_t>(next() % span));
}

bool Random::oneIn(int n) {
    return below(n) == 0;
}

double Random::unit() {
    return static_cast<double>(next() >> 11) * 0x1.0p-53;
}

double Random::between(double low, double high) {
    return low + (high - low) * unit();
}

int Bench::scaled(int base) const {
    static const int factors[] = {1, 2, 5, 12, 25};
    return base * factors[std::clamp(level, 1, 5) - 1];
}

std::string keysText(int64_t count) {
    return std::to_string(count) + (count == 1 ? " key" : " keys");
}

// ---------------------------------------------------------------------------
// Keys and chains

namespace {

bool sameDouble(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
}

inspect::Chain walk(const ShakeInstance* instance) {
    return inspect::walk(*instance, kChainLimit);
}

} // namespace

bool KeyValues::operator==(const KeyValues& other) const {
    return startFrame == other.startFrame && endFrame == other.endFrame &&
           fallOff == other.fallOff && sameDouble(widthX, other.widthX) &&
           sameDouble(widthY, other.widthY) && sameDouble(widthZ, other.widthZ) &&
           sameDouble(freqTime, other.freqTime);
}

bool KeyValues::finite() const {
    return std::isfinite(widthX) && std::isfinite(widthY) && std::isfinite(widthZ) &&
           std::isfinite(freqTime);
}

KeyValues valuesOf(const ShakeKey& key) {
    KeyValues values;
    values.startFrame = key.startFrame;
    values.endFrame = key.endFrame;
    values.fallOff = key.fallOff;
    values.widthX = key.widthX;
    values.widthY = key.widthY;
    values.widthZ = key.widthZ;
    values.freqTime = key.freqTime;
    return values;
}

std::vector<const ShakeKey*> keysOf(const ShakeInstance* instance) {
    return walk(instance).keys;
}

std::vector<KeyValues> chainValues(const ShakeInstance* instance) {
    std::vector<KeyValues> values;
    for (const ShakeKey* key : keysOf(instance)) {
        values.push_back(valuesOf(*key));
    }
    return values;
}

std::string chainFault(const ShakeInstance* instance) {
    const inspect::Chain chain = walk(instance);
    if (!chain.ends) {
        return "the chain runs in a circle or past " + std::to_string(kChainLimit) + " keys";
    }
    if (chain.badPrev >= 0) {
        return "key " + std::to_string(chain.badPrev + 1) +
               "'s prev does not point at the key before it";
    }
    if (instance->keyCount != static_cast<int64_t>(chain.keys.size())) {
        return "keyCount is " + std::to_string(instance->keyCount) + " but the chain holds " +
               keysText(static_cast<int64_t>(chain.keys.size()));
    }
    return "";
}

void destroyAll(const standin::Handler& handler, std::vector<ShakeInstance*>& instances) {
    // Every chain is read before the first destroy releases any key.
    std::unordered_set<const ShakeKey*> held;
    for (ShakeInstance* instance : instances) {
        if (instance == nullptr) {
            continue;
        }
        const inspect::Chain chain = walk(instance);
        bool shared = !chain.ends;
        for (const ShakeKey* key : chain.keys) {
            shared = shared || held.count(key) != 0;
        }
        if (shared) {
            // Left to the instance that holds them already; a chain that
            // never ends cannot be released at all.
            instance->firstKey = nullptr;
            instance->keyCount = 0;
        } else {
            held.insert(chain.keys.begin(), chain.keys.end());
        }
    }
    for (ShakeInstance* instance : instances) {
        if (instance != nullptr) {
            handler.destroy(instance);
        }
    }
    instances.clear();
}

// ---------------------------------------------------------------------------
// Through the handler

Saved save(const standin::Handler& handler, ShakeInstance* instance) {
    standin::LineWriter writer;
    Saved saved;
    HostError error = handler.save(instance, writer.state());
    saved.lines = writer.lines;
    if (error != nullptr) {
        saved.fault = std::string("save reported an error: ") + error;
    }
    for (std::size_t i = 0; i < writer.lines.size() && saved.fault.empty(); ++i) {
        if (writer.lines[i].size() > kLineChars) {
            saved.fault = "save wrote a line of " + std::to_string(writer.lines[i].size()) +
                          " characters (at most " + std::to_string(kLineChars) + ")";
        } else if (writer.byteCounts[i] != static_cast<int32_t>(writer.lines[i].size() + 1)) {
            saved.fault = "save wrote line " + std::to_string(i + 1) + " with a byte count of " +
                          std::to_string(writer.byteCounts[i]) + " for " +
                          std::to_string(writer.lines[i].size() + 1);
        }
    }
    return saved;
}

std::string load(const standin::Handler& handler, ShakeInstance* instance,
                 const std::vector<std::string>& lines) {
    standin::LineReader reader(lines);
    HostError error = handler.load(instance, reader.state());
    if (error != nullptr) {
        return std::string("load reported an error: ") + error;
    }
    // Past the data the host hands out nothing, and an empty line ends the
    // block: at most two reads beyond the last line.
    if (static_cast<std::size_t>(reader.reads()) > lines.size() + 2) {
        return "load read " + std::to_string(reader.reads()) + " lines from a block of " +
               std::to_string(lines.size());
    }
    return "";
}

ShakeInstance* create(const standin::Handler& handler, std::string& fault) {
    HostError error = nullptr;
    auto* instance = static_cast<ShakeInstance*>(handler.create(&error));
    if (instance == nullptr) {
        fault = std::string("create failed: ") + (error != nullptr ? error : "no error text");
    } else if (std::string chain = chainFault(instance); !chain.empty()) {
        fault = "a new instance: " + chain;
    }
    return instance;
}

// ---------------------------------------------------------------------------
// Random keys and blocks

namespace {

// A number with at most six decimals, which a save writes back unchanged.
double sixDecimals(Random& random, double magnitude) {
    const auto millionths = static_cast<int64_t>(random.between(-magnitude, magnitude) * 1e6);
    return static_cast<double>(millionths) / 1e6;
}

double wildDouble(Random& random) {
    switch (random.below(10)) {
    case 0:
        return std::ldexp(random.between(-1.0, 1.0), random.between(-1074, 1023));
    case 1:
        return random.between(-1.0, 1.0) * std::pow(10.0, random.between(-300, 300));
    case 2:
        return random.oneIn(2) ? -0.0 : 4.9e-324;
    case 3:
        return random.oneIn(2) ? 1e-7 : -123456789012.5;
    case 4: {
        static const double special[] = {INFINITY, -INFINITY, NAN};
        return special[random.below(3)];
    }
    default:
        return sixDecimals(random, 100.0);
    }
}

int32_t tameFrame(Random& random) {
    return random.between(-60, 300);
}

} // namespace

KeyValues randomKey(Random& random, Values kind) {
    KeyValues key;
    if (kind == Values::Wild && random.oneIn(3)) {
        static const int32_t extremes[] = {INT32_MIN, INT32_MAX, INT32_MIN + 1, -1, 0};
        key.startFrame = extremes[random.below(5)];
        key.endFrame = random.oneIn(2) ? extremes[random.below(5)] : tameFrame(random);
        key.fallOff = random.oneIn(2) ? random.between(-3, 9) : random.below(2);
        key.widthX = wildDouble(random);
        key.widthY = wildDouble(random);
        key.widthZ = wildDouble(random);
        key.freqTime = wildDouble(random);
        return key;
    }
    key.startFrame = tameFrame(random);
    key.endFrame = random.oneIn(8) ? key.startFrame - random.between(0, 10)
                                   : key.startFrame + random.between(0, 120);
    key.fallOff = random.below(2);
    const double reach = random.oneIn(6) ? 1e6 : 10.0;
    key.widthX = random.oneIn(3) ? 0.0 : sixDecimals(random, reach);
    key.widthY = sixDecimals(random, reach);
    key.widthZ = random.oneIn(3) ? 0.0 : sixDecimals(random, reach);
    // A shake stays finite for periods from a thousandth of a second up.
    if (!random.oneIn(8)) {
        const int64_t millionths = 1000 + static_cast<int64_t>(random.below(5000000));
        key.freqTime = static_cast<double>(random.oneIn(8) ? -millionths : millionths) / 1e6;
    }
    return key;
}

std::string numberText(double value, Values kind, Random& random) {
    char text[64];
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-inf" : "inf";
    }
    if (kind == Values::Tame || random.oneIn(3)) {
        std::snprintf(text, sizeof text, "%.6f", value);
    } else {
        std::snprintf(text, sizeof text, random.oneIn(2) ? "%.17g" : "%.3e", value);
    }
    return text;
}

std::vector<std::string> blockFor(const std::vector<KeyValues>& keys, Random& random, Values kind,
                                  bool shuffle) {
    std::vector<std::string> lines = {kBlockStart,
                                      "KEY_NUM " + std::to_string(keys.size()) + ".000000"};
    for (const KeyValues& key : keys) {
        const auto field = [&](const char* keyword, double value) {
            return std::string(keyword) + " " + numberText(value, kind, random);
        };
        std::vector<std::string> fields = {
            field("FREQ", key.freqTime),      field("FREQ_W_X", key.widthX),
            field("FREQ_W_Y", key.widthY),    field("FREQ_W_Z", key.widthZ),
            field("START_F", key.startFrame), field("END_F", key.endFrame),
            field("FALL_OFF", key.fallOff),
        };
        if (shuffle) {
            for (std::size_t i = fields.size() - 1; i > 0; --i) {
                std::swap(fields[i],
                          fields[static_cast<std::size_t>(random.below(static_cast<int>(i) + 1))]);
            }
        }
        lines.push_back("KEY_START");
        lines.insert(lines.end(), fields.begin(), fields.end());
    }
    lines.push_back(kBlockEnd);
    return lines;
}

int randomKeyCount(Random& random, int longChains) {
    const int roll = random.below(10);
    if (roll == 0) {
        return 0;
    }
    if (roll == 1) {
        return 1;
    }
    if (roll == 9 && longChains > 0 && random.oneIn(longChains)) {
        return random.between(250, 300);
    }
    return random.between(2, 12);
}

} // namespace vrim::validate
