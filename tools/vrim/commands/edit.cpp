// vrim edit: changes an item's shake keys in scene files by working the
// module's own key editor, then puts the block the module saves in place of
// the old one, every other byte of the file kept.
#include "tools/vrim/commands/commands.h"
#include "tools/vrim/commands/machine.h"
#include "tools/vrim/edit/filesystem.h"
#include "tools/vrim/edit/key_actions.h"
#include "tools/vrim/edit/scene_edit.h"
#include "tools/vrim/edit/terminal_editor.h"
#include "tools/vrim/module/session.h"
#include "tools/vrim/scene/inputs.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <cstdio>
#include <limits>
#include <map>

namespace vrim {

namespace {

struct EditOptions {
    std::vector<std::string> scenes;
    std::vector<std::string> items;
    std::vector<int> blocks;
    bool allItems = false;
    bool json = false;
    bool dryRun = false;
    bool backup = false;
    bool overwriteBackup = false;
    std::string module;
};

// The options that are actions, in the order the user gave them.
constexpr const char* kActionOptions[] = {"key", "set", "add-key", "delete-key", "shift", "script"};

std::vector<edit::EditAction> actionsInOrder(const CLI::App& command) {
    std::vector<edit::EditAction> actions;
    std::map<const CLI::Option*, std::size_t> used; // values taken so far, per option
    for (const CLI::Option* option : command.parse_order()) {
        const std::string name = option->get_name(false, true).substr(2);
        bool isAction = false;
        for (const char* action : kActionOptions) {
            isAction = isAction || name == action;
        }
        if (!isAction) {
            continue;
        }
        const std::size_t index = used[option]++;
        const bool flag = name == "add-key" || name == "delete-key";
        const std::vector<std::string>& values = option->results();
        actions.push_back(edit::parseEditAction(
            name, flag || index >= values.size() ? std::string() : values[index]));
    }
    // A script that closes the panel ends the edit; nothing may follow it.
    for (std::size_t i = 0; i + 1 < actions.size(); ++i) {
        const edit::EditAction& action = actions[i];
        if (action.kind == edit::EditAction::Kind::Script && !action.script.empty() &&
            (action.script.back().kind == standin::PanelAction::Kind::Close ||
             action.script.back().kind == standin::PanelAction::Kind::Cancel)) {
            throw ToolError(action.text + " closes the panel, so " + actions[i + 1].text +
                            " after it would never be played; put the script last");
        }
    }
    return actions;
}

int runEdit(const CLI::App& command, const EditOptions& options) {
    const std::vector<edit::EditAction> actions = actionsInOrder(command);
    EditOptions given = options;
    given.backup = given.backup || given.overwriteBackup;
    if (given.items.empty() && given.blocks.empty() && !given.allItems) {
        throw ToolError("give the item to edit: --item NAME, --block N (or --all-items)");
    }
    const bool interactive = actions.empty();
    if (interactive) {
        if (const std::string why = edit::terminalEditorUnavailable(); !why.empty()) {
            throw ToolError(why);
        }
        if (given.scenes.size() != 1 || given.items.size() + given.blocks.size() != 1 ||
            given.allItems) {
            throw ToolError("the interactive key editor edits one item of one scene: give one "
                            "scene and one --item or --block, or give the edit as actions");
        }
        if (given.json) {
            throw ToolError("--json needs the edit as actions (--key, --set, ...)");
        }
        if (given.dryRun) {
            throw ToolError("--dry-run needs the edit as actions (--key, --set, ...)");
        }
    }

    Session session(given.module.empty() ? defaultModulePath() : given.module);
    edit::SceneEditOptions sceneOptions;
    sceneOptions.items = given.items;
    sceneOptions.blocks = given.blocks;
    sceneOptions.allItems = given.allItems;
    sceneOptions.dryRun = given.dryRun;
    sceneOptions.backup = given.backup;
    sceneOptions.overwriteBackup = given.overwriteBackup;

    std::size_t edited = 0, scenesEdited = 0, failed = 0;
    nlohmann::json document = jsonDocument("edit");
    document["dryRun"] = given.dryRun;
    document["scenes"] = nlohmann::json::array();
    for (const std::string& scene : given.scenes) {
        sceneOptions.user = [&](const std::string& item) -> std::unique_ptr<edit::PanelUser> {
            if (interactive) {
                return edit::makeTerminalEditor(scene, item);
            }
            return std::make_unique<edit::ActionPlayer>(session.panelHost(), actions);
        };
        nlohmann::json record = {{"path", scene}, {"written", false}, {"error", nullptr}};
        try {
            const edit::SceneEditResult result =
                edit::editScene(session, edit::systemFileSystem(), scene, sceneOptions);
            edited += result.edited;
            scenesEdited += result.edited > 0 ? 1 : 0;
            if (given.json) {
                record["written"] = result.written;
                nlohmann::json blocks = nlohmann::json::array();
                for (const edit::BlockEdit& block : result.blocks) {
                    nlohmann::json value = {{"block", block.block},
                                            {"item", block.address},
                                            {"name", block.item.empty()
                                                         ? nlohmann::json(nullptr)
                                                         : nlohmann::json(block.item)},
                                            {"firstLine", block.firstLine},
                                            {"lastLine", block.lastLine},
                                            {"outcome", block.outcome}};
                    if (!block.oldLines.empty() || !block.newLines.empty()) {
                        value["old"] = block.oldLines;
                        value["new"] = block.newLines;
                    }
                    blocks.push_back(std::move(value));
                }
                record["blocks"] = std::move(blocks);
                record["notes"] = result.notes;
            } else {
                std::fputs(shownLines(result.diff).c_str(), stdout);
                for (const std::string& note : result.notes) {
                    std::printf("%s\n", shown(note).c_str());
                }
                if (result.edited == 0 && result.cancelled == 0) {
                    std::printf("'%s': no key changed; the file is as it was\n",
                                shown(scene).c_str());
                }
            }
        } catch (const ToolError& e) {
            std::fflush(stdout);
            std::fprintf(stderr, "vrim: %s\n", shown(e.what()).c_str());
            record["error"] = e.what();
            ++failed;
        }
        if (given.json) {
            if (!record.contains("blocks")) {
                record["blocks"] = nlohmann::json::array();
                record["notes"] = nlohmann::json::array();
            }
            document["scenes"].push_back(std::move(record));
        }
    }
    const int status = failed == 0 ? kExitClean : kExitError;
    if (given.json) {
        document["edited"] = edited;
        document["refused"] = failed;
        document["status"] = status;
        std::printf("%s\n", jsonText(document).c_str());
        return status;
    }
    std::printf("%s %zu %s in %zu of %zu %s%s\n", given.dryRun ? "would edit" : "edited", edited,
                edited == 1 ? "key block" : "key blocks", scenesEdited, given.scenes.size(),
                given.scenes.size() == 1 ? "scene" : "scenes",
                failed == 0 ? "" : (", " + std::to_string(failed) + " refused").c_str());
    return status;
}

} // namespace

Command addEditCommand(CLI::App& tool) {
    auto options = std::make_shared<EditOptions>();
    CLI::App* command = tool.add_subcommand(
        "edit", "Change an item's shake keys in scene files through the module's key editor.");
    command->footer(
        "Actions run in the order given, as clicks in the key editor; then the panel closes "
        "with OK and the module saves the block, which replaces the old one. Without actions, "
        "on a terminal, the key editor opens interactively.\n"
        "Examples:\n"
        "  vrim edit shot.lws --item Camera_Rig --key 2 --set end=48 --set freq=0.2\n"
        "  vrim edit shot.lws --item Camera_Rig --add-key --set start=60 --dry-run\n"
        "  vrim edit shots/*.lws --all-items --shift 12 --backup\n"
        "  vrim edit shot.lws --item Camera_Rig\n"
        "Exit status: 0 done, 2 refused (the file is then as it was).");
    command->add_option("scenes", options->scenes, "Scene files to edit")->required();
    command
        ->add_option("--item", options->items,
                     "Edit this item's keys, by the name ls lists (repeatable)")
        ->type_name("NAME");
    command
        ->add_option("--block", options->blocks,
                     "Edit this key block, by its number from 1 "
                     "(repeatable)")
        ->type_name("N")
        ->check(wholeNumber(1, std::numeric_limits<int32_t>::max()));
    command->add_flag("--all-items", options->allItems, "Edit every item that has a shake");
    command->add_option("--key", "Step to key N (NEXT KEY / PREV KEY)")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    command
        ->add_option("--set", "Type VALUE into the key's FIELD: start, end, freq (period in "
                              "seconds), width-x, width-y, width-z, fall-off (on/off)")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->type_name("FIELD=VALUE");
    command->add_flag("--add-key")
        ->description("Press ADD KEY; the new key becomes the current one");
    command->add_flag("--delete-key")->description("Press DELETE KEY on the current key");
    command->add_option("--shift", "Move every key's start and end by FRAMES")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->type_name("FRAMES");
    command->add_option("--script", "Play a panel script (type, press, pick, close)")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->type_name("FILE");
    command->add_flag("--dry-run", options->dryRun,
                      "Write nothing; print a unified diff of what would change");
    command->add_flag("--backup", options->backup, "Keep the old file as SCENE.bak");
    command->add_flag("--overwrite-backup", options->overwriteBackup,
                      "With --backup, replace an existing SCENE.bak");
    command->add_flag("--json", options->json,
                      "What was done as JSON: per scene and block, the old and new lines");
    command->add_option("--module", options->module,
                        "The module file (default: vrim_s.p beside vrim)");
    return {command, [command, options] { return runEdit(*command, *options); }};
}

} // namespace vrim
