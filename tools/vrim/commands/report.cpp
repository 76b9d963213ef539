// vrim report: one self-contained HTML page for reviewing the shakes of
// several scenes, with a player that steps through the module's samples.
#include "tools/vrim/commands/commands.h"
#include "tools/vrim/commands/machine.h"
#include "tools/vrim/commands/options.h"
#include "tools/vrim/commands/output.h"
#include "tools/vrim/error.h"
#include "tools/vrim/report/collect.h"
#include "tools/vrim/report/page.h"
#include "tools/vrim/report/provenance.h"
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
    bool json = false;
};

// A drawn item is up to about 100 KB of page.
constexpr long long kMostPlots = 1000;

// Where the scene's rate and range came from, in words for the page.
std::string timingSource(const ReportOptions& options, const SceneTiming& timing) {
    std::string words = options.batch.fps.given()
                            ? "Frame rate from --fps"
                            : "Frame rate from the scene (30 when it states none)";
    words += !options.batch.frames.empty() ? "; frames from --frames."
             : timing.frames               ? "; frames from the scene."
                                           : "; frames from each item's keys (the scene "
                                             "states no range).";
    return words;
}

int runReport(const ReportOptions& options) {
    std::optional<FrameRange> frames;
    if (!options.batch.frames.empty()) {
        frames = parseFrameRange(options.batch.frames, "--frames");
    }
    if (options.json && (options.batch.output.empty() || options.batch.output == "-")) {
        throw ToolError("--json and -o - would both write to standard output; give the page a "
                        "file");
    }
    const scene::SceneBatch batch(options.batch.scenes, options.batch.recursive);
    report::Limits limits;
    limits.plottedItems = options.plots;
    const std::string modulePath =
        options.batch.module.empty() ? defaultModulePath() : options.batch.module;
    Session session(modulePath);
    // Refused now, before the scenes are read, if the page may not go there.
    Output output(options.batch.output, batchInputs(batch.files(), options.batch.module));
    report::PageSource source;
    source.when = report::utcNow();
    source.version = report::vrimVersion();
    source.commandLine = report::commandLine();
    source.module = report::absolutePath(modulePath);
    source.moduleSha256 = report::sha256File(modulePath);
    // check's own analysis, so that the page lists what check prints.
    BlockChecker checker(session);
    report::PageWriter page(limits);
    // Past these the items are only counted: the page, and what is held for
    // it, stays within its bounds however many items the scenes have.
    std::size_t plotsLeft = limits.plottedItems, rowsLeft = limits.listedItems;
    int errors = 0, warnings = 0;
    nlohmann::json written = nlohmann::json::array();
    batch.visit([] { std::fflush(stdout); },
                [&](std::size_t, const std::string& path) {
                    report::PageScene scene;
                    scene.path = path;
                    scene.absolutePath = report::absolutePath(path);
                    std::size_t plotted = 0;
                    const SceneCheck checked = checkScene(
                        path, options.batch.pick, options.batch.fps.given(), frames, checker,
                        [&](const scene::Block& block, const BlockReport& report,
                            const SceneTiming& timing) {
                            const bool plot = plotsLeft > 0;
                            if (!plot && rowsLeft == 0) {
                                ++scene.unlisted;
                                return;
                            }
                            (plot ? plotsLeft : rowsLeft) -= 1;
                            plotted += plot;
                            // The checker's instance holds the block just checked: the
                            // page reads its keys there rather than loading it again.
                            const report::BlockSource source = {
                                scene::blockName(block),
                                static_cast<std::size_t>(block.whole.firstLine),
                                static_cast<std::size_t>(block.whole.lastLine), &block.lines, true};
                            scene.items.push_back(report::collectItem(session, checker.instance(),
                                                                      source, report.findings,
                                                                      timing, limits, plot));
                        });
                    for (const Finding& finding : checked.findings) {
                        scene.notes.push_back(report::pageFinding(finding));
                    }
                    if (checked.timing) {
                        scene.fps = checked.timing->fps;
                        scene.frames = checked.timing->frames;
                        scene.framesFrom = timingSource(options, *checked.timing);
                    }
                    // Read again for its checksum: standard input cannot be, and a file
                    // that could not be opened has none.
                    if (path != "-" && checked.timing) {
                        scene.sha256 = report::sha256File(path);
                    }
                    scene.errors = static_cast<std::size_t>(checked.errors);
                    scene.warnings = static_cast<std::size_t>(checked.warnings);
                    scene.findings = scene.errors + scene.warnings;
                    if (options.json) {
                        written.push_back(
                            {{"path", path},
                             {"blocks", checked.blocks},
                             {"plotted", plotted},
                             {"listed", scene.items.size() - plotted},
                             {"unlisted", scene.unlisted},
                             {"errors", checked.errors},
                             {"warnings", checked.warnings},
                             {"error", checked.error.empty() ? nlohmann::json(nullptr)
                                                             : nlohmann::json(checked.error)}});
                    }
                    errors += checked.errors;
                    warnings += checked.warnings;
                    page.scene(std::move(scene));
                    // On the page with the scene, and on standard error for whoever
                    // only sees the exit status.
                    return checked.error;
                });
    const std::string head = page.head(options.title, source), tail = report::PageWriter::tail();
    std::vector<std::string_view> pieces = page.pieces(head);
    pieces.push_back(tail);
    std::size_t bytes = 0;
    for (std::string_view piece : pieces) {
        output.put(piece);
        bytes += piece.size();
    }
    output.finish();
    // One line for whoever runs it from a script or a shell: what, where.
    const bool toStandardOutput = options.batch.output.empty() || options.batch.output == "-";
    std::fprintf(stderr, "vrim: wrote %s (%s): %s, %s with a shake (%s drawn), %s, %s\n",
                 toStandardOutput ? "the page to standard output"
                                  : report::absolutePath(options.batch.output).c_str(),
                 bytes >= 10000 ? (std::to_string((bytes + 512) / 1024) + " KB").c_str()
                                : plural(bytes, "byte", "bytes").c_str(),
                 plural(page.scenes(), "scene", "scenes").c_str(),
                 plural(page.items(), "item", "items").c_str(),
                 std::to_string(page.plotted()).c_str(),
                 plural(static_cast<std::size_t>(errors), "error", "errors").c_str(),
                 plural(static_cast<std::size_t>(warnings), "warning", "warnings").c_str());
    // Written: 0 when clean, 1 with findings. Nothing written is 2 (an
    // exception on the way out of here).
    const int status = errors > 0 || warnings > 0 ? kExitWarnings : kExitClean;
    if (options.json) {
        nlohmann::json document = jsonDocument("report");
        document["page"] = options.batch.output;
        document["title"] = options.title;
        document["bytes"] = bytes;
        document["scenes"] = std::move(written);
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
    auto* item = command->add_option("--item", batch.pick.item, "Only this item's shake, by name")
                     ->type_name("NAME");
    addBlockOption(*command, batch.pick.block, "Only this key block of each scene, from 1");
    item->excludes(command->get_option("--block"));
    command->add_flag("--json", options->json, "Say what was written as JSON on standard output");
    command
        ->add_option("--plots", options->plots,
                     "Draw at most this many items (0 to 1000); the others are listed with "
                     "their keys")
        ->default_val(options->plots)
        ->type_name("N")
        ->check(wholeNumber(0, kMostPlots));
    addModuleOption(*command, batch.module);
    addWriteOptions(*command);
    return {command, [options] { return runReport(*options); }};
}

} // namespace vrim
