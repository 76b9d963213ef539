// vrim ls: one line per item with a shake in each scene: its name, its keys,
// the frames on which it moves the item at the scene's rate, and how many
// findings check has for it.
#include "tools/vrim/commands/commands.h"
#include "tools/vrim/commands/options.h"
#include "tools/vrim/commands/output.h"
#include "tools/vrim/scene/batch.h"
#include "tools/vrim/scene/findings.h"
#include "tools/vrim/scene/reader_choice.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <memory>

namespace vrim {

namespace {

using nlohmann::json;

std::string timingText(const SceneTiming& timing) {
    char fps[32];
    std::snprintf(fps, sizeof fps, "%g fps", timing.fps);
    return timing.frames ? std::string(fps) + ", frames " + std::to_string(timing.frames->first) +
                               "-" + std::to_string(timing.frames->last)
                         : std::string(fps) + ", no frame range";
}

int runLs(const BatchOptions& options) {
    const scene::SceneBatch batch(options.scenes, options.recursive);
    Session session(options.module.empty() ? defaultModulePath() : options.module);
    BlockChecker checker(session);
    Output output(options.output, batchInputs(batch.files(), options.module));
    Output& out = output;
    std::size_t items = 0, findings = 0, noShake = 0, errors = 0;

    if (options.json) {
        out.put("{\"scenes\": [");
    }
    batch.visit(
        [&out] { out.flush(); },
        [&](std::size_t f, const std::string& path) {
            std::size_t listed = 0;
            if (options.json) {
                out.print("%s\n  {\"path\": %s, \"items\": [", f == 0 ? "" : ",",
                          json(ascii(path)).dump().c_str());
            } else {
                out.print("%s%s\n", f == 0 ? "" : "\n", path.c_str());
            }
            const SceneCheck scene = checkScene(
                path, options.pick, std::nullopt, std::nullopt, checker,
                [&](const BlockReport& report) {
                    const std::size_t count = static_cast<std::size_t>(report.errors) +
                                              static_cast<std::size_t>(report.warnings);
                    ++items;
                    findings += count;
                    const std::string name = scene::blockName(report.block);
                    if (options.json) {
                        const json item = {
                            {"item", report.block.item ? json(ascii(name)) : json(nullptr)},
                            {"kind", report.block.item
                                         ? json(scene::itemKindName(report.block.item->kind))
                                         : json(nullptr)},
                            {"block", report.block.number},
                            {"line", report.block.whole.firstLine},
                            {"keys", report.keys},
                            {"moves",
                             [&] {
                                 json runs = json::array();
                                 for (const FrameSpan& run : report.moves) {
                                     runs.push_back({{"first", run.first}, {"last", run.last}});
                                 }
                                 return runs;
                             }()},
                            {"findings", count}};
                        out.print("%s\n    %s", listed == 0 ? "" : ",", item.dump().c_str());
                    } else {
                        out.print("  %-24s %-8s  frames %-20s %s\n", name.c_str(),
                                  plural(report.keys, "key", "keys").c_str(),
                                  runsText(report.moves).c_str(),
                                  plural(count, "finding", "findings").c_str());
                    }
                    ++listed;
                });
            const std::optional<SceneTiming>& timing = scene.timing;
            const std::string& error = scene.error;
            if (error.empty()) {
                // Header values check would warn about count as findings.
                for (const Finding& finding : scene.findings) {
                    findings += finding.severity != Severity::Note;
                }
            }
            noShake += scene.noShake;
            errors += !error.empty();
            if (options.json) {
                out.print(
                    "%s], \"fps\": %s, \"frames\": %s, \"note\": %s, \"error\": %s}",
                    listed == 0 ? "" : "\n  ", timing ? json(timing->fps).dump().c_str() : "null",
                    timing && timing->frames
                        ? json({{"first", timing->frames->first}, {"last", timing->frames->last}})
                              .dump()
                              .c_str()
                        : "null",
                    scene.noShake ? "\"no shake\"" : "null",
                    error.empty() ? "null" : json(ascii(error)).dump().c_str());
            } else {
                if (timing && error.empty()) {
                    out.print("  (%s)\n", timingText(*timing).c_str());
                }
                if (scene.noShake) {
                    out.print("  note: no shake (no VRIM_S key block)\n");
                }
                if (!error.empty()) {
                    out.print("  error: %s\n", error.c_str());
                }
            }
            return error;
        });
    const int status = errors > 0 ? kExitError : findings > 0 ? kExitWarnings : kExitClean;
    if (options.json) {
        out.print("\n], \"items\": %zu, \"findings\": %zu, \"scenesWithoutShake\": %zu, "
                  "\"errors\": %zu, \"status\": %d}\n",
                  items, findings, noShake, errors, status);
    } else {
        out.print("\n%s with a shake in %s%s: %s%s\n", plural(items, "item", "items").c_str(),
                  plural(batch.files().size(), "scene", "scenes").c_str(),
                  noShake == 0 ? ""
                               : (" (" + std::to_string(noShake) + " without a shake)").c_str(),
                  plural(findings, "finding", "findings").c_str(),
                  errors == 0 ? "" : (", " + plural(errors, "error", "errors")).c_str());
    }
    output.finish();
    return status;
}

} // namespace

Command addLsCommand(CLI::App& tool) {
    auto options = std::make_shared<BatchOptions>();
    CLI::App* command = tool.add_subcommand(
        "ls", "List the items with a shake in each scene: keys, frames they move, findings");
    command->footer("Frames are the scene's, at its own frame rate (FramesPerSecond).\n"
                    "Exit status: 0 clean, 1 when check has findings, 2 errors.\n"
                    "Examples:\n"
                    "  vrim ls samples/two-items.lws\n"
                    "  vrim ls shots/ --recursive --json");
    addBatchOptions(*command, *options, false);
    addWriteOptions(*command);
    return {command, [options] { return runLs(*options); }};
}

} // namespace vrim
