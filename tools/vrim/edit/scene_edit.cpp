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

} // namespace

SceneEditResult editScene(Session& session, files::FileSystem& fs, const std::string& path,
                          const SceneEditOptions& options) {
    const std::string scene = quoted(path);
    const auto refuse = [&](const std::string& why, ErrorKind kind = ErrorKind::Refused) {
        return ToolError(scene + ": " + why, kind);
    };
    if (path == "-") {
        throw ToolError("vrim edit changes files in place: give a scene file, not '-'");
    }
    files::FileInfo before;
    std::string error;
    if (!fs.stat(path, before, error)) {
        throw refuse(error.empty() ? "no such file" : error);
    }
    if (!before.regular()) {
        throw refuse("not a scene file (a folder or a device)");
    }

    // The locks come first: from here on no other vrim changes the scene, so
    // what is read now is what the new version replaces.
    Outputs out;
    const std::string backupPath = path + ".bak";
    bool backupExisted = false;
    if (!options.dryRun) {
        out.edited = std::make_unique<files::FileWriter>(fs, path, options.policy);
        if (!out.edited->open(error)) {
            throw refuse(error);
        }
        if (options.backup) {
            files::FileInfo existing;
            std::string statError;
            backupExisted = fs.stat(backupPath, existing, statError);
            if (!backupExisted && !statError.empty()) {
                throw refuse("cannot look for the backup " + quoted(backupPath) + ": " + statError);
            }
            if (backupExisted && !options.overwriteBackup) {
                throw refuse("the backup " + quoted(backupPath) +
                             " exists; remove it or give --overwrite-backup");
            }
            out.backup = std::make_unique<files::FileWriter>(fs, backupPath, options.policy);
            if (!out.backup->open(error, options.overwriteBackup)) {
                throw refuse("cannot write the backup " + quoted(backupPath) + ": " + error);
            }
        }
        if (!fs.stat(path, before, error)) {
            throw refuse(error.empty() ? "it went away" : error);
        }
    }
    ByteSink every;
    if (out.backup) {
        every = [&out](const char* data, std::size_t size, std::string& why) {
            return out.backup->write(data, size, why);
        };
    }
    ByteSink copy;
    if (out.edited) {
        copy = [&out](const char* data, std::size_t size, std::string& why) {
            return out.edited->write(data, size, why);
        };
    }
    SceneCopier copier(fs, path, every);
    const auto ioFailure = [&](const std::string& why) {
        return refuse(why + "; the file is as it was", ErrorKind::WriteFailed);
    };
    if (!copier.open(error)) {
        throw refuse("cannot read it: " + error);
    }

    SceneEditResult result;
    // One read of the file serves the scene reader and the copy: what the
    // reader has passed goes on to the new file, except a block that may
    // still be replaced.
    std::string copyError;
    std::optional<scene::Reader> scan;
    scan.emplace(scene::Reader::fromSource(
        [&](std::string_view& bytes, std::string& why) {
            if (!copier.pull(bytes, scan->keepFrom(), copy, why)) {
                copyError = why;
                return false;
            }
            return true;
        },
        path));
    scene::Reader& reader = *scan;
    // Which of the named blocks the scene has, by address and by number.
    std::map<std::string, std::size_t> blocksOf;
    for (const std::string& item : options.items) {
        blocksOf.emplace(item, 0);
    }
    std::map<std::size_t, bool> numbered;
    for (const int number : options.blocks) {
        numbered.emplace(static_cast<std::size_t>(number), false);
    }
    // Only the blocks that will go through the module keep their lines.
    reader.keepLinesOf([&](const scene::Block& block) {
        return blocksOf.count(block.address) != 0 || numbered.count(block.number) != 0 ||
               (options.allItems && block.item);
    });
    std::map<std::string, bool> itemSeen;
    std::optional<ChangeFinder> ownFinder;
    scene::ShakenItems shaken;
    int64_t lineShift = 0; // new line number minus old, past the blocks so far
    // An address or a number is one block's: once every block asked for is
    // found, the rest of the file is copied as it is, not read as a scene
    // again.
    std::size_t missing = blocksOf.size() + numbered.size();
    const auto readOn = [&] {
        return options.allItems || missing > 0 ? reader.next() : scene::Event::End;
    };
    for (scene::Event event = reader.next(); event != scene::Event::End; event = readOn()) {
        if (event == scene::Event::Item) {
            const auto found = blocksOf.find(reader.item().name);
            if (found != blocksOf.end()) {
                itemSeen[found->first] = true;
            }
            continue;
        }
        const scene::Block& block = reader.block();
        shaken.add(block);
        const std::string& name = block.address;
        const auto named = blocksOf.find(name);
        const auto byNumber = numbered.find(block.number);
        const bool picked = named != blocksOf.end() || byNumber != numbered.end();
        if (!picked && (!options.allItems || !block.item)) {
            continue; // --all-items: a block before any item line belongs to no item
        }
        if (named != blocksOf.end() && named->second++ == 0) {
            --missing;
        }
        if (byNumber != numbered.end() && !std::exchange(byNumber->second, true)) {
            --missing;
        }
        const std::string item = scene + ", item " + quoted(name);
        if (const std::string why = unfitBlock(block); !why.empty()) {
            throw ToolError(item + ": " + why + "; vrim edit leaves such a block alone");
        }
        BlockEdit record;
        record.block = block.number;
        record.address = name;
        record.item = block.item ? block.item->name : std::string();
        record.firstLine = block.data->firstLine;
        record.lastLine = block.data->lastLine;

        // The module reads the block, the user works in its key editor, and
        // the module writes the block again.
        ShakeInstance* instance = session.newInstance();
        session.load(instance, block.lines);
        std::unique_ptr<PanelUser> user = options.user(name);
        ActionWatch watch(keysOf(*instance).size());
        const int code = session.runKeyEditor(instance, [&](standin::Panel& panel) {
            std::optional<standin::PanelAction> action = user->next(panel);
            watch.see(panel, keysOf(*instance).size(), action, user->playing());
            return action;
        });
        if (code != 0) {
            throw ToolError(item + ": the module's key editor did not open (activation code " +
                            std::to_string(code) + ")");
        }
        if (const std::string why = user->failure(); !why.empty()) {
            throw ToolError(item + ": " + why + "; nothing was written");
        }
        if (user->cancelled()) {
            ++result.cancelled;
            result.notes.push_back(item + ": the key editor was cancelled; the item is unchanged");
            record.outcome = "cancelled";
            result.blocks.push_back(std::move(record));
            session.release(instance);
            continue;
        }
        const std::vector<std::string> newLines = session.save(instance);
        session.release(instance);
        const std::vector<std::string> oldLines = dataLines(block);
        if (!options.changes && !ownFinder) {
            ownFinder.emplace(session);
        }
        BlockChanges changes = (options.changes ? *options.changes : *ownFinder)
                                   .compare(oldLines, newLines, watch, item);
        if (newLines == oldLines) {
            ++result.unchanged;
            record.outcome = "unchanged";
            result.blocks.push_back(std::move(record));
            result.notes.insert(result.notes.end(), changes.idle.begin(), changes.idle.end());
            continue;
        }

        // Everything up to the block as it is, then the module's block with
        // the old block's line ends.
        const scene::Span& data = *block.data;
        std::string oldBytes;
        if (!copier.copyTo(data.begin, copy, error) || !copier.take(data.end, oldBytes, error)) {
            throw ioFailure("cannot copy it: " + error);
        }
        const std::string newText = blockText(newLines, oldBytes);
        if (copy && !copy(newText.data(), newText.size(), error)) {
            throw ioFailure("cannot write the edited scene beside it: " + error);
        }
        if (options.dryRun) {
            if (result.diff.empty()) {
                result.diff = diffHeader(path);
            }
            result.diff +=
                diffHunks(oldBytes, newText, data.firstLine,
                          static_cast<uint64_t>(static_cast<int64_t>(data.firstLine) + lineShift));
        }
        lineShift += static_cast<int64_t>(newLines.size()) - static_cast<int64_t>(oldLines.size());
        ++result.edited;
        result.notes.push_back(item + ": key block at lines " + std::to_string(data.firstLine) +
                               "-" + std::to_string(data.lastLine) +
                               (options.dryRun ? " would be replaced (" : " replaced (") +
                               std::to_string(oldLines.size()) + " lines, now " +
                               std::to_string(newLines.size()) + ")");
        record.outcome = "edited";
        record.oldLines = oldLines;
        record.newLines = newLines;
        record.changes = std::move(changes.changes);
        result.blocks.push_back(std::move(record));
        result.notes.insert(result.notes.end(), changes.unasked.begin(), changes.unasked.end());
        result.notes.insert(result.notes.end(), changes.idle.begin(), changes.idle.end());
        result.unasked.insert(result.unasked.end(), changes.unasked.begin(), changes.unasked.end());
    }
    if (!copyError.empty()) {
        throw ioFailure("cannot copy it: " + copyError);
    }
    if (reader.stopped()) {
        throw refuse(problemText(reader) + "; nothing was written");
    }
    scan.reset();
    for (const auto& [name, blocks] : blocksOf) {
        if (blocks > 0) {
            continue;
        }
        if (itemSeen.count(name) != 0) {
            throw refuse("--item " + quoted(name) +
                         ": the item has no shake (no VRIM_S key block); adding a shake to an "
                         "item is not something vrim edit does",
                         ErrorKind::NoSuchItem);
        }
        throw refuse("--item " + quoted(name) +
                     ": no item of that name; items with a shake: " + shaken.list(),
                     ErrorKind::NoSuchItem);
    }
    for (const auto& [number, seen] : numbered) {
        if (!seen) {
            throw refuse("--block " + std::to_string(number) +
                         " is out of range: the scene holds " + std::to_string(shaken.count()) +
                         " key block" + (shaken.count() == 1 ? "" : "s"));
        }
    }
    if (options.allItems && shaken.count() == 0) {
        result.notes.push_back(scene + ": no item has a shake");
    }
    if (options.strict && !result.unasked.empty()) {
        const std::size_t count = result.unasked.size();
        throw StrictRefusal(scene + ": --strict refuses " + std::to_string(count) +
                                (count == 1 ? " change" : " changes") +
                                " not asked for (listed); the file is as it was",
                            std::move(result.unasked));
    }
    if (options.dryRun || result.edited == 0) {
        return result; // the outputs' destructors remove their files
    }

    // The rest of the file, then the new file and the backup to the disk,
    // and both in place only while the scene is still what was read.
    if (!copier.finish(before.size, copy, error)) {
        throw ioFailure("cannot copy it: " + error);
    }
    // The disk flushes the new files while the scene is read again to prove
    // it unchanged; a last look from outside, just before it is replaced,
    // sees a change made meanwhile.
    if (out.backup) {
        out.backup->beginPrepare();
    }
    out.edited->beginPrepare();
    const files::FileStamp read{before, copier.hash()};
    if (!files::unchangedSince(fs, path, read, error)) {
        throw refuse(error + "; nothing was written");
    }
    if (out.backup && !out.backup->prepare(error)) {
        throw ioFailure("cannot write the backup " + quoted(backupPath) + ": " + error);
    }
    if (!out.edited->prepare(error)) {
        throw ioFailure("cannot write the edited scene beside it: " + error);
    }
    if (!files::unchangedOutside(fs, path, before, error)) {
        throw refuse(error + "; nothing was written");
    }
    // The backup is in place, its folder flushed, before the scene is
    // replaced: a power cut in between leaves both versions.
    if (out.backup && !out.backup->commit(error)) {
        throw ioFailure("cannot put the backup " + quoted(backupPath) + " in place: " + error);
    }
    if (!out.edited->commit(error)) {
        if (out.backup && !backupExisted) {
            // The backup is of a file that was not replaced after all.
            std::string ignored;
            fs.remove(backupPath, ignored);
        }
        throw ioFailure("cannot put the edited scene in place: " + error);
    }
    result.written = true;
    for (const auto* writer : {out.backup.get(), out.edited.get()}) {
        if (writer != nullptr && !writer->warning().empty()) {
            result.notes.push_back(quoted(writer->target()) + ": " + writer->warning());
        }
    }
    return result;
}

} // namespace vrim::edit
