#include "tools/vrim/edit/terminal_editor_list.h"

#include "text/numbers.h"

#include "tools/vrim/edit/terminal_editor_screen.h"

#include <algorithm>

namespace vrim::edit {

namespace {

// What a row adds to the module's text, the most needed first.
enum class Extra { None, Widths, FallOff };

// The columns each shown value takes, the widest of every listed key's.
struct Columns {
    int lead = 0; // the module's text
    int axis[3] = {0, 0, 0};
};

std::string padded(std::string text, int columns) {
    text.append(static_cast<std::size_t>(std::max(0, columns - screenColumns(text))), ' ');
    return text;
}

Columns columnsOf(const KeyListView& list) {
    Columns columns;
    for (std::size_t i = 0; i < list.moduleRows.size(); ++i) {
        columns.lead = std::max(columns.lead, screenColumns(list.moduleRows[i]));
        if (i < list.keys.size()) {
            const ShakeKey& key = *list.keys[i];
            const double widths[3] = {key.widthX, key.widthY, key.widthZ};
            for (int axis = 0; axis < 3; ++axis) {
                columns.axis[axis] = std::max(columns.axis[axis],
                                              static_cast<int>(text::general(widths[axis]).size()));
            }
        }
    }
    return columns;
}

std::string withExtra(const KeyListView& list, const Columns& columns, int row, Extra extra) {
    const std::string& text = list.moduleRows[static_cast<std::size_t>(row)];
    if (extra == Extra::None || static_cast<std::size_t>(row) >= list.keys.size()) {
        return text;
    }
    const ShakeKey& key = *list.keys[static_cast<std::size_t>(row)];
    const double widths[3] = {key.widthX, key.widthY, key.widthZ};
    static const char* const labels[3] = {"  Width X ", "  Y ", "  Z "};
    std::string out = padded(text, columns.lead);
    for (int axis = 0; axis < 3; ++axis) {
        const bool last = axis == 2 && extra == Extra::Widths;
        out += labels[axis];
        out += last ? text::general(widths[axis])
                    : padded(text::general(widths[axis]), columns.axis[axis]);
    }
    if (extra == Extra::FallOff) {
        out += key.fallOff != 0 ? "  FallOff on" : "  FallOff off";
    }
    return out;
}

std::string pendingText(const std::vector<std::string>& values) {
    std::string text = "  * pending:";
    for (const std::string& value : values) {
        text += " " + value + ";";
    }
    text.pop_back();
    return text;
}

// The most the rows show without pending values within width columns.
Extra widestExtra(const KeyListView& list, const Columns& columns, int width) {
    Extra best = Extra::None;
    for (const Extra extra : {Extra::Widths, Extra::FallOff}) {
        int widest = 0;
        for (int row = 0; row < static_cast<int>(list.moduleRows.size()); ++row) {
            widest = std::max(widest, screenColumns(withExtra(list, columns, row, extra)));
        }
        if (widest <= width) {
            best = extra;
        }
    }
    return best;
}

// A row with as much as fits: on the row with pending values, those stay in
// sight and the stored values they replace give way, the fall-off first.
std::string rowText(const KeyListView& list, const Columns& columns, int row, Extra most,
                    int width) {
    if (row != list.pendingRow || list.pending.empty()) {
        return withExtra(list, columns, row, most);
    }
    const std::string pending = pendingText(list.pending);
    const Extra fewer[] = {Extra::FallOff, Extra::Widths, Extra::None};
    std::string text;
    for (const Extra extra : fewer) {
        if (extra <= most) {
            text = withExtra(list, columns, row, extra) + pending;
            if (screenColumns(text) <= width) {
                break;
            }
        }
    }
    return text;
}

} // namespace

std::vector<std::string> keyListRows(const KeyListView& list, int width) {
    const Columns columns = columnsOf(list);
    const Extra most = widestExtra(list, columns, width);
    std::vector<std::string> rows;
    for (int row = 0; row < static_cast<int>(list.moduleRows.size()); ++row) {
        rows.push_back(fitColumns(rowText(list, columns, row, most, width), width));
    }
    return rows;
}

} // namespace vrim::edit
