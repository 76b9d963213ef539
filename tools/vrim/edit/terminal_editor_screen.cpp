#include "tools/vrim/edit/terminal_editor_screen.h"

#include "standin/panel_layout.h"
#include "standin/standin.h"
#include "text/names.h"
#include "tools/vrim/edit/key_actions.h"
#include "tools/vrim/edit/terminal_editor_list.h"
#include "tools/vrim/error.h"
#include "tools/vrim/files/cleanup.h"
#include "tools/vrim/module/analysis.h"

#include <curses.h>
#include <langinfo.h>

#include <csignal>
#include <iterator>

#include <algorithm>
#include <cctype>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <map>
#include <numeric>
#include <optional>
#include <vector>

namespace vrim::edit {

namespace {

using standin::ControlBox;
using standin::Panel;
using standin::PanelAction;
using standin::PanelControl;

constexpr int kCtrlC = 3;
constexpr int kCtrlY = 25;
constexpr int kCtrlZ = 26;
constexpr int kCtrlS = 19;
constexpr int kEscape = 27;
// A terminal cell never stands for less than a label character (5 pixels).
constexpr double kMaxColumnScale = 1.0 / standin::PanelHost::kCharWidth;
constexpr int kRowPixels = 20; // one panel row, as the module places them
constexpr int kMinColumns = 60;
constexpr int kMinLines = 16;
constexpr int kGap = 2; // cells between two controls on one line

bool isEnter(int key) {
    return key == '\n' || key == '\r' || key == KEY_ENTER;
}

std::string shortNumber(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

PanelAction panelAction(PanelAction::Kind kind, std::string label = {},
                        std::vector<double> numbers = {}, int row = 0) {
    PanelAction action;
    action.kind = kind;
    action.label = std::move(label);
    action.numbers = std::move(numbers);
    action.row = row;
    return action;
}

// A line folded to width columns, at a blank where one is near the end.
std::vector<std::string> folded(std::string rest, int width) {
    std::vector<std::string> lines;
    while (screenColumns(rest) > width) {
        const std::string head = fitColumns(rest, width);
        std::size_t cut = head.rfind(' ');
        if (cut == std::string::npos || cut < head.size() / 2) {
            cut = head.size();
        }
        lines.push_back(rest.substr(0, cut));
        rest.erase(0, cut + (cut < rest.size() && rest[cut] == ' ' ? 1 : 0));
    }
    lines.push_back(rest);
    return lines;
}

// The keys the bottom line names, the most needed first: as many as fit
// the width, shown in this order.
std::string hintLine(int width) {
    static const char* const hints[] = {
        "? help",  "^S save",    "Esc leave",   "Tab/S-Tab move", "Enter press",
        "^Z undo", "Up/Dn pick", "g go to key", "PgUp/PgDn page", "Space toggle",
    };
    std::string line;
    for (const char* hint : hints) {
        const std::string next = line.empty() ? hint : line + "  " + hint;
        if (static_cast<int>(next.size()) > width) {
            break;
        }
        line = next;
    }
    return line;
}

// One place the cursor can rest: a control, or one of a vector control's fields.
struct Stop {
    PanelControl* control = nullptr;
    int part = 0;
};

constexpr const char* kAxisNames[] = {"X", "Y", "Z"};
constexpr const char* kAxisFields[] = {"width-x", "width-y", "width-z"};

// The --set field a typed value goes to, named as --set names it.
std::string setFieldOf(const Stop& stop) {
    const std::string& label = stop.control->label;
    const std::string& type = stop.control->typeName;
    if (label == PanelLabels::width || type == kControlNameVector) {
        return kAxisFields[std::clamp(stop.part, 0, 2)];
    }
    if (label == PanelLabels::end) {
        return "end";
    }
    if (label == PanelLabels::start || type == kControlNameInteger) {
        return "start";
    }
    return "freq";
}

// A value typed into a field, checked by the rule --set applies to the same
// field: the number to type in, or nothing with why saying what is wrong.
std::optional<double> checkTyped(const std::string& field, const std::string& text,
                                 std::string& why) {
    try {
        return parseEditAction("set", field + "=" + text).value;
    } catch (const ToolError& e) {
        // The message starts with the option as written: the field is on screen.
        const std::string message = e.what();
        const std::string option = "--set " + field + "=" + text + ": ";
        why = message.rfind(option, 0) == 0 ? message.substr(option.size()) : message;
        return std::nullopt;
    }
}

// A width the module takes but no shake needs: the item would be thrown
// further than any scene reaches.
constexpr double kWidthNoShakeNeeds = 1e6;

// The widths typed into one field: split at blanks and commas; commas only
// between all three (X, Y, Z), so that "1,5" is never taken as two widths
// when a decimal comma was meant.
std::vector<std::string> typedWidths(const std::string& text, int from, std::string& why) {
    std::vector<std::string> parts;
    std::string part;
    bool comma = false;
    for (const char c : text + " ") {
        if (c == ' ' || c == ',') {
            comma = comma || c == ',';
            if (!part.empty()) {
                parts.push_back(part);
            }
            part.clear();
        } else {
            part += c;
        }
    }
    if (parts.empty()) {
        why = "no width typed";
    } else if (comma && (parts.size() != 3 || from != 0)) {
        why = "'" + text +
              "': commas go between all three widths (X, Y, Z); the decimal point is '.'";
    } else if (from + static_cast<int>(parts.size()) > 3) {
        why = "'" + text + "': " + std::to_string(parts.size()) + " widths from " +
              kAxisNames[from] + " on, but only " + std::to_string(3 - from) + " axes are left";
    } else {
        return parts;
    }
    return {};
}

// The width a control needs on screen, right of its label.
int fieldCells(const PanelControl& control) {
    const std::string& type = control.typeName;
    if (type == kControlNameFloat) {
        return 12;
    }
    if (type == kControlNameVector) {
        return 3 * 10 + 2;
    }
    if (type == kControlNameInteger) {
        return 11; // -2147483648
    }
    if (type == kControlNameBool) {
        return 3;
    }
    if (type == kControlNameInfo) {
        return std::max({control.descriptor.width, 6, static_cast<int>(control.text.size())});
    }
    return 8;
}

// Where a control is drawn, in cells.
struct Placed {
    const ControlBox* box = nullptr;
    int line = 0;
    int labelCol = 0;
    int fieldCol = 0; // a button: its face
    int fieldWidth = 0;
};

struct ScreenLayout {
    bool fits = false;
    std::vector<Placed> placed;
    const Placed* list = nullptr;
    int listLine = 0, listRows = 0, listCol = 0, listWidth = 0;
};

// The terminal column of a panel x: a cell never stands for less than a
// label character, and column 0 is left free.
struct ColumnScale {
    double scale = 1;
    int operator()(int x) const { return 1 + static_cast<int>(std::lround(x * scale)); }
};

// The module's controls by panel row, top to bottom, in screen order within
// a row; the key list apart, as it takes the lines the rows leave.
struct PanelRows {
    std::vector<std::vector<Placed>> rows;
    std::vector<int> rowY; // each row's panel y
    const ControlBox* listBox = nullptr;
};

PanelRows panelRows(const standin::PanelLayout& layout) {
    PanelRows panel;
    for (const ControlBox* box : layout.screenOrder()) {
        if (box->control->typeName == kControlNameListBox && panel.listBox == nullptr) {
            panel.listBox = box;
            continue;
        }
        if (panel.rowY.empty() || panel.rowY.back() != box->y) {
            panel.rowY.push_back(box->y);
            panel.rows.emplace_back();
        }
        panel.rows.back().push_back({box});
    }
    return panel;
}

// Places one panel row's controls left to right, each at its scaled place
// or right of its left neighbour, on a line of its own when it does not fit
// beside them; the lines the row takes. Lines count from the row's first.
int placeRow(std::vector<Placed>& row, const ColumnScale& col, int right) {
    int line = 0, cursor = 1;
    for (Placed& p : row) {
        const PanelControl& c = *p.box->control;
        const int label = static_cast<int>(c.label.size());
        const bool button = c.typeName == kControlNameButton;
        p.fieldWidth = button ? label + 4 : fieldCells(c);
        const int need = button ? p.fieldWidth : label + 1 + p.fieldWidth;
        int at = button ? col(p.box->x) : col(p.box->fieldX) - label - 1;
        at = std::max(at, cursor);
        if (at + need > right && cursor > 1) {
            ++line;
            at = 1;
        }
        at = std::min(at, std::max(1, right - need));
        p.line = line;
        p.labelCol = at;
        p.fieldCol = button ? at : at + label + 1;
        cursor = at + need + kGap;
    }
    return line + 1;
}

// The blank panel rows between two rows, by their panel y.
int blankLines(int fromY, int toY) {
    return std::max(0, (toY - fromY) / kRowPixels - 1);
}

// Where the key list may go: from its label's line to the last line above
// the status line, and right to the last usable column + 1.
struct ListRoom {
    int line = 0, last = 0, right = 0;
};

// The key list: its label on the line given, its rows below it to the last
// line, right of its scaled place to the terminal's edge.
void placeList(ScreenLayout& out, const ControlBox& listBox, const ListRoom& room,
               const ColumnScale& col) {
    Placed p{&listBox, room.line,
             col(listBox.fieldX) - static_cast<int>(listBox.control->label.size()) - 1};
    p.labelCol = std::max(1, p.labelCol);
    p.fieldCol = p.labelCol;
    p.fieldWidth = room.right - p.labelCol;
    out.placed.push_back(p);
    out.list = &out.placed.back();
    out.listLine = room.line + 1;
    out.listRows = std::max(1, room.last - room.line);
    out.listCol = std::max(1, col(listBox.fieldX));
    out.listWidth = room.right - out.listCol;
}

class TerminalEditor final : public PanelUser {
  public:
    TerminalEditor(std::string scene, std::string item, SessionState& state)
        : scene_(std::move(scene)), item_(std::move(item)), state_(state),
          toReplay_(state.actions.size()), focus_(state.focus) {}

    std::optional<PanelAction> next(Panel& panel) override {
        if (closed_) {
            return std::nullopt;
        }
        openTerminal();
        if (!started_) {
            // What the host refused while the module built the panel is not the user's.
            started_ = true;
            problemsSeen_ = panel.host != nullptr ? panel.host->problems.size() : 0;
        }
        const std::size_t problems = panel.host != nullptr ? panel.host->problems.size() : 0;
        if (replayed_ < toReplay_) {
            if (problems > problemsSeen_) {
                unreplayed_.push_back(panel.host->problems[problemsSeen_]);
                problemsSeen_ = problems;
            }
            return state_.actions[replayed_++]; // already in the session's list
        }
        if (!replayDone_) {
            finishReplay(panel);
        }
        noticeHost(panel);
        stops(panel);
        if (leaving_) {
            // The module stores the fields into the key it leaves, and only then.
            leaving_ = false;
            if (shownKeyNumber(panel) != keyShown_) {
                pending_.clear();
            }
        }
        keyShown_ = shownKeyNumber(panel);
        if (contextStale_ && instance_ != nullptr && state_.context) {
            contextStale_ = false;
            context_ = state_.context(*instance_);
        }
        if (added_) {
            added_ = false;
            noticeAdded(panel);
        }
        if (auto action = pending(panel)) {
            return record(*action);
        }
        for (;;) {
            draw(panel);
            const int key = getch();
            if (auto action = handle(panel, key)) {
                return record(*action);
            }
            if (auto action = pending(panel)) {
                return record(*action);
            }
        }
    }
    std::string failure() const override { return {}; }
    void editing(ShakeInstance& instance) override { instance_ = &instance; }
    bool cancelled() const override { return cancelled_; }

  private:
    enum class Ask { None, Delete, Leave, Changed, Refused };
    enum class Prompt { None, GoTo, SaveAs };
    struct Box {
        std::string title;
        std::vector<std::string> lines;
    };

    std::string scene_, item_;
    SessionState& state_;
    bool started_ = false, closed_ = false, cancelled_ = false;
    std::size_t toReplay_ = 0, replayed_ = 0; // the session's earlier actions
    bool replayDone_ = false;
    std::vector<std::string> unreplayed_;
    std::size_t messagesSeen_ = 0, problemsSeen_ = 0;
    std::vector<Stop> stops_;
    std::size_t focus_ = 0;
    bool editing_ = false;
    std::string buffer_;
    std::size_t cursor_ = 0;              // in buffer_
    std::vector<std::string> pending_;    // typed since the key was last stored
    int cursorLine_ = -1, cursorCol_ = 0; // where the terminal's cursor shows
    bool help_ = false;
    ShakeInstance* instance_ = nullptr;
    std::string context_;      // the status line when there is nothing else to say
    bool contextStale_ = true; // an action went to the panel since it was made
    bool leaving_ = false;     // the last action pressed PREV KEY or NEXT KEY
    int keyShown_ = 0;         // the key number the fields showed before it
    std::string status_;
    std::vector<Box> boxes_; // the first one is up
    Ask ask_ = Ask::None;
    Prompt prompt_ = Prompt::None;
    std::string promptText_;
    bool saveAfterTyping_ = false;
    int walkTo_ = 0;      // the key a go-to steps to; 0: none
    int walkLast_ = -1;   // the key number the walk's last press left
    int deleteFrom_ = -1; // keys listed before a confirmed delete
    std::string deleteQuestion_;
    bool added_ = false; // the last action pressed ADD KEY
    int listTop_ = 0;

    // The session's actions, replayed: what could not be replayed is said,
    // and the module's messages of the replay were seen the first time.
    void finishReplay(Panel& panel) {
        replayDone_ = true;
        const standin::Host* host = standin::Host::current();
        messagesSeen_ = host != nullptr ? host->messages.size() : 0;
        const std::size_t problems = panel.host != nullptr ? panel.host->problems.size() : 0;
        if (problems > problemsSeen_) {
            unreplayed_.push_back(panel.host->problems[problemsSeen_]);
        }
        problemsSeen_ = problems;
        for (const std::string& notice : state_.notices) {
            boxes_.push_back({"vrim", {notice}});
        }
        state_.notices.clear();
        if (!state_.status.empty()) {
            status_ = state_.status;
            state_.status.clear();
        } else if (!state_.actions.empty()) {
            const std::size_t n = state_.actions.size();
            status_ =
                std::to_string(n) + (n == 1 ? " action" : " actions") + " of this session replayed";
        }
        if (!unreplayed_.empty()) {
            Box box{"Not replayed",
                    {std::to_string(unreplayed_.size()) +
                     " of this session's actions could not be replayed:"}};
            box.lines.insert(box.lines.end(), unreplayed_.begin(), unreplayed_.end());
            boxes_.push_back(box);
        }
    }

    // The module's messages since the last action, and what the host could
    // not do, become boxes.
    void noticeHost(Panel& panel) {
        if (const standin::Host* host = standin::Host::current()) {
            for (; messagesSeen_ < host->messages.size(); ++messagesSeen_) {
                const standin::Message& message = host->messages[messagesSeen_];
                Box box{message.error ? "Error" : "Info", {message.first}};
                if (message.hasSecond && !message.second.empty()) {
                    box.lines.push_back(message.second);
                }
                boxes_.push_back(box);
            }
        }
        if (panel.host != nullptr) {
            for (; problemsSeen_ < panel.host->problems.size(); ++problemsSeen_) {
                boxes_.push_back({"Not done", {panel.host->problems[problemsSeen_]}});
            }
        }
        if (deleteFrom_ >= 0) {
            if (static_cast<int>(listedKeys(panel)) == deleteFrom_) {
                status_ = "the key editor does not delete an item's only key";
            }
            deleteFrom_ = -1;
        }
    }

    // Undo takes back the session's last change with the moves made after
    // it; the panel opens again with the actions before it replayed, so the
    // item is exactly as that many fewer clicks leave it.
    std::optional<PanelAction> undo() {
        if (editing_) {
            editing_ = false; // first the typing in progress
            return std::nullopt;
        }
        auto& actions = state_.actions;
        const auto last = std::find_if(actions.rbegin(), actions.rend(), changes);
        if (last == actions.rend()) {
            status_ = "nothing to undo: the item is as it was opened";
            return std::nullopt;
        }
        const auto from = std::prev(last.base());
        state_.redo.emplace_back(from, actions.end());
        actions.erase(from, actions.end());
        return reopen("undone: " + described(state_.redo.back().front()));
    }

    std::optional<PanelAction> redo() {
        if (state_.redo.empty()) {
            status_ = "nothing to redo";
            return std::nullopt;
        }
        const std::vector<PanelAction> again = state_.redo.back();
        state_.redo.pop_back();
        state_.actions.insert(state_.actions.end(), again.begin(), again.end());
        return reopen("redone: " + described(again.front()));
    }

    PanelAction reopen(const std::string& status) {
        state_.status = status;
        state_.focus = focus_;
        state_.next = SessionState::Next::Replay;
        closed_ = true;
        cancelled_ = true;
        return panelAction(PanelAction::Kind::Cancel);
    }

    static bool changes(const PanelAction& action) {
        return action.kind == PanelAction::Kind::Type ||
               (action.kind == PanelAction::Kind::Press &&
                (action.label == PanelLabels::addKey || action.label == PanelLabels::deleteKey));
    }

    static std::string described(const PanelAction& action) {
        if (action.kind != PanelAction::Kind::Type) {
            return action.label;
        }
        std::string text = action.label;
        for (const double number : action.numbers) {
            text += " " + shortNumber(number);
        }
        return text;
    }

    PanelAction record(const PanelAction& action) {
        if (action.kind == PanelAction::Kind::Close || action.kind == PanelAction::Kind::Cancel) {
            closed_ = true;
            cancelled_ = action.kind == PanelAction::Kind::Cancel;
            state_.closedWithOk = !cancelled_;
        } else {
            state_.actions.push_back(action);
            contextStale_ = true;
            state_.redo.clear(); // a new change ends what could be redone
            if (action.kind == PanelAction::Kind::Press) {
                leaving_ =
                    action.label == PanelLabels::prevKey || action.label == PanelLabels::nextKey;
                added_ = action.label == PanelLabels::addKey;
                if (action.label == PanelLabels::deleteKey) {
                    pending_.clear(); // the module drops the fields of a deleted key
                }
            }
        }
        return action;
    }

    // Whether the session changed anything the module saves.
    bool changed() const {
        return std::any_of(state_.actions.begin(), state_.actions.end(), changes);
    }

    // An action that follows from an earlier key: a save after a typed
    // value, or the next step of a go-to.
    std::optional<PanelAction> pending(Panel& panel) {
        if (saveAfterTyping_ && !editing_) {
            saveAfterTyping_ = false;
            return save();
        }
        if (walkTo_ > 0) {
            const int shown = shownKeyNumber(panel);
            if (shown == walkTo_) {
                const int target = walkTo_;
                walkTo_ = 0;
                walkLast_ = -1;
                status_.clear();
                return panelAction(PanelAction::Kind::Pick, {}, {}, target - 1);
            }
            if (shown == 0 || shown == walkLast_) {
                status_ = "the key editor does not step to key " + std::to_string(walkTo_);
                walkTo_ = 0;
                walkLast_ = -1;
                return std::nullopt;
            }
            walkLast_ = shown;
            return panelAction(PanelAction::Kind::Press,
                               shown < walkTo_ ? PanelLabels::nextKey : PanelLabels::prevKey);
        }
        return std::nullopt;
    }

    std::optional<PanelAction> save() {
        if (const std::string why = state_.changedOnDisk(); !why.empty()) {
            ask_ = Ask::Changed;
            status_ = "The scene: " + why + ".";
            return std::nullopt;
        }
        if (const std::string why = state_.cannotWrite(); !why.empty()) {
            state_.saveFailed = "The scene cannot be written: " + why;
        }
        if (!state_.saveFailed.empty()) {
            ask_ = Ask::Refused;
            return std::nullopt;
        }
        return panelAction(PanelAction::Kind::Close);
    }

    void stops(const Panel& panel) {
        stops_.clear();
        const standin::PanelLayout layout = standin::layoutOf(panel);
        for (const ControlBox* box : layout.screenOrder()) {
            auto* control = const_cast<PanelControl*>(box->control);
            if (control->typeName == kControlNameInfo) {
                continue; // shows the key number; nothing to type into
            }
            for (int part = 0; part < box->parts; ++part) {
                stops_.push_back({control, part});
            }
        }
        focus_ = std::min(focus_, stops_.empty() ? 0 : stops_.size() - 1);
    }

    const Stop* focused() const { return stops_.empty() ? nullptr : &stops_[focus_]; }

    static bool typable(const PanelControl& control) {
        const std::string& type = control.typeName;
        return type == kControlNameFloat || type == kControlNameVector ||
               type == kControlNameInteger;
    }

    // The value the field shows when the user is not typing into it.
    static std::string shown(const PanelControl& control, int part) {
        const std::string& type = control.typeName;
        if (type == kControlNameFloat) {
            return shortNumber(control.number);
        }
        if (type == kControlNameVector) {
            return shortNumber(control.vector[part]);
        }
        if (type == kControlNameInfo) {
            return control.text;
        }
        if (type == kControlNameBool) {
            return control.integer != 0 ? "[x]" : "[ ]";
        }
        return std::to_string(control.integer);
    }

    // Leaving a field the user typed into types its value in, when --set
    // would take it; otherwise a box says why and the field keeps its value.
    std::optional<PanelAction> leaveField() {
        editing_ = false;
        const Stop& stop = *focused();
        if (stop.control->typeName == kControlNameVector) {
            return leaveWidths(stop);
        }
        std::string why;
        const std::optional<double> value = checkTyped(setFieldOf(stop), buffer_, why);
        if (!value) {
            refuse(stop, stop.control->label + ": " + why);
            return std::nullopt;
        }
        return typed(stop, {*value});
    }

    // The widths typed from the focused axis on, each checked as --set
    // checks its axis; a refusal names the axis.
    std::optional<PanelAction> leaveWidths(const Stop& stop) {
        std::string why;
        const std::vector<std::string> parts = typedWidths(buffer_, stop.part, why);
        if (parts.empty()) {
            refuse(stop, stop.control->label + ": " + why);
            return std::nullopt;
        }
        std::vector<double> numbers(stop.control->vector, stop.control->vector + 3);
        std::vector<std::string> warnings;
        for (std::size_t i = 0; i < parts.size(); ++i) {
            const int axis = stop.part + static_cast<int>(i);
            const std::optional<double> value = checkTyped(kAxisFields[axis], parts[i], why);
            if (!value) {
                refuse(stop, stop.control->label + " " + kAxisNames[axis] + ": " + why);
                return std::nullopt;
            }
            numbers[static_cast<std::size_t>(axis)] = *value;
            if (std::fabs(*value) >= kWidthNoShakeNeeds) {
                warnings.push_back(std::string(kAxisNames[axis]) + " " + shortNumber(*value));
            }
        }
        if (!warnings.empty()) {
            Box box{"Warning", {"Taken, but no shake needs a width this large:"}};
            box.lines.insert(box.lines.end(), warnings.begin(), warnings.end());
            box.lines.push_back("the item would move up to that far from its place.");
            boxes_.push_back(box);
        }
        return typed(stop, numbers);
    }

    void refuse(const Stop& stop, const std::string& why) {
        saveAfterTyping_ = false;
        boxes_.push_back(
            {"Refused", {why, "The field keeps " + shown(*stop.control, stop.part) + "."}});
    }

    PanelAction typed(const Stop& stop, std::vector<double> numbers) {
        pending_.push_back(stop.control->label + " " +
                           (numbers.size() == 3
                                ? shortNumber(numbers[0]) + " " + shortNumber(numbers[1]) + " " +
                                      shortNumber(numbers[2])
                                : shortNumber(numbers[0])));
        return panelAction(PanelAction::Kind::Type, stop.control->label, std::move(numbers));
    }

    // A key of a field being typed into; false for one the field leaves to
    // the rest of the editor.
    bool fieldKey(int key, std::optional<PanelAction>& action) {
        if (key == '\t' || key == KEY_BTAB || key == kCtrlS || isEnter(key)) {
            action = leaveField();
            if (action) {
                // The typed value goes in first; the move or the save
                // follows once the panel has taken it.
                if (key == kCtrlS) {
                    saveAfterTyping_ = true;
                } else if (!isEnter(key)) {
                    move(key == KEY_BTAB ? -1 : 1);
                }
            }
            return true;
        }
        if (key == kEscape) {
            editing_ = false; // the field shows its value again
            return true;
        }
        if (key == KEY_BACKSPACE || key == 127 || key == 8) {
            if (cursor_ > 0) {
                buffer_.erase(--cursor_, 1);
            }
        } else if (key == KEY_DC) {
            if (cursor_ < buffer_.size()) {
                buffer_.erase(cursor_, 1);
            }
        } else if (key == KEY_LEFT || key == KEY_RIGHT) {
            cursor_ = key == KEY_LEFT ? (cursor_ > 0 ? cursor_ - 1 : 0)
                                      : std::min(cursor_ + 1, buffer_.size());
        } else if (key == KEY_HOME || key == KEY_END) {
            cursor_ = key == KEY_HOME ? 0 : buffer_.size();
        } else if (typedCharacter(key)) {
            buffer_.insert(cursor_++, 1, static_cast<char>(key));
        } else {
            return key != kCtrlC && key != kCtrlZ && key != kCtrlY; // left to the editor
        }
        return true;
    }

    bool typedCharacter(int key) const {
        const Stop* stop = focused();
        const bool widths = stop != nullptr && stop->control->typeName == kControlNameVector;
        return key < 128 && std::isprint(key) != 0 && (key != ' ' || widths);
    }

    // A key that begins typing into the focused field: a character replaces
    // the value; a key that moves or erases begins with the value shown.
    bool beginField(const PanelControl& control, int part, int key) {
        if (!typable(control)) {
            return false;
        }
        const bool replaces = key != ' ' && typedCharacter(key);
        const bool keeps = key == KEY_LEFT || key == KEY_RIGHT || key == KEY_HOME ||
                           key == KEY_END || key == KEY_BACKSPACE || key == 127 || key == 8 ||
                           key == KEY_DC || isEnter(key);
        if (!replaces && !keeps) {
            return false;
        }
        editing_ = true;
        buffer_ = replaces ? std::string() : shown(control, part);
        cursor_ = buffer_.size();
        if (!replaces && !isEnter(key)) {
            std::optional<PanelAction> none;
            fieldKey(key == KEY_DC ? KEY_HOME : key, none);
            if (key == KEY_DC) {
                fieldKey(KEY_DC, none);
            }
        } else if (replaces) {
            buffer_ += static_cast<char>(key);
            cursor_ = 1;
        }
        return true;
    }

    // A key the user pressed: an action for the panel, or nothing (the screen
    // changed only here).
    std::optional<PanelAction> handle(Panel& panel, int key) {
        if (key == KEY_RESIZE) {
            return std::nullopt; // the next draw fits the new size
        }
        if (help_) {
            help_ = false; // any key closes the help
            return std::nullopt;
        }
        if (!boxes_.empty()) {
            if (isEnter(key) || key == ' ' || key == kEscape) {
                boxes_.erase(boxes_.begin());
            }
            return std::nullopt;
        }
        status_.clear(); // said until the next key; then the scene's context again
        if (ask_ != Ask::None) {
            return answer(key);
        }
        if (prompt_ != Prompt::None) {
            return prompted(panel, key);
        }
        if (key == '?' || key == KEY_F(1)) {
            help_ = true; // no number holds a '?'
            return std::nullopt;
        }
        if (editing_) {
            std::optional<PanelAction> action;
            if (fieldKey(key, action)) {
                return action;
            }
        }
        return editorKey(panel, key);
    }

    // A key that means the same wherever the focus is, else one for the
    // focused control.
    std::optional<PanelAction> editorKey(Panel& panel, int key) {
        switch (key) {
        case kCtrlS:
            return save();
        case kEscape:
        case kCtrlC:
            if (changed()) {
                ask_ = Ask::Leave;
                return std::nullopt;
            }
            return panelAction(PanelAction::Kind::Cancel);
        case '\t':
            move(1);
            return std::nullopt;
        case KEY_BTAB:
            move(-1);
            return std::nullopt;
        case kCtrlZ:
        case 'u':
            return undo();
        case kCtrlY:
            return redo();
        case 'g':
            if (editing_) {
                return std::nullopt;
            }
            prompt_ = Prompt::GoTo;
            promptText_.clear();
            return std::nullopt;
        default:
            return controlKey(panel, key);
        }
    }

    std::optional<PanelAction> controlKey(Panel& panel, int key) {
        const Stop* stop = focused();
        if (stop == nullptr) {
            return std::nullopt;
        }
        PanelControl& control = *stop->control;
        const std::string& type = control.typeName;
        const bool enter = isEnter(key) || key == ' ';
        if (type == kControlNameButton && enter) {
            if (control.label == PanelLabels::deleteKey) {
                askDelete(panel);
                return std::nullopt;
            }
            return panelAction(PanelAction::Kind::Press, control.label);
        }
        if (type == kControlNameBool && enter) {
            return panelAction(PanelAction::Kind::Type, control.label,
                               {control.integer != 0 ? 0.0 : 1.0});
        }
        if (type == kControlNameListBox) {
            return listKey(panel, control, key);
        }
        beginField(control, stop->part, key);
        return std::nullopt;
    }

    // DELETE KEY asks first, naming the key; it does not ask about an
    // item's only key, which the module would refuse to delete.
    void askDelete(Panel& panel) {
        if (listedKeys(panel) <= 1) {
            status_ = "the key editor does not delete an item's only key";
            return;
        }
        const int number = shownKeyNumber(panel);
        deleteQuestion_ =
            "Delete key " + std::to_string(number) + " (" + keyRow(panel, number) + ")?";
        ask_ = Ask::Delete;
    }

    // The key list's row for key number (from 1), as the module words it.
    static std::string keyRow(Panel& panel, int number) {
        for (const auto& control : panel.controls) {
            if (control->typeName == kControlNameListBox) {
                standin::PanelHost::askRows(*control);
                if (number >= 1 && number <= static_cast<int>(control->rows.size())) {
                    return control->rows[static_cast<std::size_t>(number - 1)];
                }
            }
        }
        return "not listed";
    }

    // After ADD KEY: the new key is the last, and where its frames overlap
    // an earlier key's the last key acts, so those frames of the earlier
    // ones are hidden; the status line says which.
    void noticeAdded(Panel& panel) {
        const int keys = static_cast<int>(listedKeys(panel));
        const std::string row = keyRow(panel, keys);
        int start = 0, end = 0;
        std::string hidden;
        if (std::sscanf(row.c_str(), "Start %d, End %d", &start, &end) == 2) {
            for (int k = 1; k < keys; ++k) {
                int s = 0, e = 0;
                if (std::sscanf(keyRow(panel, k).c_str(), "Start %d, End %d", &s, &e) == 2 &&
                    s <= end && start <= e) {
                    hidden += (hidden.empty() ? " " : ", ") + std::to_string(k);
                }
            }
        }
        status_ =
            "ADD KEY added key " + std::to_string(keys) + " (" + row + ") last" +
            (hidden.empty()
                 ? ""
                 : "; where they overlap it hides key" +
                       std::string(hidden.find(',') == std::string::npos ? "" : "s") + hidden);
    }

    std::optional<PanelAction> listKey(Panel& panel, PanelControl& list, int key) {
        const int rows = static_cast<int>(list.rows.size());
        if (rows == 0) {
            return std::nullopt;
        }
        const int picked = static_cast<int>(list.integer);
        int row = picked;
        if (key == KEY_UP) {
            row = picked - 1;
        } else if (key == KEY_DOWN) {
            row = picked + 1;
        } else if (key == KEY_HOME) {
            row = 0;
        } else if (key == KEY_END) {
            row = rows - 1;
        } else if (key == KEY_PPAGE || key == KEY_NPAGE) {
            const int page = std::max(1, lastListRows_ - 1);
            row = picked + (key == KEY_PPAGE ? -page : page);
        } else if (isEnter(key) || key == ' ') {
            goTo(panel, picked + 1);
            return std::nullopt;
        } else {
            return std::nullopt;
        }
        row = std::clamp(row, 0, rows - 1);
        if (row == picked) {
            return std::nullopt;
        }
        return panelAction(PanelAction::Kind::Pick, {}, {}, row);
    }

    void goTo(Panel& panel, int64_t key) {
        const auto keys = static_cast<int64_t>(listedKeys(panel));
        if (key < 1 || key > keys) {
            status_ = "there is no key " + std::to_string(key) + " (the item has " +
                      std::to_string(keys) + (keys == 1 ? " key)" : " keys)");
            return;
        }
        walkTo_ = static_cast<int>(key);
        walkLast_ = -1;
    }

    std::optional<PanelAction> answer(int key) {
        const Ask ask = ask_;
        ask_ = Ask::None;
        const bool yes = key == 'y' || key == 'Y';
        switch (ask) {
        case Ask::Delete:
            if (yes) {
                deleteFrom_ = static_cast<int>(keysAtDraw_);
                return panelAction(PanelAction::Kind::Press, PanelLabels::deleteKey);
            }
            break;
        case Ask::Leave:
            if (yes) {
                return panelAction(PanelAction::Kind::Cancel);
            }
            break;
        case Ask::Changed:
            if (key == 'r' || key == 'R') {
                state_.next = SessionState::Next::ReadAgain;
                return panelAction(PanelAction::Kind::Cancel);
            }
            if (key == 'a' || key == 'A') {
                prompt_ = Prompt::SaveAs;
                promptText_ = scene_ + ".mine";
            }
            status_.clear();
            break;
        case Ask::Refused:
            return refusedAnswer(key);
        case Ask::None:
            break;
        }
        return std::nullopt;
    }

    // The save was refused: try again once the cause is gone, or save to
    // another file; anything else goes back to the edits.
    std::optional<PanelAction> refusedAnswer(int key) {
        if (key == 'r' || key == 'R') {
            if (const std::string why = state_.cannotWrite(); !why.empty()) {
                status_ = "Still not saved: the scene: " + why + ".";
                return std::nullopt;
            }
            state_.saveFailed.clear();
            return panelAction(PanelAction::Kind::Close);
        }
        if (key == 'a' || key == 'A') {
            prompt_ = Prompt::SaveAs;
            promptText_ = scene_ + ".mine";
        }
        return std::nullopt;
    }

    std::optional<PanelAction> prompted(Panel& panel, int key) {
        if (key == kEscape) {
            prompt_ = Prompt::None;
            return std::nullopt;
        }
        if (key == KEY_BACKSPACE || key == 127 || key == 8) {
            if (!promptText_.empty()) {
                promptText_.pop_back();
            }
            return std::nullopt;
        }
        if (!isEnter(key)) {
            if (key >= ' ' && key < 127) {
                promptText_ += static_cast<char>(key);
            }
            return std::nullopt;
        }
        const Prompt prompt = prompt_;
        prompt_ = Prompt::None;
        if (prompt == Prompt::GoTo) {
            try {
                goTo(panel, parseEditAction("key", promptText_).number);
            } catch (const ToolError&) {
                status_ = "'" + promptText_ + "' is not a key number (1 is the first key)";
            }
            return std::nullopt;
        }
        if (promptText_.empty()) {
            return std::nullopt;
        }
        if (const std::string why = state_.cannotCreate(promptText_); !why.empty()) {
            boxes_.push_back(
                {"Not saved",
                 {"'" + promptText_ + "' " + why + "; give a file that does not exist."}});
            return std::nullopt;
        }
        state_.next = SessionState::Next::SaveAs;
        state_.saveAs = promptText_;
        return panelAction(PanelAction::Kind::Cancel);
    }

    void move(int by) {
        if (stops_.empty()) {
            return;
        }
        const auto count = static_cast<long>(stops_.size());
        focus_ =
            static_cast<std::size_t>(((static_cast<long>(focus_) + by) % count + count) % count);
    }

    // ---- drawing

    std::size_t keysAtDraw_ = 0; // keys listed at the last draw
    int lastListRows_ = 1;

    // Fits the module's layout to the terminal: each panel row on its own
    // line, each control at its scaled place or right of its left neighbour,
    // a control that does not fit on the line on the next one; blank panel
    // rows kept only while the list keeps three rows; the list takes the rest.
    ScreenLayout fit(const standin::PanelLayout& layout) const {
        const int right = COLS - 1; // the last usable column + 1
        const ColumnScale col{
            std::min(kMaxColumnScale, (COLS - 2) / static_cast<double>(layout.width))};
        PanelRows panel = panelRows(layout);
        std::vector<int> rowLines;
        for (std::vector<Placed>& row : panel.rows) {
            rowLines.push_back(placeRow(row, col, right));
        }
        // The lines between the title bar and the status and help lines.
        const int first = 1, last = LINES - 3;
        const int used = std::accumulate(rowLines.begin(), rowLines.end(), 0);
        int blanks = 0;
        for (std::size_t i = 1; i < panel.rowY.size(); ++i) {
            blanks += blankLines(panel.rowY[i - 1], panel.rowY[i]);
        }
        const int listMin = panel.listBox != nullptr ? 1 + 3 : 0;
        const bool keepBlanks = used + blanks + listMin <= last - first + 1;
        ScreenLayout out;
        int line = first;
        for (std::size_t i = 0; i < panel.rows.size(); ++i) {
            if (i > 0 && keepBlanks) {
                line += blankLines(panel.rowY[i - 1], panel.rowY[i]);
            }
            for (Placed& p : panel.rows[i]) {
                p.line += line;
                out.placed.push_back(p);
            }
            line += rowLines[i];
        }
        out.fits = line + (panel.listBox != nullptr ? 2 : 0) <= last + 1;
        if (panel.listBox != nullptr) {
            if (keepBlanks && !panel.rowY.empty()) {
                line += blankLines(panel.rowY.back(), panel.listBox->y);
            }
            placeList(out, *panel.listBox, {line, last, right}, col);
        }
        return out;
    }

    void draw(Panel& panel) {
        erase();
        const standin::PanelLayout layout = standin::layoutOf(panel);
        const ScreenLayout screen = fit(layout);
        if (COLS < kMinColumns || LINES < kMinLines || !screen.fits) {
            drawTooSmall();
            return;
        }
        drawTitle(panel);
        if (help_) {
            drawHelp();
            return;
        }
        for (const Placed& p : screen.placed) {
            drawControl(panel, p, screen);
        }
        drawStatus();
        drawBoxes();
        // The terminal's own cursor stands where typing goes, and only there.
        const bool typing =
            editing_ && boxes_.empty() && ask_ == Ask::None && prompt_ == Prompt::None && !help_;
        curs_set(typing ? 1 : 0);
        if (typing) {
            wmove(stdscr, cursorLine_, cursorCol_);
        }
        refresh();
    }

    void drawTooSmall() {
        // Short lines: the terminal may be very narrow.
        const std::string size = std::to_string(kMinColumns) + "x" + std::to_string(kMinLines);
        const std::string lines[] = {"The terminal is too small", "for the key editor",
                                     "(" + size + " at least).", "Esc leaves."};
        for (int i = 0; i < 4; ++i) {
            mvaddnstr(i, 0, lines[i].c_str(), COLS);
        }
        refresh();
    }

    // One control where fit() placed it: a button's face, or the label and
    // the field (a vector's three), the focused one reversed.
    void drawControl(Panel& panel, const Placed& p, const ScreenLayout& screen) {
        const Stop* stop = focused();
        const PanelControl& control = *p.box->control;
        const bool focus = stop != nullptr && stop->control == &control;
        if (control.typeName == kControlNameButton) {
            const std::string face = "[ " + control.label + " ]";
            attron(focus ? A_REVERSE : A_BOLD);
            mvaddstr(p.line, p.fieldCol, face.c_str());
            attroff(A_REVERSE | A_BOLD);
            return;
        }
        mvaddstr(p.line, p.labelCol, control.label.c_str());
        if (control.typeName == kControlNameListBox) {
            drawList(panel, const_cast<PanelControl&>(control), screen, focus);
            return;
        }
        const int parts = control.typeName == kControlNameVector ? 3 : 1;
        const int partWidth = (p.fieldWidth - (parts - 1)) / parts;
        for (int part = 0; part < parts; ++part) {
            const bool here = focus && stop->part == part;
            const int at = p.fieldCol + part * (partWidth + 1);
            if (here && editing_) {
                drawTyping(p.line, at, partWidth);
                continue;
            }
            std::string text = shown(control, part);
            text.resize(static_cast<std::size_t>(partWidth), ' '); // the start of a value
            attron(here ? A_REVERSE : A_UNDERLINE);
            mvaddstr(p.line, at, text.c_str());
            attroff(A_REVERSE | A_UNDERLINE);
        }
    }

    // The field being typed into: what is typed, scrolled so that the
    // cursor stays inside the field.
    void drawTyping(int line, int col, int width) {
        const int cursor = static_cast<int>(cursor_);
        const int first = std::max(0, cursor - width + 1);
        std::string text = buffer_.substr(static_cast<std::size_t>(first));
        text.resize(static_cast<std::size_t>(width), ' ');
        attron(A_UNDERLINE | A_BOLD);
        mvaddstr(line, col, text.c_str());
        attroff(A_UNDERLINE | A_BOLD);
        cursorLine_ = line;
        cursorCol_ = col + cursor - first;
    }

    // Every key of the editor, over the panel until a key is pressed.
    void drawHelp() {
        static const char* const rows[][2] = {
            {"Tab, Shift-Tab", "next, previous control"},
            {"Enter, Space", "press, toggle; in the list: show the key"},
            {"typing", "replaces a field's value; Enter edits it"},
            {"Left, Right", "move in a field; Home, End: its ends"},
            {"Backspace, Delete", "erase before, at the cursor"},
            {"Enter, Tab", "type it in; Esc keeps the old value"},
            {"X Y Z widths", "blanks or commas between: 0.1 0 0.05"},
            {"Up, Down", "pick a key in the key list"},
            {"PgUp, PgDn", "a page; Home, End: first, last key"},
            {"g", "go to key N"},
            {"Ctrl-Z or u, Ctrl-Y", "undo, redo"},
            {"Ctrl-S", "review what will be written, then save"},
            {"Esc, Ctrl-C", "leave (asks when something changed)"},
            {"?, F1", "this help; any key closes it"},
        };
        const int keyWidth = 20;
        int line = 1;
        for (const auto& row : rows) {
            if (line >= LINES - 1) {
                break;
            }
            attron(A_BOLD);
            mvaddstr(line, 1, row[0]);
            attroff(A_BOLD);
            mvaddstr(line, 1 + keyWidth, fitColumns(row[1], COLS - 2 - keyWidth).c_str());
            ++line;
        }
        attron(A_REVERSE);
        mvhline(LINES - 1, 0, ' ', COLS);
        mvaddstr(LINES - 1, 1, "Keys of the key editor: any key goes back");
        attroff(A_REVERSE);
        curs_set(0);
        refresh();
    }

    // The panel's title, marked while the session holds changes not yet
    // saved and when the scene is open for viewing only; the scene and the
    // item at the right, cut at the left where the line is short.
    void drawTitle(const Panel& panel) {
        attron(A_REVERSE);
        mvhline(0, 0, ' ', COLS);
        std::string title = panel.title + (changed() ? " [modified]" : "");
        if (!state_.readOnly.empty()) {
            title += " [viewing: " + state_.readOnly + "]";
        }
        title = fitColumns(screenText(title), COLS - 2);
        mvaddstr(0, 1, title.c_str());
        const int room = COLS - 4 - screenColumns(title);
        std::string place = screenText(scene_) + ", " + screenText(item_);
        if (screenColumns(place) > room) {
            place = room > 3 ? "..." + lastColumns(place, room - 3) : std::string();
        }
        mvaddstr(0, COLS - 1 - screenColumns(place), place.c_str());
        attroff(A_REVERSE);
    }

    void drawList(Panel& panel, PanelControl& control, const ScreenLayout& screen, bool focus) {
        standin::PanelHost::askRows(control); // drawing a list box asks for its rows
        const int count = static_cast<int>(control.rows.size());
        const int keys = static_cast<int>(listedKeys(panel));
        keysAtDraw_ = static_cast<std::size_t>(keys);
        const int shownKey = shownKeyNumber(panel);
        const Placed& p = *screen.list;
        // Where the list stands, right of its label.
        const std::string position =
            "key " + std::to_string(shownKey) + " of " + std::to_string(keys);
        const int positionCol = p.labelCol + static_cast<int>(control.label.size()) + 2;
        attron(A_BOLD);
        mvaddnstr(p.line, positionCol, position.c_str(), COLS - 1 - positionCol);
        attroff(A_BOLD);
        const int rows = screen.listRows;
        lastListRows_ = rows;
        const int picked = static_cast<int>(control.integer);
        listTop_ = std::clamp(listTop_, std::max(0, picked - rows + 1), std::max(0, picked));
        listTop_ = std::clamp(listTop_, 0, std::max(0, count - rows));
        const int width = std::max(screen.listWidth - 2, 1);
        const std::vector<std::string> texts = keyListRows(listView(control, shownKey), width);
        for (int i = 0; i < rows; ++i) {
            const int index = listTop_ + i;
            const int y = screen.listLine + i;
            if (index >= count) {
                break;
            }
            if (index + 1 == shownKey) {
                mvaddch(y, screen.listCol, '>'); // the key the fields show
            }
            std::string text = texts[static_cast<std::size_t>(index)];
            text.resize(text.size() +
                            static_cast<std::size_t>(std::max(0, width - screenColumns(text))),
                        ' ');
            const bool mark = index == picked;
            attron(mark ? (focus ? A_REVERSE : A_BOLD) : A_NORMAL);
            mvaddstr(y, screen.listCol + 2, text.c_str());
            attroff(A_REVERSE | A_BOLD);
        }
        if (count > rows) {
            // More above or below than fits: say which rows show.
            const std::string range = "rows " + std::to_string(listTop_ + 1) + "-" +
                                      std::to_string(std::min(count, listTop_ + rows)) + " of " +
                                      std::to_string(count);
            const int at = positionCol + static_cast<int>(position.size()) + 3;
            if (at + static_cast<int>(range.size()) < COLS - 1) {
                mvaddstr(p.line, at, range.c_str());
            }
        }
    }

    // What the list shows of each key: the module's rows, the keys behind
    // them, and the values typed into the shown key (stored once the panel
    // leaves it).
    KeyListView listView(const PanelControl& control, int shownKey) const {
        KeyListView view;
        for (const std::string& row : control.rows) {
            view.moduleRows.push_back(screenText(row));
        }
        if (instance_ != nullptr) {
            view.keys = keysOf(*instance_);
        }
        view.pendingRow = shownKey - 1;
        view.pending = pending_;
        return view;
    }

    void drawStatus() {
        std::string status = status_.empty() ? context_ : status_;
        if (prompt_ == Prompt::GoTo) {
            status = "Go to key: " + promptText_ + "_   (Enter: go, Esc: back)";
        } else if (prompt_ == Prompt::SaveAs) {
            status = "Save to: " + promptText_ + "_";
        } else if (editing_) {
            status = "Enter or Tab types the value in; Esc keeps the old one";
        }
        mvaddstr(LINES - 2, 1, fitColumns(screenText(status), COLS - 2).c_str());
        attron(A_REVERSE);
        mvhline(LINES - 1, 0, ' ', COLS);
        mvaddstr(LINES - 1, 1, hintLine(COLS - 2).c_str());
        attroff(A_REVERSE);
    }

    // A box in the middle of the screen: the first message to dismiss, or
    // the question being asked.
    void drawBoxes() {
        Box box;
        std::string keys;
        if (!boxes_.empty()) {
            box = boxes_.front();
            keys = "Enter: OK";
        } else if (ask_ == Ask::Delete) {
            box = {"DELETE KEY", {deleteQuestion_}};
            keys = "y: delete   n: keep it";
        } else if (ask_ == Ask::Leave) {
            box = {"Leave",
                   {"The changes of this session are not saved.", "Leave without saving them?"}};
            keys = "y: leave   n: stay";
        } else if (ask_ == Ask::Changed) {
            box = {"The scene changed on disk",
                   {"Someone changed the scene since it was read.",
                    "r: read it again and replay this session's actions onto it",
                    "a: save to another file (the scene as it was read, with them)"}};
            keys = "r  a  Esc: back";
        } else if (ask_ == Ask::Refused) {
            box = {"Not saved",
                   {state_.saveFailed, "Your edits are still here.",
                    "r: try again   a: save to another file   Esc: back to the edits"}};
            keys = "r  a  Esc";
        } else {
            return;
        }
        drawBox(box, keys);
    }

    // The box's lines folded to the terminal, framed in plain characters
    // (they read the same in every terminal and capture), the keys that
    // answer it on its last inner line.
    static void drawBox(const Box& box, const std::string& keys) {
        const int width = COLS - 4;
        std::vector<std::string> lines;
        for (const std::string& line : box.lines) {
            const std::vector<std::string> folds = folded(screenText(line), width - 4);
            lines.insert(lines.end(), folds.begin(), folds.end());
        }
        int inner = static_cast<int>(keys.size() + box.title.size()) / 2 + 2;
        for (const std::string& line : lines) {
            inner = std::max(inner, screenColumns(line));
        }
        inner = std::min(inner, width - 4);
        const int height = static_cast<int>(lines.size()) + 4;
        const int top = std::max(1, (LINES - height) / 2);
        const int left = (COLS - inner - 4) / 2;
        drawFrame(top, left, height, inner + 4);
        attron(A_BOLD);
        mvaddnstr(top, left + 2, (" " + box.title + " ").c_str(), inner);
        attroff(A_BOLD);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            mvaddstr(top + 1 + static_cast<int>(i), left + 2, fitColumns(lines[i], inner).c_str());
        }
        attron(A_REVERSE);
        mvaddnstr(top + height - 2, left + 2, keys.c_str(), inner);
        attroff(A_REVERSE);
    }

    // A blank rectangle with a frame of '-', '|' and '+'.
    static void drawFrame(int top, int left, int height, int width) {
        for (int y = top; y < top + height; ++y) {
            mvhline(y, left, ' ', width);
        }
        mvhline(top, left, '-', width);
        mvhline(top + height - 1, left, '-', width);
        mvvline(top, left, '|', height);
        mvvline(top, left + width - 1, '|', height);
        for (const int y : {top, top + height - 1}) {
            mvaddch(y, left, '+');
            mvaddch(y, left + width - 1, '+');
        }
    }
};

} // namespace

namespace {

bool terminalTaken = false, cursesStarted = false;
volatile std::sig_atomic_t screenShown = 0; // read by the signal handler

// Signals that end the run: the terminal is given back first, then the
// run's own clean-up (or the default action) goes on as it would have.
constexpr int kStopSignals[] = {SIGHUP,  SIGINT,  SIGQUIT, SIGTERM, SIGPIPE,   SIGALRM,
                                SIGUSR1, SIGUSR2, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF};
struct sigaction before[std::size(kStopSignals)];

extern "C" void giveTerminalBack(int number) {
    if (screenShown != 0) {
        endwin(); // what curses' own handler does at this point
        screenShown = 0;
    }
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
        if (kStopSignals[i] == number) {
            sigaction(number, &before[i], nullptr);
        }
    }
    raise(number); // delivered to the handler before once this one returns
}

// Installed ahead of curses, which would otherwise take SIGINT and SIGTERM
// with a handler that ends the run with 1 and no clean-up of the tool's.
void chainStopSignals() {
    { const files::SignalsHeld install; } // the tool's handlers, now: ours run first
    struct sigaction mine {};
    mine.sa_handler = giveTerminalBack;
    sigemptyset(&mine.sa_mask);
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
        sigaction(kStopSignals[i], nullptr, &before[i]);
        if (before[i].sa_handler != SIG_IGN) { // nohup's stay ignored
            sigaction(kStopSignals[i], &mine, nullptr);
        }
    }
}

bool terminalIsUtf8() {
    const char* codeset = nl_langinfo(CODESET);
    return codeset != nullptr && std::string(codeset) == "UTF-8";
}

// The next character of valid UTF-8 at i, which then stands past it.
char32_t nextCharacter(const std::string& text, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (int k = 1; k < length && i + static_cast<std::size_t>(k) < text.size(); ++k) {
        c = (c << 6) | (static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]) & 0x3F);
    }
    i += static_cast<std::size_t>(length);
    return c;
}

} // namespace

std::string screenText(const std::string& bytes) {
    const std::string safe = text::terminalSafe(text::decode(bytes, text::Encoding::Auto));
    const bool utf8 = terminalIsUtf8();
    std::string out;
    for (std::size_t i = 0; i < safe.size();) {
        const std::size_t from = i;
        const char32_t c = nextCharacter(safe, i);
        if (c < 0x80 || utf8) {
            out.append(safe, from, i - from);
            continue;
        }
        // A terminal in another character set shows every non-ASCII
        // character as an escape, so that none becomes another one.
        char escape[16];
        std::snprintf(escape, sizeof escape, c > 0xFFFF ? "\\U%08x" : "\\u%04x",
                      static_cast<unsigned>(c));
        out += escape;
    }
    return out;
}

int screenColumns(const std::string& text) {
    int columns = 0;
    for (std::size_t i = 0; i < text.size();) {
        const char32_t c = nextCharacter(text, i);
        const int width = c < 0x80 ? 1 : wcwidth(static_cast<wchar_t>(c));
        columns += std::max(width, 1);
    }
    return columns;
}

std::string fitColumns(const std::string& text, int columns) {
    int used = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t from = i;
        const char32_t c = nextCharacter(text, i);
        used += std::max(c < 0x80 ? 1 : wcwidth(static_cast<wchar_t>(c)), 1);
        if (used > columns) {
            return text.substr(0, from);
        }
    }
    return text;
}

std::string lastColumns(const std::string& text, int columns) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < text.size();) {
        starts.push_back(i);
        nextCharacter(text, i);
    }
    std::size_t from = text.size();
    for (auto at = starts.rbegin(); at != starts.rend(); ++at) {
        std::size_t i = *at;
        const char32_t c = nextCharacter(text, i);
        columns -= std::max(c < 0x80 ? 1 : wcwidth(static_cast<wchar_t>(c)), 1);
        if (columns < 0) {
            break;
        }
        from = *at;
    }
    return text.substr(from);
}

void openTerminal() {
    if (terminalTaken) {
        return;
    }
    if (!cursesStarted) {
        // The user's character set only: numbers keep the point they are
        // read and written with whatever the user's locale says.
        std::setlocale(LC_CTYPE, "");
        // Esc must answer at once, not after curses waited for a sequence.
        setenv("ESCDELAY", "25", 0);
        chainStopSignals();
        initscr();
        cursesStarted = true;
    } else {
        refresh(); // back after endwin
    }
    cbreak();
    noecho();
    raw(); // Ctrl-S and Ctrl-C are the user's, not the terminal's
    keypad(stdscr, TRUE);
    curs_set(0);
    terminalTaken = true;
    screenShown = 1;
}

void closeTerminal() {
    if (terminalTaken) {
        screenShown = 0;
        endwin();
        terminalTaken = false;
    }
}

std::unique_ptr<PanelUser> terminalScreen(std::string scene, std::string item,
                                          SessionState& state) {
    return std::make_unique<TerminalEditor>(std::move(scene), std::move(item), state);
}

} // namespace vrim::edit
