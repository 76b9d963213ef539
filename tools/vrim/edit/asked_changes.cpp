#include "tools/vrim/edit/asked_changes.h"

#include "text/names.h"
#include "text/numbers.h"
#include "tools/vrim/edit/key_actions.h"
#include "tools/vrim/scene/scene.h"

#include <algorithm>
#include <array>

namespace vrim::edit {

namespace {

using standin::PanelAction;

constexpr std::size_t kFieldCount = 7;

std::size_t slotOf(KeyField field) {
    return static_cast<std::size_t>(field) - 1;
}

KeyField fieldAt(std::size_t slot) {
    return static_cast<KeyField>(slot + 1);
}

// The field's name as --set takes it.
const char* nameOf(KeyField field) {
    using Field = EditAction::Field;
    switch (field) {
    case KeyField::FreqTime:
        return fieldName(Field::Freq);
    case KeyField::WidthX:
        return fieldName(Field::WidthX);
    case KeyField::WidthY:
        return fieldName(Field::WidthY);
    case KeyField::WidthZ:
        return fieldName(Field::WidthZ);
    case KeyField::StartFrame:
        return fieldName(Field::Start);
    case KeyField::EndFrame:
        return fieldName(Field::End);
    case KeyField::FallOff:
        return fieldName(Field::FallOff);
    case KeyField::None:
        break;
    }
    return "";
}

// A scene line for a message: its own characters, decoded as names are;
// the command shows control characters its output's way.
std::string quotedLine(const std::string& line) {
    // Appended in steps: GCC 12 at -O3 misreads "'" + string as an
    // overlapping copy (-Werror=restrict).
    std::string quoted(1, '\'');
    quoted += text::decode(line, scene::nameEncoding());
    quoted += '\'';
    return quoted;
}

// The key fields the control of this label holds, in its elements' order.
std::vector<KeyField> fieldsOf(const std::string& label) {
    if (label == PanelLabels::freq) {
        return {KeyField::FreqTime};
    }
    if (label == PanelLabels::width) {
        return {KeyField::WidthX, KeyField::WidthY, KeyField::WidthZ};
    }
    if (label == PanelLabels::start) {
        return {KeyField::StartFrame};
    }
    if (label == PanelLabels::end) {
        return {KeyField::EndFrame};
    }
    if (label == PanelLabels::fallOff) {
        return {KeyField::FallOff};
    }
    return {};
}

// A block's lines as the module read them: for each key its "KEY_START"
// line and the line that gives each field (the last one, as the module
// applies them in order), the "KEY_NUM" line, and the lines the module
// reads for nothing.
struct KeyedLines {
    struct Key {
        std::size_t start = 0;
        std::array<std::optional<std::size_t>, kFieldCount> fields;
    };
    std::vector<Key> keys;
    std::optional<std::size_t> keyNum;
    struct Dropped {
        std::size_t line = 0;
        std::optional<std::size_t> key; // the key it stands in; none before the first
    };
    std::vector<Dropped> dropped;
};

KeyedLines keyedLines(const BlockReading& reading, std::size_t lineCount) {
    KeyedLines keyed;
    const auto current = [&keyed]() -> std::optional<std::size_t> {
        if (keyed.keys.empty()) {
            return std::nullopt;
        }
        return keyed.keys.size() - 1;
    };
    const auto drop = [&](std::size_t line) { keyed.dropped.push_back({line, current()}); };
    // The first line opens the block and the last one ("VRIM_END") closes
    // it; each block has both.
    for (std::size_t i = 1; i + 1 < lineCount; ++i) {
        if (i >= reading.linesRead) {
            drop(i); // after the line that ended the module's reading
            continue;
        }
        switch (reading.effects[i]) {
        case LineEffect::EndsBlock:
            drop(i);
            break;
        case LineEffect::AddsKey:
            keyed.keys.push_back({i, {}});
            break;
        case LineEffect::SetsKeyField: {
            if (keyed.keys.empty() || reading.fields[i] == KeyField::None) {
                drop(i);
                break;
            }
            std::optional<std::size_t>& slot = keyed.keys.back().fields[slotOf(reading.fields[i])];
            if (slot) {
                drop(*slot);
            }
            slot = i;
            break;
        }
        case LineEffect::None:
            if (std::find(reading.keyNumLines.begin(), reading.keyNumLines.end(), i) !=
                reading.keyNumLines.end()) {
                if (keyed.keyNum) {
                    drop(*keyed.keyNum);
                }
                keyed.keyNum = i;
            } else {
                drop(i);
            }
            break;
        }
    }
    return keyed;
}

// The number a saved line holds, as the module wrote it.
std::string numberOf(const std::string& line) {
    const std::size_t blank = line.find(' ');
    return blank == std::string::npos ? line : line.substr(blank + 1);
}

// True when the file holds typed otherwise than it was typed: a number
// the module's save rounds ("1e-7" saved as "0.000000"). Text that is no
// number (a fall-off's "on") is never called inexact.
bool heldOtherwise(const std::string& typed, const std::optional<std::string>& saved) {
    if (!saved) {
        return false;
    }
    const text::Reading<double> asked = text::readReal(typed);
    const text::Reading<double> held = text::readReal(*saved);
    return asked && held && asked.value != held.value;
}

// What the last action typed into each field of a loaded key, as typed, by
// the key's place in the chain.
std::map<std::pair<std::size_t, KeyField>, std::string> typedValues(const ActionWatch& watch) {
    std::map<std::pair<std::size_t, KeyField>, std::string> typed;
    for (const ActionWatch::Write& write : watch.lastWrites()) {
        typed[{write.key, write.field}] = write.value;
    }
    return typed;
}
// The number at a line of a block, if the line is there.
std::optional<std::string> numberAt(const std::vector<std::string>& lines,
                                    std::optional<std::size_t> at) {
    if (!at) {
        return std::nullopt;
    }
    return numberOf(lines[*at]);
}

// A block's text and how the module read it.
struct ReadBlock {
    const std::vector<std::string>& lines;
    const KeyedLines& keyed;
};

// One comparison of a block before and after an edit, a step at a time:
// each step adds what it finds to the changes, and the lines not asked for
// to a list kept at the old line each concerns, so that the list reads down
// the file as the diff does.
class BlockComparison {
  public:
    BlockComparison(ReadBlock before, ReadBlock after, const ActionWatch& watch,
                    const std::string& item)
        : before_(before), after_(after), watch_(watch), item_(item),
          kept_(before.keyed.keys.size(), false), typed_(typedValues(watch)) {}

    // The saved key at position key against the loaded key it comes from.
    void key(std::size_t key) {
        const std::optional<std::size_t> origin = watch_.origin(key);
        if (!origin) {
            // A key the edit added is all asked for.
            changes_.changes.push_back(
                {KeyChange::Kind::AddedKey, key + 1, 0, "", std::nullopt, std::nullopt, true});
            return;
        }
        kept_[*origin] = true;
        const KeyedLines::Key& old = before_.keyed.keys[*origin];
        const std::string& oldStart = before_.lines[old.start];
        const std::string& newStart = after_.lines[after_.keyed.keys[key].start];
        if (oldStart != newStart) {
            listed_.emplace_back(old.start, keyName(*origin) + ": " + change(oldStart, newStart));
        }
        for (std::size_t slot = 0; slot < kFieldCount; ++slot) {
            field(key, *origin, fieldAt(slot));
        }
    }

    // The loaded keys no saved key comes from.
    void deletedKeys() {
        for (std::size_t key = 0; key < kept_.size(); ++key) {
            if (!kept_[key]) {
                changes_.changes.push_back({KeyChange::Kind::DeletedKey, 0, key + 1, "",
                                            std::nullopt, std::nullopt, true});
            }
        }
    }

    // The "KEY_NUM" line: a change of number, and a change of its text
    // when no key came or went.
    void keyCount() {
        const std::optional<std::size_t> oldAt = before_.keyed.keyNum;
        const std::optional<std::size_t> newAt = after_.keyed.keyNum;
        if (std::optional<std::string> was = numberAt(before_.lines, oldAt),
            now = numberAt(after_.lines, newAt);
            was != now) {
            changes_.changes.push_back({KeyChange::Kind::KeyCount, 0, 0, "", std::move(was),
                                        std::move(now), watch_.keysChanged()});
        }
        if (watch_.keysChanged() || !newAt) {
            return;
        }
        const std::string& newLine = after_.lines[*newAt];
        const std::string name = item_ + ", key count: ";
        if (!oldAt) {
            listed_.emplace_back(0, name + "not asked for: " + quotedLine(newLine) + " is added");
        } else if (before_.lines[*oldAt] != newLine) {
            listed_.emplace_back(*oldAt, name + change(before_.lines[*oldAt], newLine));
        }
    }

    // The old lines the module read for nothing, unless their key went.
    void droppedLines() {
        for (const KeyedLines::Dropped& dropped : before_.keyed.dropped) {
            if (dropped.key && !kept_[*dropped.key]) {
                continue; // its key was deleted
            }
            listed_.emplace_back(dropped.line,
                                 (dropped.key ? keyName(*dropped.key) : item_) +
                                     ": not asked for: " + quotedLine(before_.lines[dropped.line]) +
                                     " is dropped");
        }
    }

    // An action whose field is saved as the file held it changed nothing.
    void idleWrites() {
        for (const ActionWatch::Write& write : watch_.lastWrites()) {
            const std::size_t origin = *watch_.origin(write.key);
            const std::size_t slot = slotOf(write.field);
            const std::optional<std::size_t> oldAt = before_.keyed.keys[origin].fields[slot];
            const std::optional<std::size_t> newAt = after_.keyed.keys[write.key].fields[slot];
            if (oldAt && newAt && before_.lines[*oldAt] == after_.lines[*newAt]) {
                changes_.idle.push_back(keyName(origin) + ": " + write.action +
                                        " changes nothing: " + write.value + " is stored as " +
                                        numberOf(after_.lines[*newAt]) + ", as before");
            }
        }
    }

    // What was found, the lines not asked for in the order of the file.
    BlockChanges result() {
        std::stable_sort(listed_.begin(), listed_.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (auto& [line, text] : listed_) {
            changes_.unasked.push_back(std::move(text));
        }
        return std::move(changes_);
    }

  private:
    // One field of a saved key against the loaded key origin.
    void field(std::size_t key, std::size_t origin, KeyField field) {
        const std::size_t slot = slotOf(field);
        const std::optional<std::size_t> oldAt = before_.keyed.keys[origin].fields[slot];
        const std::optional<std::size_t> newAt = after_.keyed.keys[key].fields[slot];
        std::optional<std::string> was = numberAt(before_.lines, oldAt),
                                   now = numberAt(after_.lines, newAt);
        const bool asked = watch_.asked(key, field);
        // A value the file cannot hold as typed is the module's doing, not
        // the action's, also when the line stays as it was.
        const auto typed = typed_.find({key, field});
        const bool rounded = typed != typed_.end() && heldOtherwise(typed->second, now);
        if (was != now || rounded) {
            changes_.changes.push_back({KeyChange::Kind::Field, key + 1, origin + 1, nameOf(field),
                                        std::move(was), std::move(now), asked && !rounded});
        }
        if (asked || !newAt || (oldAt && before_.lines[*oldAt] == after_.lines[*newAt])) {
            return;
        }
        const std::string name = keyName(origin) + ", " + nameOf(field) + ": ";
        if (oldAt) {
            listed_.emplace_back(*oldAt,
                                 name + change(before_.lines[*oldAt], after_.lines[*newAt]));
        } else {
            listed_.emplace_back(old(origin).start,
                                 name + "not asked for: " + quotedLine(after_.lines[*newAt]) +
                                     " is added");
        }
    }

    const KeyedLines::Key& old(std::size_t origin) const { return before_.keyed.keys[origin]; }
    std::string keyName(std::size_t key) const {
        return item_ + ", key " + std::to_string(key + 1);
    }
    static std::string change(const std::string& oldLine, const std::string& newLine) {
        return "not asked for: " + quotedLine(oldLine) + " becomes " + quotedLine(newLine);
    }

    ReadBlock before_, after_;
    const ActionWatch& watch_;
    const std::string& item_;
    std::vector<bool> kept_;
    std::vector<std::pair<std::size_t, std::string>> listed_;
    // What the last action typed into each field of a loaded key.
    std::map<std::pair<std::size_t, KeyField>, std::string> typed_;
    BlockChanges changes_;
};

} // namespace

const char* kindName(KeyChange::Kind kind) {
    switch (kind) {
    case KeyChange::Kind::Field:
        return "field";
    case KeyChange::Kind::AddedKey:
        return "added-key";
    case KeyChange::Kind::DeletedKey:
        return "deleted-key";
    case KeyChange::Kind::KeyCount:
        return "key-count";
    }
    return "";
}

ActionWatch::ActionWatch(std::size_t loadedKeys) : loaded_(loadedKeys), nextId_(loadedKeys) {
    for (std::size_t id = 0; id < loadedKeys; ++id) {
        chain_.push_back(id);
    }
}

void ActionWatch::see(const standin::Panel& panel, std::size_t chainLength,
                      const std::optional<PanelAction>& action, const Playing& playing) {
    // What the last press did shows now, before the next action.
    if (pending_ == Press::Add && chainLength == lengthBefore_ + 1) {
        chain_.push_back(nextId_++); // the key editor appends
        keysChanged_ = true;
    } else if (pending_ == Press::Delete && chainLength + 1 == lengthBefore_ && shownBefore_ >= 1 &&
               static_cast<std::size_t>(shownBefore_) <= chain_.size()) {
        chain_.erase(chain_.begin() + (shownBefore_ - 1)); // the shown key goes
        keysChanged_ = true;
    }
    pending_ = Press::None;
    if (chainLength != chain_.size()) {
        lost_ = true;
    }
    if (!action || lost_) {
        return;
    }
    const int shownKey = shownKeyNumber(panel);
    if (action->kind == PanelAction::Kind::Press) {
        pending_ = action->label == PanelLabels::addKey      ? Press::Add
                   : action->label == PanelLabels::deleteKey ? Press::Delete
                                                             : Press::None;
        lengthBefore_ = chainLength;
        shownBefore_ = shownKey;
        return;
    }
    if (action->kind != PanelAction::Kind::Type) {
        return;
    }
    const std::vector<KeyField> fields = fieldsOf(action->label);
    const standin::PanelControl* control = panel.control(action->label);
    if (fields.empty() || control == nullptr || fields.size() != action->numbers.size()) {
        return; // the host refuses it; the edit fails
    }
    if (shownKey < 1 || static_cast<std::size_t>(shownKey) > chain_.size()) {
        lost_ = true;
        return;
    }
    const std::size_t id = chain_[static_cast<std::size_t>(shownKey - 1)];
    for (std::size_t element = 0; element < fields.size(); ++element) {
        if (fields.size() > 1) {
            // The vector control takes three numbers at once: an action
            // that means one of them types the others as they are shown.
            const bool meant = playing.element >= 0
                                   ? static_cast<std::size_t>(playing.element) == element
                                   : action->numbers[element] != control->vector[element];
            if (!meant) {
                continue;
            }
        }
        std::optional<Write> write;
        if (!playing.value.empty()) {
            write = Write{0, fields[element], playing.action, playing.value};
        }
        typed_[{id, fields[element]}] = write;
    }
}

std::optional<std::size_t> ActionWatch::origin(std::size_t key) const {
    if (key >= chain_.size() || chain_[key] >= loaded_) {
        return std::nullopt;
    }
    return chain_[key];
}

bool ActionWatch::asked(std::size_t key, KeyField field) const {
    return key < chain_.size() && typed_.count({chain_[key], field}) != 0;
}

std::vector<ActionWatch::Write> ActionWatch::lastWrites() const {
    std::vector<Write> writes;
    for (std::size_t key = 0; key < chain_.size(); ++key) {
        if (chain_[key] >= loaded_) {
            continue;
        }
        for (std::size_t slot = 0; slot < kFieldCount; ++slot) {
            const auto found = typed_.find({chain_[key], fieldAt(slot)});
            if (found != typed_.end() && found->second) {
                Write write = *found->second;
                write.key = key;
                writes.push_back(write);
            }
        }
    }
    return writes;
}

ChangeFinder::ChangeFinder(Session& session)
    : session_(session), probe_(session), spare_(session.newInstance()) {}

BlockChanges ChangeFinder::compare(const std::vector<std::string>& oldLines,
                                   const std::vector<std::string>& newLines,
                                   const ActionWatch& watch, const std::string& item) {
    const KeyedLines before =
        keyedLines(readBlock(session_, probe_, spare_, oldLines), oldLines.size());
    const KeyedLines after =
        keyedLines(readBlock(session_, probe_, spare_, newLines), newLines.size());
    if (watch.lost() || before.keys.size() != watch.loadedKeys() ||
        after.keys.size() != watch.keys()) {
        BlockChanges changes;
        changes.unasked.push_back(item +
                                  ": not asked for: cannot be told, as the key editor's keys "
                                  "did not follow its buttons");
        return changes;
    }
    BlockComparison comparison{{oldLines, before}, {newLines, after}, watch, item};
    for (std::size_t key = 0; key < after.keys.size(); ++key) {
        comparison.key(key);
    }
    comparison.deletedKeys();
    comparison.droppedLines();
    comparison.keyCount();
    comparison.idleWrites();
    return comparison.result();
}

} // namespace vrim::edit
