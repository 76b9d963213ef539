// Ctrl-S as a review: what the save will write to the scene, every changed
// line, with the lines the module rewrites though nobody asked marked, and
// the question. Built only with curses.
#pragma once

#include "tools/vrim/edit/scene_edit.h"

#include <string>

namespace vrim::edit {

struct ReviewAsk {
    std::string scene;
    bool strict = false; // changes not asked for refuse the save
    bool dryRun = false; // nothing is written whatever the answer
};

// True when the user answers to go on (write, or with dryRun end the
// session); false to go back to the editor. dry is the session's edit
// played without writing.
bool reviewSave(const SceneEditResult& dry, const ReviewAsk& ask);

// The review's lines: the diff's, each marked "! " where the module
// rewrites it unasked and "  " otherwise, then the unasked changes listed.
std::vector<std::string> reviewLines(const SceneEditResult& dry);

} // namespace vrim::edit
