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

// The keys a block holds: their values taken before the key editor has the
// instance, and the lines of its list once it has.
struct ShownBlock {
    std::vector<ShakeKey> keys;
    const KeyListText* list = nullptr;

    // The list has room for a limited number of lines; keys past it have none.
    const char* listed(std::size_t k) const {
        return static_cast<int32_t>(k) < list->lineCount ? list->lines[k] : nullptr;
    }
};

// One run of show over a batch of scenes; one instance for every block:
// each load replaces its keys.
class ShowRun {
  public:
    explicit ShowRun(const BatchOptions& options, const scene::SceneBatch& batch)
        : options_(options),
          session_(options.module.empty() ? defaultModulePath() : options.module),
          output_(options.output, batchInputs(batch.files(), options.module)),
          instance_(session_.newInstance()) {}

    void begin() {
        if (options_.json) {
            std::string head = jsonText(jsonDocument("show"));
            head.pop_back(); // its members continue
            output_.print("%s, \"scenes\": [", head.c_str());
        }
    }

    void flush() { output_.flush(); }

    // Shows the blocks of scene number f; returns its error, if any.
    std::string scene(std::size_t f, const std::string& path) {
        scene::SceneOutcome outcome;
        std::string error;
        listed_ = 0;
        if (options_.json) {
            output_.print("%s\n  {\"path\": %s, \"blocks\": [", f == 0 ? "" : ",",
                          jsonText(path).c_str());
        }
        try {
            scene::Reader reader = scene::Reader::open(path);
            scene::SceneVisit visit;
            visit.block = [&](const scene::Block& block, const scene::Header&) {
                this->block(reader, block);
            };
            outcome = scene::visitScene(reader, options_.blocks(), visit);
            error = outcome.error;
        } catch (const ToolError& e) {
            error = e.what();
        }
        noShake_ += outcome.noShake;
        sceneEnd(path, outcome, error);
        return error;
    }

    int finish(std::size_t errors, std::size_t scenes) {
        if (options_.json) {
            const nlohmann::json summary = {{"blocks", blocks_},
                                            {"scenesWithoutShake", noShake_},
                                            {"errors", errors},
                                            {"status", errors > 0 ? kExitError : kExitClean}};
            std::string text = jsonText(summary);
            text.erase(0, 1);
            output_.print("\n], %s\n", text.c_str());
        } else if (scenes > 1) {
            output_.print("\n%zu %s in %zu %s%s\n", blocks_, blocks_ == 1 ? "block" : "blocks",
                          scenes, scenes == 1 ? "scene" : "scenes",
                          noShake_ == 0
                              ? ""
                              : (" (" + std::to_string(noShake_) + " without a shake)").c_str());
        }
        output_.finish();
        return errors > 0 ? kExitError : kExitClean;
    }

  private:
    void block(const scene::Reader& reader, const scene::Block& block) {
        session_.load(instance_, block.lines);
        ShownBlock shown;
        for (const ShakeKey* key : keysOf(*instance_)) {
            shown.keys.push_back(*key);
        }
        const int code = session_.openKeyEditor(instance_);
        if (code != 0) {
            throw ToolError("the module's key editor did not open (activation code " +
                            std::to_string(code) + ")");
        }
        shown.list = &instance_->listText;
        if (options_.json) {
            blockJson(block, shown);
        } else {
            blockText(reader, block, shown);
        }
        ++blocks_;
    }

    void blockJson(const scene::Block& block, const ShownBlock& shown) {
        nlohmann::json keyList = nlohmann::json::array();
        for (std::size_t k = 0; k < shown.keys.size(); ++k) {
            keyList.push_back(keyJson(shown.keys[k], k + 1, shown.listed(k)));
        }
        const nlohmann::json value = {
            {"block", block.number},
            {"item", block.address},
            {"name", block.item ? nlohmann::json(block.item->name) : nlohmann::json(nullptr)},
            {"firstLine", block.whole.firstLine},
            {"lastLine", block.whole.lastLine},
            {"keys", keyList}};
        output_.print("%s\n    %s", listed_++ == 0 ? "" : ",", jsonText(value).c_str());
    }

    void blockText(const scene::Reader& reader, const scene::Block& block,
                   const ShownBlock& shown) {
        const std::size_t count = shown.keys.size();
        output_.print("%s%s: %zu %s\n", blocks_ == 0 ? "" : "\n",
                      terminalText(scene::blockPlace(reader.name(), block)).c_str(), count,
                      count == 1 ? "key" : "keys");
        for (std::size_t k = 0; k < count; ++k) {
            const char* listed = shown.listed(k);
            output_.print("%4zu  %s\n      %s\n", k + 1,
                          listed != nullptr ? terminalText(listed).c_str() : "(not in the list)",
                          keyValues(shown.keys[k]).c_str());
        }
    }

    void sceneEnd(const std::string& path, const scene::SceneOutcome& outcome,
                  const std::string& error) {
        if (options_.json) {
            const nlohmann::json rest = {
                {"note", outcome.noShake ? nlohmann::json("no shake") : nlohmann::json(nullptr)},
                {"error", error.empty() ? nlohmann::json(nullptr) : nlohmann::json(error)}};
            std::string text = jsonText(rest);
            text.erase(0, 1);
            output_.print("%s], %s", listed_ == 0 ? "" : "\n  ", text.c_str());
        } else if (outcome.noShake) {
            output_.print("%s%s: no shake (no VRIM_S key block)\n", blocks_ == 0 ? "" : "\n",
                          terminalText(path).c_str());
        }
    }

    const BatchOptions& options_;
    Session session_;
    Output output_;
    ShakeInstance* instance_;
    std::size_t blocks_ = 0, noShake_ = 0, listed_ = 0;
};

int runShow(const BatchOptions& options) {
    const scene::SceneBatch batch(options.scenes, options.recursive);
    requireScenes(batch, options.scenes, options.recursive);
    ShowRun run(options, batch);
    run.begin();
    const std::size_t errors =
        batch.visit([&run] { run.flush(); },
                    [&run](std::size_t f, const std::string& path) { return run.scene(f, path); });
    return run.finish(errors, batch.files().size());
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
