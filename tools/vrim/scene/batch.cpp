#include "tools/vrim/scene/batch.h"

#include "text/names.h"
#include "tools/vrim/error.h"
#include "tools/vrim/files/paths.h"
#include "tools/vrim/scene/reader_choice.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

namespace vrim::scene {

namespace {

namespace fs = std::filesystem;

bool isSceneFile(const fs::path& path) {
    std::string extension = files::textOf(path.extension());
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".lws";
}

// The scene files of folder, and with recursive those of the folders below
// it (not through links to folders, which could lead round in a circle);
// false with error set when a folder cannot be read.
bool collectFolder(files::FileSystem& fs, const std::string& folder, bool recursive,
                   std::vector<std::string>& found, std::string& error) {
    std::vector<files::FolderEntry> entries;
    if (!fs.listFolder(folder, entries, error)) {
        return false;
    }
    for (const files::FolderEntry& entry : entries) {
        const fs::path path = files::pathOf(folder) / files::pathOf(entry.name);
        if (entry.regular && isSceneFile(path)) {
            found.push_back(files::genericTextOf(path));
        }
        if (recursive && entry.folder &&
            !collectFolder(fs, files::textOf(path), recursive, found, error)) {
            return false;
        }
    }
    return true;
}

void addFolder(files::FileSystem& fs, const std::string& folder, bool recursive,
               std::vector<std::string>& files) {
    std::vector<std::string> found;
    std::string error;
    if (!collectFolder(fs, folder, recursive, found, error)) {
        throw ToolError("cannot read folder '" + folder + "': " + error);
    }
    std::sort(found.begin(), found.end());
    files.insert(files.end(), found.begin(), found.end());
}

} // namespace

std::vector<std::string> sceneFiles(const std::vector<std::string>& paths, bool recursive,
                                    files::FileSystem& fs) {
    std::vector<std::string> files;
    for (const std::string& path : paths) {
        files::FileInfo info;
        std::string ignored;
        if (path != "-" && fs.stat(path, info, ignored) && info.kind == files::FileKind::Folder) {
            addFolder(fs, path, recursive, files);
        } else {
            files.push_back(path);
        }
    }
    return files;
}

SceneBatch::SceneBatch(const std::vector<std::string>& paths, bool recursive)
    : files_(sceneFiles(paths, recursive)) {}

std::size_t SceneBatch::visit(
    const std::function<void()>& flushOutput,
    const std::function<std::string(std::size_t index, const std::string& path)>& each) const {
    std::size_t failed = 0;
    for (std::size_t index = 0; index < files_.size(); ++index) {
        std::string error;
        try {
            error = each(index, files_[index]);
        } catch (const ToolError& e) {
            error = e.what();
        }
        if (!error.empty()) {
            ++failed;
            flushOutput();
            std::fprintf(stderr, "vrim: %s\n", text::terminalSafe(error).c_str());
        }
    }
    return failed;
}

SceneOutcome visitScene(Reader& reader, const BlockSelector& selector, const SceneVisit& visit) {
    SceneOutcome outcome;
    std::size_t blocks = 0;
    ShakenItems shaken(selector);
    for (Event event = reader.next(); event != Event::End; event = reader.next()) {
        if (event != Event::Block) {
            continue;
        }
        const Block& block = reader.block();
        ++blocks;
        shaken.add(block);
        if (selector.selects(block)) {
            ++outcome.blocks;
            visit.block(block, reader.header());
        }
    }
    outcome.noShake = blocks == 0 && !reader.stopped();
    if (reader.stopped()) {
        const Problem& problem = reader.problems().back();
        outcome.error = reader.name() +
                        (problem.line != 0 ? ":" + std::to_string(problem.line) : std::string()) +
                        ": " + problem.message;
    } else if (!outcome.noShake && outcome.blocks == 0) {
        outcome.missing = true;
        outcome.error = notSelected(selector, shaken, "'" + reader.name() + "'");
    }
    return outcome;
}

} // namespace vrim::scene
