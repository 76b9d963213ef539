// What the user hands the tool as text: frame ranges, vectors, rates and
// numbers. Every problem becomes a ToolError with one line that names the
// input.
#pragma once

#include "tools/vrim/module/analysis.h"
#include "tools/vrim/module/session.h"
#include "tools/vrim/scene/scene.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace vrim {

// Whole frames, both ends inclusive.
struct FrameRange {
    int32_t first = 0;
    int32_t last = 0;
};

// "A:B" with A <= B, both 32-bit frame numbers.
FrameRange parseFrameRange(const std::string& text, const char* option);
// "X,Y,Z": three finite numbers.
std::array<double, 3> parseVector(const std::string& text, const char* option);
// A frame rate: finite, above 0, at most kMaxFps.
constexpr double kMaxFps = 1000.0;
void checkFps(double fps);

// The whole text as one number, an optional sign first, nothing before or
// after it: a whole number, or a finite one.
bool parseWholeNumber(const std::string& text, long long& value);
bool parseFiniteNumber(const std::string& text, double& value);

// From the earliest key start to a few frames past the latest key end, both
// in the key's own frames and in the scene frames at fps where it acts.
FrameRange framesOfKeys(const ShakeInstance& instance, double fps);

} // namespace vrim
