// The vrim tool as a library: scenes and their shaken items, keys as the
// module loaded them, offsets evaluated by the module, check's findings,
// edits played on the module's key editor, and the module file in use.
//
// It stands on the same folders as the commands (the scene reader, the block
// checker, the edit player and its safe writer), so a script that uses it
// sees what `vrim ls`, `check`, `bake` and `edit` print. The Python module
// `vrim` is built on this header alone.
//
// Threads: a Library holds one module loaded into the stand-in host, whose
// services are the process's: what touches them (the module reading a
// block, its key editor, its save) is taken one call at a time. Scene files
// are read and checked outside that lock (held per block), and an
// evaluation loads its item into an instance of its own and evaluates it
// with no lock at all, so threads evaluating at once run in parallel. edit,
// report and diff hold the host for their whole run. Library objects, and
// the Scene and Item records they hand out, may be shared between threads;
// Libraries of different module files take the one session in turn (a call
// on the other file waits for the calls in progress to end). Between
// processes nothing is shared but files.
//
// Interrupts: the check given to setInterruptCheck is asked between scenes
// and blocks, at most every few milliseconds, during open, next, check, edit
// and report, and every so many samples of an evaluation; true ends the call
// with Failure (Interrupted), nothing written.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vrim::library {

// Every refusal: the scene, the item and the action it concerns (each empty
// when it does not apply), and one line for people.
struct Failure : std::runtime_error {
    enum class Kind {
        Module,      // the module file is missing or is not a shake module
        Scene,       // the scene cannot be read, or changed since it was opened
        Item,        // no item (or block) of that name or number has a shake
        Edit,        // an edit was refused; the scene is as it was
        Usage,       // an argument the call cannot take
        Write,       // a file may not be written there, or its writing failed
        Stale,       // the scene changed on disk between its reading and this call
        Interrupted, // a signal (Ctrl-C) ended the work; nothing was written
    };
    Failure(Kind kind, const std::string& message, std::string scene = {}, std::string item = {},
            std::string action = {});
    Kind kind;
    std::string scene, item, action;
    std::vector<std::string> unasked; // a strict refusal: what it refused
    std::ptrdiff_t actionIndex = -1;  // the request's action it concerns; -1: none
};

struct Key {
    std::int32_t start = 0;
    std::int32_t end = 0;
    double period = 0.0; // seconds
    std::array<double, 3> width = {0.0, 0.0, 0.0};
    bool fallOff = false;
};

struct Finding {
    std::string severity;   // "note", "warning", "error"
    std::string kind;       // check's kind of finding
    std::uint64_t line = 0; // line of the scene file; 0: none
    int key = 0;            // 1-based key; 0: not about one key
    std::string message;
};

// One key block of a scene: what `--item` and `--block` address.
struct Item {
    std::string name;      // the name every command takes with --item
    std::size_t block = 0; // the number every command takes with --block
    std::string kind;      // "object", "null", "camera", "light", "bone"; empty without an item
    std::uint64_t firstLine = 0, lastLine = 0;
    std::uint64_t begin = 0, end = 0; // its bytes in the file
    std::size_t keyCount = 0;
    int errors = 0, warnings = 0; // check's findings of the block, counted
};

// A scene's items, held compactly: a scene of 200 MB has hundreds of
// thousands of them. Each item's numbers are kept as differences from the
// item before it (a few bytes each, as 7-bit groups) with its name beside
// them, in pieces of about kChunkBytes; the place of every kMarkEvery-th
// item is kept so that any item is rebuilt by reading at most that many
// before it, and a 32-bit hash of each name so that a name is looked up
// without rebuilding every item. An Item is made whole only when asked for.
class ItemTable {
  public:
    static constexpr std::size_t kMarkEvery = 64;
    static constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
    static constexpr std::size_t kHashesPerPiece = std::size_t{1} << 16;

    void push_back(const Item& item);
    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    // The item at index (below size()), and count items from first on
    // (fewer at the end).
    Item at(std::size_t index) const;
    std::vector<Item> range(std::size_t first, std::size_t count) const;
    // The index of the item of that name, or of that block number.
    std::optional<std::size_t> find(const std::string& name) const;
    std::optional<std::size_t> findBlock(std::size_t number) const;
    // The bytes the table holds, and letting go of those it reserved.
    std::size_t heldBytes() const;
    void shrinkToFit();

  private:
    // Where an item's bytes start, and the values of the item before it
    // that its own differences are counted from.
    struct Cursor {
        std::size_t chunk = 0, at = 0;
        std::uint64_t end = 0, lastLine = 0, block = 0;
        std::string name; // the name the next one shares its first bytes with
    };
    Item next(Cursor& cursor) const;
    void putName(std::string& out, const Item& item, std::string_view before);
    static void getName(const std::string& in, std::size_t& at, std::string& before, Item& item);
    Cursor cursorAt(std::size_t index) const;

    std::vector<std::string> chunks_;
    std::vector<Cursor> marks_; // the cursor of items 0, kMarkEvery, 2 * kMarkEvery...
    std::vector<std::string> kinds_;
    // Each item's name hashed, in pieces that are never moved as they fill.
    std::vector<std::vector<std::uint32_t>> hashes_;
    Cursor last_; // where the next item goes
    std::string lastName_;
    std::size_t count_ = 0;
};

struct Scene {
    std::string path;
    double fps = 30.0;
    std::optional<std::int32_t> firstFrame, lastFrame;
    double frameStep = 1.0; // the header's FrameStep: bake samples every so many frames
    ItemTable items;
    std::vector<Finding> findings; // about the scene as a whole
    int errors = 0, warnings = 0;
    std::uint64_t size = 0;    // bytes when opened
    std::int64_t modified = 0; // last write when opened
};

// A scene read one item at a time (Library::next), holding nothing of the
// items before: for a scene read once through, however large.
class ItemStream {
  public:
    ~ItemStream();
    ItemStream(const ItemStream&) = delete;
    ItemStream& operator=(const ItemStream&) = delete;
    // The scene's path and when it was last written; its frame rate, frames
    // and step once the first item is read. It holds no items or findings.
    const Scene& scene() const;

  private:
    friend class Library;
    struct State;
    explicit ItemStream(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

// One row of offsets: frame, time in seconds, and x, y, z.
using Row = std::array<double, 5>;

// One finding of check with the scene it belongs to.
struct SceneFinding {
    std::string scene;
    std::string item; // empty: about the scene
    std::size_t block = 0;
    Finding finding;
};

// What check found in one scene file.
struct CheckedFile {
    std::string path;
    std::size_t blocks = 0, keys = 0;
    int errors = 0, warnings = 0;
    bool noShake = false;
    std::string error; // why it could not be read whole; empty when it was
};

// Check over files and folders: each file, every finding in the order the
// command prints them, the totals and the exit status `vrim check` gives
// (0 clean, 1 warnings, 2 errors).
struct CheckResult {
    std::vector<CheckedFile> files;
    std::vector<SceneFinding> findings;
    std::size_t blocks = 0, keys = 0;
    int errors = 0, warnings = 0;
    int status = 0;
};

// One edit action, as `vrim edit` takes it: option "key", "set", "add-key",
// "delete-key", "shift" or "script", with its value ("2", "start=10", "", ...).
struct Action {
    std::string option;
    std::string value;
};

struct EditRequest {
    std::vector<std::string> items; // names
    std::vector<std::size_t> blocks;
    bool allItems = false;
    std::vector<Action> actions; // played on every picked item without a list of its own
    // Each item's own actions (by its address), all written in one pass.
    std::vector<std::pair<std::string, std::vector<Action>>> itemActions;
    bool dryRun = false;
    bool backup = false;
    bool overwriteBackup = false;
    bool strict = false;         // refuse when the module's save changes what was not asked for
    bool force = false;          // replace a read-only scene, or one whose owners cannot be kept
    bool breakHardLinks = false; // replace a scene that has other names; they keep the old text
};

// One change an edit made (or would make, dry): a key's field, a key added
// or deleted, or the key count of one block.
struct Change {
    std::string item;      // the block's address, as --item takes it
    std::size_t block = 0; // its number
    std::string kind;      // "field", "added-key", "deleted-key", "key-count"
    std::size_t key = 0;   // 1-based in the saved keys; 0 for a deleted key and the count
    std::size_t was = 0;   // 1-based in the file's keys; 0 for an added key and the count
    std::string field;     // as --set names it; empty unless kind is "field"
    std::optional<std::string> before, after; // the number as the file held it, as saved
    // false: the module's save changed it on its own, or holds a typed value
    // otherwise than typed (rounded), then listed even when the line is kept
    bool asked = true;
};

struct EditResult {
    std::size_t edited = 0;    // blocks whose text changed
    std::size_t unchanged = 0; // blocks left as they were
    bool written = false;      // the scene file was replaced
    std::string diff;          // dry run: the unified diff
    std::vector<std::string> notes;
    // Each change the module's save made beyond the actions, one line each
    // (scene, item, key, field, old and new line), as `vrim edit` lists them.
    std::vector<std::string> unasked;
    std::vector<Change> changes; // in file order
};

// What `vrim report` takes: the page's title and bounds, and which blocks
// and frames of the scenes.
struct ReportRequest {
    std::string title = "Shake review";
    bool recursive = false;
    std::string item;      // only this item's block; empty: every block
    std::size_t block = 0; // only this block, by number; 0: every block
    std::optional<double> fps;
    std::optional<std::pair<std::int32_t, std::int32_t>> frames; // first, last
    std::size_t plots = 200;                                     // items drawn, in page order
};

// What the page holds of one scene.
struct ReportScene {
    std::string path;
    std::size_t blocks = 0, plotted = 0, listed = 0, unlisted = 0;
    int errors = 0, warnings = 0;
    std::string error; // why it could not be used whole; empty when it was
};

struct ReportResult {
    std::string page;        // the file written
    std::uint64_t bytes = 0; // its size
    std::size_t items = 0, plotted = 0;
    int errors = 0, warnings = 0;
    std::vector<ReportScene> scenes;
};

class Library {
  public:
    // modulePath empty: the module `vrim --version` names.
    explicit Library(const std::string& modulePath = {});
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    const std::string& modulePath() const;
    // Asked between scenes and blocks while open, next, check, edit and
    // report work, and every 65536 samples of an evaluation, at most every few
    // milliseconds, from the calling thread: true ends the call with a
    // Failure (Interrupted). A caller's Ctrl-C handler, so that a long call
    // stops within moments; none by default. Set it before any call.
    void setInterruptCheck(std::function<bool()> interrupted);

    // Reads the scene through, checking every block as `vrim check` does;
    // holds each block's place, counts and name in the scene's ItemTable,
    // not its lines or findings: a few bytes an item.
    Scene open(const std::string& path);
    // The scene opened for reading one item at a time; next() hands each
    // item, checked as open() checks it, and nothing after the last. A
    // scene that could not be read to its end is a Failure (Scene) once
    // the items before the trouble are handed out. Each item may be used
    // with the stream's scene() in the calls below, as one of open()'s.
    std::unique_ptr<ItemStream> stream(const std::string& path);
    std::optional<Item> next(ItemStream& stream);
    // Check's findings of one item, the block checked again from its bytes.
    std::vector<Finding> findings(const Scene& scene, const Item& item);
    // The keys of one item, as the module loads them.
    std::vector<Key> keys(const Scene& scene, const Item& item);
    // The item's offsets at frames (fractional frames allowed) at fps, from
    // the module; frames empty: every frame of the scene's range, else of
    // the item's keys.
    std::vector<Row> offsets(const Scene& scene, const Item& item,
                             const std::vector<double>& frames, std::optional<double> fps);
    // The rows of count frames written into out (count * 5 doubles). With
    // rest (count * 3 doubles: the item's own position at each frame, as
    // bake's --base track gives it) the rows hold the shaken position, as
    // bake prints it; without, the offsets alone. With times, frames are
    // seconds instead: each sample is at exactly that time, its frame the
    // time times fps.
    void evaluateInto(const Scene& scene, const Item& item, const double* frames, std::size_t count,
                      double fps, const double* rest, double* out, bool times = false);
    // The frames offsets() takes by default: those bake samples.
    std::vector<double> defaultFrames(const Scene& scene, const Item& item);
    // Check over files and folders. Finding no scene file at all is a
    // Failure (Scene): a gate must not pass on an empty folder.
    CheckResult check(const std::vector<std::string>& paths, bool recursive);
    // Plays actions on the picked items of one scene and writes it safely.
    EditResult edit(const std::string& path, const EditRequest& request);
    // Writes the review page of the scenes (files and folders) to page
    // through the safe writer, as `vrim report -o page` does.
    ReportResult report(const std::vector<std::string>& paths, const std::string& page,
                        const ReportRequest& request);

    // Two scenes or two folders compared as `vrim diff --json` compares
    // them: that document's text (docs/schema/diff.json).
    std::string diff(const std::string& oldPath, const std::string& newPath, double tolerance,
                     bool recursive);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// Where the module is looked for without a path, and whether it is there:
// the line `vrim --version` prints.
std::string defaultModulePath();
std::string moduleLine();

// Runs the validator's checks on a module file; returns the lines it prints
// and the number of failed checks.
struct Validation {
    std::vector<std::string> lines;
    int failed = 0;
};
Validation validate(const std::string& modulePath, std::uint64_t seed = 0);

} // namespace vrim::library
