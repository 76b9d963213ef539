// vrim report: one self-contained HTML page for reviewing the shakes of
// several scenes, with a player that steps through the module's samples.
#include "tools/vrim/commands/commands.h"
#include "tools/vrim/commands/machine.h"
#include "tools/vrim/commands/options.h"
#include "tools/vrim/commands/output.h"
#include "tools/vrim/compare/compare.h"
#include "tools/vrim/error.h"
#include "tools/vrim/report/provenance.h"
#include "tools/vrim/report/review.h"
#include "tools/vrim/scene/batch.h"
#include "tools/vrim/scene/findings.h"
#include "tools/vrim/scene/reader_choice.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace vrim {

namespace {

struct ReportOptions {
    BatchOptions batch; // scenes, --recursive, --frames, --fps and the module
    std::string title = "Shake review";
    std::size_t plots = report::Limits{}.plottedItems;
    std::string against; // a previous version: scene or folder
    bool json = false;
};

// A drawn item is up to about 100 KB of page.
constexpr long long kMostPlots = 1000;

int finishReport(const ReportOptions& options, const report::Review& review, Output& output);

// NEW against OLD, paired as diff pairs them: each new scene with what
// changed since its previous version. A scene only the old side has shows
// nowhere but in the count on standard error.
int reportAgainst(const ReportOptions& options, Session& session, report::ReviewSetup setup) {
    if (options.batch.scenes.size() != 1) {
        throw ToolError("--against compares one scene or folder with another; give one NEW");
    }
    // Each scene is read more than once (paired, compared, then drawn).
    if (options.against == "-" || options.batch.scenes.front() == "-") {
        throw ToolError("--against reads each scene more than once: give files, not standard "
                        "input");
    }
    const std::vector<compare::ScenePair> pairs =
        compare::pairsOf(options.against, options.batch.scenes.front(), options.batch.recursive);
    std::vector<std::string> inputs;
    for (const compare::ScenePair& pair : pairs) {
        for (const std::string* path : {&pair.oldPath, &pair.newPath}) {
            if (!path->empty()) {
                inputs.push_back(*path);
            }
        }
    }
    Output output(options.batch.output, batchInputs(inputs, options.batch.module));
    report::Review review(session, std::move(setup));
    std::size_t gone = 0;
    for (const compare::ScenePair& pair : pairs) {
        if (pair.newPath.empty()) {
            ++gone;
            continue;
        }
        report::Against against;
        against.oldPath = pair.oldPath;
        compare::SceneListener listener;
        listener.header = [&](const std::vector<compare::HeaderChange>& header) {
            against.header = header;
        };
        listener.item = [&](const compare::ItemDiff& item) { against.items.push_back(item); };
        compare::compareScenes(session, pair.oldPath, pair.newPath, {}, listener);
        review.scene(pair.newPath, against);
    }
    if (gone > 0) {
        std::fprintf(stderr, "vrim: %s only in %s, not on the page\n",
                     plural(gone, "scene", "scenes").c_str(), options.against.c_str());
    }
    return finishReport(options, review, output);
}

int runReport(const ReportOptions& options) {
    if (options.json && (options.batch.output.empty() || options.batch.output == "-")) {
        throw ToolError("--json and -o - would both write to standard output; give the page a "
                        "file");
    }
    report::ReviewSetup setup;
    if (!options.batch.frames.empty()) {
        setup.frames = parseFrameRange(options.batch.frames, "--frames");
    }
    setup.fps = options.batch.fps.given();
    setup.blocks = options.batch.blocks();
    setup.title = options.title;
    setup.limits.plottedItems = options.plots;
    setup.modulePath = options.batch.module.empty() ? defaultModulePath() : options.batch.module;
    Session session(setup.modulePath);
    if (!options.against.empty()) {
        return reportAgainst(options, session, std::move(setup));
    }
    const scene::SceneBatch batch(options.batch.scenes, options.batch.recursive);
    requireScenes(batch, options.batch.scenes, options.batch.recursive);
    // Refused now, before the scenes are read, if the page may not go there.
    Output output(options.batch.output, batchInputs(batch.files(), options.batch.module));
    report::Review review(session, std::move(setup));
    // On the page with the scene, and on standard error for whoever only
    // sees the exit status.
    batch.visit([] { std::fflush(stdout); },
                [&](std::size_t, const std::string& path) { return review.scene(path); });
    return finishReport(options, review, output);
}

int finishReport(const ReportOptions& options, const report::Review& review, Output& output) {
    const std::size_t bytes = review.write([&](std::string_view piece) { output.put(piece); });
    output.finish();
    const int errors = review.errors(), warnings = review.warnings();
    // One line for whoever runs it from a script or a shell: what, where.
    const bool toStandardOutput = options.batch.output.empty() || options.batch.output == "-";
    std::fprintf(
        stderr, "vrim: wrote %s (%s): %s, %s with a shake (%s drawn), %s, %s\n",
        toStandardOutput ? "the page to standard output"
                         : terminalText(report::absolutePath(options.batch.output)).c_str(),
        bytes >= 10000 ? (std::to_string((bytes + 512) / 1024) + " KB").c_str()
                       : plural(bytes, "byte", "bytes").c_str(),
        plural(review.scenes().size(), "scene", "scenes").c_str(),
        plural(review.items(), "item", "items").c_str(), std::to_string(review.plotted()).c_str(),
        plural(static_cast<std::size_t>(errors), "error", "errors").c_str(),
        plural(static_cast<std::size_t>(warnings), "warning", "warnings").c_str());
    // Written: 0 when clean, 1 with findings. Nothing written is 2 (an
    // exception on the way out of here).
    const int status = errors > 0 || warnings > 0 ? kExitWarnings : kExitClean;
    if (options.json) {
        nlohmann::json scenes = nlohmann::json::array();
        for (const report::ReviewedScene& scene : review.scenes()) {
            scenes.push_back({{"path", scene.path},
                              {"blocks", scene.blocks},
                              {"plotted", scene.plotted},
                              {"listed", scene.listed},
                              {"unlisted", scene.unlisted},
                              {"errors", scene.errors},
                              {"warnings", scene.warnings},
                              {"error", scene.error.empty() ? nlohmann::json(nullptr)
                                                            : nlohmann::json(scene.error)}});
        }
        nlohmann::json document = jsonDocument("report");
        document["page"] = options.batch.output;
        document["title"] = options.title;
        document["bytes"] = bytes;
        document["scenes"] = std::move(scenes);
        document["errors"] = errors;
        document["warnings"] = warnings;
        document["status"] = status;
        std::printf("%s\n", jsonText(document).c_str());
    }
    return status;
}

} // namespace

Command addReportCommand(CLI::App& tool) {
    auto options = std::make_shared<ReportOptions>();
    CLI::App* command = tool.add_subcommand(
        "report", "Write one self-contained HTML page for reviewing the shakes of the scenes");
    command->footer("The page needs no other file and no network: plots, styles and the player\n"
                    "are inside it. Each scene is shown at its own frame rate and range, with\n"
                    "what check finds in it, and where it came from (files with their SHA-256).\n"
                    "Exit status: 0 written and clean, 1 written with findings (errors or\n"
                    "warnings), 2 nothing written. Standard error says what was written where.\n"
                    "Example:\n"
                    "  vrim report shots/*.lws -o dailies.html");
    BatchOptions& batch = options->batch;
    addScenesOptions(*command, batch.scenes, batch.recursive);
    command->add_option("-o,--output", batch.output, "The page to write ('-': standard output)")
        ->required()
        ->type_name("FILE");
    command->add_option("--title", options->title, "The page's title")
        ->default_val(options->title)
        ->type_name("TEXT");
    command->add_option("--frames", batch.frames, "Every scene's frame range")
        ->default_str("the scene's")
        ->type_name("FIRST:LAST");
    addFpsOption(*command, batch.fps);
    auto* item = command->add_option("--item", batch.item, "Only this item's shake, by name")
                     ->type_name("NAME")
                     ->check(itemAddress());
    addBlockOption(*command, batch.block, "Only this key block of each scene, from 1");
    item->excludes(command->get_option("--block"));
    command->add_flag("--json", options->json, "Say what was written as JSON on standard output");
    command
        ->add_option("--plots", options->plots,
                     "Draw at most this many items (0 to 1000); the others are listed with "
                     "their keys")
        ->default_val(options->plots)
        ->type_name("N")
        ->check(wholeNumber(0, kMostPlots));
    command
        ->add_option("--against", options->against,
                     "Show what changed since this previous version (a scene, or a folder for "
                     "a folder): changed items first, with their old curves")
        ->type_name("OLD");
    addModuleOption(*command, batch.module);
    addWriteOptions(*command);
    return {command, [options] { return runReport(*options); }};
}

} // namespace vrim
