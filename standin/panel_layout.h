// Where the host draws each control of a panel, in the panel's own units
// (pixels): the label where the module placed the control, the field right
// of it, sized by the control's type. The SVG picture draws from this and the
// terminal key editor scales it to character cells, so both show the panel
// the module built the same way.
#pragma once

#include "standin/panel_host.h"

#include <cstddef>
#include <vector>

namespace standin {

struct ControlBox {
    const PanelControl* control = nullptr;
    int x = 0, y = 0;   // where the module placed the control: its label's left edge
    int fieldX = 0;     // the field's left edge, right of the label
    int fieldWidth = 0; // all of the field, the gaps between a vector's parts included
    int fieldHeight = 0;
    int parts = 1;     // fields side by side: three for a vector
    int partWidth = 0; // one part's width
    int partStep = 0;  // from one part's left edge to the next one's
    int listRows = 0;  // a list box: the rows it shows
};

struct PanelLayout {
    static constexpr int kFieldHeight = 16;
    static constexpr int kListRowHeight = 15;
    static constexpr int kMargin = 12; // right of and below the last field
    static constexpr int kMinWidth = 320;

    int width = kMinWidth;         // the panel's frame: wide enough for every field
    int height = 0;                // the height the module set, else below the lowest field
    std::vector<ControlBox> boxes; // in the order the module added the controls

    // The boxes as a person reads them: top to bottom, then left to right.
    std::vector<const ControlBox*> screenOrder() const;
};

PanelLayout layoutOf(const Panel& panel);

} // namespace standin
