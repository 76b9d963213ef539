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

struct LsOptions : BatchOptions {
    bool print0 = false; // only the addresses, each ended by a NUL byte
};

// The counts of a whole run: check's counts of findings of the blocks and
// of the scenes, errors among them.
struct LsTotals {
    std::size_t items = 0, noShake = 0, missing = 0;
    int errors = 0, warnings = 0;
};

// One scene's listing, text or a member of the JSON document's "scenes".
class SceneListing {
  public:
    SceneListing(Output& out, const LsOptions& options, LsTotals& totals, bool many)
        : out_(out), options_(options), totals_(totals), many_(many) {}

    // Lists the scene; returns why it could not be read whole (empty: it was).
    std::string list(std::size_t index, const std::string& path, BlockChecker& checker) {
        listed_ = 0;
        if (options_.json) {
            out_.print("%s\n  {\"path\": %s, \"items\": [", index == 0 ? "" : ",",
                       jsonText(path).c_str());
        } else {
            out_.print("%s%s\n", index == 0 ? "" : "\n", terminalText(path).c_str());
        }
        const SceneCheck scene =
            checkScene(path, options_.blocks(), std::nullopt, std::nullopt, checker,
                       [this](const BlockReport& report) { item(report); });
        return finish(scene);
    }

  private:
    void item(const BlockReport& report) {
        ++totals_.items;
        if (options_.json) {
            out_.print("%s\n    %s", listed_ == 0 ? "" : ",", jsonText(itemJson(report)).c_str());
        } else {
            const std::size_t count =
                static_cast<std::size_t>(report.errors) + static_cast<std::size_t>(report.warnings);
            out_.print("  %s %-8s  frames %-20s %s\n",
                       padded(terminalText(report.block.address), 24).c_str(),
                       plural(report.keys, "key", "keys").c_str(), runsText(report.moves).c_str(),
                       plural(count, "finding", "findings").c_str());
        }
        ++listed_;
    }

    std::string finish(const SceneCheck& scene) {
        // Over many scenes, one without the --item or --block asked for is a
        // note; only when no scene has it is that an error.
        const bool absent = many_ && scene.missing;
        totals_.missing += absent;
        const std::string error = absent ? std::string() : scene.error;
        const std::string note = absent          ? scene.error
                                 : scene.noShake ? std::string("no shake")
                                                 : std::string();
        const int errors = scene.errors - (absent ? 1 : 0);
        totals_.errors += errors;
        totals_.warnings += scene.warnings;
        totals_.noShake += scene.noShake;
        if (options_.json) {
            sceneTailJson(scene, absent, note, error, errors);
        } else {
            sceneTailText(scene, absent, note, error);
        }
        // Once, on standard error; the JSON document holds it as well.
        return error;
    }

    void sceneTailJson(const SceneCheck& scene, bool absent, const std::string& note,
                       const std::string& error, int errors) {
        const std::optional<SceneTiming>& timing = scene.timing;
        json findings = json::array();
        for (const Finding& finding : scene.findings) {
            if (!absent || finding.severity != Severity::Error) {
                findings.push_back(findingJson(finding));
            }
        }
        const json rest = {{"fps", timing ? json(timing->fps) : json(nullptr)},
                           {"frames", timing && timing->frames
                                          ? json({{"first", timing->frames->first},
                                                  {"last", timing->frames->last}})
                                          : json(nullptr)},
                           {"note", note.empty() ? json(nullptr) : json(note)},
                           {"error", error.empty() ? json(nullptr) : json(error)},
                           {"findings", findings},
                           {"errors", errors},
                           {"warnings", scene.warnings}};
        std::string text = jsonText(rest);
        text.erase(0, 1);
        out_.print("%s], %s", listed_ == 0 ? "" : "\n  ", text.c_str());
    }

    void sceneTailText(const SceneCheck& scene, bool absent, const std::string& note,
                       const std::string& error) {
        if (scene.timing && error.empty()) {
            out_.print("  (%s)\n", timingText(*scene.timing).c_str());
        }
        if (scene.noShake) {
            out_.print("  note: no shake (no VRIM_S key block)\n");
        }
        if (absent) {
            out_.print("  note: %s\n", terminalText(note).c_str());
        }
    }

    Output& out_;
    const LsOptions& options_;
    LsTotals& totals_;
    const bool many_;
    std::size_t listed_ = 0;
};

// The run's last lines: the counts, and an error when no scene of many had
// the --item or --block asked for.
int summarize(Output& out, const LsOptions& options, LsTotals& totals, std::size_t scenes) {
    const bool picking = !options.blocks().everyBlock();
    std::string none;
    if (picking && scenes > 1 && totals.missing == scenes) {
        none =
            options.item.empty()
                ? "--block " + std::to_string(options.block) + ": no scene holds that block"
                : "--item '" + options.item + "': no scene has an item of that name with a shake";
        ++totals.errors;
        out.flush();
        std::fprintf(stderr, "vrim: %s\n", terminalText(none).c_str());
    }
    const int status = statusOf(totals.errors, totals.warnings);
    const std::size_t findings =
        static_cast<std::size_t>(totals.errors) + static_cast<std::size_t>(totals.warnings);
    if (options.json) {
        const json summary = {{"items", totals.items},
                              {"findings", findings},
                              {"scenesWithoutShake", totals.noShake},
                              {"errors", totals.errors},
                              {"warnings", totals.warnings},
                              {"error", none.empty() ? json(nullptr) : json(none)},
                              {"status", status}};
        std::string text = jsonText(summary);
        text.erase(0, 1);
        out.print("\n], %s\n", text.c_str());
        return status;
    }
    const std::string without =
        totals.noShake == 0 ? "" : " (" + std::to_string(totals.noShake) + " without a shake)";
    const std::string errors =
        totals.errors == 0
            ? ""
            : ", " + plural(static_cast<std::size_t>(totals.errors), "error", "errors");
    out.print("\n%s with a shake in %s%s: %s%s\n", plural(totals.items, "item", "items").c_str(),
              plural(scenes, "scene", "scenes").c_str(), without.c_str(),
              plural(findings, "finding", "findings").c_str(), errors.c_str());
    return status;
}

// --print0: each block's address as --item takes it, ended by a NUL byte, for
// scripts and shell completion. Addresses hold no NUL (scene.h), so nothing
// needs parsing, and the blocks are only read, not checked.
int printAddresses(const scene::SceneBatch& batch, const LsOptions& options, Output& out) {
    const std::size_t failed =
        batch.visit([&out] { out.flush(); },
                    [&](std::size_t, const std::string& path) {
                        scene::Reader reader = scene::Reader::open(path);
                        reader.keepLinesOf([](const scene::Block&) { return false; });
                        scene::SceneVisit visit;
                        visit.block = [&out](const scene::Block& block, const scene::Header&) {
                            out.put(block.address);
                            out.put(std::string_view("\0", 1));
                        };
                        const scene::SceneOutcome outcome =
                            scene::visitScene(reader, options.blocks(), visit);
                        return outcome.error;
                    });
    out.finish();
    return failed == 0 ? kExitClean : kExitError;
}

int runLs(const LsOptions& options) {
    const scene::SceneBatch batch(options.scenes, options.recursive);
    requireScenes(batch, options.scenes, options.recursive);
    if (options.print0) {
        Output out(options.output, batchInputs(batch.files(), options.module));
        return printAddresses(batch, options, out);
    }
    Session session(options.module.empty() ? defaultModulePath() : options.module);
    BlockChecker checker(session);
    Output out(options.output, batchInputs(batch.files(), options.module));
    if (options.json) {
        std::string head = jsonText(jsonDocument("ls"));
        head.pop_back(); // its members continue
        out.print("%s, \"scenes\": [", head.c_str());
    }
    LsTotals totals;
    const std::size_t scenes = batch.files().size();
    SceneListing listing(out, options, totals, scenes > 1);
    batch.visit([&out] { out.flush(); },
                [&](std::size_t index, const std::string& path) {
                    return listing.list(index, path, checker);
                });
    const int status = summarize(out, options, totals, scenes);
    out.finish();
    return status;
}

} // namespace

Command addLsCommand(CLI::App& tool) {
    auto options = std::make_shared<LsOptions>();
    CLI::App* command = tool.add_subcommand(
        "ls", "List the items with a shake in each scene: keys, frames they move, findings");
    command->footer("Frames are the scene's, at its own frame rate (FramesPerSecond).\n"
                    "Exit status: 0 clean, 1 when check has findings, 2 errors.\n"
                    "Examples:\n"
                    "  vrim ls samples/two-items.lws\n"
                    "  vrim ls shots/ --recursive --json");
    addBatchOptions(*command, *options, false);
    command->add_flag("--print0", options->print0,
                      "Print only each item's address, as --item takes it, ended by a NUL byte "
                      "(for scripts and shell completion)");
    command->get_option("--print0")->excludes("--json");
    addWriteOptions(*command);
    return {command, [options] { return runLs(*options); }};
}

} // namespace vrim
