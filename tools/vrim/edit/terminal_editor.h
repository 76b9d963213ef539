// The interactive key editor: the module's panel drawn in a terminal, every
// control where the module placed it (scaled to the terminal), and the keys
// a person presses turned into the same panel actions that scripts play.
//
//   Tab, Shift-Tab   move between the controls, in the order the module added them
//   typing           edits the field; leaving it (Tab, Enter) types the value in
//   Enter, space     presses a button, toggles a check box
//   Up, Down         pick a row of the key list
//   Ctrl-S           closes the panel with OK: the module saves, the file is written
//   Esc              closes the panel with Cancel: the file stays as it was
#pragma once

#include "tools/vrim/edit/panel_user.h"

#include <memory>
#include <string>

namespace vrim::edit {

// Empty when this build and this process can show the editor; otherwise why
// not, one line (no terminal, or a build without curses).
std::string terminalEditorUnavailable();

// One panel session in the terminal. The screen is taken when the panel
// opens and given back when it closes (or the editor is destroyed).
std::unique_ptr<PanelUser> makeTerminalEditor(const std::string& sceneName,
                                              const std::string& itemName);

} // namespace vrim::edit
