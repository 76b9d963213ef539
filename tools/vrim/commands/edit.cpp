// vrim edit: changes an item's shake keys in scene files by working the
// module's own key editor, then puts the block the module saves in place of
// the old one, every other byte of the file kept.
#include "tools/vrim/commands/commands.h"
#include "tools/vrim/commands/machine.h"
#include "tools/vrim/commands/options.h"
#include "tools/vrim/commands/output.h"
#include "tools/vrim/edit/key_actions.h"
#include "tools/vrim/edit/scene_edit.h"
#include "tools/vrim/edit/terminal_editor.h"
#include "tools/vrim/files/filesystem.h"
#include "tools/vrim/module/session.h"
#include "tools/vrim/scene/batch.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <map>
#include <set>

namespace vrim {

namespace {

struct EditOptions {
    std::vector<std::string> scenes;
    bool recursive = false;
    std::vector<std::string> items;
    std::vector<int> blocks;
    bool allItems = false;
    bool json = false;
    bool dryRun = false;
    bool backup = false;
    bool overwriteBackup = false;
    bool strict = false;
    std::string module;
};

// The options that are actions, in the order the user gave them.
constexpr const char* kActionOptions[] = {"key", "set", "add-key", "delete-key", "shift", "script"};

std::vector<edit::EditAction> actionsInOrder(const CLI::App& command) {
    // Standard input holds one script.
    if (const CLI::Option* script = command.get_option("--script");
        std::count(script->results().begin(), script->results().end(), "-") > 1) {
        throw ToolError("--script - is given twice, but standard input holds one script");
    }
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

// Options that say nothing together, or nothing at all where they are.
void refuseIdleOptions(const EditOptions& options) {
    if (options.allItems && !options.items.empty()) {
        throw ToolError("--all-items edits every item with a shake, so --item '" +
                        options.items.front() + "' says nothing more: give one or the other");
    }
    if (options.allItems && !options.blocks.empty()) {
        throw ToolError("--all-items edits every item with a shake, so --block " +
                        std::to_string(options.blocks.front()) +
                        " says nothing more: give one or the other");
    }
    std::set<std::string> named;
    for (const std::string& item : options.items) {
        if (!named.insert(item).second) {
            throw ToolError("--item '" + item + "' is given twice");
        }
    }
    std::set<int> numbered;
    for (const int block : options.blocks) {
        if (!numbered.insert(block).second) {
            throw ToolError("--block " + std::to_string(block) + " is given twice");
        }
    }
    if (options.overwriteBackup && !options.backup) {
        throw ToolError("--overwrite-backup lets --backup replace an existing SCENE.bak; without "
                        "--backup it does nothing: give both, or neither");
    }
    if (options.backup && options.dryRun) {
        throw ToolError("--dry-run writes nothing, not even the backup that --backup asks for: "
                        "give one or the other");
    }
}

// The diff goes out as its bytes: a CRLF scene's lines keep their CR, which
// a Windows console stream in text mode would double.
nlohmann::json changesJson(const std::vector<edit::KeyChange>& changes) {
    const auto orNull = [](const auto& value, bool given) {
        return given ? nlohmann::json(value) : nlohmann::json(nullptr);
    };
    nlohmann::json list = nlohmann::json::array();
    for (const edit::KeyChange& change : changes) {
        list.push_back({{"kind", edit::kindName(change.kind)},
                        {"key", orNull(change.key, change.key > 0)},
                        {"was", orNull(change.was, change.was > 0)},
                        {"field", orNull(change.field, !change.field.empty())},
                        {"old", orNull(change.before.value_or(""), change.before.has_value())},
                        {"new", orNull(change.after.value_or(""), change.after.has_value())},
                        {"asked", change.asked}});
    }
    return list;
}

int runEdit(const CLI::App& command, const EditOptions& options) {
    const std::vector<edit::EditAction> actions = actionsInOrder(command);
    const EditOptions& given = options;
    refuseIdleOptions(given);
    if (given.items.empty() && given.blocks.empty() && !given.allItems && !actions.empty()) {
        throw ToolError("give the item to edit: --item NAME, --block N (or --all-items)");
    }
    for (const std::string& scene : given.scenes) {
        if (scene == "-") {
            throw ToolError("edit rewrites scene files in place, so it cannot take standard "
                            "input ('-'): give the file");
        }
    }
    const scene::SceneBatch batch(given.scenes, given.recursive);
    requireScenes(batch, given.scenes, given.recursive);
    const bool interactive = actions.empty();
    if (interactive) {
        if (const std::string why = edit::terminalEditorUnavailable(); !why.empty()) {
            throw ToolError(why);
        }
        if (batch.files().size() != 1 || given.items.size() + given.blocks.size() > 1 ||
            given.allItems) {
            throw ToolError("the interactive key editor edits one item of one scene: give one "
                            "scene and at most one --item or --block (without, it offers the "
                            "scene's items), or give the edit as actions");
        }
        if (given.json) {
            throw ToolError("--json needs the edit as actions (--key, --set, ...)");
        }
    }

    Session session(given.module.empty() ? defaultModulePath() : given.module);
    edit::SceneEditOptions sceneOptions;
    for (const std::string& item : given.items) {
        sceneOptions.blocks.address(item);
    }
    for (const int block : given.blocks) {
        sceneOptions.blocks.number(static_cast<std::size_t>(block));
    }
    sceneOptions.allItems = given.allItems;
    sceneOptions.dryRun = given.dryRun;
    sceneOptions.backup = given.backup;
    sceneOptions.overwriteBackup = given.overwriteBackup;
    sceneOptions.strict = given.strict;
    edit::ChangeFinder changes(session);
    sceneOptions.changes = &changes;
    sceneOptions.policy = writePolicy();

    // A scene named twice (two spellings, a link and its target, a folder
    // and a file in it) is one file: edited twice, its keys would move twice.
    // Told apart before any edit, as an edit gives the file a new identity.
    std::vector<std::string> sameAs(batch.files().size()); // the first name of a repeated file
    std::vector<std::pair<files::FileInfo, std::string>> seen;
    for (std::size_t f = 0; f < batch.files().size(); ++f) {
        files::FileInfo info;
        std::string ignored;
        if (!files::systemFileSystem().stat(batch.files()[f], info, ignored)) {
            continue; // one that is not there is refused with the reason
        }
        const auto same = std::find_if(seen.begin(), seen.end(), [&](const auto& earlier) {
            return earlier.first.sameFile(info);
        });
        if (same != seen.end()) {
            sameAs[f] = same->second;
        } else {
            seen.emplace_back(info, batch.files()[f]);
        }
    }
    std::size_t edited = 0, scenesEdited = 0, unasked = 0, twice = 0;
    nlohmann::json document = jsonDocument("edit");
    document["dryRun"] = given.dryRun;
    document["scenes"] = nlohmann::json::array();
    const auto flush = [] { std::fflush(stdout); };
    const std::size_t failed = batch.visit(flush, [&](std::size_t f, const std::string& scene) {
        if (!sameAs[f].empty()) {
            if (given.json) {
                document["scenes"].push_back({{"path", scene},
                                              {"sameAs", sameAs[f]},
                                              {"written", false},
                                              {"error", nullptr},
                                              {"blocks", nlohmann::json::array()},
                                              {"notes", nlohmann::json::array()}});
            } else {
                std::printf("'%s': the same file as '%s'; edited once\n",
                            terminalText(scene).c_str(), terminalText(sameAs[f]).c_str());
            }
            ++twice;
            return std::string();
        }
        sceneOptions.user = [&](const std::string&) -> std::unique_ptr<edit::PanelUser> {
            return std::make_unique<edit::ActionPlayer>(session.panelHost(), actions);
        };
        files::FileSystem& fs = files::systemFileSystem();
        nlohmann::json record = {{"path", scene},
                                 {"written", false},
                                 {"error", nullptr},
                                 {"blocks", nlohmann::json::array()},
                                 {"notes", nlohmann::json::array()}};
        try {
            const edit::SceneEditResult result =
                interactive ? edit::editInTerminal(session, fs, scene, sceneOptions)
                            : edit::editScene(session, fs, scene, sceneOptions);
            edited += result.edited;
            unasked += result.unasked.size();
            scenesEdited += result.edited > 0 ? 1 : 0;
            if (given.json) {
                record["written"] = result.written;
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
                        value["changes"] = changesJson(block.changes);
                    }
                    record["blocks"].push_back(std::move(value));
                }
                record["notes"] = result.notes;
                document["scenes"].push_back(std::move(record));
            } else {
                // A patch when piped or redirected, so byte for byte (a CR kept, a
                // name as the scene spells it; standard output is binary, so
                // the scene's line ends too); on a terminal, controls escaped.
                std::fputs((isTerminal(stdout) ? terminalLines(result.diff) : result.diff).c_str(),
                           stdout);
                for (const std::string& note : result.notes) {
                    std::printf("%s\n", terminalText(note).c_str());
                }
                if (result.edited == 0 && result.cancelled == 0) {
                    std::printf("'%s': no key changed; the file is as it was\n",
                                terminalText(scene).c_str());
                }
            }
        } catch (const edit::StrictRefusal& strict) {
            if (given.json) {
                record["error"] = strict.what();
                record["notes"] = strict.unasked;
                document["scenes"].push_back(std::move(record));
            } else {
                // The list the refusal is about, before the refusal itself.
                for (const std::string& change : strict.unasked) {
                    std::printf("%s\n", terminalText(change).c_str());
                }
            }
            throw;
        } catch (const ToolError& e) {
            if (given.json) {
                record["error"] = e.what();
                document["scenes"].push_back(std::move(record));
            }
            throw;
        }
        return std::string();
    });
    const int status = failed == 0 ? kExitClean : kExitError;
    if (given.json) {
        document["edited"] = edited;
        document["refused"] = failed;
        document["status"] = status;
        std::printf("%s\n", jsonText(document).c_str());
        return status;
    }
    const std::size_t scenes = batch.files().size() - twice;
    const std::string notAsked = unasked == 0 ? ""
                                              : ", " + std::to_string(unasked) +
                                                    (unasked == 1 ? " change" : " changes") +
                                                    " not asked for (listed above)";
    std::printf("%s %zu %s in %zu of %zu %s%s%s\n", given.dryRun ? "would edit" : "edited", edited,
                edited == 1 ? "key block" : "key blocks", scenesEdited, scenes,
                scenes == 1 ? "scene" : "scenes", notAsked.c_str(),
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
        "  vrim edit shots/ -r --all-items --shift 12\n"
        "  vrim edit shot.lws --item Camera_Rig\n"
        "The module saves every key as it holds it: a value the file holds otherwise than the "
        "module writes it comes back in the module's text. Each such change the actions did "
        "not ask for is listed (scene, item, key, field, old and new line); --strict refuses "
        "the edit instead.\n"
        "Exit status: 0 done, 2 refused (the file is then as it was).");
    command->add_option("SCENE", options->scenes, "Scene files to edit, and folders of them")
        ->required()
        ->type_name("PATH");
    command->add_flag("-r,--recursive", options->recursive,
                      "Also the scene files in the folders below a folder");
    command
        ->add_option("--item", options->items,
                     "Edit this item's keys, by the name ls lists (repeatable)")
        ->type_name("NAME")
        ->check(itemAddress());
    command
        ->add_option("--block", options->blocks,
                     "Edit this key block, by its number from 1 (repeatable)")
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
    command
        ->add_option("--script",
                     "Play a panel script (type, press, pick, close; '-': standard input)")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->type_name("FILE");
    command->add_flag("--dry-run", options->dryRun,
                      "Write nothing; print a unified diff of what would change");
    command->add_flag("--backup", options->backup, "Keep the old file as SCENE.bak");
    command->add_flag("--overwrite-backup", options->overwriteBackup,
                      "With --backup, replace an existing SCENE.bak");
    command->add_flag("--strict", options->strict,
                      "Refuse an edit when the module's save would also change what the actions "
                      "did not ask for (values the file holds otherwise than the module writes "
                      "them)");
    command->add_flag("--json", options->json,
                      "What was done as JSON: per scene and block, the old and new lines");
    command->add_option("--module", options->module,
                        "The module file (default: vrim_s.p beside vrim)");
    addWriteOptions(*command);
    return {command, [command, options] { return runEdit(*command, *options); }};
}

} // namespace vrim
