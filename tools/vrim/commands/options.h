// The options the commands share, each added to a command's command line in
// the same words, and what preview and bake make of theirs.
#pragma once

#include "tools/vrim/module/analysis.h"
#include "tools/vrim/module/session.h"
#include "tools/vrim/scene/batch.h"
#include "tools/vrim/scene/findings.h"
#include "tools/vrim/scene/inputs.h"
#include "tools/vrim/scene/motion.h"
#include "tools/vrim/scene/scene.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
class Error;
class Option;
class Validator;
} // namespace CLI

namespace vrim {

// The parser's refusal of a command line in the tool's words: what is wrong,
// which option, and what it takes (its value's name and help line). The
// tool's failure message (CLI::App::failure_message).
std::string parseProblem(const CLI::App* tool, const CLI::Error& error);

// After the tool's --help: the refusal of a word that is no command
// ("vrim plot --help"), else empty.
std::string unknownCommand(const CLI::App& tool);

// An option written "--NAME=" with nothing after the '=' among the
// arguments (argv), refused in the tool's words; else empty.
std::string emptyValueProblem(const std::vector<const char*>& arguments);

// A frame rate option given on the command line, or nothing.
struct FpsOption {
    double value = kKeyFrameRate;
    CLI::Option* option = nullptr;
    std::optional<double> given() const;
};
void addFpsOption(CLI::App& command, FpsOption& fps);

// An option's check that its text is a whole number from low to high by the
// tool's one number rule, which says so in the tool's words (a bare size_t
// option takes -1 as its largest value, and CLI11's own refusal is "Could
// not convert").
CLI::Validator wholeNumber(uint64_t low, uint64_t high);

// --item's check: an address as ls lists it, never empty.
CLI::Validator itemAddress();

// --block's number: a whole number from 1.
void addBlockOption(CLI::App& command, int& block, const char* help);

void addModuleOption(CLI::App& command, std::string& module);
void addOutputOption(CLI::App& command, std::string& output);

// The scenes of a command that reads many: files and folders of them, and
// -r for the folders below.
void addScenesOptions(CLI::App& command, std::vector<std::string>& scenes, bool& recursive);

// The options preview and bake share.
struct MotionOptions {
    std::string module;
    std::string scene; // empty: the default key of a new instance; "-": standard input
    std::string item;  // empty: by --block
    int block = 1;
    std::string frames; // empty: the scene's, else from the keys
    FpsOption fps;      // not given: the scene's, else 30
    std::string at = "0,0,0";
    std::string output;       // -o; empty: standard output
    bool allowErrors = false; // a block check calls in error is evaluated anyway
};
void addMotionOptions(CLI::App& command, MotionOptions& options, bool sceneRequired);

// The options turned into an instance ready to evaluate: the scene read,
// the block picked, the frames and rate decided.
MotionSetup prepareMotion(Session& session, const MotionOptions& options);
// The same for one block already read, into an instance of the caller's: the
// rate and frames from the options, else the header, else the keys.
MotionSetup blockMotion(Session& session, ShakeInstance* instance, const std::string& sceneName,
                        const scene::Block& block, const scene::Header& header,
                        const MotionOptions& options);

// Throws ToolError naming the block and its first error when check calls
// the block in error (its numbers would be nan or the module's guess),
// unless --allow-errors.
void refuseErrorBlock(BlockChecker& checker, const std::string& sceneName,
                      const scene::Block& block, const scene::Header& header,
                      const MotionOptions& options);

// The options of the commands that read many scenes: check, show and ls.
struct BatchOptions {
    std::vector<std::string> scenes; // files, folders, "-"
    bool recursive = false;
    std::string item; // --item: a block by address
    int block = 0;    // --block: a block by number; neither: every block
    scene::BlockSelector blocks() const {
        return scene::BlockSelector::given(item, static_cast<std::size_t>(block));
    }
    std::string frames;
    FpsOption fps;
    std::string module;
    std::string output;
    bool json = false;
};
void addBatchOptions(CLI::App& command, BatchOptions& options, bool timing);

// Throws ToolError, naming the folders, when they held no scene file.
void requireScenes(const scene::SceneBatch& batch, const std::vector<std::string>& paths,
                   bool recursive);

} // namespace vrim
