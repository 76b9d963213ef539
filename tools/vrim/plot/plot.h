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
};

struct Plot {
    std::string title;
    std::string subtitle;
    double fps = kKeyFrameRate;
    FrameRange frames;
    std::vector<Sample> samples; // in frame order
    std::vector<PlotKey> keys;
};

// The keys of an instance with the frames their spans run on at fps.
std::vector<PlotKey> plotKeys(const ShakeInstance& instance, double fps);

std::string plotSvg(const Plot& plot);

} // namespace vrim
