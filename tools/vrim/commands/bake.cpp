// vrim bake: the item's position as CSV, for other tools to import.
#include "tools/vrim/commands/commands.h"
#include "tools/vrim/scene/inputs.h"
#include "tools/vrim/scene/motion.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>

namespace vrim {

namespace {

struct BakeOptions {
    MotionOptions motion;
    double step = 1.0;
};

int runBake(const BakeOptions& options) {
    Session session(options.motion.module.empty() ? defaultModulePath() : options.motion.module);
    const MotionSetup setup = prepareMotion(session, options.motion);
    const std::vector<Sample> samples = sampleMotion(session, setup, options.step);
    // Fifteen significant digits: every double prints the same on every
    // platform and reads back within one part in 1e15.
    std::printf("frame,time,x,y,z\n");
    for (const Sample& sample : samples) {
        std::printf("%.10g,%.15g,%.15g,%.15g,%.15g\n", sample.frame, sample.time,
                    sample.position[0], sample.position[1], sample.position[2]);
    }
    return kExitClean;
}

} // namespace

Command addBakeCommand(CLI::App& tool) {
    auto options = std::make_shared<BakeOptions>();
    CLI::App* command = tool.add_subcommand(
        "bake", "Write the item's position as CSV (frame,time,x,y,z) to standard output");
    command->footer("A step below 1 samples between frames: the host passes the whole frame at\n"
                    "or before the time, which picks the key, and the time itself.\n"
                    "Example:\n"
                    "  vrim bake samples/two-items.lws --block 2 --step 0.5 > lamp.csv");
    addMotionOptions(*command, options->motion, true);
    command->add_option("--step", options->step, "Frames between samples; below 1 for sub-frames")
        ->default_val(1.0)
        ->type_name("S");
    return {command, [options] { return runBake(*options); }};
}

} // namespace vrim
