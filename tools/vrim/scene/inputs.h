// What the user hands the tool: frame ranges, vectors and rates as text, the
// scene file and the key block in it. Every problem becomes a ToolError with
// one line that names the input.
#pragma once

#include "tools/vrim/module/analysis.h"
#include "tools/vrim/module/session.h"
#include "tools/vrim/scene/scene.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
class Option;
class Validator;
} // namespace CLI

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

// A frame rate option given on the command line, or nothing.
struct FpsOption {
    double value = kKeyFrameRate;
    CLI::Option* option = nullptr;
    std::optional<double> given() const;
};
void addFpsOption(CLI::App& command, FpsOption& fps);

// An option's check that its text is a whole number from low to high, which
// says so in the tool's words (a bare size_t option takes -1 as its largest
// value).
CLI::Validator wholeNumber(long long low, long long high);

// --block's number: a whole number from 1.
void addBlockOption(CLI::App& command, int& block, const char* help);

// The options preview and bake share.
struct MotionOptions {
    std::string module;
    std::string scene; // empty: the default key of a new instance; "-": standard input
    std::string item;  // empty: by --block
    int block = 1;
    std::string frames; // empty: the scene's, else from the keys
    FpsOption fps;      // not given: the scene's, else 30
    std::string at = "0,0,0";
    std::string output; // -o; empty: standard output
};
void addModuleOption(CLI::App& command, std::string& module);
void addOutputOption(CLI::App& command, std::string& output);
void addMotionOptions(CLI::App& command, MotionOptions& options, bool sceneRequired);

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
MotionSetup prepareMotion(Session& session, const MotionOptions& options);
// The same for one block already read, into an instance of the caller's: the
// rate and frames from the options, else the header, else the keys.
MotionSetup blockMotion(Session& session, ShakeInstance* instance, const std::string& sceneName,
                        const scene::Block& block, const scene::Header& header,
                        const MotionOptions& options);

// From the earliest key start to a few frames past the latest key end, both
// in the key's own frames and in the scene frames at fps where it acts.
FrameRange framesOfKeys(const ShakeInstance& instance, double fps);

// The options of the commands that read many scenes: check, show and ls.
struct BatchOptions {
    std::vector<std::string> scenes; // files, folders, "-"
    bool recursive = false;
    std::string item; // empty: every item
    int block = 0;    // 0: every block
    std::string frames;
    FpsOption fps;
    std::string module;
    std::string output;
    bool json = false;
};
void addBatchOptions(CLI::App& command, BatchOptions& options, bool timing);

// What a batch command makes of one scene's blocks.
struct SceneVisit {
    // Each block the options pick, in file order, with the scene's header as
    // read so far.
    std::function<void(const scene::Block&, const scene::Header&)> block;
};

// One scene read through: a stopping problem, an --item that names no item
// with a shake, a scene without a shake. Each is one line.
struct SceneOutcome {
    std::size_t blocks = 0; // blocks handed to the visit
    bool noShake = false;   // the scene holds no key block
    bool missing = false;   // --item or --block named no block of the scene
    std::string error;      // the scene could not be read, or --item found nothing
};

// Reads one scene of a batch and hands the picked blocks to the visit.
SceneOutcome visitScene(scene::Reader& reader, const BatchOptions& options,
                        const SceneVisit& visit);

} // namespace vrim
