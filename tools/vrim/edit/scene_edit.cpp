#include "tools/vrim/edit/scene_edit.h"

#include "tools/vrim/edit/diff.h"
#include "tools/vrim/edit/splice.h"
#include "tools/vrim/files/replace_file.h"
#include "tools/vrim/module/analysis.h"
#include "tools/vrim/module/session.h"
#include "tools/vrim/scene/reader_choice.h"
#include "tools/vrim/scene/scene.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <utility>

namespace vrim::edit {

namespace {

std::string quoted(const std::string& text) {
    return "'" + text + "'";
}

// A block the module can be given whole: its data opens the block (the module
// reads its first line as "VRIM_START") and a "VRIM_END" line closes it.
// Empty when it can; otherwise why not.
std::string unfitBlock(const scene::Block& block) {
    if (!block.data) {
        return "its key block has no \"VRIM_START\" line";
    }
    if (block.data->firstLine != block.firstLine) {
        return "its key block has lines before \"VRIM_START\" (line " +
               std::to_string(block.firstLine) + ")";
    }
    if (!block.ended) {
        return "its key block has no \"VRIM_END\" line";
    }
    return {};
}

// The lines of the block's data, "VRIM_START" to "VRIM_END".
std::vector<std::string> dataLines(const scene::Block& block) {
    const auto first = static_cast<std::ptrdiff_t>(block.data->firstLine - block.firstLine);
    const auto last = static_cast<std::ptrdiff_t>(block.data->lastLine - block.firstLine);
    return {block.lines.begin() + first, block.lines.begin() + last + 1};
}

std::string problemText(const scene::Reader& reader) {
    for (const scene::Problem& problem : reader.problems()) {
        if (problem.stopsReading) {
            return problem.line == 0
                       ? problem.message
                       : "line " + std::to_string(problem.line) + ": " + problem.message;
        }
    }
    return "the reading stopped";
}

// The new files of one edit, removed again unless both went in.
struct Outputs {
    std::unique_ptr<files::FileWriter> edited;
    std::unique_ptr<files::FileWriter> backup;
};

// The blocks an edit asked for, by address and by number, and which of them
// the scene had.
class BlockSelection {
  public:
    explicit BlockSelection(const SceneEditOptions& options)
        : selector_(options.blocks), allItems_(options.allItems) {
        for (const std::string& address : selector_.addresses()) {
            blocksOf_.emplace(address, 0);
        }
        for (const std::size_t number : selector_.numbers()) {
            numbered_.emplace(number, false);
        }
        missing_ = blocksOf_.size() + numbered_.size();
    }
    // Only the blocks that will go through the module keep their lines.
    // --all-items: a block before any item line belongs to no item.
    bool wanted(const scene::Block& block) const {
        return (!selector_.everyBlock() && selector_.selects(block)) || (allItems_ && block.item);
    }
    void seeItem(const std::string& name) {
        if (blocksOf_.count(name) != 0) {
            itemSeen_.insert(name);
        }
    }
    // Whether the block goes through the module; counts it as found.
    bool pick(const scene::Block& block) {
        if (!wanted(block)) {
            return false;
        }
        const auto named = blocksOf_.find(block.address);
        const auto byNumber = numbered_.find(block.number);
        if (named != blocksOf_.end() && named->second++ == 0) {
            --missing_;
        }
        if (byNumber != numbered_.end() && !std::exchange(byNumber->second, true)) {
            --missing_;
        }
        return true;
    }
    // An address or a number is one block's: once every block asked for is
    // found, the rest of the file is copied as it is, not read as a scene
    // again.
    bool more() const { return allItems_ || missing_ > 0; }
    // Throws when a block asked for was not in the scene.
    void checkAllFound(const std::string& scene, const scene::ShakenItems& shaken) const;

  private:
    const scene::BlockSelector& selector_;
    bool allItems_;
    std::map<std::string, std::size_t> blocksOf_;
    std::map<std::size_t, bool> numbered_;
    std::set<std::string> itemSeen_;
    std::size_t missing_ = 0;
};

void BlockSelection::checkAllFound(const std::string& scene,
                                   const scene::ShakenItems& shaken) const {
    const auto refuse = [&](const std::string& why, ErrorKind kind) {
        return ToolError(scene + ": " + why, kind);
    };
    for (const auto& [name, blocks] : blocksOf_) {
        if (blocks > 0) {
            continue;
        }
        if (itemSeen_.count(name) != 0) {
            throw refuse("--item " + quoted(name) +
                             ": the item has no shake (no VRIM_S key block); adding a shake to an "
                             "item is not something vrim edit does",
                         ErrorKind::NoSuchItem);
        }
        throw refuse("--item " + quoted(name) +
                         ": no item of that name; items with a shake: " + shaken.list(),
                     ErrorKind::NoSuchItem);
    }
    for (const auto& [number, seen] : numbered_) {
        if (!seen) {
            throw refuse("--block " + std::to_string(number) +
                             " is out of range: the scene holds " + std::to_string(shaken.count()) +
                             " key block" + (shaken.count() == 1 ? "" : "s"),
                         ErrorKind::NoSuchItem);
        }
    }
}

// What the module's key editor made of one block.
struct ModuleResult {
    bool cancelled = false;
    std::vector<std::string> newLines;
    ActionWatch watch;
};

// One edit of one scene, step by step: the locks, one read that feeds the
// scene reader and the copy, each picked block through the module, and the
// new files in place only while the scene is still what was read.
class SceneEdit {
  public:
    SceneEdit(Session& session, files::FileSystem& fs, const std::string& path,
              const SceneEditOptions& options)
        : session_(session), fs_(fs), path_(path), scene_(quoted(path)), options_(options),
          backupPath_(files::besideName(fs, path, ".bak")), copier_(fs, path, backupSink()) {}

    SceneEditResult run();

  private:
    Session& session_;
    files::FileSystem& fs_;
    const std::string& path_;
    const std::string scene_;
    const SceneEditOptions& options_;
    const std::string backupPath_;
    Outputs out_;
    bool backupExisted_ = false;
    files::FileInfo before_;
    SceneCopier copier_;
    ByteSink copy_;
    std::optional<ChangeFinder> ownFinder_;
    int64_t lineShift_ = 0; // new line number minus old, past the blocks so far
    SceneEditResult result_;

    ToolError refuse(const std::string& why, ErrorKind kind = ErrorKind::Refused) const {
        return ToolError(scene_ + ": " + why, kind);
    }
    ToolError ioFailure(const std::string& why) const {
        return refuse(why + "; the file is as it was", ErrorKind::WriteFailed);
    }
    ByteSink backupSink() {
        return [this](const char* data, std::size_t size, std::string& why) {
            return !out_.backup || out_.backup->write(data, size, why);
        };
    }
    void lookAtScene();
    void openOutputs();
    void openBackup();
    void readBlocks();
    void editBlock(const scene::Block& block);
    ModuleResult runModule(const scene::Block& block, const std::string& item);
    void replaceBlock(const scene::Block& block, const std::vector<std::string>& oldLines,
                      const std::vector<std::string>& newLines);
    void checkStrict();
    void putInPlace();
};

SceneEditResult SceneEdit::run() {
    lookAtScene();
    // The locks come first: from here on no other vrim changes the scene, so
    // what is read now is what the new version replaces.
    if (!options_.dryRun) {
        openOutputs();
    }
    if (out_.edited) {
        copy_ = [this](const char* data, std::size_t size, std::string& why) {
            return out_.edited->write(data, size, why);
        };
    }
    std::string error;
    if (!copier_.open(error)) {
        throw refuse("cannot read it: " + error);
    }
    readBlocks();
    checkStrict();
    if (options_.dryRun || result_.edited == 0) {
        return std::move(result_); // the outputs' destructors remove their files
    }
    putInPlace();
    return std::move(result_);
}

void SceneEdit::lookAtScene() {
    if (path_ == "-") {
        throw ToolError("vrim edit changes files in place: give a scene file, not '-'");
    }
    std::string error;
    if (!fs_.stat(path_, before_, error)) {
        throw refuse(error.empty() ? "no such file" : error);
    }
    if (!before_.regular()) {
        throw refuse("not a scene file (a folder or a device)");
    }
}

void SceneEdit::openOutputs() {
    std::string error;
    out_.edited = std::make_unique<files::FileWriter>(fs_, path_, options_.policy);
    if (!out_.edited->open(error)) {
        throw refuse(error);
    }
    if (options_.backup) {
        openBackup();
    }
    if (!fs_.stat(path_, before_, error)) {
        throw refuse(error.empty() ? "it went away" : error);
    }
    out_.edited->expectOld(before_);
}

void SceneEdit::openBackup() {
    files::FileInfo existing;
    std::string error;
    backupExisted_ = fs_.stat(backupPath_, existing, error);
    if (!backupExisted_ && !error.empty()) {
        throw refuse("cannot look for the backup " + quoted(backupPath_) + ": " + error);
    }
    if (backupExisted_ && !options_.overwriteBackup) {
        throw refuse("the backup " + quoted(backupPath_) +
                     " exists; remove it or give --overwrite-backup");
    }
    out_.backup = std::make_unique<files::FileWriter>(fs_, backupPath_, options_.policy);
    out_.backup->keepLinkAtName();
    out_.backup->takeMetadataOf(path_);
    if (!out_.backup->open(error, options_.overwriteBackup)) {
        throw refuse("cannot write the backup " + quoted(backupPath_) + ": " + error);
    }
}

// One read of the file serves the scene reader and the copy: what the reader
// has passed goes on to the new file, except a block that may still be
// replaced.
void SceneEdit::readBlocks() {
    std::string copyError;
    std::optional<scene::Reader> scan;
    scan.emplace(scene::Reader::fromSource(
        [&](std::string_view& bytes, std::string& why) {
            if (!copier_.pull(bytes, scan->keepFrom(), copy_, why)) {
                copyError = why;
                return false;
            }
            return true;
        },
        path_));
    scene::Reader& reader = *scan;
    BlockSelection selection(options_);
    reader.keepLinesOf([&](const scene::Block& block) { return selection.wanted(block); });
    scene::ShakenItems shaken;
    const auto readOn = [&] { return selection.more() ? reader.next() : scene::Event::End; };
    for (scene::Event event = reader.next(); event != scene::Event::End; event = readOn()) {
        if (options_.poll) {
            options_.poll();
        }
        if (event == scene::Event::Item) {
            selection.seeItem(reader.item().name);
            continue;
        }
        shaken.add(reader.block());
        if (selection.pick(reader.block())) {
            editBlock(reader.block());
        }
    }
    if (!copyError.empty()) {
        throw ioFailure("cannot copy it: " + copyError);
    }
    if (reader.stopped()) {
        throw refuse(problemText(reader) + "; nothing was written");
    }
    scan.reset();
    selection.checkAllFound(scene_, shaken);
    if (options_.allItems && shaken.count() == 0) {
        result_.notes.push_back(scene_ + ": no item has a shake");
    }
}

// The module reads the block, the user works in its key editor, and the
// module writes the block again.
ModuleResult SceneEdit::runModule(const scene::Block& block, const std::string& item) {
    ShakeInstance* instance = session_.newInstance();
    session_.load(instance, block.lines);
    std::unique_ptr<PanelUser> user = options_.user(block.address);
    user->editing(*instance);
    ModuleResult outcome{false, {}, ActionWatch(keysOf(*instance).size())};
    const int code = session_.runKeyEditor(instance, [&](standin::Panel& panel) {
        std::optional<standin::PanelAction> action = user->next(panel);
        outcome.watch.see(panel, keysOf(*instance).size(), action, user->playing());
        return action;
    });
    if (code != 0) {
        throw ToolError(item + ": the module's key editor did not open (activation code " +
                        std::to_string(code) + ")");
    }
    if (const std::string why = user->failure(); !why.empty()) {
        throw ToolError(item + ": " + why + "; nothing was written");
    }
    outcome.cancelled = user->cancelled();
    if (!outcome.cancelled) {
        outcome.newLines = session_.save(instance);
    }
    session_.release(instance);
    return outcome;
}

void SceneEdit::editBlock(const scene::Block& block) {
    const std::string item = scene_ + ", item " + quoted(block.address);
    if (const std::string why = unfitBlock(block); !why.empty()) {
        throw ToolError(item + ": " + why + "; vrim edit leaves such a block alone");
    }
    BlockEdit record;
    record.block = block.number;
    record.address = block.address;
    record.item = block.item ? block.item->name : std::string();
    record.firstLine = block.data->firstLine;
    record.lastLine = block.data->lastLine;
    ModuleResult module = runModule(block, item);
    if (module.cancelled) {
        ++result_.cancelled;
        result_.notes.push_back(item + ": the key editor was cancelled; the item is unchanged");
        record.outcome = "cancelled";
        result_.blocks.push_back(std::move(record));
        return;
    }
    const std::vector<std::string> oldLines = dataLines(block);
    if (!options_.changes && !ownFinder_) {
        ownFinder_.emplace(session_);
    }
    BlockChanges changes = (options_.changes ? *options_.changes : *ownFinder_)
                               .compare(oldLines, module.newLines, module.watch, item);
    if (module.newLines == oldLines) {
        ++result_.unchanged;
        record.outcome = "unchanged";
        // Its lines are as they were, but a value typed and held otherwise
        // (rounded to the old one) is still told.
        for (KeyChange& change : changes.changes) {
            if (change.kind == KeyChange::Kind::Field) {
                record.changes.push_back(std::move(change));
            }
        }
        result_.blocks.push_back(std::move(record));
        result_.notes.insert(result_.notes.end(), changes.idle.begin(), changes.idle.end());
        return;
    }
    replaceBlock(block, oldLines, module.newLines);
    result_.notes.push_back(item + ": key block at lines " + std::to_string(block.data->firstLine) +
                            "-" + std::to_string(block.data->lastLine) +
                            (options_.dryRun ? " would be replaced (" : " replaced (") +
                            std::to_string(oldLines.size()) + " lines, now " +
                            std::to_string(module.newLines.size()) + ")");
    result_.notes.insert(result_.notes.end(), changes.unasked.begin(), changes.unasked.end());
    result_.notes.insert(result_.notes.end(), changes.idle.begin(), changes.idle.end());
    result_.unasked.insert(result_.unasked.end(), changes.unasked.begin(), changes.unasked.end());
    record.outcome = "edited";
    record.oldLines = oldLines;
    record.newLines = module.newLines;
    record.changes = std::move(changes.changes);
    result_.blocks.push_back(std::move(record));
}

// Everything up to the block as it is, then the module's block with the old
// block's line ends.
void SceneEdit::replaceBlock(const scene::Block& block, const std::vector<std::string>& oldLines,
                             const std::vector<std::string>& newLines) {
    const scene::Span& data = *block.data;
    std::string oldBytes, error;
    if (!copier_.copyTo(data.begin, copy_, error) || !copier_.take(data.end, oldBytes, error)) {
        throw ioFailure("cannot copy it: " + error);
    }
    const std::string newText = blockText(newLines, oldBytes);
    if (copy_ && !copy_(newText.data(), newText.size(), error)) {
        throw ioFailure("cannot write the edited scene beside it: " + error);
    }
    if (options_.dryRun) {
        if (result_.diff.empty()) {
            result_.diff = diffHeader(path_);
        }
        result_.diff +=
            diffHunks(oldBytes, newText, data.firstLine,
                      static_cast<uint64_t>(static_cast<int64_t>(data.firstLine) + lineShift_));
    }
    lineShift_ += static_cast<int64_t>(newLines.size()) - static_cast<int64_t>(oldLines.size());
    ++result_.edited;
}

void SceneEdit::checkStrict() {
    if (options_.strict && !result_.unasked.empty()) {
        const std::size_t count = result_.unasked.size();
        throw StrictRefusal(scene_ + ": --strict refuses " + std::to_string(count) +
                                (count == 1 ? " change" : " changes") +
                                " not asked for (listed); the file is as it was",
                            std::move(result_.unasked));
    }
}

// The rest of the file, then the new file and the backup to the disk, and
// both in place only while the scene is still what was read. The disk
// flushes the new files while the scene is read again to prove it
// unchanged; a last look from outside, just before it is replaced, sees a
// change made meanwhile.
void SceneEdit::putInPlace() {
    std::string error;
    if (!copier_.finish(before_.size, copy_, error)) {
        throw ioFailure("cannot copy it: " + error);
    }
    if (out_.backup) {
        out_.backup->beginPrepare();
    }
    out_.edited->beginPrepare();
    const files::FileStamp read{before_, copier_.hash()};
    if (!files::unchangedSince(fs_, path_, read, error)) {
        throw refuse(error + "; nothing was written");
    }
    if (out_.backup && !out_.backup->prepare(error)) {
        throw ioFailure("cannot write the backup " + quoted(backupPath_) + ": " + error);
    }
    if (!out_.edited->prepare(error)) {
        throw ioFailure("cannot write the edited scene beside it: " + error);
    }
    if (!files::unchangedOutside(fs_, path_, before_, error)) {
        throw refuse(error + "; nothing was written");
    }
    // The backup is in place, its folder flushed, before the scene is
    // replaced: a power cut in between leaves both versions.
    if (out_.backup && !out_.backup->commit(error)) {
        throw ioFailure("cannot put the backup " + quoted(backupPath_) + " in place: " + error);
    }
    if (!out_.edited->commit(error)) {
        if (out_.backup && !backupExisted_) {
            // The backup is of a file that was not replaced after all.
            std::string ignored;
            fs_.remove(backupPath_, ignored);
        }
        throw ioFailure("cannot put the edited scene in place: " + error);
    }
    result_.written = true;
    if (!out_.edited->kept().empty()) {
        throw refuse("the edit went in, but another program wrote to the scene while it was "
                     "replaced; what the old file held then is kept in '" +
                         out_.edited->kept() + "': merge it by hand",
                     ErrorKind::ChangedOnDisk);
    }
    if (out_.backup && backupPath_ != path_ + ".bak") {
        // The name with ".bak" would not fit in the folder.
        result_.notes.push_back(scene_ + ": backup written as " + quoted(backupPath_));
    }
    for (const auto* writer : {out_.backup.get(), out_.edited.get()}) {
        if (writer != nullptr && !writer->warning().empty()) {
            result_.notes.push_back(quoted(writer->target()) + ": " + writer->warning());
        }
    }
}

} // namespace

SceneEditResult editScene(Session& session, files::FileSystem& fs, const std::string& path,
                          const SceneEditOptions& options) {
    return SceneEdit(session, fs, path, options).run();
}

} // namespace vrim::edit
