#include "tools/vrim/edit/terminal_editor_picker.h"

#include "tools/vrim/edit/terminal_editor_screen.h"

#include <curses.h>

#include <algorithm>

namespace vrim::edit {

namespace {

constexpr int kCtrlC = 3;
constexpr int kEscape = 27;

// Closes every panel it is shown without a change.
class Glance final : public PanelUser {
  public:
    std::optional<standin::PanelAction> next(standin::Panel&) override {
        standin::PanelAction cancel;
        cancel.kind = standin::PanelAction::Kind::Cancel;
        return cancel;
    }
    std::string failure() const override { return {}; }
    bool cancelled() const override { return true; }
};

void drawPicker(const std::string& scene, const std::vector<ShakenItem>& items, int picked,
                int top) {
    erase();
    attron(A_REVERSE);
    mvhline(0, 0, ' ', COLS);
    mvaddstr(0, 1, fitColumns("Items with a shake in " + screenText(scene), COLS - 2).c_str());
    mvhline(LINES - 1, 0, ' ', COLS);
    mvaddstr(LINES - 1, 1, fitColumns("Up/Down pick  Enter edit  Esc leave", COLS - 2).c_str());
    attroff(A_REVERSE);
    const int rows = std::max(1, LINES - 2);
    for (int i = 0; i < rows && top + i < static_cast<int>(items.size()); ++i) {
        const ShakenItem& item = items[static_cast<std::size_t>(top + i)];
        std::string text = screenText(item.name.empty() ? item.address : item.name);
        if (item.address != item.name) {
            text += "   (--item " + screenText(item.address) + ")";
        }
        const bool mark = top + i == picked;
        attron(mark ? A_REVERSE : A_NORMAL);
        mvaddstr(1 + i, 1, fitColumns((mark ? "> " : "  ") + text, COLS - 2).c_str());
        attroff(A_REVERSE);
    }
    refresh();
}

} // namespace

std::vector<ShakenItem> shakenItems(Session& session, files::FileSystem& fs,
                                    const std::string& path, SceneEditOptions options) {
    options.allItems = true;
    options.dryRun = true;
    options.backup = false;
    options.strict = false;
    options.user = [](const std::string&) { return std::make_unique<Glance>(); };
    std::vector<ShakenItem> items;
    for (const BlockEdit& block : editScene(session, fs, path, options).blocks) {
        items.push_back({block.address, block.item});
    }
    return items;
}

std::optional<std::string> pickItem(const std::string& scene,
                                    const std::vector<ShakenItem>& items) {
    openTerminal();
    const int count = static_cast<int>(items.size());
    int picked = 0, top = 0;
    for (;;) {
        const int rows = std::max(1, LINES - 2);
        top = std::clamp(top, std::max(0, picked - rows + 1), picked);
        drawPicker(scene, items, picked, top);
        const int key = getch();
        if (key == KEY_UP || key == KEY_DOWN) {
            picked = std::clamp(picked + (key == KEY_UP ? -1 : 1), 0, count - 1);
        } else if (key == KEY_HOME || key == KEY_END) {
            picked = key == KEY_HOME ? 0 : count - 1;
        } else if (key == '\n' || key == '\r' || key == KEY_ENTER) {
            return items[static_cast<std::size_t>(picked)].address;
        } else if (key == kEscape || key == kCtrlC || key == 'q') {
            return std::nullopt;
        }
    }
}

} // namespace vrim::edit
