// The tool's commands. Each one adds itself to the tool's command line with
// its options and hands back what runs it; main lists them. A new command is
// one more file with one more add function.
#pragma once

#include <functional>

namespace CLI {
class App;
}

namespace vrim {

// Exit statuses. Every command returns kExitClean when it did its work and
// kExitError for bad input or an unusable module (as the tool does for a
// command line it cannot parse). Check, ls and report also judge the scenes
// they read: kExitWarnings when they found warnings, kExitError when they
// found errors. Validate returns 1 when a check failed or the module crashed.
constexpr int kExitClean = 0;
constexpr int kExitWarnings = 1;
constexpr int kExitError = 2;
// diff: the two versions move the items differently.
constexpr int kExitMotionDiffers = 1;

struct Command {
    CLI::App* app = nullptr;  // the command's own options, owned by the tool's app
    std::function<int()> run; // runs it once the command line is parsed; returns the exit status
};

Command addPreviewCommand(CLI::App& tool);
Command addBakeCommand(CLI::App& tool);
Command addCheckCommand(CLI::App& tool);
Command addShowCommand(CLI::App& tool);
Command addLsCommand(CLI::App& tool);
Command addValidateCommand(CLI::App& tool);
Command addEditCommand(CLI::App& tool);
Command addReportCommand(CLI::App& tool);
Command addDiffCommand(CLI::App& tool);

} // namespace vrim
