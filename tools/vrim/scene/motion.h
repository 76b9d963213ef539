// The item's motion over a range of frames, evaluated by the module one
// sample at a time as the host would evaluate it.
#pragma once

#include "tools/vrim/module/session.h"
#include "tools/vrim/scene/inputs.h"
#include "tools/vrim/scene/scene.h"

#include <array>
#include <string>
#include <vector>

namespace vrim {

// An instance ready to evaluate, with the frames and rate to evaluate it at.
struct MotionSetup {
    ShakeInstance* instance = nullptr;
    // "the default key of a new instance" or "<scene>, ShotCam (block 2, lines a-b)"
    std::string source;
    std::string item; // the item's name; empty without one
    FrameRange frames;
    double fps = kKeyFrameRate;
    std::array<double, 3> rest = {0.0, 0.0, 0.0};
    scene::Header header; // the scene's; empty without a scene
};
// More samples than this is a mistake in the range or the step.
constexpr std::size_t kMaxSamples = 1000000;

struct Sample {
    double frame = 0.0;    // scene frame, fractional between whole frames
    int32_t hostFrame = 0; // the whole frame the host passes: the one at or before
    double time = 0.0;     // seconds: frame / fps
    int key = -1;          // 0-based chain position of the acting key, or -1
    bool moved = false;    // the module set the position
    double position[3] = {0.0, 0.0, 0.0};
    double offset[3] = {0.0, 0.0, 0.0}; // position minus the rest position
};

// Samples every step frames from the first frame of the range to its last.
// Throws ToolError for a step that is not a positive number, or too many samples.
std::vector<Sample> sampleMotion(Session& session, const MotionSetup& setup, double step = 1.0);
// The frames sampleMotion samples: first, then every step up to last, each
// within a hair of a whole frame taken as that frame. Throws ToolError when
// they are more than kMaxSamples or step is not above 0.
std::vector<double> sampleFrames(const FrameRange& frames, double step);

} // namespace vrim
