#include "tools/vrim/scene/motion.h"

#include "tools/vrim/module/analysis.h"

#include <algorithm>
#include <cmath>

namespace vrim {

namespace {

// Multiples of a step such as 0.1 land a rounding error away from whole
// frames; within this distance they count as the whole frame.
constexpr double kWholeFrameTolerance = 1e-9;

} // namespace

std::vector<double> sampleFrames(const FrameRange& frames, double step) {
    if (!(std::isfinite(step) && step > 0.0)) {
        throw ToolError("--step must be a number above 0");
    }
    const double span = static_cast<double>(frames.last) - frames.first;
    const double count = std::floor(span / step + kWholeFrameTolerance) + 1.0;
    if (count > static_cast<double>(kMaxSamples)) {
        throw ToolError("frames " + std::to_string(frames.first) + " to " +
                        std::to_string(frames.last) + " make more than " +
                        std::to_string(kMaxSamples) + " samples; give a shorter --frames range" +
                        (step < 1.0 ? " or a longer --step" : ""));
    }
    std::vector<double> picked(static_cast<std::size_t>(std::max(count, 0.0)));
    for (std::size_t i = 0; i < picked.size(); ++i) {
        double frame = frames.first + static_cast<double>(i) * step;
        if (std::fabs(frame - std::round(frame)) < kWholeFrameTolerance) {
            frame = std::round(frame);
        }
        picked[i] = frame;
    }
    return picked;
}

std::vector<Sample> sampleMotion(Session& session, const MotionSetup& setup, double step) {
    const std::vector<double> frames = sampleFrames(setup.frames, step);
    std::vector<Sample> samples(frames.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        Sample& sample = samples[i];
        sample.frame = frames[i];
        sample.hostFrame = static_cast<int32_t>(std::floor(sample.frame));
        sample.time = sample.frame / setup.fps;
        const Session::Motion motion =
            session.evaluate(setup.instance, sample.hostFrame, sample.time, setup.rest.data());
        sample.moved = motion.moved;
        sample.key = actingKey(*setup.instance, sample.hostFrame, sample.time);
        for (int axis = 0; axis < 3; ++axis) {
            sample.position[axis] = motion.position[axis];
            sample.offset[axis] =
                motion.position[axis] - setup.rest[static_cast<std::size_t>(axis)];
        }
    }
    return samples;
}

} // namespace vrim
