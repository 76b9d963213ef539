#include "tools/vrim/scene/inputs.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

namespace vrim {

namespace {

// Frames shown past the end of the last key, so the plot shows it stop.
constexpr int64_t kFramesAfterKeys = 5;
// With no key at all there is nothing to fit the range to.
constexpr FrameRange kFramesWithoutKeys = {0, 30};

// The whole text as one number, an optional sign first (from_chars takes
// no plus sign); nothing before or after it.
template <typename Number> bool parseWhole(const std::string& text, Number& value) {
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    if (end - begin > 1 && *begin == '+' && begin[1] != '-') {
        ++begin;
    }
    auto [stop, error] = std::from_chars(begin, end, value);
    return begin != end && error == std::errc() && stop == end;
}

bool parseFrame(const std::string& text, int32_t& frame) {
    return parseWhole(text, frame);
}

bool parseNumber(const std::string& text, double& value) {
    return parseWhole(text, value) && std::isfinite(value);
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
        std::size_t at = text.find(separator, from);
        parts.push_back(text.substr(from, at - from));
        if (at == std::string::npos) {
            return parts;
        }
        from = at + 1;
    }
}

int32_t clampToFrame(int64_t frame) {
    return static_cast<int32_t>(std::clamp<int64_t>(frame, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

} // namespace

bool parseWholeNumber(const std::string& text, long long& value) {
    return parseWhole(text, value);
}

bool parseFiniteNumber(const std::string& text, double& value) {
    return parseNumber(text, value);
}

FrameRange parseFrameRange(const std::string& text, const char* option) {
    const std::vector<std::string> parts = split(text, ':');
    FrameRange range;
    if (parts.size() != 2 || !parseFrame(parts[0], range.first) ||
        !parseFrame(parts[1], range.last)) {
        throw ToolError(std::string(option) + " '" + text +
                        "' is not a frame range FIRST:LAST of whole frames");
    }
    if (range.first > range.last) {
        throw ToolError(std::string(option) + " '" + text + "' ends before it starts");
    }
    return range;
}

std::array<double, 3> parseVector(const std::string& text, const char* option) {
    const std::vector<std::string> parts = split(text, ',');
    std::array<double, 3> vector = {0.0, 0.0, 0.0};
    bool good = parts.size() == 3;
    for (std::size_t axis = 0; good && axis < 3; ++axis) {
        good = parseNumber(parts[axis], vector[axis]);
    }
    if (!good) {
        throw ToolError(std::string(option) + " '" + text +
                        "' is not a vector X,Y,Z of three finite numbers");
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
