// What check finds in one key block: how the module reads its lines and
// numbers, and what its keys do at the scene's frame rate and in its frame
// range. Check, ls, report and the scene-reader fuzz target share it;
// printing is theirs.
#pragma once

#include "tools/vrim/module/analysis.h"
#include "tools/vrim/module/session.h"
#include "tools/vrim/scene/batch.h"
#include "tools/vrim/scene/blocklines.h"
#include "tools/vrim/scene/inputs.h"
#include "tools/vrim/scene/scene.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vrim {

enum class Severity { Note, Warning, Error };
const char* severityName(Severity severity);

struct Finding {
    Severity severity = Severity::Warning;
    const char* kind = "";
    std::uint64_t line = 0; // 1-based line of the scene file; 0: none
    int key = 0;            // 1-based key number; 0: not about one key
    std::string message;
    std::vector<HiddenRun> hidden; // for "hidden-key"
};

// The rate and frames one scene is checked at: a flag's, else its header's,
// else 30 fps and no range.
struct SceneTiming {
    double fps = kKeyFrameRate;
    std::optional<FrameRange> frames;
    double step = 1.0; // the header's FrameStep when it is a usable one: the frames bake samples
};

struct BlockReport {
    scene::Block block; // without its lines
    std::size_t keys = 0;
    std::optional<int32_t> keyNum;
    // Runs of frames on which some key moves the item, at the scene's rate.
    std::vector<FrameSpan> moves;
    std::vector<Finding> findings; // in line order
    int errors = 0, warnings = 0;
};

// Frames of a key evaluated to find where a non-finite value shows.
constexpr int64_t kProbedFrames = 100000;

class BlockChecker {
  public:
    // probedFrames bounds the frames of a key evaluated to find where a
    // number that is not finite shows; the message says when it cut a span.
    explicit BlockChecker(Session& session, int64_t probedFrames = kProbedFrames);
    BlockReport check(const scene::Block& block, const SceneTiming& timing);
    // Held while check touches the module, for callers that read scenes on
    // several threads: the stand-in host's services are the process's, the
    // reading of the scene is each caller's own. None by default.
    void guard(std::mutex* lock) { guard_ = lock; }
    // Lets go of all that checks so far kept (the last block's keys, the
    // meanings of the lines met): the next check starts as the first did,
    // and memory holds nothing of the blocks before it.
    void forget();
    // The instance holding the block last checked, its keys as the module
    // loaded them; the next check loads over it.
    ShakeInstance* instance() const { return instance_; }

  private:
    Session& session_;
    LineProbe probe_;
    ShakeInstance* instance_;
    int64_t probedFrames_;
    std::mutex* guard_ = nullptr;
};

// The scene's timing: flags first, then the header.
SceneTiming sceneTiming(const scene::Header& header, std::optional<double> fps,
                        const std::optional<FrameRange>& frames);

// Findings about the scene as a whole: header values that cannot be used,
// and keys read at another rate than the scene's.
std::vector<Finding> sceneFindings(const scene::Reader& reader, const SceneTiming& timing);

// One scene of a batch checked: every key block picked, each
// report handed to onBlock as soon as it is made (nothing of a block is kept),
// then the scene's own findings.
struct SceneCheck {
    std::optional<SceneTiming> timing; // unset when the scene could not be opened
    // The scene's own findings: header values, the frame rate, a scene
    // without a shake, and why it could not be read whole.
    std::vector<Finding> findings;
    std::size_t blocks = 0, keys = 0;
    int errors = 0, warnings = 0; // of its blocks and its own findings
    bool noShake = false;
    bool missing = false;   // --item or --block named no block of it (error says so)
    std::string error;      // why the scene could not be read whole; empty when it was
    bool readWhole = false; // every byte of the file went through onBytes
};
SceneCheck checkScene(const std::string& path, const scene::BlockSelector& selector,
                      std::optional<double> fps, const std::optional<FrameRange>& frames,
                      BlockChecker& checker,
                      const std::function<void(const BlockReport&)>& onBlock);
// The same, handing onBlock the block with its lines and the timing it was
// checked at, for a caller that loads the block again (report samples its
// motion). onBytes, when set, sees the file's bytes as they are read.
SceneCheck checkScene(
    const std::string& path, const scene::BlockSelector& selector, std::optional<double> fps,
    const std::optional<FrameRange>& frames, BlockChecker& checker,
    const std::function<void(const scene::Block&, const BlockReport&, const SceneTiming&)>& onBlock,
    const std::function<void(std::string_view)>& onBytes = nullptr);

// "0-24, 36-60", the first few runs and a count of the rest; "none".
std::string runsText(const std::vector<FrameSpan>& runs);

// Runs of frames on which some key of the instance moves the item at fps.
std::vector<FrameSpan> movingRuns(const ShakeInstance& instance, double fps);

} // namespace vrim
