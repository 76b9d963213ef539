#include "tools/vrim/scene/blocklines.h"

#include "plugin/core/sceneline.h"
#include "plugin/vocabulary.h"
#include "tools/vrim/module/analysis.h"

#include <array>

namespace vrim {

namespace {

// A block with one key whose seven values are base, base + 1, ... base + 6,
// then a line whose number (base + 7) matches none of them, so that a line
// without a number of its own, which takes the number before it, still
// changes the value it names, then the line probed (put in for each probe).
// Run with two bases, every line that sets a value changes it in at least
// one of the two.
std::vector<std::string> probeBlock(int base) {
    auto value = [base](const char* keyword, int offset) {
        return std::string(keyword) + " " + std::to_string(base + offset) + ".000000";
    };
    return {kBlockStart,
            "KEY_START",
            value("FREQ", 0),
            value("FREQ_W_X", 1),
            value("FREQ_W_Y", 2),
            value("FREQ_W_Z", 3),
            value("START_F", 4),
            value("END_F", 5),
            value("FALL_OFF", 6),
            value("KEY_NUM", 7),
            "",
            kBlockEnd};
}

constexpr std::array<int, 2> kProbeBases = {100, 200};
// Where the line probed stands in the probe block.
constexpr std::size_t kProbedLine = 10;

// The first value of the key that no longer holds what the probe block
// gave it, or None.
KeyField changedField(const ShakeKey& key, int base) {
    if (key.freqTime != base) {
        return KeyField::FreqTime;
    }
    if (key.widthX != base + 1) {
        return KeyField::WidthX;
    }
    if (key.widthY != base + 2) {
        return KeyField::WidthY;
    }
    if (key.widthZ != base + 3) {
        return KeyField::WidthZ;
    }
    if (key.startFrame != base + 4) {
        return KeyField::StartFrame;
    }
    if (key.endFrame != base + 5) {
        return KeyField::EndFrame;
    }
    if (key.fallOff != base + 6) {
        return KeyField::FallOff;
    }
    return KeyField::None;
}

// Lines the module reads whole (shorter than its line buffer) have their
// meaning kept; at most this many tokens.
constexpr std::size_t kKnownLineBytes = kSceneLineSize - 1;
constexpr std::size_t kKnownLines = 4096;

// Hands use the index and the module's reading of each of the first count
// lines after the opening one, read as a load reads them: numbers carry over
// to lines without one.
template <typename Use>
void eachSceneLine(const std::vector<std::string>& lines, std::size_t count, Use use) {
    standin::LineReader reader(
        std::vector<std::string>(lines.begin(), lines.begin() + static_cast<long>(count)));
    const LoadState state = reader.state();
    SceneLine sceneLine{};
    readSceneLine(&state, &sceneLine);
    for (std::size_t i = 1; i < count; ++i) {
        readSceneLine(&state, &sceneLine);
        use(i, sceneLine);
    }
}

std::string_view tokenOf(const SceneLine& line) {
    return std::string_view(line.token, static_cast<std::size_t>(line.length));
}

} // namespace

LineProbe::LineProbe(Session& session)
    : session_(session), probe_(session.newInstance()), blocks_{probeBlock(kProbeBases[0]),
                                                                probeBlock(kProbeBases[1])} {
    const std::vector<std::string> own = probeBlock(kProbeBases[0]);
    eachSceneLine(own, own.size(), [this, &own](std::size_t i, const SceneLine& line) {
        keywords_.emplace(tokenOf(line), probe(own[i]));
    });
}

LineMeaning LineProbe::meaning(const std::string& line, std::string_view token) {
    if (line.size() > kKnownLineBytes) {
        return probe(line);
    }
    key_.assign(token);
    if (auto found = keywords_.find(key_); found != keywords_.end()) {
        return found->second;
    }
    if (auto found = known_.find(key_); found != known_.end()) {
        return found->second;
    }
    if (known_.size() >= kKnownLines) {
        known_.clear();
    }
    const LineMeaning meaning = probe(line);
    known_.emplace(key_, meaning);
    return meaning;
}

void LineProbe::forget() {
    std::unordered_map<std::string, LineMeaning>().swap(known_);
    std::string().swap(key_);
    session_.load(probe_, {kBlockStart, kBlockEnd});
}

LineMeaning LineProbe::probe(const std::string& line) {
    for (std::size_t b = 0; b < kProbeBases.size(); ++b) {
        const int base = kProbeBases[b];
        std::vector<std::string>& block = blocks_[b];
        block[kProbedLine] = line;
        const std::size_t read = session_.load(probe_, block);
        if (read < block.size()) {
            return {LineEffect::EndsBlock, KeyField::None};
        }
        const std::vector<const ShakeKey*> keys = keysOf(*probe_);
        if (keys.size() != 1) {
            return {LineEffect::AddsKey, KeyField::None};
        }
        if (const KeyField field = changedField(*keys[0], base); field != KeyField::None) {
            return {LineEffect::SetsKeyField, field};
        }
    }
    return {};
}

BlockReading readBlock(Session& session, LineProbe& probe, ShakeInstance* instance,
                       const std::vector<std::string>& lines) {
    BlockReading reading;
    reading.linesRead = session.load(instance, lines);
    reading.effects.assign(reading.linesRead, LineEffect::None);
    reading.fields.assign(reading.linesRead, KeyField::None);

    // The module's own line reader gives each line's keyword and number.
    eachSceneLine(lines, reading.linesRead, [&](std::size_t i, const SceneLine& sceneLine) {
        const LineMeaning meaning = probe.meaning(lines[i], tokenOf(sceneLine));
        const LineEffect effect = meaning.effect;
        reading.effects[i] = effect;
        reading.fields[i] = meaning.field;
        if (effect == LineEffect::AddsKey) {
            reading.keyLines.push_back(i);
        } else if (effect == LineEffect::None && compareSceneToken("KEY_NUM", &sceneLine) == 0) {
            reading.keyNumLines.push_back(i);
            reading.keyNum = sceneInteger(sceneLine.value);
        }
    });
    return reading;
}

} // namespace vrim
