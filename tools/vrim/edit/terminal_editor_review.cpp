#include "tools/vrim/edit/terminal_editor_review.h"

#include "tools/vrim/edit/terminal_editor_screen.h"

#include <curses.h>

#include <algorithm>

namespace vrim::edit {

namespace {

constexpr int kEscape = 27;

bool isChange(const std::string& line) {
    return !line.empty() && (line[0] == '+' || line[0] == '-') && line.rfind("+++", 0) != 0 &&
           line.rfind("---", 0) != 0;
}

// A changed line that one of the unasked changes names.
bool unasked(const std::string& line, const std::vector<std::string>& changes) {
    std::string body = line.substr(1);
    while (!body.empty() && (body.back() == '\r' || body.back() == ' ')) {
        body.pop_back();
    }
    return !body.empty() && std::any_of(changes.begin(), changes.end(), [&](const auto& change) {
        return change.find(body) != std::string::npos;
    });
}

std::string question(const SceneEditResult& dry, const ReviewAsk& ask) {
    if (ask.strict && !dry.unasked.empty()) {
        return "--strict refuses the changes marked !; nothing is written.  Esc: back";
    }
    if (ask.dryRun) {
        return "--dry-run: nothing is written.  y: leave with this diff  n, Esc: back";
    }
    return "y: write it  n, Esc: back to the editor  Up/Down, PgUp/PgDn: scroll";
}

void drawReview(const std::vector<std::string>& lines, const std::string& title,
                const std::string& keys, int top) {
    erase();
    attron(A_REVERSE);
    mvhline(0, 0, ' ', COLS);
    mvaddstr(0, 1, fitColumns(title, COLS - 2).c_str());
    attroff(A_REVERSE);
    const int rows = std::max(1, LINES - 2);
    for (int i = 0; i < rows && top + i < static_cast<int>(lines.size()); ++i) {
        const std::string& line = lines[static_cast<std::size_t>(top + i)];
        const bool mark = line.rfind("! ", 0) == 0;
        attron(mark ? A_BOLD : A_NORMAL);
        mvaddstr(1 + i, 0, fitColumns(line, COLS - 1).c_str());
        attroff(A_BOLD);
    }
    attron(A_REVERSE);
    mvhline(LINES - 1, 0, ' ', COLS);
    mvaddstr(LINES - 1, 1, fitColumns(keys, COLS - 2).c_str());
    attroff(A_REVERSE);
    refresh();
}

} // namespace

std::vector<std::string> reviewLines(const SceneEditResult& dry) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < dry.diff.size()) {
        std::size_t end = dry.diff.find('\n', at);
        end = end == std::string::npos ? dry.diff.size() : end;
        std::string line = dry.diff.substr(at, end - at);
        at = end + 1;
        if (line.rfind("+++", 0) == 0 || line.rfind("---", 0) == 0) {
            continue; // the scene's name is in the title
        }
        const bool mark = isChange(line) && unasked(line, dry.unasked);
        lines.push_back((mark ? "! " : "  ") + screenText(line));
    }
    if (!dry.unasked.empty()) {
        lines.emplace_back();
        lines.push_back("Not asked for (" + std::to_string(dry.unasked.size()) +
                        "), marked !: the module writes these lines its own way");
        for (const std::string& change : dry.unasked) {
            lines.push_back("! " + screenText(change));
        }
    }
    return lines;
}

bool reviewSave(const SceneEditResult& dry, const ReviewAsk& ask) {
    openTerminal();
    const std::vector<std::string> lines = reviewLines(dry);
    const std::string title = "Save " + screenText(ask.scene) + "? These lines change:";
    const std::string keys = question(dry, ask);
    const bool refused = ask.strict && !dry.unasked.empty();
    int top = 0;
    for (;;) {
        const int page = std::max(1, LINES - 3);
        const int last = std::max(0, static_cast<int>(lines.size()) - page);
        top = std::clamp(top, 0, last);
        drawReview(lines, title, keys, top);
        const int key = getch();
        if (key == KEY_DOWN || key == KEY_UP) {
            top += key == KEY_DOWN ? 1 : -1;
        } else if (key == KEY_NPAGE || key == KEY_PPAGE || key == ' ') {
            top += key == KEY_PPAGE ? -page : page;
        } else if (!refused && (key == 'y' || key == 'Y')) {
            return true;
        } else if (key == 'n' || key == 'N' || key == kEscape) {
            return false;
        }
    }
}

} // namespace vrim::edit
