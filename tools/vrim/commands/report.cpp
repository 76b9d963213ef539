// vrim report: one self-contained HTML page for reviewing the shakes of
// several scenes, with a player that steps through the module's samples.
#include "tools/vrim/commands/commands.h"
#include "tools/vrim/report/collect.h"
#include "tools/vrim/report/page.h"
#include "tools/vrim/report/write.h"
#include "tools/vrim/scene/inputs.h"
#include "tools/vrim/scene/reader_choice.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <sstream>

namespace vrim {

namespace {

struct ReportOptions {
    std::vector<std::string> scenes;
    std::string output;
    std::string module;
    std::string title = "Shake review";
    std::size_t plots = report::Limits{}.plottedItems;
};

report::SceneTiming reportTiming(const scene::Header& header) {
    report::SceneTiming timing;
    timing.fps = scene::headerFps(header).value_or(kKeyFrameRate);
    if (const auto frames = scene::headerFrames(header)) {
        timing.frames = FrameRange{frames->first, frames->last};
    }
    return timing;
}

int runReport(const ReportOptions& options) {
    report::Limits limits;
    limits.plottedItems = options.plots;
    Session session(options.module.empty() ? defaultModulePath() : options.module);
    ShakeInstance* instance = session.newInstance();
    report::PageWriter page(limits);
    std::size_t plotsLeft = limits.plottedItems;
    int status = kExitClean;
    for (const std::string& path : options.scenes) {
        report::PageScene scene;
        scene.path = path;
        report::SceneTiming timing;
        try {
            // The scene's own rate and range (its header comes before its
            // items); blocks stream one at a time.
            scene::Reader reader = scene::Reader::open(path);
            bool timed = false;
            std::size_t blocks = 0;
            for (scene::Event event = reader.next(); event != scene::Event::End;
                 event = reader.next()) {
                if (event != scene::Event::Block) {
                    continue;
                }
                if (!timed) {
                    timing = reportTiming(reader.header());
                    timed = true;
                }
                const scene::Block& block = reader.block();
                ++blocks;
                const report::BlockSource source = {
                    scene::blockName(block), static_cast<std::size_t>(block.whole.firstLine),
                    static_cast<std::size_t>(block.whole.lastLine), &block.lines};
                scene.items.push_back(
                    report::collectItem(session, instance, source, timing, limits, plotsLeft > 0));
                plotsLeft -= plotsLeft > 0 ? 1 : 0;
            }
            if (!timed) {
                timing = reportTiming(reader.header());
            }
            if (reader.stopped()) {
                const scene::Problem& problem = reader.problems().back();
                throw ToolError(reader.name() + ":" + std::to_string(problem.line) + ": " +
                                problem.message);
            }
            if (blocks == 0) {
                scene.notes.push_back({"note", 0, "no item in this scene has a shake"});
            }
        } catch (const ToolError& e) {
            scene.notes.push_back({"error", 0, e.what()});
            status = kExitError;
        }
        scene.fps = timing.fps;

        page.scene(scene);
    }
    std::ostringstream html;
    page.write(html, options.title);
    report::writeFile(options.output, html.str());
    return status;
}

} // namespace

Command addReportCommand(CLI::App& tool) {
    auto options = std::make_shared<ReportOptions>();
    CLI::App* command = tool.add_subcommand(
        "report", "Write one self-contained HTML page for reviewing the shakes of the scenes");
    command->footer("The page needs no other file and no network: plots, styles and the player\n"
                    "are inside it. Exit status: 0 clean, 1 findings, 2 errors.\n"
                    "Example:\n"
                    "  vrim report shots/*.lws -o dailies.html");
    command->add_option("SCENE", options->scenes, "Scene files")->required()->type_name("FILE");
    command->add_option("-o,--output", options->output, "The page to write")
        ->required()
        ->type_name("FILE");
    command->add_option("--title", options->title, "The page's title")
        ->default_val(options->title)
        ->type_name("TEXT");
    command
        ->add_option("--plots", options->plots,
                     "Draw at most this many items; the others are listed with their keys")
        ->default_val(options->plots)
        ->type_name("N");
    addModuleOption(*command, options->module);
    return {command, [options] { return runReport(*options); }};
}

} // namespace vrim
