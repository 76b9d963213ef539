#include "tools/vrim/edit/terminal_editor.h"

#include "tools/vrim/edit/key_actions.h"
#include "tools/vrim/edit/terminal_editor_snapshot.h"
#include "tools/vrim/module/session.h"

#ifdef VRIM_HAVE_CURSES
#include "tools/vrim/edit/terminal_editor_context.h"
#include "tools/vrim/edit/terminal_editor_picker.h"
#include "tools/vrim/edit/terminal_editor_review.h"
#include "tools/vrim/edit/terminal_editor_screen.h"

#include <unistd.h>

#include <cstdlib>
#endif

namespace vrim::edit {

using files::FileInfo;
using files::FileSystem;

#ifndef VRIM_HAVE_CURSES

std::string terminalEditorUnavailable() {
    return "this build of vrim has no interactive key editor (it needs curses); give the edit "
           "as actions: --key, --set, --add-key, --delete-key, --shift or --script";
}

SceneEditResult editInTerminal(Session&, FileSystem&, const std::string&, SceneEditOptions) {
    throw ToolError(terminalEditorUnavailable());
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

// The terminal is the user's again however the session ends.
struct TerminalGiven {
    TerminalGiven() = default;
    TerminalGiven(const TerminalGiven&) = delete;
    TerminalGiven& operator=(const TerminalGiven&) = delete;
    ~TerminalGiven() { closeTerminal(); }
};

// Why the scene cannot be written now; empty when it can. Read-only as
// the writer sees it: no write bit at all stops root too, unless --force.
std::string whyNotWritable(FileSystem& fs, const std::string& path, bool force) {
    FileInfo info;
    std::string error;
    if (!fs.stat(path, info, error)) {
        return error.empty() ? "it is no longer there" : error;
    }
    const bool readOnly = !info.writable || (!force && (info.mode & 0222) == 0);
    return readOnly ? "read-only" : std::string();
}

// Why a new file cannot be made at path; empty when nothing is there.
std::string whyNotNew(FileSystem& fs, const std::string& path) {
    FileInfo info;
    std::string error;
    if (fs.stat(path, info, error)) {
        return "exists";
    }
    return error;
}

// The session's actions played by the module as --script plays them, so
// that what is written is what the same clicks in a script write.
std::unique_ptr<PanelUser> replayOf(Session& session, const SessionState& state) {
    EditAction replay;
    replay.kind = EditAction::Kind::Script;
    replay.text = "the session's actions";
    replay.script = state.actions;
    replay.script.push_back(standin::PanelAction{});
    replay.script.back().kind = standin::PanelAction::Kind::Close;
    for (std::size_t i = 0; i < replay.script.size(); ++i) {
        replay.scriptLines.push_back(static_cast<int>(i + 1));
    }
    return std::make_unique<ActionPlayer>(session.panelHost(), std::vector<EditAction>{replay});
}

// One opening of the panel, played without writing: what Ctrl-S would
// write comes back as the dry run's diff, for the review.
SceneEditResult openPanel(Session& session, FileSystem& fs, const std::string& path,
                          SceneEditOptions options, SessionState& state) {
    state.next = SessionState::Next::Done;
    state.closedWithOk = false;
    state.readOnly = whyNotWritable(fs, path, options.policy.force);
    options.dryRun = true;
    options.strict = false; // the review shows what --strict refuses
    options.backup = false;
    options.user = [&](const std::string& item) { return terminalScreen(path, item, state); };
    return editScene(session, fs, path, options);
}

// The scene as the session read it, with the session's actions, in a new file.
SceneEditResult saveElsewhere(Session& session, FileSystem& fs, SceneSnapshot& snapshot,
                              const std::string& path, const SessionState& state,
                              SceneEditOptions options) {
    options.backup = false;
    options.overwriteBackup = false;
    options.dryRun = false;
    options.user = [&](const std::string&) { return replayOf(session, state); };
    snapshot.copyTo(state.saveAs);
    try {
        SceneEditResult saved = editScene(session, fs, state.saveAs, options);
        saved.notes.push_back("'" + path + "' is as it is now; the session was saved to '" +
                              state.saveAs + "'");
        return saved;
    } catch (const ToolError&) {
        std::string ignored;
        fs.remove(state.saveAs, ignored); // the copy without the session's edits is no one's
        throw;
    }
}

// Without an item named, the user picks one of the scene's items with a
// shake (the only one at once); false when the user left instead.
bool pickOne(Session& session, FileSystem& fs, const std::string& path, SceneEditOptions& options) {
    const std::vector<ShakenItem> items = shakenItems(session, fs, path, options);
    if (items.empty()) {
        throw ToolError("'" + path +
                        "': no item has a shake (no VRIM_S key block); nothing to edit");
    }
    const std::optional<std::string> picked =
        items.size() == 1 ? items.front().address : pickItem(path, items);
    if (!picked) {
        return false;
    }
    options.blocks = scene::BlockSelector().address(*picked);
    return true;
}

} // namespace

SceneEditResult editInTerminal(Session& session, FileSystem& fs, const std::string& path,
                               SceneEditOptions options) {
    const TerminalGiven terminal;
    SessionState state;
    SceneSnapshot snapshot(fs);
    snapshot.take(path);
    state.changedOnDisk = [&] { return snapshot.changedSince(); };
    state.cannotWrite = [&] { return whyNotWritable(fs, path, options.policy.force); };
    state.cannotCreate = [&](const std::string& name) { return whyNotNew(fs, name); };
    if (options.blocks.everyBlock() && !pickOne(session, fs, path, options)) {
        SceneEditResult left;
        left.cancelled = 1;
        return left;
    }
    SceneContext context(session);
    state.context = [&](ShakeInstance& instance) { return context.line(instance); };
    for (;;) {
        context.read(path, options);
        const SceneEditResult dry = openPanel(session, fs, path, options, state);
        if (state.next == SessionState::Next::ReadAgain) {
            snapshot.take(path);
            continue;
        }
        if (state.next == SessionState::Next::Replay) {
            continue;
        }
        try {
            if (state.next == SessionState::Next::SaveAs) {
                return saveElsewhere(session, fs, snapshot, path, state, options);
            }
            if (!state.closedWithOk || dry.edited == 0) {
                return dry; // left, or nothing to write
            }
            if (!reviewSave(dry, {path, options.strict, options.dryRun})) {
                continue; // back to the editor, the session replayed
            }
            if (options.dryRun) {
                return dry;
            }
            if (const std::string why = snapshot.changedSince(); !why.empty()) {
                throw ToolError("'" + path + "' changed on disk during the review: " + why);
            }
            options.user = [&](const std::string&) { return replayOf(session, state); };
            return editScene(session, fs, path, options);
        } catch (const ToolError& e) {
            // Nothing was written: the session goes on, replayed onto the
            // scene as it is now, and Ctrl-S offers what is left to do.
            state.saveFailed = e.what();
            state.notices.push_back(std::string(e.what()) +
                                    ". Nothing was written; your edits are still here: Ctrl-S "
                                    "to try again or save to another file, Esc to leave.");
        }
    }
}

#endif

} // namespace vrim::edit
