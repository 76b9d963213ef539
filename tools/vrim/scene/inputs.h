// What the user hands the tool: frame ranges, vectors and rates as text, the
// scene file and the key block in it. Every problem becomes a ToolError with
// one line that names the input.
#pragma once

#include "standin/scene_io.h"
#include "tools/vrim/module/analysis.h"
#include "tools/vrim/module/session.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace CLI {
class App;
}

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

// A scene file split into lines, with its key blocks.
struct SceneFile {
    std::string path;
    std::vector<std::string> lines;
    std::vector<standin::KeyBlock> blocks;
};
SceneFile readScene(const std::string& path);
// The 1-based nth key block; throws when the file has none or fewer.
const standin::KeyBlock& pickBlock(const SceneFile& scene, int number);

// The options preview and bake share.
struct MotionOptions {
    std::string module;
    std::string scene; // empty: the default key of a new instance
    int block = 1;
    std::string frames; // empty: from the keys
    double fps = kKeyFrameRate;
    std::string at = "0,0,0";
};
void addModuleOption(CLI::App& command, std::string& module);
void addMotionOptions(CLI::App& command, MotionOptions& options, bool sceneRequired);

// An instance ready to evaluate, with the frames and rate to evaluate it at.
struct MotionSetup {
    ShakeInstance* instance = nullptr;
    std::string source; // "the default key" or "<scene>, block N (lines a-b)"
    FrameRange frames;
    double fps = kKeyFrameRate;
    std::array<double, 3> rest = {0.0, 0.0, 0.0};
};
MotionSetup prepareMotion(Session& session, const MotionOptions& options);

// From the earliest key start to a few frames past the latest key end, both
// in the key's own frames and in the scene frames at fps where it acts.
FrameRange framesOfKeys(const ShakeInstance& instance, double fps);

} // namespace vrim
