#include "tools/vrim/report/collect.h"

#include "tools/vrim/scene/motion.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace vrim::report {

namespace {

std::string number(double value) {
    // As "%g", faster: every listed item's keys are worded.
    char text[64];
    const auto end =
        std::to_chars(text, text + sizeof text, value, std::chars_format::general, 6).ptr;
    return std::string(text, end);
}

std::string frames(int64_t first, int64_t last) {
    return first == last ? "frame " + std::to_string(first)
                         : "frames " + std::to_string(first) + " to " + std::to_string(last);
}

} // namespace

std::string keyWords(const ShakeKey& key, double fps) {
    std::string words = "From frame " + std::to_string(key.startFrame) + " to frame " +
                        std::to_string(key.endFrame) + " (" +
                        number(key.startFrame / kKeyFrameRate) + " s to " +
                        number(key.endFrame / kKeyFrameRate) + " s";
    const FrameSpan acts = spanFrames(key, fps);
    if (fps != kKeyFrameRate) {
        words += acts.empty()
                     ? ", on no scene frame at " + number(fps) + " fps"
                     : ", scene " + frames(acts.first, acts.last) + " at " + number(fps) + " fps";
    }
    words += "). ";
    if (key.freqTime == 0.0) {
        words += "Period 0: a constant push of sin(1) times the widths, no shake. ";
    } else {
        words += "One shake every " + number(key.freqTime) + " s (" + number(key.freqTime * fps) +
                 " frames at " + number(fps) + " fps). ";
    }
    words += "Widths X " + number(key.widthX) + ", Y " + number(key.widthY) + ", Z " +
             number(key.widthZ) + ". ";
    words += key.fallOff != 0 ? "Fades out towards its end frame." : "Full strength to its end.";
    return words;
}

PageFinding pageFinding(const Finding& finding) {
    return {severityName(finding.severity), static_cast<std::size_t>(finding.line),
            finding.message};
}

PageItem collectItem(Session& session, ShakeInstance* instance, const BlockSource& block,
                     const std::vector<Finding>& findings, const SceneTiming& timing,
                     const Limits& limits, bool plot) {
    PageItem item;
    item.name = block.name;
    item.firstLine = block.firstLine;
    item.lastLine = block.lastLine;
    if (!block.loaded) {
        session.load(instance, *block.lines);
    }

    // The values before the key editor had the instance: opening it must
    // not change what the page says the keys are. Only a drawn item's keys
    // are put in words; a listed one shows its list lines.
    const std::vector<const ShakeKey*> keys = keysOf(*instance);
    const std::size_t shown = std::min(keys.size(), plot ? limits.keysPerItem : limits.keysPerRow);
    for (std::size_t k = 0; k < shown; ++k) {
        item.keys.push_back({"", plot ? keyWords(*keys[k], timing.fps) : std::string()});
    }
    item.keysLeftOut = keys.size() - shown;
    const std::size_t told =
        std::min(findings.size(), plot ? limits.findingsPerItem : limits.findingsPerRow);
    for (std::size_t f = 0; f < told; ++f) {
        item.findings.push_back(pageFinding(findings[f]));
    }
    item.findingsLeftOut = findings.size() - told;
    const int code = session.openKeyEditor(instance);
    if (code != 0) {
        throw ToolError("the module's key editor did not open (activation code " +
                        std::to_string(code) + ")");
    }
    const KeyListText& list = instance->listText;
    for (std::size_t k = 0; k < item.keys.size() && static_cast<int32_t>(k) < list.lineCount; ++k) {
        item.keys[k].listLine = list.lines[k];
    }
    if (!plot) {
        return item; // the next block is loaded afresh
    }
    // The editor wrote its controls back into the current key; reload so that
    // the samples are of the keys as the scene holds them.
    session.load(instance, *block.lines);
    MotionSetup setup;
    setup.instance = instance;
    setup.fps = timing.fps;
    setup.frames = timing.frames ? *timing.frames : framesOfKeys(*instance, timing.fps);
    const double span = static_cast<double>(setup.frames.last) - setup.frames.first + 1.0;
    item.frameStep = static_cast<std::size_t>(
        std::ceil(span / static_cast<double>(std::max<std::size_t>(limits.framesPerItem, 1))));
    item.plotted = true;
    item.plot.title = item.name;
    item.plot.subtitle =
        frames(setup.frames.first, setup.frames.last) + " at " + number(timing.fps) + " fps" +
        (item.frameStep > 1 ? ", every " + std::to_string(item.frameStep) + " frames"
                            : std::string()) +
        "; shaded: the frames each key moves the item";
    item.plot.fps = timing.fps;
    item.plot.frames = setup.frames;
    item.plot.samples = sampleMotion(session, setup, static_cast<double>(item.frameStep));
    item.plot.keys = plotKeys(*instance, timing.fps, setup.frames);
    return item;
}

} // namespace vrim::report
