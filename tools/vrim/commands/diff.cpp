// vrim diff: what changed in the shakes between two versions of a scene, or
// of a folder of scenes, as the module reads and moves them. Exit 0 when
// nothing moves differently, 1 when the motion differs, 2 on an error, so
// that a publish hook can run "vrim diff old new || ...".
#include "text/numbers.h"
#include "tools/vrim/commands/commands.h"
#include "tools/vrim/commands/machine.h"
#include "tools/vrim/commands/options.h"
#include "tools/vrim/commands/output.h"
#include "tools/vrim/compare/compare.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <memory>

namespace vrim {

namespace {

using nlohmann::json;
static_assert(compare::kFormatVersion == kJsonFormatVersion);

struct DiffOptions {
    std::vector<std::string> scenes; // OLD NEW
    std::string textconv;
    std::string tolerance = "1e-6";
    bool recursive = false;
    bool json = false;
    bool quiet = false;
    std::string module;
    std::string output;
};

constexpr const char* kArrow = " \u2192 ";

std::string itemText(const compare::ItemDiff& item) {
    std::string text;
    switch (item.change) {
    case compare::Change::Added:
    case compare::Change::Removed:
        text = item.address + ": " + compare::changeName(item.change) + ", " +
               plural(item.change == compare::Change::Added ? item.newKeys : item.oldKeys, "key",
                      "keys");
        return text + "; " + compare::motionText(item.motion);
    case compare::Change::Renamed:
        text = item.oldAddress + kArrow + item.address + ": renamed";
        break;
    case compare::Change::Changed:
        text = item.address + ":";
        break;
    }
    if (item.keys.empty()) {
        text += item.change == compare::Change::Renamed ? ", keys the same" : " keys the same";
    }
    for (std::size_t k = 0; k < item.keys.size(); ++k) {
        text += (k == 0 && item.change == compare::Change::Changed ? " " : "; ") +
                compare::keyChangeText(item.keys[k]);
    }
    return text + "; " + compare::motionText(item.motion);
}

double parseTolerance(const std::string& text) {
    const text::Reading<double> reading = text::readReal(text);
    if (!reading || reading.value < 0.0) {
        throw ToolError("--tolerance must be a number of 0 or more, not '" + text + "'" +
                        (reading ? "" : text::aside(reading.refusal)));
    }
    return reading.value;
}

int runTextconv(const DiffOptions& options) {
    Session session(options.module.empty() ? defaultModulePath() : options.module);
    Output output(options.output, batchInputs({options.textconv}, options.module));
    compare::shakeLines(session, options.textconv,
                        [&output](const std::string& line) { output.print("%s\n", line.c_str()); });
    output.finish();
    return kExitClean;
}

struct Run {
    Output& out;
    const DiffOptions& options;
    compare::SceneTotals all;
    std::size_t scenes = 0, errors = 0, printedScenes = 0;
};

// The start of a pair: its JSON object's names, or a scene added or removed.
void pairStart(Run& run, const compare::ScenePair& pair, const std::string& prefix) {
    if (run.options.json) {
        const json scene = {{"path", pair.relative.empty() ? json(nullptr) : json(pair.relative)},
                            {"old", pair.oldPath.empty() ? json(nullptr) : json(pair.oldPath)},
                            {"new", pair.newPath.empty() ? json(nullptr) : json(pair.newPath)}};
        std::string head = jsonText(scene);
        head.pop_back();
        run.out.print("%s\n  %s, ", run.scenes == 0 ? "" : ",", head.c_str());
    } else if (!run.options.quiet && (pair.oldPath.empty() || pair.newPath.empty())) {
        run.out.print("%sscene %s\n", prefix.c_str(), pair.oldPath.empty() ? "added" : "removed");
    }
    ++run.scenes;
}

// The changes of the scene's header, a line each, or the JSON list that
// opens the pair's items.
void printHeader(Run& run, const std::string& prefix,
                 const std::vector<compare::HeaderChange>& changes) {
    json list = json::array();
    for (const compare::HeaderChange& change : changes) {
        list.push_back(compare::headerJson(change));
        if (!run.options.json && !run.options.quiet) {
            run.out.print("%s%s %s%s%s: %s\n", prefix.c_str(), change.what.c_str(),
                          change.before.c_str(), kArrow, change.after.c_str(),
                          change.effect.c_str());
        }
    }
    if (run.options.json) {
        run.out.print("\"header\": %s, \"items\": [", jsonText(list).c_str());
    }
}

// The end of the pair's JSON object: its totals and its error.
void pairEndJson(Run& run, const compare::SceneTotals& totals, std::size_t items,
                 const std::string& error) {
    std::string rest = jsonText(compare::totalsJson(totals));
    rest.erase(0, 1);
    rest.pop_back();
    run.out.print("%s], %s, \"error\": %s}", items == 0 ? "" : "\n  ", rest.c_str(),
                  error.empty() ? "null" : jsonText(error).c_str());
}

// One pair of scenes, its lines or its JSON object printed as found.
void diffPair(Session& session, Run& run, const compare::ScenePair& pair, double tolerance) {
    const std::string prefix = pair.relative.empty() ? "" : terminalText(pair.relative) + ": ";
    pairStart(run, pair, prefix);
    std::size_t items = 0;
    bool headerPrinted = false;
    compare::SceneListener listener;
    listener.header = [&](const std::vector<compare::HeaderChange>& changes) {
        printHeader(run, prefix, changes);
        headerPrinted = true;
    };
    listener.item = [&](const compare::ItemDiff& item) {
        if (run.options.json) {
            run.out.print("%s\n    %s", items == 0 ? "" : ",",
                          jsonText(compare::itemJson(item)).c_str());
        } else if (!run.options.quiet) {
            run.out.print("%s%s\n", prefix.c_str(), terminalText(itemText(item)).c_str());
        }
        ++items;
    };
    std::string error;
    compare::SceneTotals totals;
    try {
        totals = compare::compareScenes(session, pair.oldPath, pair.newPath, {tolerance}, listener);
    } catch (const ToolError& e) {
        error = e.what();
    }
    if (run.options.json) {
        if (!headerPrinted) { // a scene that could not be opened
            printHeader(run, prefix, {});
        }
        pairEndJson(run, totals, items, error);
    }
    if (!error.empty()) {
        ++run.errors;
        run.out.flush();
        std::fprintf(stderr, "vrim: %s\n", terminalText(error).c_str());
    }
    run.all += totals;
}

int runDiff(const DiffOptions& options) {
    if (!options.textconv.empty()) {
        return runTextconv(options);
    }
    if (options.scenes.size() != 2) {
        throw ToolError("diff takes two scenes or two folders: OLD NEW (or --textconv FILE)");
    }
    for (const std::string& path : options.scenes) {
        if (path == "-") {
            // The differing items are read a second time, which a stream cannot give.
            throw ToolError("diff reads each scene twice: give a file, not standard input");
        }
    }
    const double tolerance = parseTolerance(options.tolerance);
    const std::vector<compare::ScenePair> pairs =
        compare::pairsOf(options.scenes[0], options.scenes[1], options.recursive);
    Session session(options.module.empty() ? defaultModulePath() : options.module);
    Output output(options.output, batchInputs(options.scenes, options.module));
    Run run{output, options, {}};
    if (options.json) {
        json head = jsonDocument("diff");
        head["old"] = options.scenes[0];
        head["new"] = options.scenes[1];
        head["tolerance"] = tolerance;
        std::string text = jsonText(head);
        text.pop_back();
        output.print("%s, \"scenes\": [", text.c_str());
    }
    for (const compare::ScenePair& pair : pairs) {
        diffPair(session, run, pair, tolerance);
    }
    const int status = run.errors > 0    ? kExitError
                       : run.all.moves() ? kExitMotionDiffers
                                         : kExitClean;
    if (options.json) {
        std::string rest = jsonText(compare::totalsJson(run.all));
        rest.erase(0, 1);
        rest.pop_back();
        output.print("\n], %s, \"moves\": %s, \"errors\": %zu, \"status\": %d}\n", rest.c_str(),
                     run.all.moves() ? "true" : "false", run.errors, status);
    } else if (!options.quiet) {
        const compare::SceneTotals& all = run.all;
        output.print(
            "%s%zu changed, %zu added, %zu removed, %zu renamed, %zu unchanged: %s\n",
            pairs.size() > 1 ? (plural(pairs.size(), "scene", "scenes") + "; ").c_str() : "",
            all.changed, all.added, all.removed, all.renamed, all.unchanged,
            run.errors > 0
                ? (plural(run.errors, "scene", "scenes") + " could not be compared").c_str()
            : all.moves() ? "the motion differs"
                          : "no motion differs");
    }
    output.finish();
    return status;
}

} // namespace

Command addDiffCommand(CLI::App& tool) {
    auto options = std::make_shared<DiffOptions>();
    CLI::App* command = tool.add_subcommand(
        "diff", "Compare the shakes of two versions of a scene, or of two folders of scenes, "
                "key by key and frame by frame");
    CLI::Option* scenes =
        command
            ->add_option("scenes", options->scenes, "OLD and NEW: two scene files or two folders")
            ->type_name("OLD NEW")
            ->expected(0, 2);
    command
        ->add_option("--textconv", options->textconv,
                     "Print the scene's shakes as stable lines, one key a line (git's textconv)")
        ->type_name("FILE")
        ->excludes(scenes);
    command
        ->add_option("--tolerance", options->tolerance,
                     "Offsets closer than this count as the same motion")
        ->default_str("1e-6")
        ->type_name("UNITS");
    command->add_flag("-r,--recursive", options->recursive,
                      "Pair the scenes of the folders below the two folders too");
    command->add_flag("--json", options->json, "The same report as JSON, for machines");
    command->add_flag("-q,--quiet", options->quiet, "Print nothing; only the exit status tells");
    addOutputOption(*command, options->output);
    addModuleOption(*command, options->module);
    command->footer("Exit status: 0 when nothing moves differently, 1 when the motion differs, "
                    "2 on an error.\n"
                    "Examples:\n"
                    "  vrim diff shot_v011.lws shot_v012.lws\n"
                    "  vrim diff last_week/ this_week/ --recursive --json -o diff.json\n"
                    "  vrim diff --textconv shot.lws");
    return {command, [options] { return runDiff(*options); }};
}

} // namespace vrim
