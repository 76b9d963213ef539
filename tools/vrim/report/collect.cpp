#include "tools/vrim/report/collect.h"

#include "text/numbers.h"

#include "tools/vrim/report/chart.h"
#include "tools/vrim/scene/motion.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace vrim::report {

namespace {

std::string frames(int64_t first, int64_t last) {
    return first == last ? "frame " + std::to_string(first)
                         : "frames " + std::to_string(first) + " to " + std::to_string(last);
}

// Key stretches sampled apart, at most; see boundStretches.
constexpr std::size_t kMostKeyStretches = 400;

// Stretches of the range to sample, in frame order, each with its step.
struct Stretch {
    int64_t first, last;
    bool keys; // some key acts here
};

// The frames where keys act, as sorted runs with a frame of rest either side
// (the curve is seen to leave the rest and come back to it), runs that meet
// merged.
std::vector<FrameSpan> keyStretches(const Plot& plot) {
    std::vector<FrameSpan> runs;
    for (const PlotKey& key : plot.keys) {
        for (const FrameSpan& run : key.moves) {
            runs.push_back({std::max<int64_t>(run.first - 1, plot.frames.first),
                            std::min<int64_t>(run.last + 1, plot.frames.last)});
        }
    }
    return joinedSpans(std::move(runs));
}

// Past kMostKeyStretches the runs with the shortest rest between them are
// sampled as one: each stretch costs up to two samples of its own (its ends),
// so their number must be bounded for the item's samples to be.
void boundStretches(std::vector<FrameSpan>& runs) {
    if (runs.size() <= kMostKeyStretches) {
        return;
    }
    std::vector<int64_t> gaps;
    for (std::size_t i = 1; i < runs.size(); ++i) {
        gaps.push_back(runs[i].first - runs[i - 1].last);
    }
    const std::size_t merges = runs.size() - kMostKeyStretches;
    std::nth_element(gaps.begin(), gaps.begin() + static_cast<std::ptrdiff_t>(merges - 1),
                     gaps.end());
    const int64_t widest = gaps[merges - 1];
    std::vector<FrameSpan> kept = {runs.front()};
    for (std::size_t i = 1; i < runs.size(); ++i) {
        if (runs[i].first - kept.back().last <= widest) {
            kept.back().last = runs[i].last;
        } else {
            kept.push_back(runs[i]);
        }
    }
    runs.swap(kept);
}

std::vector<Stretch> stretches(const Plot& plot) {
    std::vector<FrameSpan> runs = keyStretches(plot);
    boundStretches(runs);
    std::vector<Stretch> out;
    int64_t at = plot.frames.first;
    for (const FrameSpan& run : runs) {
        if (run.first > at) {
            out.push_back({at, run.first - 1, false});
        }
        out.push_back({run.first, run.last, true});
        at = run.last + 1;
    }
    if (at <= plot.frames.last) {
        out.push_back({at, plot.frames.last, false});
    }
    return out;
}

std::size_t stepFor(int64_t frames, std::size_t most) {
    const auto bound = static_cast<int64_t>(std::max<std::size_t>(most, 1));
    return static_cast<std::size_t>(std::max<int64_t>(1, (frames + bound - 1) / bound));
}

// The module's samples: every frame where a key acts (up to the bound), and
// the stretches where none does thinly, each with its first and last frame.
void sampleItem(Session& session, MotionSetup setup, const Limits& limits, PageItem& item) {
    const std::vector<Stretch> parts = stretches(item.plot);
    int64_t keyFrames = 0;
    for (const Stretch& part : parts) {
        keyFrames += part.keys ? part.last - part.first + 1 : 0;
    }
    const int64_t all = static_cast<int64_t>(item.plot.frames.last) - item.plot.frames.first + 1;
    item.keyStep = stepFor(keyFrames, limits.keyFrames);
    item.restStep = stepFor(all, limits.restSamples);
    std::vector<Sample>& samples = item.plot.samples;
    for (const Stretch& part : parts) {
        const std::size_t step = part.keys ? item.keyStep : item.restStep;
        setup.frames = {static_cast<int32_t>(part.first), static_cast<int32_t>(part.last)};
        std::vector<Sample> some = sampleMotion(session, setup, static_cast<double>(step));
        samples.insert(samples.end(), some.begin(), some.end());
        if (static_cast<int64_t>(samples.back().frame) != part.last) {
            setup.frames.first = setup.frames.last;
            samples.push_back(sampleMotion(session, setup).front());
        }
    }
}

// Where the key frames are sampled every nth, the curves are drawn from each
// pixel column's extremes over frames spread across it instead: a short
// period sampled at a regular step would draw a pattern that is not there.
// At most 16 frames a column, so the work stays bounded by the plot's width.
void envelopeItem(Session& session, MotionSetup setup, PageItem& item) {
    if (item.keyStep <= 1) {
        return;
    }
    const std::vector<ColumnFrames> columns = columnFrames(frameAxis(item.plot), item.plot.frames);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (std::size_t c = 0; c < columns.size(); ++c) {
        EnvelopeColumn column;
        column.left = columns[c].left;
        column.low = {nan, nan, nan};
        column.high = {nan, nan, nan};
        for (int64_t frame : framesOfColumn(columns[c].frames, c)) {
            setup.frames = {static_cast<int32_t>(frame), static_cast<int32_t>(frame)};
            const Sample sample = sampleMotion(session, setup).front();
            for (std::size_t a = 0; a < 3; ++a) {
                const double v = sample.offset[a];
                if (!std::isfinite(v)) {
                    column.notANumber = column.notANumber || std::isnan(v);
                    continue;
                }
                column.low[a] = std::isnan(column.low[a]) ? v : std::min(column.low[a], v);
                column.high[a] = std::isnan(column.high[a]) ? v : std::max(column.high[a], v);
            }
        }
        item.envelope.push_back(column);
    }
}

} // namespace

// Each key's runs of frames in the range on which it moves the item. Which
// key acts changes only where a key starts or a span begins or ends, so the
// work grows with the keys, never with the frames: a 50-million-frame range
// costs what a 90-frame one does.
std::vector<PlotKey> keyRuns(const ShakeInstance& instance, double fps, const FrameRange& frames) {
    const KeySelection selection(instance);
    std::vector<PlotKey> keys;
    std::vector<int64_t> cuts = {frames.first, static_cast<int64_t>(frames.last) + 1};
    for (const ShakeKey* key : selection.keys()) {
        const FrameSpan span = spanFrames(*key, fps);
        keys.push_back({static_cast<int>(keys.size()) + 1, span, {}});
        // An empty span adds cuts that change nothing: harmless.
        for (int64_t cut : {static_cast<int64_t>(key->startFrame), span.first, span.last + 1}) {
            cuts.push_back(std::clamp<int64_t>(cut, frames.first, frames.last + int64_t{1}));
        }
    }
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
        const int64_t frame = cuts[i];
        const int acting =
            selection.acting(static_cast<int32_t>(frame), static_cast<double>(frame) / fps);
        if (acting < 0) {
            continue;
        }
        std::vector<FrameSpan>& moves = keys[static_cast<std::size_t>(acting)].moves;
        if (!moves.empty() && moves.back().last + 1 == frame) {
            moves.back().last = cuts[i + 1] - 1;
        } else {
            moves.push_back({frame, cuts[i + 1] - 1});
        }
    }
    return keys;
}

std::string keyWords(const ShakeKey& key, double fps) {
    std::string words = "From frame " + std::to_string(key.startFrame) + " to frame " +
                        std::to_string(key.endFrame) + " (" +
                        text::general(key.startFrame / kKeyFrameRate) + " s to " +
                        text::general(key.endFrame / kKeyFrameRate) + " s";
    const FrameSpan acts = spanFrames(key, fps);
    if (fps != kKeyFrameRate) {
        words += acts.empty() ? ", on no scene frame at " + text::general(fps) + " fps"
                              : ", scene " + frames(acts.first, acts.last) + " at " +
                                    text::general(fps) + " fps";
    }
    words += "). ";
    if (key.freqTime == 0.0) {
        words += "Period 0: a constant push of sin(1) times the widths, no shake. ";
    } else {
        words += "One shake every " + text::general(key.freqTime) + " s (" +
                 text::general(key.freqTime * fps) + " frames at " + text::general(fps) + " fps). ";
    }
    words += "Widths X " + text::general(key.widthX) + ", Y " + text::general(key.widthY) + ", Z " +
             text::general(key.widthZ) + ". ";
    words += key.fallOff != 0 ? "Fades out towards its end frame." : "Full strength to its end.";
    return words;
}

PageFinding pageFinding(const Finding& finding) {
    return {severityName(finding.severity), static_cast<std::size_t>(finding.line),
            finding.message};
}

namespace {

// The item's keys, before the key editor had the instance: opening it must
// not change what the page says the keys are. Only a drawn item's keys are
// put in words; a listed one shows its list lines.
void putKeys(PageItem& item, const ShakeInstance& instance, double fps, const Limits& limits,
             bool plot) {
    const std::vector<const ShakeKey*> keys = keysOf(instance);
    const std::size_t shown = std::min(keys.size(), plot ? limits.keysPerItem : limits.keysPerRow);
    for (std::size_t k = 0; k < shown; ++k) {
        item.keys.push_back({"", plot ? keyWords(*keys[k], fps) : std::string()});
    }
    item.keysLeftOut = keys.size() - shown;
}

// Check's findings for the item: all counted, as many told as the item may
// hold.
void putFindings(PageItem& item, const std::vector<Finding>& findings, const Limits& limits,
                 bool plot) {
    for (const Finding& finding : findings) {
        item.errors += finding.severity == Severity::Error ? 1 : 0;
        item.warnings += finding.severity == Severity::Warning ? 1 : 0;
    }
    const std::size_t told =
        std::min(findings.size(), plot ? limits.findingsPerItem : limits.findingsPerRow);
    for (std::size_t f = 0; f < told; ++f) {
        item.findings.push_back(pageFinding(findings[f]));
    }
    item.findingsLeftOut = findings.size() - told;
}

// The key editor's list line of each key the page holds, as the module writes
// them when its editor opens.
void putListLines(PageItem& item, Session& session, ShakeInstance* instance) {
    const int code = session.openKeyEditor(instance);
    if (code != 0) {
        throw ToolError("the module's key editor did not open (activation code " +
                        std::to_string(code) + ")");
    }
    const KeyListText& list = instance->listText;
    for (std::size_t k = 0; k < item.keys.size() && static_cast<int32_t>(k) < list.lineCount; ++k) {
        item.keys[k].listLine = list.lines[k];
    }
}

// What the plot's samples are: the frames, the rate and the steps taken.
std::string plotSubtitle(const PageItem& item, const FrameRange& range, double fps) {
    return frames(range.first, range.last) + " at " + text::general(fps) + " fps; " +
           (item.keyStep > 1 ? "every " + std::to_string(item.keyStep) + " frames"
                             : std::string("every frame")) +
           " where a key acts" +
           (item.restStep > 1
                ? ", every " + std::to_string(item.restStep) + " frames where none does"
                : std::string()) +
           "; shaded: the frames each key moves the item";
}

// The item's motion sampled for its plot, from the keys as the scene holds
// them: the editor wrote its controls back into the current key, so the
// block is loaded again first.
void plotItem(PageItem& item, Session& session, ShakeInstance* instance, const BlockSource& block,
              const SceneTiming& timing, const Limits& limits) {
    session.load(instance, *block.lines);
    MotionSetup setup;
    setup.instance = instance;
    setup.fps = timing.fps;
    setup.frames = timing.frames ? *timing.frames : framesOfKeys(*instance, timing.fps);
    item.plotted = true;
    item.plot.title = item.name;
    item.plot.fps = timing.fps;
    item.plot.frames = setup.frames;
    item.plot.keys = keyRuns(*instance, timing.fps, setup.frames);
    sampleItem(session, setup, limits, item);
    envelopeItem(session, setup, item);
    // Held until the scene's page part is written: no slack from growing.
    item.plot.samples.shrink_to_fit();
    item.plot.subtitle = plotSubtitle(item, setup.frames, timing.fps);
}

} // namespace

PageItem collectItem(Session& session, ShakeInstance* instance, const BlockSource& block,
                     const std::vector<Finding>& findings, const SceneTiming& timing,
                     const Limits& limits, bool plot) {
    PageItem item;
    item.name = block.name;
    item.address = block.address.empty() ? block.name : block.address;
    item.firstLine = block.firstLine;
    item.lastLine = block.lastLine;
    if (!block.loaded) {
        session.load(instance, *block.lines);
    }
    putKeys(item, *instance, timing.fps, limits, plot);
    putFindings(item, findings, limits, plot);
    putListLines(item, session, instance);
    if (plot) {
        plotItem(item, session, instance, block, timing, limits);
    } // else the next block is loaded afresh
    return item;
}

} // namespace vrim::report
