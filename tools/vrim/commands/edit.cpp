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

// What the interactive key editor cannot do: it edits one item of one
// scene on a terminal, and writes no JSON or dry run.
void refuseInteractiveMisuse(const scene::SceneBatch& batch, const EditOptions& given) {
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

void refuseUnusableScenes(const EditOptions& given, bool interactive) {
    if (given.items.empty() && given.blocks.empty() && !given.allItems && !interactive) {
        throw ToolError("give the item to edit: --item NAME, --block N (or --all-items)");
    }
    for (const std::string& scene : given.scenes) {
        if (scene == "-") {
            throw ToolError("edit rewrites scene files in place, so it cannot take standard "
                            "input ('-'): give the file");
        }
    }
}

// Where a name leads once every link in it is followed: two spellings of one
// name, or a link and its target, lead to one place; two hard links of one
// file are two places.
std::string placeOf(const std::string& name) {
    std::string place, ignored;
    return files::systemFileSystem().resolve(name, place, ignored) ? place : name;
}

// A scene named twice (two spellings, a link and its target, a folder and a
// file in it) is one file: edited twice, its keys would move twice. Told
// apart before any edit, as an edit gives the file a new identity. Two hard
// links of one file are two names, each edited as asked (or each refused,
// without --break-hard-links): once the first name has its own file, the
// second still holds the old keys. For each file, the first name of it when
// it repeats one, else empty.
std::vector<std::string> repeatedFiles(const scene::SceneBatch& batch) {
    std::vector<std::string> sameAs(batch.files().size());
    std::vector<std::pair<files::FileInfo, std::string>> seen;
    for (std::size_t f = 0; f < batch.files().size(); ++f) {
        files::FileInfo info;
        std::string ignored;
        if (!files::systemFileSystem().stat(batch.files()[f], info, ignored)) {
            continue; // one that is not there is refused with the reason
        }
        const std::string place = placeOf(batch.files()[f]);
        const auto same = std::find_if(seen.begin(), seen.end(), [&](const auto& earlier) {
            return earlier.first.sameFile(info) && placeOf(earlier.second) == place;
        });
        if (same != seen.end()) {
            sameAs[f] = same->second;
        } else {
            seen.emplace_back(info, batch.files()[f]);
        }
    }
    return sameAs;
}

nlohmann::json blockEditJson(const edit::BlockEdit& block) {
    nlohmann::json value = {
        {"block", block.block},
        {"item", block.address},
        {"name", block.item.empty() ? nlohmann::json(nullptr) : nlohmann::json(block.item)},
        {"firstLine", block.firstLine},
        {"lastLine", block.lastLine},
        {"outcome", block.outcome}};
    if (!block.oldLines.empty() || !block.newLines.empty()) {
        value["old"] = block.oldLines;
        value["new"] = block.newLines;
    }
    // An unchanged block may still tell a value its file holds otherwise
    // than typed.
    if (!block.oldLines.empty() || !block.newLines.empty() || !block.changes.empty()) {
        value["changes"] = changesJson(block.changes);
    }
    return value;
}

nlohmann::json sceneRecord(const std::string& scene) {
    return {{"path", scene},
            {"written", false},
            {"error", nullptr},
            {"blocks", nlohmann::json::array()},
            {"notes", nlohmann::json::array()}};
}

// The edits of a run, scene by scene, and what it says of them.
class EditRun {
  public:
    EditRun(Session& session, const EditOptions& given, std::vector<edit::EditAction> actions)
        : session_(session), given_(given), actions_(std::move(actions)), changes_(session) {
        for (const std::string& item : given.items) {
            options_.blocks.address(item);
        }
        for (const int block : given.blocks) {
            options_.blocks.number(static_cast<std::size_t>(block));
        }
        options_.allItems = given.allItems;
        options_.dryRun = given.dryRun;
        options_.backup = given.backup;
        options_.overwriteBackup = given.overwriteBackup;
        options_.strict = given.strict;
        options_.changes = &changes_;
        options_.policy = writePolicy();
        options_.user = [this](const std::string&) -> std::unique_ptr<edit::PanelUser> {
            return std::make_unique<edit::ActionPlayer>(session_.panelHost(), actions_);
        };
        document_["dryRun"] = given.dryRun;
        document_["scenes"] = nlohmann::json::array();
    }

    // A second name of a file already edited: said, and passed over.
    void repeated(const std::string& scene, const std::string& first) {
        if (given_.json) {
            nlohmann::json record = sceneRecord(scene);
            record["sameAs"] = first;
            document_["scenes"].push_back(std::move(record));
        } else {
            std::printf("'%s': the same file as '%s'; edited once\n", terminalText(scene).c_str(),
                        terminalText(first).c_str());
        }
        ++twice_;
    }

    void editOne(const std::string& scene) {
        nlohmann::json record = sceneRecord(scene);
        try {
            files::FileSystem& fs = files::systemFileSystem();
            const edit::SceneEditResult result =
                actions_.empty() ? edit::editInTerminal(session_, fs, scene, options_)
                                 : edit::editScene(session_, fs, scene, options_);
            edited_ += result.edited;
            unasked_ += result.unasked.size();
            scenesEdited_ += result.edited > 0 ? 1 : 0;
            if (given_.json) {
                record["written"] = result.written;
                for (const edit::BlockEdit& block : result.blocks) {
                    record["blocks"].push_back(blockEditJson(block));
                }
                record["notes"] = result.notes;
                document_["scenes"].push_back(std::move(record));
            } else {
                print(scene, result);
            }
        } catch (const edit::StrictRefusal& strict) {
            refused(std::move(record), strict.what(), strict.unasked);
            throw;
        } catch (const ToolError& e) {
            refused(std::move(record), e.what(), {});
            throw;
        }
    }

    int finish(std::size_t failed, std::size_t scenes) {
        const int status = failed == 0 ? kExitClean : kExitError;
        if (given_.json) {
            document_["edited"] = edited_;
            document_["refused"] = failed;
            document_["status"] = status;
            std::printf("%s\n", jsonText(document_).c_str());
            return status;
        }
        scenes -= twice_;
        const std::string notAsked = unasked_ == 0 ? ""
                                                   : ", " + std::to_string(unasked_) +
                                                         (unasked_ == 1 ? " change" : " changes") +
                                                         " not asked for (listed above)";
        std::printf("%s %zu %s in %zu of %zu %s%s%s\n", given_.dryRun ? "would edit" : "edited",
                    edited_, edited_ == 1 ? "key block" : "key blocks", scenesEdited_, scenes,
                    scenes == 1 ? "scene" : "scenes", notAsked.c_str(),
                    failed == 0 ? "" : (", " + std::to_string(failed) + " refused").c_str());
        return status;
    }

  private:
    // A patch when piped or redirected, so byte for byte (a CR kept, a name
    // as the scene spells it; standard output is binary, so the scene's line
    // ends too); on a terminal, controls escaped.
    void print(const std::string& scene, const edit::SceneEditResult& result) {
        std::fputs((isTerminal(stdout) ? terminalLines(result.diff) : result.diff).c_str(), stdout);
        for (const std::string& note : result.notes) {
            std::printf("%s\n", terminalText(note).c_str());
        }
        if (result.edited == 0 && result.cancelled == 0) {
            std::printf("'%s': no key changed; the file is as it was\n",
                        terminalText(scene).c_str());
        }
    }

    // A refused scene in the document; in text, the list a strict refusal
    // is about comes before the refusal itself.
    void refused(nlohmann::json record, const char* why, const std::vector<std::string>& listed) {
        if (given_.json) {
            record["error"] = why;
            if (!listed.empty()) {
                record["notes"] = listed;
            }
            document_["scenes"].push_back(std::move(record));
            return;
        }
        for (const std::string& change : listed) {
            std::printf("%s\n", terminalText(change).c_str());
        }
    }

    Session& session_;
    const EditOptions& given_;
    const std::vector<edit::EditAction> actions_;
    edit::ChangeFinder changes_;
    edit::SceneEditOptions options_;
    nlohmann::json document_ = jsonDocument("edit");
    std::size_t edited_ = 0, scenesEdited_ = 0, unasked_ = 0, twice_ = 0;
};

int runEdit(const CLI::App& command, const EditOptions& given) {
    std::vector<edit::EditAction> actions = actionsInOrder(command);
    refuseIdleOptions(given);
    refuseUnusableScenes(given, actions.empty());
    const scene::SceneBatch batch(given.scenes, given.recursive);
    requireScenes(batch, given.scenes, given.recursive);
    if (actions.empty()) {
        refuseInteractiveMisuse(batch, given);
    }
    Session session(given.module.empty() ? defaultModulePath() : given.module);
    const std::vector<std::string> sameAs = repeatedFiles(batch);
    EditRun run(session, given, std::move(actions));
    const std::size_t failed = batch.visit([] { std::fflush(stdout); },
                                           [&](std::size_t f, const std::string& scene) {
                                               if (!sameAs[f].empty()) {
                                                   run.repeated(scene, sameAs[f]);
                                               } else {
                                                   run.editOne(scene);
                                               }
                                               return std::string();
                                           });
    return run.finish(failed, batch.files().size());
}

// Which scenes and blocks to edit.
void addEditChoices(CLI::App* command, EditOptions& options) {
    command->add_option("SCENE", options.scenes, "Scene files to edit, and folders of them")
        ->required()
        ->type_name("PATH");
    command->add_flag("-r,--recursive", options.recursive,
                      "Also the scene files in the folders below a folder");
    command
        ->add_option("--item", options.items,
                     "Edit this item's keys, by the name ls lists (repeatable)")
        ->type_name("NAME")
        ->check(itemAddress());
    command
        ->add_option("--block", options.blocks,
                     "Edit this key block, by its number from 1 (repeatable)")
        ->type_name("N")
        ->check(wholeNumber(1, std::numeric_limits<int32_t>::max()));
    command->add_flag("--all-items", options.allItems, "Edit every item that has a shake");
}

// The actions, bound to no variable: their order on the command line is the
// order they are played in, read back from the parse (kActionOptions).
void addEditActions(CLI::App* command) {
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
}

// How the edit is done and said.
void addEditSwitches(CLI::App* command, EditOptions& options) {
    command->add_flag("--dry-run", options.dryRun,
                      "Write nothing; print a unified diff of what would change");
    command->add_flag("--backup", options.backup, "Keep the old file as SCENE.bak");
    command->add_flag("--overwrite-backup", options.overwriteBackup,
                      "With --backup, replace an existing SCENE.bak");
    command->add_flag("--strict", options.strict,
                      "Refuse an edit when the module's save would also change what the actions "
                      "did not ask for (values the file holds otherwise than the module writes "
                      "them)");
    command->add_flag("--json", options.json,
                      "What was done as JSON: per scene and block, the old and new lines");
    command->add_option("--module", options.module,
                        "The module file (default: vrim_s.p beside vrim)");
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
    addEditChoices(command, *options);
    addEditActions(command);
    addEditSwitches(command, *options);
    addWriteOptions(*command);
    return {command, [command, options] { return runEdit(*command, *options); }};
}

} // namespace vrim
