// The one place a shake reaches the scene. The host calls this for every
// shaken item at every time it evaluates, so it allocates nothing, does no
// input or output, and costs one walk of the chain plus one sine.
#include "plugin/core/shake.h"
#include "plugin/vocabulary.h"

#include <cmath>

namespace vrim {

namespace {

// Deliberately the eleven-decimal value, not 2*pi at full precision: the
// results of stored scenes depend on the exact constant.
constexpr double kPhaseScale = 6.28318530718;
// Phase used when a key's period is zero: a constant sin(1) offset.
constexpr double kZeroPeriodPhase = 1.0;

} // namespace

void shakeEvaluate(void* instance, const MotionAccess* access) {
    const int32_t frame = access->frame;
    const double time = access->time;
    double position[3];
    access->getParam(kParamPosition, time, position);

    // The last key in chain order that has started wins, even if an earlier
    // key's span still holds the time: keys never add up.
    const ShakeKey* selected = nullptr;
    for (const ShakeKey* key = static_cast<const ShakeInstance*>(instance)->firstKey;
         key != nullptr; key = key->next) {
        if (key->startFrame <= frame) {
            selected = key;
        }
    }
    if (selected == nullptr) {
        return;
    }

    const double startTime = selected->startFrame / vrim::kKeyFrameRate;
    const double endTime = selected->endFrame / vrim::kKeyFrameRate;
    if (startTime > time || endTime < time) {
        return;
    }

    const double elapsed = time - startTime;
    const double phase =
        selected->freqTime == 0.0 ? kZeroPeriodPhase : elapsed * kPhaseScale / selected->freqTime;
    const double s = std::sin(phase);

    const double widths[3] = {selected->widthX, selected->widthY, selected->widthZ};
    if (selected->fallOff == 0) {
        for (int axis = 0; axis < 3; ++axis) {
            position[axis] = s * widths[axis] + position[axis];
        }
    } else {
        // A span of one instant has no fraction to fall through: full
        // strength there, rather than the NaN of 0/0.
        const double span = endTime - startTime;
        const double factor = span == 0.0 ? 1.0 : 1.0 - elapsed / span;
        for (int axis = 0; axis < 3; ++axis) {
            position[axis] = (s * factor) * widths[axis] + position[axis];
        }
    }
    access->setParam(kParamPosition, position);
}

} // namespace vrim
