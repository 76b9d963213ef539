// The person at the key editor, as the edit sees one: asked for one action
// at a time while the module's panel is open. The command-line actions and
// the terminal editor are both one of these, so both reach the module by the
// same stand-in host calls.
#pragma once

#include "standin/panel_host.h"

#include <optional>
#include <string>

struct ShakeInstance;

namespace vrim::edit {

// What the action that next() returned last stands for, so that an edit can
// say which of its changes were asked for and why an action changed nothing.
struct Playing {
    std::string action; // the command-line action as written ("--set width-z=1e-7"); empty
                        // for a person at the terminal
    std::string value;  // the value that action types, as written ("1e-7"); empty when it
                        // types none of its own
    int element = -1;   // of the vector control: the one element the action means to
                        // type (the others keep what they show); -1 for every element
};

class PanelUser {
  public:
    virtual ~PanelUser() = default;
    // The next action, or nothing when the user has left the panel (the host
    // then reports the window closed). Runs inside the module's call of the
    // panel's open, so it must not throw.
    virtual std::optional<standin::PanelAction> next(standin::Panel& panel) = 0;
    // Once the panel is closed: why the edit cannot go on (empty: it can).
    virtual std::string failure() const = 0;
    // Once the panel is closed: the user cancelled, the item stays as it was.
    virtual bool cancelled() const = 0;
    // What the action that next() returned last stands for.
    virtual Playing playing() const { return {}; }
    // The instance whose keys the panel edits, before the panel opens; a
    // user that shows what the keys do now (the terminal editor) keeps it.
    virtual void editing(ShakeInstance& instance) { (void)instance; }
};

} // namespace vrim::edit
