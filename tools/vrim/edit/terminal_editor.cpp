#include "tools/vrim/edit/terminal_editor.h"

#include "tools/vrim/edit/key_actions.h"

#ifdef VRIM_HAVE_CURSES
#include <curses.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>
#endif

namespace vrim::edit {

#ifndef VRIM_HAVE_CURSES

std::string terminalEditorUnavailable() {
    return "this build of vrim has no interactive key editor (it needs curses); give the edit "
           "as actions: --key, --set, --add-key, --delete-key, --shift or --script";
}

std::unique_ptr<PanelUser> makeTerminalEditor(const std::string&, const std::string&) {
    return nullptr;
}

#else

std::string terminalEditorUnavailable() {
    if (isatty(STDIN_FILENO) == 0 || isatty(STDOUT_FILENO) == 0) {
        return "the interactive key editor needs a terminal; give the edit as actions: --key, "
               "--set, --add-key, --delete-key, --shift or --script";
    }
    const char* term = std::getenv("TERM");
    if (term == nullptr || *term == '\0' || std::string(term) == "dumb") {
        return "the interactive key editor needs a terminal that can address the screen "
               "(TERM is not set, or is dumb)";
    }
    return {};
}

namespace {

using standin::Panel;
using standin::PanelAction;
using standin::PanelControl;

constexpr int kCtrlS = 19;
constexpr int kEscape = 27;
// The host's own sizes: one character of a label is 5 wide, a panel row 20
// high. The terminal never draws the panel larger than one cell for these.
constexpr double kMaxColumnScale = 1.0 / 5.0;
constexpr double kPixelsPerRow = 20.0;
constexpr int kMinColumns = 60;
constexpr int kMinLines = 16;

// One place the cursor can rest: a control, or one of a vector control's three fields.
struct Stop {
    PanelControl* control = nullptr;
    int part = 0; // the vector's element
};

std::string shortNumber(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// How wide a control's field is in the host's units, right of its label.
int fieldPixels(const PanelControl& control) {
    const std::string& type = control.typeName;
    if (type == "FloatControl") {
        return 80;
    }
    if (type == "FVecControl") {
        return 3 * 68;
    }
    if (type == "BoolControl") {
        return 16;
    }
    if (type == "ButtonControl") {
        return static_cast<int>(control.label.size()) * 5 + 20;
    }
    if (type == "InfoControl") {
        return std::max(control.descriptor.width, 1) * 8;
    }
    if (type == "ListBoxControl") {
        return std::max(control.descriptor.width, 40);
    }
    return 60;
}

class TerminalEditor final : public PanelUser {
  public:
    TerminalEditor(std::string scene, std::string item)
        : scene_(std::move(scene)), item_(std::move(item)) {}
    ~TerminalEditor() override { leave(); }

    std::optional<PanelAction> next(Panel& panel) override {
        if (closed_) {
            return std::nullopt;
        }
        enter();
        stops(panel);
        for (;;) {
            draw(panel);
            const int key = getch();
            if (auto action = handle(key)) {
                if (action->kind == PanelAction::Kind::Close ||
                    action->kind == PanelAction::Kind::Cancel) {
                    closed_ = true;
                    cancelled_ = action->kind == PanelAction::Kind::Cancel;
                    leave();
                }
                return action;
            }
        }
    }
    std::string failure() const override { return {}; }
    bool cancelled() const override { return cancelled_; }

  private:
    std::string scene_, item_;
    bool screen_ = false, closed_ = false, cancelled_ = false;
    std::vector<Stop> stops_;
    std::size_t focus_ = 0;
    bool editing_ = false;
    std::string buffer_;
    std::string status_;
    bool closeAfterTyping_ = false;
    int listTop_ = 0;

    void enter() {
        if (screen_) {
            return;
        }
        // Esc must answer at once, not after curses waited for a sequence.
        setenv("ESCDELAY", "25", 0);
        initscr();
        cbreak();
        noecho();
        raw(); // Ctrl-S is the user's, not the terminal's flow control
        keypad(stdscr, TRUE);
        curs_set(0);
        screen_ = true;
    }
    void leave() {
        if (screen_) {
            endwin();
            screen_ = false;
        }
    }

    void stops(const Panel& panel) {
        stops_.clear();
        for (const auto& control : panel.controls) {
            const std::string& type = control->typeName;
            if (type == "InfoControl") {
                continue; // shows the key number; nothing to type into
            }
            const int parts = type == "FVecControl" ? 3 : 1;
            for (int part = 0; part < parts; ++part) {
                stops_.push_back({control.get(), part});
            }
        }
        focus_ = std::min(focus_, stops_.empty() ? 0 : stops_.size() - 1);
    }

    const Stop* focused() const { return stops_.empty() ? nullptr : &stops_[focus_]; }

    static bool typable(const PanelControl& control) {
        const std::string& type = control.typeName;
        return type == "FloatControl" || type == "FVecControl" || type == "NumControl";
    }

    // The value the field shows when the user is not typing into it.
    static std::string shown(const PanelControl& control, int part) {
        const std::string& type = control.typeName;
        if (type == "FloatControl") {
            return shortNumber(control.number);
        }
        if (type == "FVecControl") {
            return shortNumber(control.vector[part]);
        }
        if (type == "InfoControl") {
            return control.text;
        }
        if (type == "BoolControl") {
            return control.integer != 0 ? "[x]" : "[ ]";
        }
        return std::to_string(control.integer);
    }

    // Leaving a field the user typed into types its value into the control.
    std::optional<PanelAction> leaveField() {
        if (!editing_) {
            return std::nullopt;
        }
        const Stop& stop = *focused();
        char* end = nullptr;
        const double value = std::strtod(buffer_.c_str(), &end);
        if (buffer_.empty() || *end != '\0' || !std::isfinite(value)) {
            status_ = "'" + buffer_ + "' is not a number";
            beep();
            return std::nullopt; // the user stays in the field
        }
        editing_ = false;
        PanelAction action;
        action.kind = PanelAction::Kind::Type;
        action.label = stop.control->label;
        if (stop.control->typeName == "FVecControl") {
            action.numbers.assign(stop.control->vector, stop.control->vector + 3);
            action.numbers[static_cast<std::size_t>(stop.part)] = value;
        } else {
            action.numbers = {value};
        }
        status_.clear();
        return action;
    }

    // A key the user pressed: an action for the panel, or nothing (the screen
    // changed only here).
    std::optional<PanelAction> handle(int key) {
        if (closeAfterTyping_) {
            closeAfterTyping_ = false;
            PanelAction close;
            close.kind = PanelAction::Kind::Close;
            return close;
        }
        const Stop* stop = focused();
        if (key == kEscape) {
            PanelAction cancel;
            cancel.kind = PanelAction::Kind::Cancel;
            return cancel;
        }
        const bool moves = key == '\t' || key == KEY_BTAB || key == kCtrlS ||
                           ((key == '\n' || key == '\r' || key == KEY_ENTER) && editing_);
        if (moves && editing_) {
            std::optional<PanelAction> typed = leaveField();
            if (editing_) {
                return std::nullopt; // not a number: stay in the field
            }
            // The typed value goes in first; the move or the close follows
            // once the panel has taken it.
            if (key == kCtrlS) {
                closeAfterTyping_ = true;
                ungetch(0);
            } else if (key != '\n' && key != '\r' && key != KEY_ENTER) {
                move(key == KEY_BTAB ? -1 : 1);
            }
            return typed;
        }
        switch (key) {
        case kCtrlS: {
            PanelAction close;
            close.kind = PanelAction::Kind::Close;
            return close;
        }
        case '\t':
            move(1);
            return std::nullopt;
        case KEY_BTAB:
            move(-1);
            return std::nullopt;
        case KEY_RESIZE:
            return std::nullopt;
        default:
            break;
        }
        if (stop == nullptr) {
            return std::nullopt;
        }
        PanelControl& control = *stop->control;
        const std::string& type = control.typeName;
        const bool enter = key == '\n' || key == '\r' || key == KEY_ENTER || key == ' ';
        if (type == "ButtonControl" && enter) {
            PanelAction press;
            press.kind = PanelAction::Kind::Press;
            press.label = control.label;
            return press;
        }
        if (type == "BoolControl" && enter) {
            PanelAction toggle;
            toggle.kind = PanelAction::Kind::Type;
            toggle.label = control.label;
            toggle.numbers = {control.integer != 0 ? 0.0 : 1.0};
            return toggle;
        }
        if (type == "ListBoxControl" && (key == KEY_UP || key == KEY_DOWN)) {
            const int rows = static_cast<int>(control.rows.size());
            const int row = static_cast<int>(control.integer) + (key == KEY_UP ? -1 : 1);
            if (row < 0 || row >= rows) {
                return std::nullopt;
            }
            PanelAction pick;
            pick.kind = PanelAction::Kind::Pick;
            pick.row = row;
            return pick;
        }
        if (typable(control)) {
            const bool numeric = (key >= '0' && key <= '9') || key == '.' || key == '-' ||
                                 key == '+' || key == 'e' || key == 'E';
            if (numeric && key < 128) {
                if (!editing_) {
                    editing_ = true;
                    buffer_.clear(); // typing replaces what the field showed
                }
                buffer_ += static_cast<char>(key);
            } else if ((key == KEY_BACKSPACE || key == 127 || key == 8) && editing_) {
                if (!buffer_.empty()) {
                    buffer_.pop_back();
                }
            }
        }
        return std::nullopt;
    }

    void move(int by) {
        if (stops_.empty()) {
            return;
        }
        const auto count = static_cast<long>(stops_.size());
        focus_ =
            static_cast<std::size_t>(((static_cast<long>(focus_) + by) % count + count) % count);
    }

    void draw(Panel& panel) {
        erase();
        if (COLS < kMinColumns || LINES < kMinLines) {
            mvprintw(0, 0, "The terminal is too small for the key editor (%dx%d at least).",
                     kMinColumns, kMinLines);
            refresh();
            return;
        }
        int widthPixels = 320;
        int heightPixels = panel.heightSet ? panel.height : 0;
        for (const auto& control : panel.controls) {
            widthPixels = std::max(widthPixels, static_cast<int>(control->x + control->labelWidth) +
                                                    fieldPixels(*control) + 12);
            heightPixels = std::max(heightPixels, static_cast<int>(control->y) + 20);
        }
        const double sx = std::min(kMaxColumnScale, (COLS - 2) / static_cast<double>(widthPixels));
        // Whole terminal lines per panel row, so rows keep even gaps.
        const int perRow =
            std::clamp(static_cast<int>((LINES - 4) / (heightPixels / kPixelsPerRow)), 1, 2);
        const auto col = [&](double x) { return 1 + static_cast<int>(std::lround(x * sx)); };
        const auto row = [&](double y) {
            return 1 + static_cast<int>(std::lround(y / kPixelsPerRow)) * perRow;
        };

        attron(A_REVERSE);
        mvhline(0, 0, ' ', COLS);
        mvaddnstr(0, 1, panel.title.c_str(), COLS - 2);
        const std::string place = scene_ + ", " + item_;
        mvaddnstr(0, std::max(1, COLS - 1 - static_cast<int>(place.size())), place.c_str(),
                  COLS - 2);
        attroff(A_REVERSE);

        const Stop* stop = focused();
        for (const auto& owned : panel.controls) {
            PanelControl& control = *owned;
            const int y = row(static_cast<double>(control.y));
            const int fieldX = col(static_cast<double>(control.x + control.labelWidth));
            const bool focus = stop != nullptr && stop->control == &control;
            if (control.typeName == "ButtonControl") {
                const std::string face = "[ " + control.label + " ]";
                if (focus) {
                    attron(A_REVERSE);
                }
                mvaddstr(y, col(static_cast<double>(control.x)), face.c_str());
                attroff(A_REVERSE);
                continue;
            }
            // The label ends where the field begins, as the host draws it.
            const int labelX = std::max(0, fieldX - 1 - static_cast<int>(control.label.size()));
            mvaddstr(y, labelX, control.label.c_str());
            if (control.typeName == "ListBoxControl") {
                drawList(control, y, fieldX,
                         std::max(1, static_cast<int>(std::lround(fieldPixels(control) * sx))),
                         focus);
                continue;
            }
            const int parts = control.typeName == "FVecControl" ? 3 : 1;
            const int partWidth =
                std::max(4, static_cast<int>(std::lround(fieldPixels(control) * sx / parts)) - 1);
            for (int part = 0; part < parts; ++part) {
                const bool here = focus && stop->part == part;
                std::string text = here && editing_ ? buffer_ : shown(control, part);
                if (static_cast<int>(text.size()) > partWidth) {
                    text.resize(static_cast<std::size_t>(partWidth));
                }
                text.resize(static_cast<std::size_t>(partWidth), ' ');
                if (here) {
                    attron(A_REVERSE);
                } else {
                    attron(A_UNDERLINE);
                }
                mvaddstr(y, fieldX + part * (partWidth + 1), text.c_str());
                attroff(A_REVERSE | A_UNDERLINE);
            }
        }
        mvaddnstr(LINES - 2, 1, status_.c_str(), COLS - 2);
        attron(A_REVERSE);
        mvhline(LINES - 1, 0, ' ', COLS);
        mvaddnstr(LINES - 1, 1,
                  "Tab/Shift-Tab move  Enter press/leave field  Up/Down key list  "
                  "Ctrl-S save  Esc cancel",
                  COLS - 2);
        attroff(A_REVERSE);
        refresh();
    }

    void drawList(PanelControl& control, int y, int x, int width, bool focus) {
        standin::PanelHost::askRows(control); // drawing a list box asks for its rows
        const int shownRows = std::max(control.descriptor.visibleRows, 1);
        const int picked = static_cast<int>(control.integer);
        if (picked < listTop_) {
            listTop_ = picked;
        } else if (picked >= listTop_ + shownRows) {
            listTop_ = picked - shownRows + 1;
        }
        for (int i = 0; i < shownRows; ++i) {
            const int index = listTop_ + i;
            std::string text = index < static_cast<int>(control.rows.size())
                                   ? control.rows[static_cast<std::size_t>(index)]
                                   : "";
            text.resize(static_cast<std::size_t>(std::max(width, 1)), ' ');
            const bool mark = index == picked && index < static_cast<int>(control.rows.size());
            if (mark) {
                attron(focus ? A_REVERSE : A_BOLD);
            } else {
                attron(A_UNDERLINE);
            }
            mvaddnstr(y + i, x, text.c_str(), COLS - x - 1);
            attroff(A_REVERSE | A_BOLD | A_UNDERLINE);
        }
    }
};

} // namespace

std::unique_ptr<PanelUser> makeTerminalEditor(const std::string& sceneName,
                                              const std::string& itemName) {
    return std::make_unique<TerminalEditor>(sceneName, itemName);
}

#endif

} // namespace vrim::edit
