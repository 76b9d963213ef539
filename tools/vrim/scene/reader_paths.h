// The scene files a command reads: the paths the user gave, folders turned
// into the scene files in them.
#pragma once

#include <string>
#include <vector>

namespace vrim::scene {

// Files stay as given ("-" is standard input), in the order given; a folder
// gives its ".lws" files (any case) in name order, and with recursive those
// of every folder below it too. A path that does not exist stays, so that
// reading it says so.
std::vector<std::string> sceneFiles(const std::vector<std::string>& paths, bool recursive);

} // namespace vrim::scene
