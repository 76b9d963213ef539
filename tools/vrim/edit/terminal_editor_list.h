// The key list's rows as the terminal editor shows them: the module's own
// text for each key (start, end and period), then, where the list is wide
// enough, the key's X, Y and Z widths and its fall-off in aligned columns,
// and on the shown key the values typed but not yet stored.
#pragma once

#include "plugin/core/shake.h"

#include <string>
#include <vector>

namespace vrim::edit {

struct KeyListView {
    std::vector<std::string> moduleRows; // as the screen shows them, one per listed key
    std::vector<const ShakeKey*> keys;   // in chain order: row i is keys[i]
    int pendingRow = -1;                 // the row whose key has values not yet stored
    std::vector<std::string> pending;    // those values, as typed ("Freqency Time 0.5")
};

// Every row of the list, each at most width columns. The fields go by
// priority: the module's text, then the pending values, then the widths,
// then the fall-off; every row without pending values shows the same
// fields, so the columns line up.
std::vector<std::string> keyListRows(const KeyListView& list, int width);

} // namespace vrim::edit
