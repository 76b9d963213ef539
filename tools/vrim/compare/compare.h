// Two versions of a scene, or of a folder of scenes, compared as the module
// reads them: which items' shakes appeared, went or were renamed, which keys
// changed field by field, and how far the motion moved, evaluated by the
// module frame by frame. Commands and the review page print what it finds;
// it prints nothing itself.
//
// Memory: the pairing index holds each block's address, its number and a
// digest of its keys; keys themselves are held for one item at a time, so
// two scenes of any size compare in a bounded footprint. Each scene is read
// once to pair its blocks and once more for the pairs that differ.
#pragma once

#include "tools/vrim/module/session.h"
#include "tools/vrim/scene/scene.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vrim::compare {

// A key's values as the module loaded them.
struct KeyValues {
    int32_t start = 0;
    int32_t end = 0;
    double period = 0.0;
    double widthX = 0.0, widthY = 0.0, widthZ = 0.0;
    bool fallOff = false;
};
KeyValues valuesOf(const ShakeKey& key);

enum class Field { Start, End, Period, WidthX, WidthY, WidthZ, FallOff };
// "start", "end", "period", "width X", "width Y", "width Z", "fall-off".
const char* fieldName(Field field);
// The name JSON gives it: "start", "end", "period", "widthX", ..., "fallOff".
const char* fieldKey(Field field);
double fieldValue(const KeyValues& key, Field field);

struct FieldChange {
    Field field = Field::Start;
    double before = 0.0, after = 0.0; // fall-off: 0 off, 1 on
};

// One key of the old chain against one of the new, or a key on one side.
struct KeyChange {
    std::size_t oldKey = 0, newKey = 0; // 1-based chain positions; 0: not on that side
    std::vector<FieldChange> fields;    // changed keys only
    KeyValues values;                   // an added key's new values, a removed key's old ones
};

// How far the two versions' offsets part, over the frames where either acts.
struct MotionDifference {
    std::array<double, 3> largest = {0.0, 0.0, 0.0}; // per axis, absolute
    std::optional<int64_t> first, last;              // frames differing by more than the tolerance
    uint64_t frames = 0;                             // frames compared
    bool cut = false;                                // stopped at kMaxComparedFrames
    bool moves() const { return first.has_value(); }
    int largestAxis() const; // 0, 1, 2: where the difference is largest
};
constexpr uint64_t kMaxComparedFrames = 1000000;

enum class Change { Changed, Added, Removed, Renamed };
const char* changeName(Change change); // "changed", "added", "removed", "renamed"

struct ItemDiff {
    Change change = Change::Changed;
    std::string address;    // the new version's; a removed item's old one
    std::string oldAddress; // renamed: the old version's
    std::size_t oldKeys = 0, newKeys = 0;
    std::vector<KeyChange> keys; // changed, added and removed keys, in chain order
    MotionDifference motion;
};

// A header value that decides when keys act, changed.
struct HeaderChange {
    std::string what;          // "frame rate", "first frame", "last frame"
    std::string before, after; // as read; "none" when absent
    std::string effect;        // in words
};

struct SceneTotals {
    std::size_t changed = 0, added = 0, removed = 0, renamed = 0, unchanged = 0;
    std::size_t moving = 0; // items whose motion differs
    bool moves() const { return moving > 0; }
    // A folder's totals: its scenes' added up.
    SceneTotals& operator+=(const SceneTotals& other) {
        changed += other.changed;
        added += other.added;
        removed += other.removed;
        renamed += other.renamed;
        unchanged += other.unchanged;
        moving += other.moving;
        return *this;
    }
};

struct SceneListener {
    // Once per scene, before its items; empty when the header's timing is the same.
    std::function<void(const std::vector<HeaderChange>&)> header;
    // Each item that differs, as soon as it is found (nothing of it is kept).
    std::function<void(const ItemDiff&)> item;
};

struct DiffOptions {
    double tolerance = 1e-6;
};

// Two scene files compared. An empty path is a scene absent on that side:
// its items are all added or all removed. Throws ToolError when a scene
// cannot be opened or is cut short by a problem that stops its reading.
SceneTotals compareScenes(Session& session, const std::string& oldPath, const std::string& newPath,
                          const DiffOptions& options, const SceneListener& listener);

// The scenes of two folders paired by their path inside the folder; each
// pair's old or new path is empty when it is on one side only.
struct ScenePair {
    std::string relative; // as the folders hold it, '/' between folders
    std::string oldPath, newPath;
};
std::vector<ScenePair> pairFolders(const std::string& oldFolder, const std::string& newFolder,
                                   bool recursive);

// What the user named: two scenes (one pair, relative empty) or two
// folders. Throws ToolError for a folder against a file.
std::vector<ScenePair> pairsOf(const std::string& oldPath, const std::string& newPath,
                               bool recursive);

// The document's "formatVersion", the same as every command's.
constexpr int kFormatVersion = 1;

// The members of the JSON document (docs/schema/diff.json) that a command
// and the library both give.
nlohmann::json itemJson(const ItemDiff& item);
nlohmann::json headerJson(const HeaderChange& change);
nlohmann::json totalsJson(const SceneTotals& totals);

// A scene's shakes as stable lines of text, one key to a line with its item,
// for a line-by-line diff (git's textconv): header values that decide when
// keys act, then each block's keys. Throws ToolError as compareScenes does.
void shakeLines(Session& session, const std::string& path,
                const std::function<void(const std::string&)>& line);

// A key's change in words ("key 2 period 0.5 → 0.25, fall-off off → on")
// and a motion difference ("moves up to 0.05 on Y, frames 10–40"), for
// people: the command's lines and the review page's notes.
std::string keyChangeText(const KeyChange& key);
std::string motionText(const MotionDifference& motion);

// A number as short as it can be written and read back the same ("0.1", not
// "0.100000").
std::string number(double value);

} // namespace vrim::compare
