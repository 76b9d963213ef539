// How far two versions of one item's shake part: both evaluated by the
// module, frame by frame, over every frame where either version acts, each
// at its own scene's rate.
#include "tools/vrim/compare/internal.h"
#include "tools/vrim/module/analysis.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vrim::compare {

namespace {

// Frames where either version acts, in order, runs that touch merged.
std::vector<FrameSpan> framesOfEither(const ShakeInstance* before, double beforeFps,
                                      const ShakeInstance* after, double afterFps) {
    std::vector<FrameSpan> runs;
    if (before != nullptr) {
        runs = actingRuns(*before, beforeFps, kAnyKey);
    }
    if (after != nullptr) {
        const std::vector<FrameSpan> more = actingRuns(*after, afterFps, kAnyKey);
        runs.insert(runs.end(), more.begin(), more.end());
    }
    return joinedSpans(std::move(runs));
}

// The item's offset at a frame; zero where the instance does not shake it.
std::array<double, 3> offsetAt(Session& session, ShakeInstance* instance, int32_t frame,
                               double fps) {
    static constexpr double kRest[3] = {0.0, 0.0, 0.0};
    if (instance == nullptr) {
        return {0.0, 0.0, 0.0};
    }
    const Session::Motion motion = session.evaluate(instance, frame, frame / fps, kRest);
    return {motion.position[0], motion.position[1], motion.position[2]};
}

} // namespace

int MotionDifference::largestAxis() const {
    return static_cast<int>(std::max_element(largest.begin(), largest.end()) - largest.begin());
}

MotionDifference motionDifference(Session& session, ShakeInstance* before, double beforeFps,
                                  ShakeInstance* after, double afterFps, double tolerance) {
    MotionDifference difference;
    for (const FrameSpan& run : framesOfEither(before, beforeFps, after, afterFps)) {
        for (int64_t frame = run.first; frame <= run.last; ++frame) {
            if (difference.frames == kMaxComparedFrames) {
                difference.cut = true;
                return difference;
            }
            ++difference.frames;
            const int32_t at = static_cast<int32_t>(frame);
            const auto a = offsetAt(session, before, at, beforeFps);
            const auto b = offsetAt(session, after, at, afterFps);
            bool beyond = false;
            for (std::size_t axis = 0; axis < 3; ++axis) {
                double gap = std::fabs(a[axis] - b[axis]);
                if (std::isnan(gap)) {
                    // Only one side not a number is a difference; both are not.
                    gap = std::isnan(a[axis]) && std::isnan(b[axis])
                              ? 0.0
                              : std::numeric_limits<double>::infinity();
                }
                difference.largest[axis] = std::max(difference.largest[axis], gap);
                beyond = beyond || gap > tolerance;
            }
            if (beyond) {
                difference.first = difference.first.value_or(frame);
                difference.last = frame;
            }
        }
    }
    return difference;
}

} // namespace vrim::compare
