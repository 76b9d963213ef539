// Editing the keys of named items in one scene file: each item's key block
// goes through the module (load, the key editor, save), and the saved block
// takes the old one's place in a copy of the file that then replaces it.
// One pass over the file, one block in memory at a time.
#pragma once

#include "tools/vrim/edit/asked_changes.h"
#include "tools/vrim/edit/panel_user.h"
#include "tools/vrim/files/filesystem.h"
#include "tools/vrim/files/replace_file.h"
#include "tools/vrim/module/session.h"
#include "tools/vrim/scene/selector.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vrim::edit {

struct SceneEditOptions {
    // The blocks asked for, by address ("Null", "Null@3" for a second
    // "Null") and by number from 1; each must be in the scene.
    scene::BlockSelector blocks;
    bool allItems = false; // and every block of an item
    bool dryRun = false;
    bool backup = false;
    bool overwriteBackup = false;
    // Refuse the edit when the module's save changes anything the actions
    // did not ask for.
    bool strict = false;
    // Reads the blocks to tell what was asked for; one for every scene of a
    // session. None: the edit makes one of its own.
    ChangeFinder* changes = nullptr;
    files::WritePolicy policy; // --force, --break-hard-links
    // A fresh user for each edited item's panel, given the item's name.
    std::function<std::unique_ptr<PanelUser>(const std::string& item)> user;
    // Called between the scene's items and blocks, never inside the key
    // editor; may throw to end the edit (nothing is written then).
    std::function<void()> poll;
};

// One block the edit reached.
struct BlockEdit {
    std::size_t block = 0;                     // its number
    std::string address;                       // what --item takes
    std::string item;                          // the item's name; empty for a block before any item
    std::uint64_t firstLine = 0, lastLine = 0; // of its data, as read
    const char* outcome = "";                  // "edited", "unchanged", "cancelled"
    std::vector<std::string> oldLines, newLines; // its data; both empty unless edited
    std::vector<KeyChange> changes;              // key by key and field by field
};

struct SceneEditResult {
    std::size_t edited = 0;         // blocks whose text changed
    std::size_t unchanged = 0;      // blocks the edit left as they were
    std::size_t cancelled = 0;      // panels closed with Cancel
    bool written = false;           // the file was replaced
    std::string diff;               // --dry-run: what would change
    std::vector<std::string> notes; // one line each, for people
    std::vector<BlockEdit> blocks;  // for machines, in file order
    // The changes the actions did not ask for, one line each; also in notes.
    std::vector<std::string> unasked;
};

// --strict refused the edit: the changes not asked for, one line each, and
// (what()) the refusal.
struct StrictRefusal : ToolError {
    StrictRefusal(const std::string& why, std::vector<std::string> changes)
        : ToolError(why), unasked(std::move(changes)) {}
    std::vector<std::string> unasked;
};

// Edits one scene. Throws ToolError (one line naming the scene, the item
// and the action) on anything refused; the file is then as it was and no
// file of the edit's is left behind.
SceneEditResult editScene(Session& session, files::FileSystem& fs, const std::string& path,
                          const SceneEditOptions& options);

} // namespace vrim::edit
