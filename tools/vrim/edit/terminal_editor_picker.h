// The item to edit, picked from the scene's items with a shake when the
// command line named none. Built only with curses.
#pragma once

#include "tools/vrim/edit/scene_edit.h"

#include <optional>
#include <string>
#include <vector>

namespace vrim::edit {

struct ShakenItem {
    std::string address; // as --item takes it
    std::string name;    // as the scene spells it
};

// Every item of the scene with a shake, in file order: each block's panel
// opened by the module and closed at once, so the list is what the editor
// can open. Throws ToolError as the edit does.
std::vector<ShakenItem> shakenItems(Session& session, files::FileSystem& fs,
                                    const std::string& path, SceneEditOptions options);

// The user's pick, or nothing when the user left.
std::optional<std::string> pickItem(const std::string& scene, const std::vector<ShakenItem>& items);

} // namespace vrim::edit
