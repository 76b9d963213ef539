#include "tools/vrim/scene/inputs.h"

#include "text/numbers.h"
#include "text/words.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace vrim {

namespace {

// Frames shown past the end of the last key, so the plot shows it stop.
constexpr int64_t kFramesAfterKeys = 5;
// With no key at all there is nothing to fit the range to.
constexpr FrameRange kFramesWithoutKeys = {0, 30};

int32_t clampToFrame(int64_t frame) {
    return static_cast<int32_t>(std::clamp<int64_t>(frame, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

} // namespace

FrameRange parseFrameRange(const std::string& text, const char* option) {
    const std::vector<std::string_view> parts = text::splitFields(text, ':');
    text::Reading<int64_t> first;
    text::Reading<int64_t> last;
    if (parts.size() == 2) {
        first = text::readWhole(parts[0]);
        last = text::readWhole(parts[1]);
    }
    if (parts.size() != 2 || !first || !last) {
        throw ToolError(std::string(option) + " '" + text +
                        "' is not a frame range FIRST:LAST of whole frames" +
                        (parts.size() != 2 ? ""
                         : !first          ? text::aside(first.refusal)
                                           : text::aside(last.refusal)));
    }
    const FrameRange range = {static_cast<int32_t>(first.value), static_cast<int32_t>(last.value)};
    if (range.first > range.last) {
        throw ToolError(std::string(option) + " '" + text + "' ends before it starts");
    }
    return range;
}

std::array<double, 3> parseVector(const std::string& text, const char* option) {
    const std::vector<std::string_view> parts = text::splitFields(text, ',');
    std::array<double, 3> vector = {0.0, 0.0, 0.0};
    text::Refusal refusal = parts.size() == 3 ? text::Refusal::None : text::Refusal::NotDecimal;
    for (std::size_t axis = 0; refusal == text::Refusal::None && axis < 3; ++axis) {
        const text::Reading<double> read = text::readReal(parts[axis]);
        vector[axis] = read.value;
        refusal = read.refusal;
    }
    if (refusal != text::Refusal::None) {
        throw ToolError(std::string(option) + " '" + text +
                        "' is not a vector X,Y,Z of three finite numbers" + text::aside(refusal));
    }
    return vector;
}

void checkFps(double fps) {
    if (!(fps > 0.0 && fps <= kMaxFps)) {
        throw ToolError("--fps must be above 0 and at most " + std::to_string(int(kMaxFps)));
    }
}

FrameRange framesOfKeys(const ShakeInstance& instance, double fps) {
    const std::vector<const ShakeKey*> keys = keysOf(instance);
    if (keys.empty()) {
        return kFramesWithoutKeys;
    }
    int64_t first = std::numeric_limits<int64_t>::max();
    int64_t last = std::numeric_limits<int64_t>::min();
    for (const ShakeKey* key : keys) {
        first = std::min<int64_t>({first, key->startFrame, key->endFrame});
        last = std::max<int64_t>({last, key->startFrame, key->endFrame});
        const FrameSpan acts = spanFrames(*key, fps);
        if (!acts.empty()) {
            first = std::min(first, acts.first);
            last = std::max(last, acts.last);
        }
    }
    return {clampToFrame(first), clampToFrame(last + kFramesAfterKeys)};
}

} // namespace vrim
