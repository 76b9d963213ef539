// A picture of a shake for a person: the X, Y and Z offsets against frames,
// each key's span shaded and labelled, on a white page, as SVG.
#pragma once

#include "tools/vrim/module/analysis.h"
#include "tools/vrim/scene/motion.h"

#include <string>
#include <vector>

namespace vrim {

struct PlotKey {
    int number = 0; // 1-based position in the chain
    FrameSpan acts; // scene frames on which its span runs
    // Runs of the plotted frames on which the key moves the item: its span,
    // less the frames where a later key is selected or it is not selected yet.
    std::vector<FrameSpan> moves;
};

struct Plot {
    std::string title;
    std::string subtitle;
    double fps = kKeyFrameRate;
    FrameRange frames;
    std::vector<Sample> samples; // in frame order
    std::vector<PlotKey> keys;
};

// The keys of an instance with the frames their spans run on at fps, and
// the frames of the range on which each moves the item.
std::vector<PlotKey> plotKeys(const ShakeInstance& instance, double fps, const FrameRange& frames);

std::string plotSvg(const Plot& plot);

// Where plotSvg draws frames across and offsets up, in its SVG units: a
// cursor drawn over the plot at a frame goes where the curves are.
struct PlotArea {
    double left = 0, right = 0, top = 0, bottom = 0;
    double fromFrame = 0, toFrame = 0; // the frames at left and right
};
PlotArea plotArea(const Plot& plot);

// The offsets' span on the vertical axis, 8% wider than the samples on
// each side (around -1 to 1 when they are all one value); NaN and infinite
// offsets left out.
struct OffsetSpan {
    double low = 0.0, high = 0.0;
};
OffsetSpan offsetSpan(const Plot& plot);

} // namespace vrim
