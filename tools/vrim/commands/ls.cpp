// vrim ls: one line per item with a shake in each scene: its name, its keys,
// the frames on which it moves the item at the scene's rate, and how many
// findings check has for it.
#include "tools/vrim/commands/commands.h"
#include "tools/vrim/commands/machine.h"
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

// The text and blanks to width characters (UTF-8: bytes that start one).
std::string padded(std::string text, std::size_t width) {
    std::size_t characters = 0;
    for (const char c : text) {
        characters += (static_cast<unsigned char>(c) & 0xc0) != 0x80;
    }
    return text + std::string(characters < width ? width - characters : 0, ' ');
}

json itemJson(const BlockReport& report) {
    const scene::Block& block = report.block;
    json runs = json::array();
    for (const FrameSpan& run : report.moves) {
        runs.push_back({{"first", run.first}, {"last", run.last}});
    }
    return {{"item", block.address},
            {"name", block.item ? json(block.item->name) : json(nullptr)},
            {"kind", block.item ? json(scene::itemKindName(block.item->kind)) : json(nullptr)},
            {"block", block.number},
            {"line", block.whole.firstLine},
            {"keys", report.keys},
            {"moves", runs},
            {"findings", report.errors + report.warnings},
            {"errors", report.errors},
            {"warnings", report.warnings}};
}

int runLs(const BatchOptions& options) {
    const scene::SceneBatch batch(options.scenes, options.recursive);
    Session session(options.module.empty() ? defaultModulePath() : options.module);
    BlockChecker checker(session);
    Output output(options.output, batchInputs(batch.files(), options.module));
    Output& out = output;
    // The same counts as check's: its findings of the blocks and of the
    // scenes, errors among them.
    std::size_t items = 0, noShake = 0, missing = 0;
    int errors = 0, warnings = 0;
    // Over many scenes, one without the --item or --block asked for is a
    // note; only when no scene has it is that an error.
    const bool picking = !options.blocks().everyBlock();
    const std::size_t scenes = batch.files().size();
    const bool many = scenes > 1;

    if (options.json) {
        std::string head = jsonText(jsonDocument("ls"));
        head.pop_back(); // its members continue
        out.print("%s, \"scenes\": [", head.c_str());
    }
    batch.visit([&out] { out.flush(); },
                [&](std::size_t f, const std::string& path) {
                    std::size_t listed = 0;
                    if (options.json) {
                        out.print("%s\n  {\"path\": %s, \"items\": [", f == 0 ? "" : ",",
                                  jsonText(path).c_str());
                    } else {
                        out.print("%s%s\n", f == 0 ? "" : "\n", shown(path).c_str());
                    }
                    const SceneCheck scene = checkScene(
                        path, options.blocks(), std::nullopt, std::nullopt, checker,
                        [&](const BlockReport& report) {
                            const std::size_t count = static_cast<std::size_t>(report.errors) +
                                                      static_cast<std::size_t>(report.warnings);
                            ++items;
                            if (options.json) {
                                out.print("%s\n    %s", listed == 0 ? "" : ",",
                                          jsonText(itemJson(report)).c_str());
                            } else {
                                out.print("  %s %-8s  frames %-20s %s\n",
                                          padded(shown(report.block.address), 24).c_str(),
                                          plural(report.keys, "key", "keys").c_str(),
                                          runsText(report.moves).c_str(),
                                          plural(count, "finding", "findings").c_str());
                            }
                            ++listed;
                        });
                    const std::optional<SceneTiming>& timing = scene.timing;
                    const bool absent = many && scene.missing;
                    missing += absent;
                    const std::string error = absent ? std::string() : scene.error;
                    const std::string note = absent          ? scene.error
                                             : scene.noShake ? std::string("no shake")
                                                             : std::string();
                    const int sceneErrors = scene.errors - (absent ? 1 : 0);
                    errors += sceneErrors;
                    warnings += scene.warnings;
                    noShake += scene.noShake;
                    if (options.json) {
                        json sceneFindings = json::array();
                        for (const Finding& finding : scene.findings) {
                            if (!absent || finding.severity != Severity::Error) {
                                sceneFindings.push_back(findingJson(finding));
                            }
                        }
                        const json rest = {{"fps", timing ? json(timing->fps) : json(nullptr)},
                                           {"frames", timing && timing->frames
                                                          ? json({{"first", timing->frames->first},
                                                                  {"last", timing->frames->last}})
                                                          : json(nullptr)},
                                           {"note", note.empty() ? json(nullptr) : json(note)},
                                           {"error", error.empty() ? json(nullptr) : json(error)},
                                           {"findings", sceneFindings},
                                           {"errors", sceneErrors},
                                           {"warnings", scene.warnings}};
                        std::string text = jsonText(rest);
                        text.erase(0, 1);
                        out.print("%s], %s", listed == 0 ? "" : "\n  ", text.c_str());
                    } else {
                        if (timing && error.empty()) {
                            out.print("  (%s)\n", timingText(*timing).c_str());
                        }
                        if (scene.noShake) {
                            out.print("  note: no shake (no VRIM_S key block)\n");
                        }
                        if (absent) {
                            out.print("  note: %s\n", shown(note).c_str());
                        }
                    }
                    // Once, on standard error; the JSON document holds it as well.
                    return error;
                });
    std::string none;
    if (picking && many && missing == scenes) {
        none = options.item.empty()
                   ? "--block " + std::to_string(options.block) + ": no scene holds that block"
                   : "--item '" + options.item +
                         "': no scene has an item of that name with a shake";
        ++errors;
        out.flush();
        std::fprintf(stderr, "vrim: %s\n", shown(none).c_str());
    }
    const int status = statusOf(errors, warnings);
    const std::size_t findings =
        static_cast<std::size_t>(errors) + static_cast<std::size_t>(warnings);
    if (options.json) {
        const json summary = {{"items", items},
                              {"findings", findings},
                              {"scenesWithoutShake", noShake},
                              {"errors", errors},
                              {"warnings", warnings},
                              {"error", none.empty() ? json(nullptr) : json(none)},
                              {"status", status}};
        std::string text = jsonText(summary);
        text.erase(0, 1);
        out.print("\n], %s\n", text.c_str());
    } else {
        out.print(
            "\n%s with a shake in %s%s: %s%s\n", plural(items, "item", "items").c_str(),
            plural(scenes, "scene", "scenes").c_str(),
            noShake == 0 ? "" : (" (" + std::to_string(noShake) + " without a shake)").c_str(),
            plural(findings, "finding", "findings").c_str(),
            errors == 0
                ? ""
                : (", " + plural(static_cast<std::size_t>(errors), "error", "errors")).c_str());
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
