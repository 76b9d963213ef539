// vrim show: each key block's keys as the key editor lists them, with every
// value of each key.
#include "tools/vrim/commands/commands.h"
#include "tools/vrim/module/analysis.h"
#include "tools/vrim/scene/inputs.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>

namespace vrim {

namespace {

struct ShowOptions {
    std::string scene;
    std::string module;
};

// A key's values, taken before the key editor had the instance.
std::string keyValues(const ShakeKey& key) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "start %d, end %d, fall-off %s, width X %g Y %g Z %g, frequency time %g s",
                  key.startFrame, key.endFrame, key.fallOff != 0 ? "on" : "off", key.widthX,
                  key.widthY, key.widthZ, key.freqTime);
    return text;
}

int runShow(const ShowOptions& options) {
    const SceneFile scene = readScene(options.scene);
    pickBlock(scene, 1); // a file without blocks is bad input
    Session session(options.module.empty() ? defaultModulePath() : options.module);
    for (std::size_t b = 0; b < scene.blocks.size(); ++b) {
        const standin::KeyBlock& block = scene.blocks[b];
        ShakeInstance* instance = session.newInstance();
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
        std::printf("%s%s, block %zu (lines %zu-%zu): %zu %s\n", b == 0 ? "" : "\n",
                    scene.path.c_str(), b + 1, block.firstLine, block.lastLine, values.size(),
                    values.size() == 1 ? "key" : "keys");
        const KeyListText& list = instance->listText;
        for (std::size_t k = 0; k < values.size(); ++k) {
            // The list has room for a limited number of lines; keys past it
            // have none.
            const bool listed = static_cast<int32_t>(k) < list.lineCount;
            std::printf("%4zu  %s\n      %s\n", k + 1, listed ? list.lines[k] : "(not in the list)",
                        values[k].c_str());
        }
    }
    return kExitClean;
}

} // namespace

Command addShowCommand(CLI::App& tool) {
    auto options = std::make_shared<ShowOptions>();
    CLI::App* command = tool.add_subcommand(
        "show", "List each key block's keys as the module's key editor lists them, with their "
                "values");
    command->add_option("SCENE", options->scene, "Scene file")->required()->type_name("FILE");
    addModuleOption(*command, options->module);
    return {command, [options] { return runShow(*options); }};
}

} // namespace vrim
