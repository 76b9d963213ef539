// The key editor's screen: the module's panel drawn in a terminal, every
// control in the place the module gave it (fitted to the terminal so that
// nothing overlaps), and the keys a person presses turned into the same panel
// actions that scripts play. Built only with curses.
#pragma once

#include "tools/vrim/edit/panel_user.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vrim::edit {

// What the session keeps across the panel's openings until it is written.
struct SessionState {
    std::vector<standin::PanelAction>
        actions;                      // the user's, in order; replayed when the panel reopens
    std::vector<std::string> notices; // shown as boxes when the panel opens next
    // After the panel closed: done, the scene read again, saved to saveAs,
    // or the panel opened again with the actions replayed (undo, redo).
    enum class Next { Done, ReadAgain, SaveAs, Replay } next = Next::Done;
    std::vector<std::vector<standin::PanelAction>> redo; // what undo took back, last last
    std::string status;                                  // said when the panel opens next
    std::size_t focus = 0;                               // the control focused when it opens next
    std::string saveAs;
    bool closedWithOk = false;
    // Opened for viewing: why the scene cannot be written; empty when it can.
    std::string readOnly;
    // Why the scene is not what was read; empty: it is.
    std::function<std::string()> changedOnDisk;
    // Why the scene cannot be written now; empty: it can.
    std::function<std::string()> cannotWrite;
    // Why no new file can be made under the name; empty: it can.
    std::function<std::string(const std::string&)> cannotCreate;
    // Why the last save failed; Ctrl-S then offers to retry or save elsewhere.
    std::string saveFailed;
    // The scene's timing and check's findings for the keys as they stand.
    std::function<std::string(ShakeInstance&)> context;
};

// The screen for one opening of the item's panel in scene; the session's
// earlier actions are replayed first.
std::unique_ptr<PanelUser> terminalScreen(std::string scene, std::string item, SessionState& state);

// The terminal taken for the editor (the user's locale, raw keys) and given
// back; the session opens and closes it once for all its panels and reviews.
void openTerminal();
void closeTerminal();

// A name or message as the screen shows it: decoded as every output of the
// tool decodes scene bytes, every control and bidirectional character
// escaped visibly, and in the terminal's own character set.
std::string screenText(const std::string& bytes);
// The columns text takes on screen, and text cut to at most that many.
int screenColumns(const std::string& text);
std::string fitColumns(const std::string& text, int columns);
// The end of text that takes at most that many columns.
std::string lastColumns(const std::string& text, int columns);

} // namespace vrim::edit
