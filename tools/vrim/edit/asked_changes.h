// Which changes of an edit its actions asked for. The module saves every key
// as it holds it, so a value written otherwise than the module writes it
// ("END_F 1e12", "FREQ 0,25") comes back in the module's own text even when
// no action touched its key. A watch follows the key editor action by action:
// which loaded key each key of the chain is, and which fields the actions
// typed. The old block and the saved one are then read with the module, line
// by line, and compared key by key and field by field; every difference the
// actions did not type is listed.
#pragma once

#include "standin/panel_host.h"
#include "tools/vrim/edit/panel_user.h"
#include "tools/vrim/scene/blocklines.h"

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vrim::edit {

class ActionWatch {
  public:
    // loadedKeys: the keys of the chain the module loaded.
    explicit ActionWatch(std::size_t loadedKeys);

    // Called before each action of the user with the panel as the user sees
    // it, the length of the instance's chain at that moment, the action
    // (none: the user left the panel) and what it stands for.
    void see(const standin::Panel& panel, std::size_t chainLength,
             const std::optional<standin::PanelAction>& action, const Playing& playing);

    // Once the panel is closed.
    // The chain changed otherwise than the presses tell: keys cannot be
    // followed.
    bool lost() const { return lost_; }
    std::size_t loadedKeys() const { return loaded_; }
    std::size_t keys() const { return chain_.size(); }
    // The loaded key (0-based) that key i of the chain is; none for a key
    // the edit added.
    std::optional<std::size_t> origin(std::size_t key) const;
    // A key was added or deleted.
    bool keysChanged() const { return keysChanged_; }
    // An action typed into key i's field (for the vector control: the
    // element the action means, or one it typed a new value into).
    bool asked(std::size_t key, KeyField field) const;

    // The last action with a value of its own that typed into a field of a
    // loaded key still in the chain.
    struct Write {
        std::size_t key = 0; // in the chain
        KeyField field = KeyField::None;
        std::string action, value;
    };
    std::vector<Write> lastWrites() const;

  private:
    enum class Press { None, Add, Delete };
    // Each key has an id for the edit: loaded keys 0 to loaded_ - 1 in
    // chain order, added keys from loaded_ on.
    std::vector<std::size_t> chain_;
    std::size_t loaded_ = 0;
    std::size_t nextId_ = 0;
    Press pending_ = Press::None; // a press whose effect shows before the next action
    std::size_t lengthBefore_ = 0;
    int shownBefore_ = 0;
    bool lost_ = false;
    bool keysChanged_ = false;
    std::map<std::pair<std::size_t, KeyField>, std::optional<Write>> typed_; // by id
};

// One change of a block's keys, for scripts: a field of a key whose saved
// line differs from the file's, a key added or deleted, or the key count.
struct KeyChange {
    enum class Kind { Field, AddedKey, DeletedKey, KeyCount };
    Kind kind = Kind::Field;
    std::size_t key = 0; // 1-based in the saved chain; 0 for a deleted key and the count
    std::size_t was = 0; // 1-based in the file's chain; 0 for an added key and the count
    std::string field;   // as --set names it; empty unless a field
    std::optional<std::string> before, after; // the number as the file held it, as saved
    // Typed by an action (and held as typed), or a key the edit added. A
    // value the file holds otherwise than typed (rounded) is not asked for,
    // and is listed even when its line stays as it was.
    bool asked = true;
};
const char* kindName(KeyChange::Kind kind);

// What one block's edit changed: every change for scripts, and for people
// what it changed beyond its actions and the actions that changed nothing,
// one line each.
struct BlockChanges {
    std::vector<KeyChange> changes;
    std::vector<std::string> unasked;
    std::vector<std::string> idle;
};

// Reads old and saved blocks with the module, through one probe and one
// spare instance for every block of a session.
class ChangeFinder {
  public:
    explicit ChangeFinder(Session& session);
    ChangeFinder(const ChangeFinder&) = delete;
    ChangeFinder& operator=(const ChangeFinder&) = delete;

    // oldLines: the block from "VRIM_START" to "VRIM_END" as the file holds
    // it; newLines: the module's save after the edit. item names the scene
    // and the item at the start of each line ("'shot.lws', item 'Rig'").
    BlockChanges compare(const std::vector<std::string>& oldLines,
                         const std::vector<std::string>& newLines, const ActionWatch& watch,
                         const std::string& item);

  private:
    Session& session_;
    LineProbe probe_;
    ShakeInstance* spare_;
};

} // namespace vrim::edit
