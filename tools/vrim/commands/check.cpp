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

// One run of check over a batch of scenes, a block printed as soon as it
// is checked.
class CheckRun {
  public:
    CheckRun(const BatchOptions& options, const scene::SceneBatch& batch,
             std::optional<FrameRange> frames)
        : options_(options), frames_(frames),
          session_(options.module.empty() ? defaultModulePath() : options.module),
          checker_(session_), output_(options.output, batchInputs(batch.files(), options.module)) {}

    void begin() {
        if (options_.json) {
            std::string head = jsonText(jsonDocument("check"));
            head.pop_back(); // its members continue
            output_.print("%s, \"files\": [", head.c_str());
        }
    }

    void flush() { output_.flush(); }

    // Checks scene number f; returns what stopped it, if anything: once, on
    // standard error, as the text report leaves it out and the JSON document
    // holds it among the scene's findings.
    std::string scene(std::size_t f, const std::string& path) {
        ++totals_.files;
        printed_ = 0;
        if (options_.json) {
            output_.print("%s\n  {\"path\": %s, \"blocks\": [", f == 0 ? "" : ",",
                          jsonText(path).c_str());
        }
        const SceneCheck scene =
            checkScene(path, options_.blocks(), options_.fps.given(), frames_, checker_,
                       [&](const BlockReport& report) { block(path, report); });
        totals_.blocks += scene.blocks;
        totals_.keys += scene.keys;
        totals_.errors += scene.errors;
        totals_.warnings += scene.warnings;
        totals_.noShake += scene.noShake;
        sceneFindings(path, scene);
        return scene.error;
    }

    int finish() {
        const int status = statusOf(totals_.errors, totals_.warnings);
        if (options_.json) {
            summaryJson(status);
        } else {
            summaryText();
        }
        output_.finish();
        return status;
    }

  private:
    void block(const std::string& path, const BlockReport& report) {
        if (options_.json) {
            output_.print("%s\n    %s", printed_ == 0 ? "" : ",",
                          jsonText(blockJson(report)).c_str());
            ++printed_;
            return;
        }
        const scene::Block& block = report.block;
        output_.print("%s:%llu: %s (block %zu, lines %llu-%llu): %s\n", terminalText(path).c_str(),
                      static_cast<unsigned long long>(block.whole.firstLine),
                      terminalText(block.address).c_str(), block.number,
                      static_cast<unsigned long long>(block.whole.firstLine),
                      static_cast<unsigned long long>(block.whole.lastLine),
                      plural(report.keys, "key", "keys").c_str());
        for (const Finding& finding : report.findings) {
            output_.print("%s:%llu: %s: %s\n", terminalText(path).c_str(),
                          static_cast<unsigned long long>(finding.line),
                          severityName(finding.severity), terminalText(finding.message).c_str());
        }
        ++printed_;
    }

    // The findings of the scene as a whole, after its blocks.
    void sceneFindings(const std::string& path, const SceneCheck& scene) {
        if (options_.json) {
            json notes = json::array();
            for (const Finding& finding : scene.findings) {
                notes.push_back(findingJson(finding));
            }
            output_.print("%s], \"findings\": %s}", printed_ == 0 ? "" : "\n  ",
                          jsonText(notes).c_str());
            return;
        }
        for (const Finding& finding : scene.findings) {
            if (!scene.error.empty() && finding.severity == Severity::Error) {
                continue; // what stopped the scene, said on standard error
            }
            output_.print("%s%s %s: %s\n", terminalText(path).c_str(),
                          finding.line != 0 ? (":" + std::to_string(finding.line) + ":").c_str()
                                            : ":",
                          severityName(finding.severity), terminalText(finding.message).c_str());
        }
    }

    void summaryJson(int status) {
        const json summary = {{"scenes", totals_.files},  {"blocks", totals_.blocks},
                              {"keys", totals_.keys},     {"scenesWithoutShake", totals_.noShake},
                              {"errors", totals_.errors}, {"warnings", totals_.warnings},
                              {"status", status}};
        std::string text = jsonText(summary);
        text.erase(0, 1); // its members continue the outer object
        output_.print("\n],\n%s\n", text.c_str());
    }

    void summaryText() {
        output_.print(
            "%s, %s, %s%s: %s, %s\n", plural(totals_.files, "file", "files").c_str(),
            plural(totals_.blocks, "block", "blocks").c_str(),
            plural(totals_.keys, "key", "keys").c_str(),
            totals_.noShake == 0
                ? ""
                : (" (" + plural(totals_.noShake, "scene", "scenes") + " without a shake)").c_str(),
            plural(static_cast<std::size_t>(totals_.errors), "error", "errors").c_str(),
            plural(static_cast<std::size_t>(totals_.warnings), "warning", "warnings").c_str());
    }

    const BatchOptions& options_;
    const std::optional<FrameRange> frames_;
    Session session_;
    BlockChecker checker_;
    Output output_;
    Totals totals_;
    std::size_t printed_ = 0;
};

int runCheck(const BatchOptions& options) {
    std::optional<FrameRange> frames;
    if (!options.frames.empty()) {
        frames = parseFrameRange(options.frames, "--frames");
    }
    const scene::SceneBatch batch(options.scenes, options.recursive);
    requireScenes(batch, options.scenes, options.recursive);
    CheckRun run(options, batch, frames);
    run.begin();
    batch.visit([&run] { run.flush(); },
                [&run](std::size_t f, const std::string& path) { return run.scene(f, path); });
    return run.finish();
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
