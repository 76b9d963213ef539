#include "tools/vrim/scene/findings.h"

#include "text/names.h"
#include "text/numbers.h"
#include "text/words.h"

#include "tools/vrim/scene/motion.h"
#include "tools/vrim/scene/reader_choice.h"
#include "tools/vrim/scene/reader_lines.h"
#include "tools/vrim/scene/reader_numbers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vrim {

namespace {

// Periods of at most this many scene frames show nothing true when the
// host samples whole frames.
constexpr double kShortestPeriodFrames = 2.0;
// Runs of frames named in one message.
constexpr std::size_t kRunsNamed = 4;

std::string frames(int64_t first, int64_t last) {
    return first == last ? "frame " + std::to_string(first)
                         : "frames " + std::to_string(first) + "-" + std::to_string(last);
}

// A scene line in a message: its own characters, decoded as names are, and
// short. Control characters stay: each output shows them its own way (a
// terminal as escapes, JSON escaped, the page as visible marks).
std::string quotedLine(const std::string& line) {
    constexpr std::size_t kShown = 60;
    return "\"" + text::excerpt(scene::printable(line), kShown) + "\"";
}

void add(BlockReport& report, Severity severity, const char* kind, std::uint64_t line, int key,
         std::string message) {
    report.findings.push_back({severity, kind, line, key, std::move(message), {}});
}

// Where the module stops and lines it skips.
void checkLines(const scene::Block& block, const BlockReading& reading, BlockReport& report) {
    const std::uint64_t first = block.firstLine;
    if (reading.linesRead < block.lines.size()) {
        const std::size_t stop = reading.linesRead - 1;
        const std::size_t after = block.lines.size() - reading.linesRead;
        add(report, Severity::Error, "block-ends-early", first + stop, 0,
            "the module stops reading the block at the line " + quotedLine(block.lines[stop]) +
                ", before its " + (block.ended ? "VRIM_END" : "end") + ": the " +
                text::counted(after, "line", "lines") + " after it " +
                (block.wrapped ? "are never read" : "would be read by the host as its own"));
    } else if (!block.ended) {
        add(report, Severity::Error, "block-never-ends", block.whole.firstLine, 0,
            block.wrapped ? "the block has no VRIM_END line before its EndPlugin"
                          : "the block never ends: no VRIM_END line follows, so the module "
                            "reads the rest of the file as keys");
    }
    bool keyStarted = false;
    for (std::size_t i = 1; i < reading.effects.size(); ++i) {
        const std::uint64_t line = first + i;
        switch (reading.effects[i]) {
        case LineEffect::AddsKey:
            keyStarted = true;
            break;
        case LineEffect::SetsKeyField:
            if (!keyStarted) {
                add(report, Severity::Warning, "value-before-key", line, 0,
                    "the line " + quotedLine(block.lines[i]) +
                        " comes before the first KEY_START and is skipped");
            }
            break;
        case LineEffect::None:
            if (std::find(reading.keyNumLines.begin(), reading.keyNumLines.end(), i) ==
                reading.keyNumLines.end()) {
                add(report, Severity::Warning, "unknown-line", line, 0,
                    "the line " + quotedLine(block.lines[i]) +
                        " matches no keyword and is skipped");
            }
            break;
        case LineEffect::EndsBlock:
            break;
        }
    }
}

void checkKeyCount(const scene::Block& block, const BlockReading& reading, BlockReport& report) {
    const std::string found = text::counted(report.keys, "key", "keys");
    if (reading.keyNumLines.empty()) {
        add(report, Severity::Warning, "key-count", block.whole.firstLine, 0,
            "the block has no KEY_NUM line; it holds " + found);
    } else if (static_cast<int64_t>(reading.keyNum) != static_cast<int64_t>(report.keys)) {
        add(report, Severity::Warning, "key-count", block.firstLine + reading.keyNumLines.back(), 0,
            "KEY_NUM says " + std::to_string(reading.keyNum) + " but the block holds " + found);
    }
    if (report.keys == 0 && reading.linesRead == block.lines.size()) {
        add(report, Severity::Warning, "no-keys", block.whole.firstLine, 0,
            "the block holds no key: the item does not shake");
    }
}

// The 0-based key a block line belongs to, or -1 before the first key.
int keyOfLine(const BlockReading& reading, std::size_t index) {
    int key = -1;
    for (std::size_t start : reading.keyLines) {
        if (start > index) {
            break;
        }
        ++key;
    }
    return key;
}

bool isIntegerField(KeyField field) {
    return field == KeyField::StartFrame || field == KeyField::EndFrame ||
           field == KeyField::FallOff;
}

bool isWidth(KeyField field) {
    return field == KeyField::WidthX || field == KeyField::WidthY || field == KeyField::WidthZ;
}

// Runs of the key's first probedFrames frames on which the module makes the
// position NaN or infinite.
std::string badFrames(Session& session, ShakeInstance* instance, int key, double fps,
                      int64_t probedFrames) {
    const KeySelection selection(*instance);
    const ShakeKey& shakeKey = *selection.keys()[static_cast<std::size_t>(key)];
    const FrameSpan span = spanFrames(shakeKey, fps);
    std::vector<FrameSpan> runs;
    const double rest[3] = {0.0, 0.0, 0.0};
    const int64_t last = std::min<int64_t>(span.last, span.first + probedFrames - 1);
    for (int64_t frame = span.first; frame <= last; ++frame) {
        if (frame < INT32_MIN || frame > INT32_MAX) {
            continue;
        }
        const double time = static_cast<double>(frame) / fps;
        if (selection.acting(static_cast<int32_t>(frame), time) != key) {
            continue;
        }
        const Session::Motion motion =
            session.evaluate(instance, static_cast<int32_t>(frame), time, rest);
        if (std::isfinite(motion.position[0]) && std::isfinite(motion.position[1]) &&
            std::isfinite(motion.position[2])) {
            continue;
        }
        if (!runs.empty() && runs.back().last == frame - 1) {
            runs.back().last = frame;
        } else {
            runs.push_back({frame, frame});
        }
    }
    if (runs.empty()) {
        return "; the key moves the item on no frame, so nothing shows yet";
    }
    return ": the item's position is not a number on " +
           (runs.size() == 1 ? frames(runs[0].first, runs[0].last) : "frames " + runsText(runs)) +
           (last < span.last ? " (of the first " + std::to_string(probedFrames) + " frames)" : "");
}

// Numbers the module reads otherwise than they are written.
void checkNumbers(Session& session, ShakeInstance* instance, const scene::Block& block,
                  const BlockReading& reading, double fps, int64_t probedFrames,
                  BlockReport& report) {
    for (std::size_t i = 1; i < reading.linesRead; ++i) {
        const bool keyNum = std::find(reading.keyNumLines.begin(), reading.keyNumLines.end(), i) !=
                            reading.keyNumLines.end();
        const KeyField field = reading.fields[i];
        if (field == KeyField::None && !keyNum) {
            if (block.lines[i].size() > kLineChars) {
                add(report, Severity::Warning, "cut-line", block.firstLine + i, 0,
                    "the line " + quotedLine(block.lines[i]) + " is " +
                        std::to_string(block.lines[i].size()) +
                        " characters long: the module reads only its first " +
                        std::to_string(kLineChars));
            }
            continue;
        }
        const std::optional<scene::NumberFinding> finding = scene::checkNumber(
            block.lines[i],
            keyNum || isIntegerField(field) ? scene::NumberUse::Integer : scene::NumberUse::Real);
        if (!finding) {
            continue;
        }
        const int key = keyNum ? -1 : keyOfLine(reading, i);
        const int number = key + 1;
        std::string message = "the line " + quotedLine(block.lines[i]) + ": " + finding->message;
        switch (finding->kind) {
        case scene::NumberFinding::Kind::NotFinite:
            if (key >= 0 && reading.effects[i] == LineEffect::SetsKeyField) {
                message += badFrames(session, instance, key, fps, probedFrames);
            }
            add(report, Severity::Error, "not-finite", block.firstLine + i, number, message);
            break;
        case scene::NumberFinding::Kind::Misread:
            add(report, Severity::Warning, "misread-number", block.firstLine + i, number, message);
            break;
        case scene::NumberFinding::Kind::Cut:
            add(report, Severity::Warning, "cut-line", block.firstLine + i, number, message);
            break;
        }
    }
}

// Which keys the block gives a width line.
std::vector<bool> widthLines(const BlockReading& reading, std::size_t keys) {
    std::vector<bool> widthLine(keys, false);
    for (std::size_t l = 0, key = 0; l < reading.fields.size(); ++l) {
        while (key < reading.keyLines.size() && reading.keyLines[key] <= l) {
            ++key;
        }
        if (key > 0 && key <= keys && isWidth(reading.fields[l])) {
            widthLine[key - 1] = true;
        }
    }
    return widthLine;
}

// One key as its findings name it.
struct KeyInCheck {
    const ShakeKey& key;
    int index;          // in the chain, from 0
    int number;         // from 1
    std::string name;   // "key N"
    std::uint64_t line; // its first line in the scene
    FrameSpan acts;     // the frames its span runs on
};

// A key that acts on no frame, or that is not selected yet on the first
// frames of its span (away from 30 fps a span can begin on a scene frame
// before the key's own start frame).
void checkSpan(const KeyInCheck& k, double fps, BlockReport& report) {
    const ShakeKey& key = k.key;
    if (key.endFrame < key.startFrame) {
        add(report, Severity::Warning, "never-acts", k.line, k.number,
            k.name + " ends (frame " + std::to_string(key.endFrame) + ") before it starts (frame " +
                std::to_string(key.startFrame) + "): it never acts");
    } else if (k.acts.empty()) {
        add(report, Severity::Warning, "never-acts", k.line, k.number,
            k.name + "'s span falls between two frames at " + text::general(fps) +
                " fps: it never acts");
    }
}

void checkHidden(ShakeInstance* instance, const KeyInCheck& k, double fps, BlockReport& report) {
    const std::vector<HiddenRun> hidden = hiddenRuns(*instance, k.index, fps);
    if (hidden.empty()) {
        return;
    }
    std::string message = k.name + " (" + frames(k.acts.first, k.acts.last) + ") is hidden";
    for (std::size_t r = 0; r < hidden.size(); ++r) {
        message += std::string(r == 0 ? "" : " and") + " by key " +
                   std::to_string(hidden[r].by + 1) + " on " +
                   frames(hidden[r].frames.first, hidden[r].frames.last);
    }
    message += ": a later key in the chain is selected there";
    report.findings.push_back({Severity::Warning, "hidden-key", k.line, k.number, message, hidden});
}

void checkNotYetSelected(const KeyInCheck& k, double fps, BlockReport& report) {
    const ShakeKey& key = k.key;
    if (!k.acts.empty() && k.acts.first < key.startFrame) {
        const int64_t last = std::min<int64_t>(k.acts.last, int64_t{key.startFrame} - 1);
        add(report, Severity::Warning, "not-yet-selected", k.line, k.number,
            k.name + "'s span runs from frame " + std::to_string(k.acts.first) + " at " +
                text::general(fps) + " fps, but the key is selected only from its " +
                "start frame " + std::to_string(key.startFrame) + ": it does not act on " +
                frames(k.acts.first, last));
    }
}

// A frequency time of 0, or a period too short for whole frames to show.
void checkPeriod(const KeyInCheck& k, double fps, BlockReport& report) {
    const ShakeKey& key = k.key;
    if (key.freqTime == 0.0) {
        const double s = std::sin(1.0);
        add(report, Severity::Warning, "zero-frequency", k.line, k.number,
            k.name +
                " has frequency time 0: instead of shaking it pushes the item by a "
                "constant sin(1) x width = (" +
                text::general(s * key.widthX) + ", " + text::general(s * key.widthY) + ", " +
                text::general(s * key.widthZ) + ")" + (key.fallOff != 0 ? ", fading out" : ""));
    } else if (std::isfinite(key.freqTime) &&
               std::fabs(key.freqTime) * fps <= kShortestPeriodFrames) {
        // sin(2 pi f / period) is 0 on every whole frame f when 2 / period
        // is whole; otherwise whole frames pick points of the wave that
        // draw a slower one.
        const double period = std::fabs(key.freqTime) * fps;
        const double halves = 2.0 / period;
        const bool nothing = std::fabs(halves - std::round(halves)) < 1e-9;
        add(report, Severity::Warning, "short-period", k.line, k.number,
            k.name + "'s period of " + text::general(std::fabs(key.freqTime)) + " s is " +
                text::general(period) + (period == 1.0 ? " frame" : " frames") + " at " +
                text::general(fps) + " fps: sampled at whole frames it shows " +
                (nothing ? "no shake at all" : "a false slow wobble instead of the shake"));
    }
}

void checkWidths(const KeyInCheck& k, bool hasWidthLine, BlockReport& report) {
    const ShakeKey& key = k.key;
    if (key.widthX == 0.0 && key.widthY == 0.0 && key.widthZ == 0.0) {
        add(report, Severity::Warning, "zero-widths", k.line, k.number,
            k.name + (hasWidthLine ? " has widths 0, 0, 0" : " has no width lines (widths 0)") +
                ": it never moves the item");
    }
}

// The frames the key acts on, as ls lists them (where it is selected and
// its span holds the time, not its whole span), against the scene's.
void checkOutsideFrames(ShakeInstance* instance, const KeyInCheck& k, const SceneTiming& timing,
                        BlockReport& report) {
    const std::vector<FrameSpan> acting = actingRuns(*instance, timing.fps, k.index);
    if (!timing.frames || acting.empty()) {
        return;
    }
    const FrameRange& scene = *timing.frames;
    bool inside = false, outside = false;
    for (const FrameSpan& run : acting) {
        inside = inside || (run.last >= scene.first && run.first <= scene.last);
        outside = outside || run.first < scene.first || run.last > scene.last;
    }
    if (outside) {
        add(report, Severity::Warning, "outside-frames", k.line, k.number,
            k.name + " acts on " +
                (acting.size() == 1 && acting[0].first == acting[0].last ? "frame " : "frames ") +
                runsText(acting) + ", " + (inside ? "partly" : "all") + " outside the scene's " +
                frames(scene.first, scene.last));
    }
}

void checkKeys(ShakeInstance* instance, const scene::Block& block, const BlockReading& reading,
               const SceneTiming& timing, BlockReport& report) {
    const double fps = timing.fps;
    const std::vector<const ShakeKey*> keys = keysOf(*instance);
    const std::vector<bool> widthLine = widthLines(reading, keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const int number = static_cast<int>(i) + 1;
        const KeyInCheck k{*keys[i],
                           static_cast<int>(i),
                           number,
                           "key " + std::to_string(number),
                           i < reading.keyLines.size() ? block.firstLine + reading.keyLines[i]
                                                       : block.whole.firstLine,
                           spanFrames(*keys[i], fps)};
        checkSpan(k, fps, report);
        checkHidden(instance, k, fps, report);
        checkNotYetSelected(k, fps, report);
        checkPeriod(k, fps, report);
        checkWidths(k, widthLine[i], report);
        checkOutsideFrames(instance, k, timing, report);
    }
}

} // namespace

const char* severityName(Severity severity) {
    switch (severity) {
    case Severity::Note:
        return "note";
    case Severity::Warning:
        return "warning";
    case Severity::Error:
        return "error";
    }
    return "";
}

BlockChecker::BlockChecker(Session& session, int64_t probedFrames)
    : session_(session), probe_(session), instance_(session.newInstance()),
      probedFrames_(probedFrames) {}

BlockReport BlockChecker::check(const scene::Block& block, const SceneTiming& timing) {
    std::unique_lock<std::mutex> held;
    if (guard_ != nullptr) {
        held = std::unique_lock<std::mutex>(*guard_);
    }
    BlockReport report;
    const BlockReading reading = readBlock(session_, probe_, instance_, block.lines);
    report.keys = keysOf(*instance_).size();
    if (!reading.keyNumLines.empty()) {
        report.keyNum = reading.keyNum;
    }
    checkLines(block, reading, report);
    checkKeyCount(block, reading, report);
    checkNumbers(session_, instance_, block, reading, timing.fps, probedFrames_, report);
    checkKeys(instance_, block, reading, timing, report);
    report.moves = movingRuns(*instance_, timing.fps);
    std::stable_sort(report.findings.begin(), report.findings.end(),
                     [](const Finding& a, const Finding& b) { return a.line < b.line; });
    for (const Finding& finding : report.findings) {
        report.errors += finding.severity == Severity::Error;
        report.warnings += finding.severity == Severity::Warning;
    }
    report.block.number = block.number;
    report.block.item = block.item;
    report.block.address = block.address;
    report.block.wrapped = block.wrapped;
    report.block.whole = block.whole;
    report.block.data = block.data;
    report.block.ended = block.ended;
    report.block.closed = block.closed;
    report.block.lineEnd = block.lineEnd;
    report.block.firstLine = block.firstLine;
    return report;
}

void BlockChecker::forget() {
    probe_.forget();
    session_.load(instance_, {"VRIM_START", "VRIM_END"});
}

SceneTiming sceneTiming(const scene::Header& header, std::optional<double> fps,
                        const std::optional<FrameRange>& frames) {
    SceneTiming timing;
    timing.fps = fps ? *fps : scene::headerFps(header).value_or(kKeyFrameRate);
    if (frames) {
        timing.frames = frames;
    } else if (const auto range = scene::headerFrames(header)) {
        timing.frames = FrameRange{range->first, range->last};
    }
    if (const auto& step = header.frameStep; step && step->isNumber && step->number >= 1.0 &&
                                             step->number <= static_cast<double>(kMaxSamples)) {
        timing.step = step->number;
    }
    return timing;
}

std::vector<Finding> sceneFindings(const scene::Reader& reader, const SceneTiming& timing) {
    std::vector<Finding> findings;
    for (const scene::Problem& problem : reader.problems()) {
        // Found at the end: there is no rest left unread.
        const bool notScene = problem.message.rfind("not a scene file", 0) == 0;
        findings.push_back(
            {problem.stopsReading ? Severity::Error : Severity::Warning,
             notScene               ? "not-a-scene"
             : problem.stopsReading ? "unreadable"
                                    : "header-value",
             problem.line,
             0,
             problem.message + (problem.stopsReading && !notScene ? "; the rest is not read" : ""),
             {}});
    }
    if (const auto& fps = reader.header().framesPerSecond;
        fps && fps->isNumber && !scene::headerFps(reader.header())) {
        findings.push_back({Severity::Warning,
                            "frame-rate",
                            fps->line,
                            0,
                            "FramesPerSecond " + scene::printable(fps->text) +
                                " is not a frame rate above 0 and at most " +
                                text::general(scene::kMaxSceneFps) + ": " +
                                text::general(timing.fps) + " fps is used",
                            {}});
    }
    if (timing.fps != kKeyFrameRate) {
        findings.push_back(
            {Severity::Note,
             "frame-rate",
             0,
             0,
             "keys turn their frames into seconds at 30 per second, whatever the scene's rate: "
             "at " +
                 text::general(timing.fps) +
                 " fps a key acts on other scene frames than its own (the frames reported here "
                 "are scene frames)",
             {}});
    }
    return findings;
}

SceneCheck checkScene(const std::string& path, const scene::BlockSelector& selector,
                      std::optional<double> fps, const std::optional<FrameRange>& frames,
                      BlockChecker& checker,
                      const std::function<void(const BlockReport&)>& onBlock) {
    return checkScene(path, selector, fps, frames, checker,
                      [&](const scene::Block&, const BlockReport& report, const SceneTiming&) {
                          onBlock(report);
                      });
}

SceneCheck checkScene(
    const std::string& path, const scene::BlockSelector& selector, std::optional<double> fps,
    const std::optional<FrameRange>& frames, BlockChecker& checker,
    const std::function<void(const scene::Block&, const BlockReport&, const SceneTiming&)>& onBlock,
    const std::function<void(std::string_view)>& onBytes) {
    SceneCheck scene;
    try {
        scene::Reader reader = scene::Reader::open(path);
        if (onBytes) {
            reader.watch(onBytes);
        }
        scene::SceneVisit visit;
        visit.block = [&](const scene::Block& block, const scene::Header& header) {
            // Hosts write the header before any item, so the first block
            // sees all of it.
            if (!scene.timing) {
                scene.timing = sceneTiming(header, fps, frames);
            }
            const BlockReport report = checker.check(block, *scene.timing);
            ++scene.blocks;
            scene.keys += report.keys;
            scene.errors += report.errors;
            scene.warnings += report.warnings;
            onBlock(block, report, *scene.timing);
        };
        const scene::SceneOutcome outcome = scene::visitScene(reader, selector, visit);
        if (!scene.timing) {
            scene.timing = sceneTiming(reader.header(), fps, frames);
        }
        scene.findings = sceneFindings(reader, *scene.timing);
        scene.noShake = outcome.noShake;
        if (outcome.noShake) {
            scene.findings.push_back({Severity::Note,
                                      "no-shake",
                                      0,
                                      0,
                                      "the scene holds no shake (no VRIM_S key block)",
                                      {}});
        }
        scene.error = outcome.error;
        scene.missing = outcome.missing;
        scene.readWhole = reader.readWhole();
    } catch (const ToolError& e) {
        scene.error = e.what();
    }
    // A problem that stopped the reader is already among the findings.
    bool reported = false;
    for (const Finding& finding : scene.findings) {
        scene.errors += finding.severity == Severity::Error;
        scene.warnings += finding.severity == Severity::Warning;
        reported = reported || finding.severity == Severity::Error;
    }
    if (!scene.error.empty() && !reported) {
        scene.findings.push_back({Severity::Error, "unusable", 0, 0, scene.error, {}});
        ++scene.errors;
    }
    return scene;
}

std::string runsText(const std::vector<FrameSpan>& runs) {
    if (runs.empty()) {
        return "none";
    }
    std::string text;
    for (std::size_t i = 0; i < runs.size() && i < kRunsNamed; ++i) {
        // Appended piece by piece: GCC 12 at -O3 warns (-Wrestrict) on the
        // temporaries of one long concatenation.
        if (i != 0) {
            text += ", ";
        }
        text += std::to_string(runs[i].first);
        if (runs[i].first != runs[i].last) {
            text += '-';
            text += std::to_string(runs[i].last);
        }
    }
    if (runs.size() > kRunsNamed) {
        text += " and " + std::to_string(runs.size() - kRunsNamed) + " more";
    }
    return text;
}

std::vector<FrameSpan> movingRuns(const ShakeInstance& instance, double fps) {
    return actingRuns(instance, fps, kAnyKey);
}

} // namespace vrim
