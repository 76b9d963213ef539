// vrim check: loads every key block of every scene through the module and
// reports what would surprise an animator: blocks the module reads
// differently from how they look, numbers it takes otherwise than written,
// and keys that never, partly or wrongly act at the scene's rate and range.
// The report streams: each block is printed once checked, and nothing of a
// scene is held past its block.
#include "tools/vrim/commands/commands.h"
#include "tools/vrim/commands/machine.h"
#include "tools/vrim/commands/options.h"
#include "tools/vrim/commands/output.h"
#include "tools/vrim/scene/batch.h"
#include "tools/vrim/scene/findings.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <memory>

namespace vrim {

namespace {

using nlohmann::json;

struct Totals {
    std::size_t files = 0, blocks = 0, keys = 0, noShake = 0;
    int errors = 0, warnings = 0;
};

json runsJson(const std::vector<FrameSpan>& runs) {
    json value = json::array();
    for (const FrameSpan& run : runs) {
        value.push_back({{"first", run.first}, {"last", run.last}});
    }
    return value;
}

json blockJson(const BlockReport& report) {
    const scene::Block& block = report.block;
    return {{"block", block.number},
            {"item", block.address},
            {"name", block.item ? json(block.item->name) : json(nullptr)},
            {"itemKind", block.item ? json(scene::itemKindName(block.item->kind)) : json(nullptr)},
            {"firstLine", block.whole.firstLine},
            {"lastLine", block.whole.lastLine},
            {"ended", block.ended},
            {"keys", report.keys},
            {"keyNum", report.keyNum ? json(*report.keyNum) : json(nullptr)},
            {"moves", runsJson(report.moves)},
            {"findings", [&] {
                 json findings = json::array();
                 for (const Finding& finding : report.findings) {
                     findings.push_back(findingJson(finding));
                 }
                 return findings;
             }()}};
}

int runCheck(const BatchOptions& options) {
    std::optional<FrameRange> frames;
    if (!options.frames.empty()) {
        frames = parseFrameRange(options.frames, "--frames");
    }
    const scene::SceneBatch batch(options.scenes, options.recursive);
    requireScenes(batch, options.scenes, options.recursive);
    Session session(options.module.empty() ? defaultModulePath() : options.module);
    BlockChecker checker(session);
    Output output(options.output, batchInputs(batch.files(), options.module));
    Output& out = output;
    Totals totals;

    if (options.json) {
        std::string head = jsonText(jsonDocument("check"));
        head.pop_back(); // its members continue
        out.print("%s, \"files\": [", head.c_str());
    }
    batch.visit(
        [&out] { out.flush(); },
        [&](std::size_t f, const std::string& path) {
            ++totals.files;
            std::size_t printed = 0;
            if (options.json) {
                out.print("%s\n  {\"path\": %s, \"blocks\": [", f == 0 ? "" : ",",
                          jsonText(path).c_str());
            }
            const SceneCheck scene = checkScene(
                path, options.blocks(), options.fps.given(), frames, checker,
                [&](const BlockReport& report) {
                    if (options.json) {
                        out.print("%s\n    %s", printed == 0 ? "" : ",",
                                  jsonText(blockJson(report)).c_str());
                    } else {
                        out.print("%s:%llu: %s (block %zu, lines %llu-%llu): %s\n",
                                  terminalText(path).c_str(),
                                  static_cast<unsigned long long>(report.block.whole.firstLine),
                                  terminalText(report.block.address).c_str(), report.block.number,
                                  static_cast<unsigned long long>(report.block.whole.firstLine),
                                  static_cast<unsigned long long>(report.block.whole.lastLine),
                                  plural(report.keys, "key", "keys").c_str());
                        for (const Finding& finding : report.findings) {
                            out.print("%s:%llu: %s: %s\n", terminalText(path).c_str(),
                                      static_cast<unsigned long long>(finding.line),
                                      severityName(finding.severity),
                                      terminalText(finding.message).c_str());
                        }
                    }
                    ++printed;
                });
            totals.blocks += scene.blocks;
            totals.keys += scene.keys;
            totals.errors += scene.errors;
            totals.warnings += scene.warnings;
            totals.noShake += scene.noShake;
            if (options.json) {
                json notes = json::array();
                for (const Finding& finding : scene.findings) {
                    notes.push_back(findingJson(finding));
                }
                out.print("%s], \"findings\": %s}", printed == 0 ? "" : "\n  ",
                          jsonText(notes).c_str());
            } else {
                for (const Finding& finding : scene.findings) {
                    if (!scene.error.empty() && finding.severity == Severity::Error) {
                        continue; // what stopped the scene, said on standard error
                    }
                    out.print("%s%s %s: %s\n", terminalText(path).c_str(),
                              finding.line != 0 ? (":" + std::to_string(finding.line) + ":").c_str()
                                                : ":",
                              severityName(finding.severity),
                              terminalText(finding.message).c_str());
                }
            }
            // Once, on standard error: the text report leaves it out, the
            // JSON document holds it among the scene's findings.
            return scene.error;
        });
    const int status = statusOf(totals.errors, totals.warnings);
    if (options.json) {
        const json summary = {{"scenes", totals.files},  {"blocks", totals.blocks},
                              {"keys", totals.keys},     {"scenesWithoutShake", totals.noShake},
                              {"errors", totals.errors}, {"warnings", totals.warnings},
                              {"status", status}};
        std::string text = jsonText(summary);
        text.erase(0, 1); // its members continue the outer object
        out.print("\n],\n%s\n", text.c_str());
    } else {
        out.print(
            "%s, %s, %s%s: %s, %s\n", plural(totals.files, "file", "files").c_str(),
            plural(totals.blocks, "block", "blocks").c_str(),
            plural(totals.keys, "key", "keys").c_str(),
            totals.noShake == 0
                ? ""
                : (" (" + plural(totals.noShake, "scene", "scenes") + " without a shake)").c_str(),
            plural(static_cast<std::size_t>(totals.errors), "error", "errors").c_str(),
            plural(static_cast<std::size_t>(totals.warnings), "warning", "warnings").c_str());
    }
    output.finish();
    return status;
}

} // namespace

Command addCheckCommand(CLI::App& tool) {
    auto options = std::make_shared<BatchOptions>();
    CLI::App* command = tool.add_subcommand(
        "check", "Report how the module reads every key block of the scene files");
    command->footer("The frame rate and range are the scene's (FramesPerSecond, FirstFrame,\n"
                    "LastFrame); --fps and --frames override them.\n"
                    "Exit status: 0 clean, 1 warnings, 2 errors.\n"
                    "Examples:\n"
                    "  vrim check samples/two-items.lws --item Lamp_Swing\n"
                    "  vrim check shots/ --recursive --json -o report.json");
    addBatchOptions(*command, *options, true);
    addWriteOptions(*command);
    return {command, [options] { return runCheck(*options); }};
}

} // namespace vrim
