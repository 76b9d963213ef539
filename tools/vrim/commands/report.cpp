// vrim report: one self-contained HTML page for reviewing the shakes of
// several scenes, with a player that steps through the module's samples.
#include "tools/vrim/commands/commands.h"
#include "tools/vrim/report/collect.h"
#include "tools/vrim/report/page.h"
#include "tools/vrim/report/write.h"
#include "tools/vrim/scene/inputs.h"

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
            const SceneFile file = readScene(path);
            if (file.blocks.empty()) {
                scene.notes.push_back({"note", 0, "no item in this scene has a shake"});
            }
            for (std::size_t b = 0; b < file.blocks.size(); ++b) {
                const standin::KeyBlock& block = file.blocks[b];
                const report::BlockSource source = {"block " + std::to_string(b + 1),
                                                    block.firstLine, block.lastLine, &block.lines};
                scene.items.push_back(
                    report::collectItem(session, instance, source, timing, limits, plotsLeft > 0));
                plotsLeft -= plotsLeft > 0 ? 1 : 0;
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
