// vrim show: each key block's keys as the key editor lists them, with every
// value of each key.
#include "tools/vrim/commands/commands.h"
#include "tools/vrim/commands/options.h"
#include "tools/vrim/commands/output.h"
#include "tools/vrim/module/analysis.h"
#include "tools/vrim/scene/batch.h"
#include "tools/vrim/scene/reader_choice.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>

namespace vrim {

namespace {

// A key's values, taken before the key editor had the instance.
std::string keyValues(const ShakeKey& key) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "start %d, end %d, fall-off %s, width X %g Y %g Z %g, frequency time %g s",
                  key.startFrame, key.endFrame, key.fallOff != 0 ? "on" : "off", key.widthX,
                  key.widthY, key.widthZ, key.freqTime);
    return text;
}

int runShow(const BatchOptions& options) {
    const scene::SceneBatch batch(options.scenes, options.recursive);
    Session session(options.module.empty() ? defaultModulePath() : options.module);
    Output output(options.output, batchInputs(batch.files(), options.module));
    Output& out = output;
    // One instance for every block: each load replaces its keys.
    ShakeInstance* instance = session.newInstance();
    std::size_t blocks = 0, noShake = 0;
    const std::size_t errors = batch.visit(
        [&out] { out.flush(); },
        [&](std::size_t, const std::string& path) {
            scene::Reader reader = scene::Reader::open(path);
            scene::SceneVisit visit;
            visit.block = [&](const scene::Block& block, const scene::Header&) {
                session.load(instance, block.lines);
                std::vector<std::string> values;
                for (const ShakeKey* key : keysOf(*instance)) {
                    values.push_back(keyValues(*key));
                }
                const int code = session.openKeyEditor(instance);
                if (code != 0) {
                    throw ToolError("the module's key editor did not open (activation code " +
                                    std::to_string(code) + ")");
                }
                out.print("%s%s: %zu %s\n", blocks == 0 ? "" : "\n",
                          scene::blockPlace(reader.name(), block).c_str(), values.size(),
                          values.size() == 1 ? "key" : "keys");
                const KeyListText& list = instance->listText;
                for (std::size_t k = 0; k < values.size(); ++k) {
                    // The list has room for a limited number of lines; keys
                    // past it have none.
                    const bool listed = static_cast<int32_t>(k) < list.lineCount;
                    out.print("%4zu  %s\n      %s\n", k + 1,
                              listed ? list.lines[k] : "(not in the list)", values[k].c_str());
                }
                ++blocks;
            };
            const scene::SceneOutcome outcome = scene::visitScene(reader, options.pick, visit);
            if (outcome.noShake) {
                ++noShake;
                out.print("%s%s: no shake (no VRIM_S key block)\n", blocks == 0 ? "" : "\n",
                          path.c_str());
            }
            return outcome.error;
        });
    const std::vector<std::string>& paths = batch.files();
    if (paths.size() > 1) {
        out.print("\n%zu %s in %zu %s%s\n", blocks, blocks == 1 ? "block" : "blocks", paths.size(),
                  paths.size() == 1 ? "scene" : "scenes",
                  noShake == 0 ? ""
                               : (" (" + std::to_string(noShake) + " without a shake)").c_str());
    }
    output.finish();
    return errors > 0 ? kExitError : kExitClean;
}

} // namespace

Command addShowCommand(CLI::App& tool) {
    auto options = std::make_shared<BatchOptions>();
    CLI::App* command = tool.add_subcommand(
        "show", "List each key block's keys as the module's key editor lists them, with their "
                "values");
    command->footer("Examples:\n"
                    "  vrim show samples/two-items.lws --item Lamp_Swing\n"
                    "  vrim show shots/ -o keys.txt");
    addBatchOptions(*command, *options, false);
    command->remove_option(command->get_option("--json"));
    addWriteOptions(*command);
    return {command, [options] { return runShow(*options); }};
}

} // namespace vrim
