#include "tools/vrim/scene/blocklines.h"

#include "plugin/core/sceneline.h"
#include "tools/vrim/module/analysis.h"

#include <array>

namespace vrim {

namespace {

// A block with one key whose seven values are base, base + 1, ... base + 6,
// then a line whose number (base + 7) matches none of them, so that a line
// without a number of its own, which takes the number before it, still
// changes the value it names. Run with two bases, every line that sets a
// value changes it in at least one of the two.
std::vector<std::string> probeBlock(int base, const std::string& line) {
    auto value = [base](const char* keyword, int offset) {
        return std::string(keyword) + " " + std::to_string(base + offset) + ".000000";
    };
    return {"VRIM_START",
            "KEY_START",
            value("FREQ", 0),
            value("FREQ_W_X", 1),
            value("FREQ_W_Y", 2),
            value("FREQ_W_Z", 3),
            value("START_F", 4),
            value("END_F", 5),
            value("FALL_OFF", 6),
            value("KEY_NUM", 7),
            line,
            "VRIM_END"};
}

constexpr std::array<int, 2> kProbeBases = {100, 200};

bool keyHoldsBase(const ShakeKey& key, int base) {
    return key.freqTime == base && key.widthX == base + 1 && key.widthY == base + 2 &&
           key.widthZ == base + 3 && key.startFrame == base + 4 && key.endFrame == base + 5 &&
           key.fallOff == base + 6;
}

} // namespace

LineProbe::LineProbe(Session& session) : session_(session), probe_(session.newInstance()) {}

LineEffect LineProbe::effect(const std::string& line) {
    for (int base : kProbeBases) {
        const std::vector<std::string> block = probeBlock(base, line);
        const std::size_t read = session_.load(probe_, block);
        if (read < block.size()) {
            return LineEffect::EndsBlock;
        }
        const std::vector<const ShakeKey*> keys = keysOf(*probe_);
        if (keys.size() != 1) {
            return LineEffect::AddsKey;
        }
        if (!keyHoldsBase(*keys[0], base)) {
            return LineEffect::SetsKeyField;
        }
    }
    return LineEffect::None;
}

BlockReading readBlock(Session& session, LineProbe& probe, ShakeInstance* instance,
                       const standin::KeyBlock& block) {
    BlockReading reading;
    reading.linesRead = session.load(instance, block.lines);
    reading.effects.assign(reading.linesRead, LineEffect::None);

    // The module's own line reader gives each line's keyword and number,
    // numbers carried over to lines without one as in a load.
    standin::LineReader reader(std::vector<std::string>(
        block.lines.begin(), block.lines.begin() + static_cast<long>(reading.linesRead)));
    const LoadState state = reader.state();
    SceneLine sceneLine{};
    readSceneLine(&state, &sceneLine);
    for (std::size_t i = 1; i < reading.linesRead; ++i) {
        readSceneLine(&state, &sceneLine);
        const LineEffect effect = probe.effect(block.lines[i]);
        reading.effects[i] = effect;
        if (effect == LineEffect::AddsKey) {
            reading.keyLines.push_back(i);
        } else if (effect == LineEffect::None && compareSceneToken("KEY_NUM", &sceneLine) == 0) {
            reading.keyNumLines.push_back(i);
            reading.keyNum = sceneInteger(sceneLine.value);
        }
    }
    return reading;
}

} // namespace vrim
