// The interactive key editor: the module's panel drawn in a terminal, every
// control in the place the module gave it (fitted to the terminal so that
// nothing overlaps), and the keys a person presses turned into the same panel
// actions that scripts play.
//
//   Tab, Shift-Tab   move between the controls in screen order
//   typing           edits the field; leaving it (Tab, Enter) types the value in,
//                    checked as --set checks it
//   Enter, space     presses a button (DELETE KEY asks first), toggles a check box
//   Up, Down         pick a row of the key list; Enter shows the picked key
//   g                go to key N
//   Ctrl-S           closes the panel with OK: the module saves, the file is written
//   Esc, Ctrl-C      closes the panel with Cancel (asks first when something changed)
//
// The module's messages show as boxes to dismiss, as the host shows them.
#pragma once

#include "tools/vrim/edit/panel_user.h"
#include "tools/vrim/edit/scene_edit.h"
#include "tools/vrim/files/filesystem.h"

#include <string>

namespace vrim {
class Session;
}

namespace vrim::edit {

// Empty when this build and this process can show the editor; otherwise why
// not, one line (no terminal, or a build without curses).
std::string terminalEditorUnavailable();

// Edits the one item that options names in the terminal. The session's
// actions are kept until they are written: when the scene changed on disk
// before Ctrl-S, the user reads it again and the actions are replayed onto
// it, or saves to another file (the scene as it was read, with the actions
// played); when writing fails, the editor opens again with the actions
// replayed and says why. Throws ToolError for what is refused before the
// panel opens.
SceneEditResult editInTerminal(Session& session, files::FileSystem& fs, const std::string& path,
                               SceneEditOptions options);

} // namespace vrim::edit
