// Folders of scenes paired by their paths inside them, and a scene's shakes
// as stable lines for a line-by-line diff.
#include "tools/vrim/compare/compare.h"
#include "tools/vrim/compare/internal.h"
#include "tools/vrim/files/filesystem.h"
#include "tools/vrim/files/paths.h"
#include "tools/vrim/scene/batch.h"
#include "tools/vrim/scene/findings.h"

#include <algorithm>
#include <filesystem>
#include <map>

namespace vrim::compare {

namespace {

std::string relativeTo(const std::string& folder, const std::string& file) {
    return files::genericTextOf(files::pathOf(file).lexically_relative(files::pathOf(folder)));
}

std::string keyLine(const std::string& address, std::size_t position, const KeyValues& key) {
    return address + " key " + std::to_string(position) + ": start " + std::to_string(key.start) +
           ", end " + std::to_string(key.end) + ", period " + compare::number(key.period) +
           ", width X " + compare::number(key.widthX) + " Y " + compare::number(key.widthY) +
           " Z " + compare::number(key.widthZ) + ", fall-off " + (key.fallOff ? "on" : "off");
}

} // namespace

std::vector<ScenePair> pairFolders(const std::string& oldFolder, const std::string& newFolder,
                                   bool recursive) {
    std::map<std::string, ScenePair> byPath;
    for (const std::string& file : scene::sceneFiles({oldFolder}, recursive)) {
        ScenePair& pair = byPath[relativeTo(oldFolder, file)];
        pair.oldPath = file;
    }
    for (const std::string& file : scene::sceneFiles({newFolder}, recursive)) {
        ScenePair& pair = byPath[relativeTo(newFolder, file)];
        pair.newPath = file;
    }
    std::vector<ScenePair> pairs;
    for (auto& [relative, pair] : byPath) {
        pair.relative = relative;
        pairs.push_back(std::move(pair));
    }
    return pairs;
}

namespace {

// Whether path names a folder (standard input is none).
bool isFolder(const std::string& path) {
    files::FileInfo info;
    std::string ignored;
    return path != "-" && files::systemFileSystem().stat(path, info, ignored) &&
           info.kind == files::FileKind::Folder;
}

} // namespace

std::vector<ScenePair> pairsOf(const std::string& oldPath, const std::string& newPath,
                               bool recursive) {
    const bool oldFolder = isFolder(oldPath);
    const bool newFolder = isFolder(newPath);
    if (oldFolder != newFolder) {
        throw ToolError("'" + (oldFolder ? oldPath : newPath) +
                        "' is a folder and the other is not: give two scenes or two folders");
    }
    if (oldFolder) {
        return pairFolders(oldPath, newPath, recursive);
    }
    return {{"", oldPath, newPath}};
}

void shakeLines(Session& session, const std::string& path,
                const std::function<void(const std::string&)>& line) {
    scene::Reader reader = scene::Reader::open(path);
    bool headerDone = false;
    // The header comes before the first item; a scene without a shake
    // still says its timing.
    auto header = [&] {
        if (headerDone) {
            return;
        }
        const SceneTiming timing = sceneTiming(reader.header(), std::nullopt, std::nullopt);
        line("frame rate " + number(timing.fps));
        line(timing.frames ? "frames " + std::to_string(timing.frames->first) + " to " +
                                 std::to_string(timing.frames->last)
                           : "frames not stated");
        headerDone = true;
    };
    ShakeInstance* instance = nullptr;
    for (scene::Event event = reader.next(); event != scene::Event::End; event = reader.next()) {
        if (event != scene::Event::Block) {
            continue;
        }
        header();
        const scene::Block& block = reader.block();
        // A fresh instance for each block, as the host makes one per item.
        instance = session.newInstance();
        session.load(instance, block.lines);
        const std::vector<KeyValues> keys = keysOfInstance(*instance);
        session.release(instance);
        line(block.address + ": " + std::to_string(keys.size()) +
             (keys.size() == 1 ? " key" : " keys"));
        for (std::size_t k = 0; k < keys.size(); ++k) {
            line(keyLine(block.address, k + 1, keys[k]));
        }
    }
    header();
    if (reader.stopped()) {
        for (const scene::Problem& problem : reader.problems()) {
            if (problem.stopsReading) {
                line("not read past line " + std::to_string(problem.line) + ": " + problem.message);
            }
        }
    }
}

} // namespace vrim::compare
