// vrim show: each key block's keys as the key editor lists them, with every
// value of each key.
#include "tools/vrim/commands/commands.h"
#include "tools/vrim/commands/machine.h"
#include "tools/vrim/commands/options.h"
#include "tools/vrim/commands/output.h"
#include "tools/vrim/module/analysis.h"
#include "tools/vrim/scene/batch.h"
#include "tools/vrim/scene/reader_choice.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

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

nlohmann::json keyJson(const ShakeKey& key, std::size_t number, const char* listed) {
    return {{"key", number},
            {"listed", listed != nullptr ? nlohmann::json(listed) : nlohmann::json(nullptr)},
            {"start", key.startFrame},
            {"end", key.endFrame},
            {"fallOff", key.fallOff != 0},
            {"widthX", key.widthX},
            {"widthY", key.widthY},
            {"widthZ", key.widthZ},
            {"frequencyTime", key.freqTime}};
}

int runShow(const BatchOptions& options) {
    const scene::SceneBatch batch(options.scenes, options.recursive);
    requireScenes(batch, options.scenes, options.recursive);
    Session session(options.module.empty() ? defaultModulePath() : options.module);
    Output output(options.output, batchInputs(batch.files(), options.module));
    Output& out = output;
    // One instance for every block: each load replaces its keys.
    ShakeInstance* instance = session.newInstance();
    std::size_t blocks = 0, noShake = 0;
    if (options.json) {
        std::string head = jsonText(jsonDocument("show"));
        head.pop_back(); // its members continue
        out.print("%s, \"scenes\": [", head.c_str());
    }
    const std::size_t errors = batch.visit(
        [&out] { out.flush(); },
        [&](std::size_t f, const std::string& path) {
            scene::SceneOutcome outcome;
            std::string error;
            std::size_t listed = 0;
            if (options.json) {
                out.print("%s\n  {\"path\": %s, \"blocks\": [", f == 0 ? "" : ",",
                          jsonText(path).c_str());
            }
            try {
                scene::Reader reader = scene::Reader::open(path);
                scene::SceneVisit visit;
                visit.block = [&](const scene::Block& block, const scene::Header&) {
                    session.load(instance, block.lines);
                    std::vector<std::string> values;
                    std::vector<ShakeKey> keys;
                    for (const ShakeKey* key : keysOf(*instance)) {
                        values.push_back(keyValues(*key));
                        keys.push_back(*key);
                    }
                    const int code = session.openKeyEditor(instance);
                    if (code != 0) {
                        throw ToolError("the module's key editor did not open (activation code " +
                                        std::to_string(code) + ")");
                    }
                    const KeyListText& list = instance->listText;
                    if (options.json) {
                        nlohmann::json keyList = nlohmann::json::array();
                        for (std::size_t k = 0; k < keys.size(); ++k) {
                            const bool inList = static_cast<int32_t>(k) < list.lineCount;
                            keyList.push_back(
                                keyJson(keys[k], k + 1, inList ? list.lines[k] : nullptr));
                        }
                        const nlohmann::json value = {
                            {"block", block.number},
                            {"item", block.address},
                            {"name", block.item ? nlohmann::json(block.item->name)
                                                : nlohmann::json(nullptr)},
                            {"firstLine", block.whole.firstLine},
                            {"lastLine", block.whole.lastLine},
                            {"keys", keyList}};
                        out.print("%s\n    %s", listed++ == 0 ? "" : ",", jsonText(value).c_str());
                        ++blocks;
                        return;
                    }
                    out.print("%s%s: %zu %s\n", blocks == 0 ? "" : "\n",
                              terminalText(scene::blockPlace(reader.name(), block)).c_str(),
                              values.size(), values.size() == 1 ? "key" : "keys");
                    for (std::size_t k = 0; k < values.size(); ++k) {
                        // The list has room for a limited number of lines; keys
                        // past it have none.
                        const bool inList = static_cast<int32_t>(k) < list.lineCount;
                        out.print("%4zu  %s\n      %s\n", k + 1,
                                  inList ? terminalText(list.lines[k]).c_str()
                                         : "(not in the list)",
                                  values[k].c_str());
                    }
                    ++blocks;
                };
                outcome = scene::visitScene(reader, options.blocks(), visit);
                error = outcome.error;
            } catch (const ToolError& e) {
                error = e.what();
            }
            noShake += outcome.noShake;
            if (options.json) {
                const nlohmann::json rest = {
                    {"note",
                     outcome.noShake ? nlohmann::json("no shake") : nlohmann::json(nullptr)},
                    {"error", error.empty() ? nlohmann::json(nullptr) : nlohmann::json(error)}};
                std::string text = jsonText(rest);
                text.erase(0, 1);
                out.print("%s], %s", listed == 0 ? "" : "\n  ", text.c_str());
            } else if (outcome.noShake) {
                out.print("%s%s: no shake (no VRIM_S key block)\n", blocks == 0 ? "" : "\n",
                          terminalText(path).c_str());
            }
            return error;
        });
    const std::vector<std::string>& paths = batch.files();
    if (options.json) {
        const nlohmann::json summary = {{"blocks", blocks},
                                        {"scenesWithoutShake", noShake},
                                        {"errors", errors},
                                        {"status", errors > 0 ? kExitError : kExitClean}};
        std::string text = jsonText(summary);
        text.erase(0, 1);
        out.print("\n], %s\n", text.c_str());
    } else if (paths.size() > 1) {
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
    addWriteOptions(*command);
    return {command, [options] { return runShow(*options); }};
}

} // namespace vrim
