#include "tools/vrim/edit/terminal_editor_screen.h"

#include "standin/panel_layout.h"
#include "standin/standin.h"
#include "text/names.h"
#include "tools/vrim/edit/key_actions.h"
#include "tools/vrim/error.h"

#include <curses.h>
#include <langinfo.h>

#include <algorithm>
#include <cctype>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <map>
#include <optional>
#include <vector>

namespace vrim::edit {

namespace {

using standin::ControlBox;
using standin::Panel;
using standin::PanelAction;
using standin::PanelControl;

constexpr int kCtrlC = 3;
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

// One place the cursor can rest: a control, or one of a vector control's fields.
struct Stop {
    PanelControl* control = nullptr;
    int part = 0;
};

// The --set field a typed value goes to, named as --set names it.
std::string setFieldOf(const Stop& stop) {
    const std::string& label = stop.control->label;
    const std::string& type = stop.control->typeName;
    if (label == PanelLabels::width || type == kControlNameVector) {
        static const char* const axes[] = {"width-x", "width-y", "width-z"};
        return axes[std::clamp(stop.part, 0, 2)];
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
std::optional<double> checkTyped(const Stop& stop, const std::string& text, std::string& why) {
    const std::string field = setFieldOf(stop);
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

class TerminalEditor final : public PanelUser {
  public:
    TerminalEditor(std::string scene, std::string item, SessionState& state)
        : scene_(std::move(scene)), item_(std::move(item)), state_(state),
          toReplay_(state.actions.size()) {}

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
    std::string status_;
    std::vector<Box> boxes_; // the first one is up
    Ask ask_ = Ask::None;
    Prompt prompt_ = Prompt::None;
    std::string promptText_;
    bool saveAfterTyping_ = false;
    int walkTo_ = 0;      // the key a go-to steps to; 0: none
    int walkLast_ = -1;   // the key number the walk's last press left
    int deleteFrom_ = -1; // keys listed before a confirmed delete
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
        if (!state_.actions.empty()) {
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

    PanelAction record(const PanelAction& action) {
        if (action.kind == PanelAction::Kind::Close || action.kind == PanelAction::Kind::Cancel) {
            closed_ = true;
            cancelled_ = action.kind == PanelAction::Kind::Cancel;
            state_.closedWithOk = !cancelled_;
        } else {
            state_.actions.push_back(action);
        }
        return action;
    }

    // Whether the session changed anything the module saves.
    bool changed() const {
        return std::any_of(state_.actions.begin(), state_.actions.end(), [](const auto& action) {
            return action.kind == PanelAction::Kind::Type ||
                   (action.kind == PanelAction::Kind::Press &&
                    (action.label == PanelLabels::addKey ||
                     action.label == PanelLabels::deleteKey));
        });
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
        std::string why;
        const std::optional<double> value = checkTyped(stop, buffer_, why);
        if (!value) {
            saveAfterTyping_ = false;
            boxes_.push_back({"Refused",
                              {stop.control->label + ": " + why,
                               "The field keeps " + shown(*stop.control, stop.part) + "."}});
            return std::nullopt;
        }
        if (stop.control->typeName == kControlNameVector) {
            std::vector<double> numbers(stop.control->vector, stop.control->vector + 3);
            numbers[static_cast<std::size_t>(stop.part)] = *value;
            return panelAction(PanelAction::Kind::Type, stop.control->label, numbers);
        }
        return panelAction(PanelAction::Kind::Type, stop.control->label, {*value});
    }

    // A key the user pressed: an action for the panel, or nothing (the screen
    // changed only here).
    std::optional<PanelAction> handle(Panel& panel, int key) {
        if (key == KEY_RESIZE) {
            return std::nullopt; // the next draw fits the new size
        }
        if (!boxes_.empty()) {
            if (isEnter(key) || key == ' ' || key == kEscape) {
                boxes_.erase(boxes_.begin());
            }
            return std::nullopt;
        }
        if (ask_ != Ask::None) {
            return answer(key);
        }
        if (prompt_ != Prompt::None) {
            return prompted(panel, key);
        }
        if (editing_) {
            if (key == '\t' || key == KEY_BTAB || key == kCtrlS || isEnter(key)) {
                std::optional<PanelAction> typed = leaveField();
                if (typed) {
                    // The typed value goes in first; the move or the save
                    // follows once the panel has taken it.
                    if (key == kCtrlS) {
                        saveAfterTyping_ = true;
                    } else if (!isEnter(key)) {
                        move(key == KEY_BTAB ? -1 : 1);
                    }
                }
                return typed;
            }
            if (key == kEscape) {
                editing_ = false; // the field shows its value again
                return std::nullopt;
            }
            if (key == KEY_BACKSPACE || key == 127 || key == 8) {
                if (!buffer_.empty()) {
                    buffer_.pop_back();
                }
                return std::nullopt;
            }
        }
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
        case 'g':
            if (editing_) {
                return std::nullopt;
            }
            prompt_ = Prompt::GoTo;
            promptText_.clear();
            return std::nullopt;
        default:
            break;
        }
        const Stop* stop = focused();
        if (stop == nullptr) {
            return std::nullopt;
        }
        PanelControl& control = *stop->control;
        const std::string& type = control.typeName;
        const bool enter = isEnter(key) || key == ' ';
        if (type == kControlNameButton && enter) {
            if (control.label == PanelLabels::deleteKey) {
                ask_ = Ask::Delete;
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
        if (typable(control) && key < 128 && key > ' ' && std::isprint(key) != 0) {
            if (!editing_) {
                editing_ = true;
                buffer_.clear(); // typing replaces what the field showed
            }
            buffer_ += static_cast<char>(key);
        }
        return std::nullopt;
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
        ScreenLayout out;
        const int right = COLS - 1; // the last usable column + 1
        const double sx = std::min(kMaxColumnScale, (COLS - 2) / static_cast<double>(layout.width));
        const auto col = [&](int x) { return 1 + static_cast<int>(std::lround(x * sx)); };
        const std::vector<const ControlBox*> order = layout.screenOrder();
        // Lines each panel row needs, row by row.
        std::vector<std::vector<Placed>> rows;
        std::vector<int> rowY;
        const ControlBox* listBox = nullptr;
        for (const ControlBox* box : order) {
            if (box->control->typeName == kControlNameListBox && listBox == nullptr) {
                listBox = box;
                continue;
            }
            if (rowY.empty() || rowY.back() != box->y) {
                rowY.push_back(box->y);
                rows.emplace_back();
            }
            rows.back().push_back({box});
        }
        std::vector<int> rowLines;
        for (auto& row : rows) {
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
            rowLines.push_back(line + 1);
        }
        // The lines between the title bar and the status and help lines.
        const int first = 1, last = LINES - 3;
        int used = 0;
        for (int n : rowLines) {
            used += n;
        }
        const int listMin = listBox != nullptr ? 1 + 3 : 0;
        int blanks = 0;
        for (std::size_t i = 1; i < rowY.size(); ++i) {
            blanks += std::max(0, (rowY[i] - rowY[i - 1]) / kRowPixels - 1);
        }
        const bool keepBlanks = used + blanks + listMin <= last - first + 1;
        int line = first;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (i > 0 && keepBlanks) {
                line += std::max(0, (rowY[i] - rowY[i - 1]) / kRowPixels - 1);
            }
            for (Placed& p : rows[i]) {
                p.line += line;
                out.placed.push_back(p);
            }
            line += rowLines[i];
        }
        out.fits = line + (listBox != nullptr ? 2 : 0) <= last + 1;
        if (listBox != nullptr) {
            if (keepBlanks && !rowY.empty()) {
                line += std::max(0, (listBox->y - rowY.back()) / kRowPixels - 1);
            }
            Placed p{listBox, line,
                     col(listBox->fieldX) - static_cast<int>(listBox->control->label.size()) - 1};
            p.labelCol = std::max(1, p.labelCol);
            p.fieldCol = p.labelCol;
            p.fieldWidth = right - p.labelCol;
            out.placed.push_back(p);
            out.list = &out.placed.back();
            out.listLine = line + 1;
            out.listRows = std::max(1, last - line);
            out.listCol = std::max(1, col(listBox->fieldX));
            out.listWidth = right - out.listCol;
        }
        return out;
    }

    void draw(Panel& panel) {
        erase();
        const standin::PanelLayout layout = standin::layoutOf(panel);
        const ScreenLayout screen = fit(layout);
        if (COLS < kMinColumns || LINES < kMinLines || !screen.fits) {
            // Short lines: the terminal may be very narrow.
            const std::string size = std::to_string(kMinColumns) + "x" + std::to_string(kMinLines);
            const std::string lines[] = {"The terminal is too small", "for the key editor",
                                         "(" + size + " at least).", "Esc leaves."};
            for (int i = 0; i < 4; ++i) {
                mvaddnstr(i, 0, lines[i].c_str(), COLS);
            }
            refresh();
            return;
        }
        attron(A_REVERSE);
        mvhline(0, 0, ' ', COLS);
        mvaddnstr(0, 1, panel.title.c_str(), COLS - 2);
        std::string place = scene_ + ", " + item_;
        const int room = COLS - 4 - static_cast<int>(panel.title.size());
        if (static_cast<int>(place.size()) > room) {
            place = "..." + place.substr(place.size() - static_cast<std::size_t>(room - 3));
        }
        mvaddstr(0, COLS - 1 - static_cast<int>(place.size()), place.c_str());
        attroff(A_REVERSE);

        const Stop* stop = focused();
        for (const Placed& p : screen.placed) {
            const PanelControl& control = *p.box->control;
            const bool focus = stop != nullptr && stop->control == &control;
            if (control.typeName == kControlNameButton) {
                const std::string face = "[ " + control.label + " ]";
                attron(focus ? A_REVERSE : A_BOLD);
                mvaddstr(p.line, p.fieldCol, face.c_str());
                attroff(A_REVERSE | A_BOLD);
                continue;
            }
            mvaddstr(p.line, p.labelCol, control.label.c_str());
            if (control.typeName == kControlNameListBox) {
                drawList(panel, const_cast<PanelControl&>(control), screen, focus);
                continue;
            }
            const int parts = control.typeName == kControlNameVector ? 3 : 1;
            const int partWidth = (p.fieldWidth - (parts - 1)) / parts;
            for (int part = 0; part < parts; ++part) {
                const bool here = focus && stop->part == part;
                std::string text = here && editing_ ? buffer_ : shown(control, part);
                if (static_cast<int>(text.size()) > partWidth) {
                    // The end of what is being typed, or the start of a value.
                    text = here && editing_ ? text.substr(text.size() - partWidth)
                                            : text.substr(0, partWidth);
                }
                text.resize(static_cast<std::size_t>(partWidth), ' ');
                attron(here ? A_REVERSE : A_UNDERLINE);
                mvaddstr(p.line, p.fieldCol + part * (partWidth + 1), text.c_str());
                attroff(A_REVERSE | A_UNDERLINE);
            }
        }
        drawStatus();
        drawBoxes();
        refresh();
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
        const int width = screen.listWidth - 2;
        for (int i = 0; i < rows; ++i) {
            const int index = listTop_ + i;
            const int y = screen.listLine + i;
            if (index >= count) {
                break;
            }
            if (index + 1 == shownKey) {
                mvaddch(y, screen.listCol, '>'); // the key the fields show
            }
            std::string text = control.rows[static_cast<std::size_t>(index)];
            text.resize(static_cast<std::size_t>(std::max(width, 1)), ' ');
            const bool mark = index == picked;
            attron(mark ? (focus ? A_REVERSE : A_BOLD) : A_NORMAL);
            mvaddnstr(y, screen.listCol + 2, text.c_str(), width);
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

    void drawStatus() {
        std::string status = status_;
        if (prompt_ == Prompt::GoTo) {
            status = "Go to key: " + promptText_ + "_   (Enter: go, Esc: back)";
        } else if (prompt_ == Prompt::SaveAs) {
            status = "Save to: " + promptText_ + "_";
        } else if (editing_) {
            status = "Enter or Tab types the value in; Esc keeps the old one";
        }
        mvaddnstr(LINES - 2, 1, status.c_str(), COLS - 2);
        attron(A_REVERSE);
        mvhline(LINES - 1, 0, ' ', COLS);
        const char* help = COLS >= 100 ? "Tab/Shift-Tab move  Enter press  Up/Down pick  "
                                         "g go to key  Ctrl-S save  Esc leave"
                                       : "Tab move  Enter press  g go to key  ^S save  Esc leave";
        mvaddnstr(LINES - 1, 1, help, COLS - 2);
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
            box = {"DELETE KEY", {"Delete the key the fields show?"}};
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
        const int width = COLS - 4;
        std::vector<std::string> lines;
        for (const std::string& line : box.lines) {
            // Long lines fold at a blank where one is near the end.
            std::string rest = line;
            while (static_cast<int>(rest.size()) > width - 4) {
                std::size_t cut = rest.rfind(' ', static_cast<std::size_t>(width - 4));
                if (cut == std::string::npos || cut < static_cast<std::size_t>(width / 2)) {
                    cut = static_cast<std::size_t>(width - 4);
                }
                lines.push_back(rest.substr(0, cut));
                rest = rest.substr(cut + (rest[cut] == ' ' ? 1 : 0));
            }
            lines.push_back(rest);
        }
        int inner = static_cast<int>(keys.size() + box.title.size()) / 2 + 2;
        for (const std::string& line : lines) {
            inner = std::max(inner, static_cast<int>(line.size()));
        }
        inner = std::min(inner, width - 4);
        const int height = static_cast<int>(lines.size()) + 4;
        const int top = std::max(1, (LINES - height) / 2);
        const int left = (COLS - inner - 4) / 2;
        for (int y = top; y < top + height; ++y) {
            mvhline(y, left, ' ', inner + 4);
        }
        // Plain characters: they read the same in every terminal and capture.
        mvhline(top, left, '-', inner + 4);
        mvhline(top + height - 1, left, '-', inner + 4);
        mvvline(top, left, '|', height);
        mvvline(top, left + inner + 3, '|', height);
        for (const int y : {top, top + height - 1}) {
            mvaddch(y, left, '+');
            mvaddch(y, left + inner + 3, '+');
        }
        attron(A_BOLD);
        mvaddnstr(top, left + 2, (" " + box.title + " ").c_str(), inner);
        attroff(A_BOLD);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            mvaddnstr(top + 1 + static_cast<int>(i), left + 2, lines[i].c_str(), inner);
        }
        attron(A_REVERSE);
        mvaddnstr(top + height - 2, left + 2, keys.c_str(), inner);
        attroff(A_REVERSE);
    }
};

} // namespace

namespace {

bool terminalTaken = false, cursesStarted = false;

bool terminalIsUtf8() {
    const char* codeset = nl_langinfo(CODESET);
    return codeset != nullptr && std::string(codeset) == "UTF-8";
}

// Characters that turn the order of what follows them on a terminal that
// lays out bidirectional text, and the byte order mark, which some
// terminals show as nothing at all.
bool reordersOrHides(char32_t c) {
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF;
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
        if (c < 0x80 || (utf8 && !reordersOrHides(c))) {
            out.append(safe, from, i - from);
            continue;
        }
        // A terminal in another character set shows every non-ASCII
        // character as an escape, so that none becomes another one.
        char escape[16];
        std::snprintf(escape, sizeof escape, c > 0xFFFF ? "\\U%08X" : "\\u%04X",
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
}

void closeTerminal() {
    if (terminalTaken) {
        endwin();
        terminalTaken = false;
    }
}

std::unique_ptr<PanelUser> terminalScreen(std::string scene, std::string item,
                                          SessionState& state) {
    return std::make_unique<TerminalEditor>(std::move(scene), std::move(item), state);
}

} // namespace vrim::edit
