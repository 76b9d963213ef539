// The person at the key editor, as the edit sees one: asked for one action
// at a time while the module's panel is open. The command-line actions and
// the terminal editor are both one of these, so both reach the module by the
// same stand-in host calls.
#pragma once

#include "standin/panel_host.h"

#include <optional>
#include <string>

namespace vrim::edit {

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
};

} // namespace vrim::edit
