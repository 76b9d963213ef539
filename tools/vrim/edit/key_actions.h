// The edits of `vrim edit` as a user makes them in the module's key editor:
// each command-line action becomes presses and typing on the panel the module
// built, chosen from what the panel shows at that moment (the key number, the
// key list, the values in the fields). Nothing here touches a key itself; the
// module does, through its own buttons and its write-back when the panel
// closes.
#pragma once

#include "plugin/vocabulary.h"
#include "standin/panel_host.h"
#include "tools/vrim/edit/panel_user.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vrim::edit {

// A panel script is a short list of clicks; anything larger is not one.
constexpr std::size_t kMaxScriptBytes = 1 << 20;

// One action from the command line, checked and ready to play.
struct EditAction {
    enum class Kind { Key, Set, AddKey, DeleteKey, Shift, Script };
    enum class Field { Start, End, Freq, WidthX, WidthY, WidthZ, FallOff };
    Kind kind = Kind::Key;
    std::string text;   // as the user wrote it, for messages: "--set start=10"
    int64_t number = 0; // Key: the 1-based key; Shift: frames; Set of a frame: the frame
    Field field = Field::Start;
    double value = 0.0;                       // Set: the number to type
    std::string valueText;                    // Set: the value as the user wrote it
    std::vector<standin::PanelAction> script; // Script: its actions
    std::vector<int> scriptLines;             // Script: the file's line of each action
};

// Checks one command-line action; throws ToolError naming the option and
// quoting the value it refuses. option is the option's long name without
// dashes ("set"), value its argument (empty for flags); a script's file is
// read here.
EditAction parseEditAction(const std::string& option, const std::string& value);

// The field names --set takes, for messages.
const char* fieldNames();
// The name --set takes for one field ("width-x").
const char* fieldName(EditAction::Field field);

// The panel's controls by the labels the module gives them.
struct PanelLabels {
    static constexpr const char* freq = label::kFreqTime;
    static constexpr const char* width = label::kWidth;
    static constexpr const char* start = label::kStartFrame;
    static constexpr const char* end = label::kEndFrame;
    static constexpr const char* fallOff = label::kFallOff;
    static constexpr const char* addKey = label::kAddKey;
    static constexpr const char* deleteKey = label::kDeleteKey;
    static constexpr const char* prevKey = label::kPrevKey;
    static constexpr const char* nextKey = label::kNextKey;
    static constexpr const char* keyNumber = label::kKeyNumber;
    static constexpr const char* keyList = label::kKeyList;
};

// What the panel shows now: the key number in "KEY_NO" (0 when it shows no
// number) and the rows of the key list.
int shownKeyNumber(const standin::Panel& panel);
std::size_t listedKeys(standin::Panel& panel);

// Plays actions on an open key editor, one panel action at a time, and
// closes the panel with OK when they are done. It runs inside the module's
// call of the panel's open, so it never throws: a refused action ends the
// session with Cancel and leaves the reason in failure().
class ActionPlayer final : public PanelUser {
  public:
    ActionPlayer(standin::PanelHost& host, std::vector<EditAction> actions);
    // The next thing the user does, or nothing when the user is done.
    std::optional<standin::PanelAction> next(standin::Panel& panel) override;

    // Empty when every action was played; otherwise which one failed and why.
    std::string failure() const override { return failure_; }
    // True when a script cancelled the panel: the item stays as it was.
    bool cancelled() const override { return cancelled_; }
    // Every panel action played, as a panel script would hold it.
    const std::vector<standin::PanelAction>& played() const { return played_; }
    Playing playing() const override;
    // The place in the list of the action playing() stands for.
    std::size_t playingIndex() const { return playing_; }

  private:
    standin::PanelHost& host_;
    std::vector<EditAction> actions_;
    std::size_t current_ = 0;
    std::size_t playing_ = 0;      // the action that gave the last panel action
    int step_ = 0;                 // how far the current action got
    std::size_t keysBefore_ = 0;   // the list's rows before a press
    int target_ = 0;               // the key a walk goes to
    int origin_ = 0;               // the key a shift comes back to
    int lastShown_ = -1;           // the key number a walk's last press left
    std::size_t problemsSeen_ = 0; // host problems already accounted for
    std::string failure_;
    bool cancelled_ = false;
    std::vector<standin::PanelAction> played_;

    std::optional<standin::PanelAction> plan(standin::Panel& panel);
    // The steps of each kind of action: the next panel action, or nothing
    // when the action is done.
    std::optional<standin::PanelAction> playKey(const standin::Panel& panel,
                                                const EditAction& action, std::size_t keys);
    std::optional<standin::PanelAction> playSet(const standin::Panel& panel,
                                                const EditAction& action);
    std::optional<standin::PanelAction> playAddKey(const standin::Panel& panel, std::size_t keys);
    std::optional<standin::PanelAction> playDeleteKey(std::size_t keys);
    std::optional<standin::PanelAction> playShift(const standin::Panel& panel,
                                                  const EditAction& action, std::size_t keys);
    std::optional<standin::PanelAction> typeShifted(const standin::Panel& panel,
                                                    const EditAction& action);
    std::optional<standin::PanelAction> playScript(const EditAction& action);
    std::optional<standin::PanelAction> fail(const std::string& why);
    // A press that moves towards key target_, nothing when it is shown, or
    // Cancel when the presses do not get there.
    std::optional<standin::PanelAction> walk(const standin::Panel& panel);
    void done();
};

} // namespace vrim::edit
