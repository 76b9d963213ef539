// The scenes a command reads: the paths the user gave, folders turned into
// the scene files in them, and the key blocks picked from each scene.
#pragma once

#include "tools/vrim/scene/scene.h"
#include "tools/vrim/scene/selector.h"

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace vrim::scene {

// The scenes of one command, each visited in turn. A scene's own trouble
// does not stop the others: the visit returns why the scene could not be
// used whole (empty: it could) or throws ToolError, and either way the batch
// flushes the command's output, writes "vrim: WHY" on standard error and
// goes on with the next scene.
class SceneBatch {
  public:
    // Folders are read now (sceneFiles), so that a folder that cannot be
    // read is refused before any work. Throws ToolError.
    SceneBatch(const std::vector<std::string>& paths, bool recursive);
    const std::vector<std::string>& files() const { return files_; }
    // Visits every file in order, index from 0; returns how many failed.
    std::size_t
    visit(const std::function<void()>& flushOutput,
          const std::function<std::string(std::size_t index, const std::string& path)>& each) const;

  private:
    std::vector<std::string> files_;
};

// Files stay as given ("-" is standard input), in the order given; a folder
// gives its ".lws" files (any case) in name order, and with recursive those
// of every folder below it too. A path that does not exist stays, so that
// reading it says so.
std::vector<std::string> sceneFiles(const std::vector<std::string>& paths, bool recursive,
                                    files::FileSystem& fs = files::systemFileSystem());

// What a command makes of one scene's blocks.
struct SceneVisit {
    // Each block picked, in file order, with the scene's header as read so far.
    std::function<void(const Block&, const Header&)> block;
};

// One scene read through: a stopping problem, an --item that names no item
// with a shake, a scene without a shake. Each is one line.
struct SceneOutcome {
    std::size_t blocks = 0; // blocks handed to the visit
    bool noShake = false;   // the scene holds no key block
    bool missing = false;   // --item or --block named no block of the scene
    std::string error;      // the scene could not be read, or --item found nothing
};

// Reads one scene and hands the selected blocks to the visit. A selector
// that selects nothing in the scene is told of as for one address or one
// number (--item, --block).
SceneOutcome visitScene(Reader& reader, const BlockSelector& selector, const SceneVisit& visit);

} // namespace vrim::scene
