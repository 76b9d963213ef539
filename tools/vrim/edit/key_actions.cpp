#include "tools/vrim/edit/key_actions.h"

#include "text/numbers.h"
#include "text/words.h"
#include "tools/vrim/error.h"
#include "tools/vrim/files/filesystem.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <sstream>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace vrim::edit {

namespace {

using standin::Panel;
using standin::PanelAction;
using Kind = EditAction::Kind;
using Field = EditAction::Field;

constexpr int64_t kFrameMin = std::numeric_limits<int32_t>::min();
constexpr int64_t kFrameMax = std::numeric_limits<int32_t>::max();

struct FieldName {
    const char* name;
    Field field;
};
constexpr FieldName kFields[] = {
    {"start", Field::Start},      {"end", Field::End},        {"freq", Field::Freq},
    {"width-x", Field::WidthX},   {"width-y", Field::WidthY}, {"width-z", Field::WidthZ},
    {"fall-off", Field::FallOff},
};

std::string quoted(const std::string& text) {
    return "'" + text + "'";
}

const standin::PanelControl* controlOf(const Panel& panel, const char* label) {
    return panel.control(label);
}

PanelAction press(const char* label) {
    PanelAction action;
    action.kind = PanelAction::Kind::Press;
    action.label = label;
    return action;
}

PanelAction type(const char* label, std::vector<double> numbers) {
    PanelAction action;
    action.kind = PanelAction::Kind::Type;
    action.label = label;
    action.numbers = std::move(numbers);
    return action;
}

PanelAction closing(PanelAction::Kind kind) {
    PanelAction action;
    action.kind = kind;
    return action;
}

// The script's bytes from a file, or from standard input for "-"; at most
// kMaxScriptBytes.
std::string readScript(const std::string& text, const std::string& file) {
    std::string bytes;
    char buffer[8192];
    const auto tooLarge = [&] {
        return ToolError(text + ": " +
                         (file == "-" ? std::string("standard input") : quoted(file)) +
                         " holds more than " + std::to_string(kMaxScriptBytes) +
                         " bytes, too many for a panel script");
    };
    if (file == "-") {
#if defined(_WIN32)
        _setmode(_fileno(stdin), _O_BINARY);
#endif
        std::size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) {
            bytes.append(buffer, got);
            if (bytes.size() > kMaxScriptBytes) {
                throw tooLarge();
            }
        }
        if (std::ferror(stdin)) {
            throw ToolError(text + ": cannot read the script from standard input");
        }
        return bytes;
    }
    // Through the tool's file system, which opens UTF-8 names on Windows too.
    files::FileSystem& fs = files::systemFileSystem();
    std::string error;
    files::FileInfo info;
    if (fs.stat(file, info, error) && info.kind == files::FileKind::Folder) {
        throw ToolError(text + ": " + quoted(file) + " is a folder, not a script file");
    }
    const files::FileHandle in = fs.openRead(file, error);
    if (in == files::kNoFile) {
        throw ToolError(text + ": cannot read the script file " + quoted(file) + ": " + error);
    }
    for (;;) {
        const int64_t got = fs.read(in, buffer, sizeof buffer, error);
        if (got < 0) {
            fs.close(in, error);
            throw ToolError(text + ": cannot read the script file " + quoted(file) + ": " + error);
        }
        if (got == 0) {
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
        if (bytes.size() > kMaxScriptBytes) {
            fs.close(in, error);
            throw tooLarge();
        }
    }
    fs.close(in, error);
    return bytes;
}

EditAction parseScript(const std::string& text, const std::string& file) {
    EditAction action;
    action.kind = Kind::Script;
    action.text = text;
    // One line at a time, so that each action keeps its line for messages.
    const std::string script = readScript(text, file);
    int number = 0;
    for (const std::string_view line : text::splitLines(script)) {
        ++number;
        std::string error;
        const std::size_t before = action.script.size();
        if (!standin::parsePanelScript(std::string(line), action.script, error)) {
            throw ToolError(text + ": line " + std::to_string(number) + ": " +
                            error.substr(error.find(':') + 2));
        }
        for (std::size_t i = before; i < action.script.size(); ++i) {
            action.scriptLines.push_back(number);
        }
    }
    for (std::size_t i = 0; i < action.script.size(); ++i) {
        const PanelAction::Kind kind = action.script[i].kind;
        if ((kind == PanelAction::Kind::Close || kind == PanelAction::Kind::Cancel) &&
            i + 1 != action.script.size()) {
            throw ToolError(text + ": line " + std::to_string(action.scriptLines[i]) +
                            ": the panel closes here, before the script's last action");
        }
    }
    return action;
}

} // namespace

const char* fieldNames() {
    return "start, end, freq, width-x, width-y, width-z, fall-off";
}

const char* fieldName(Field field) {
    for (const FieldName& name : kFields) {
        if (name.field == field) {
            return name.name;
        }
    }
    return "";
}

namespace {

// The value typed into a field, read as that field takes it.
void readSetValue(EditAction& action, const std::string& text) {
    switch (action.field) {
    case Field::Start:
    case Field::End: {
        const text::Reading<int64_t> frame = text::readWhole(text);
        if (!frame) {
            throw ToolError(action.text + ": " + quoted(text) +
                            " is not a frame (a whole number from -2147483648 to "
                            "2147483647)" +
                            text::aside(frame.refusal));
        }
        action.number = frame.value;
        action.value = static_cast<double>(action.number);
    } break;
    case Field::FallOff:
        if (text != "on" && text != "off") {
            throw ToolError(action.text + ": " + quoted(text) +
                            " is not a fall-off setting (on or off)");
        }
        action.value = text == "on" ? 1.0 : 0.0;
        break;
    default: {
        const text::Reading<double> number = text::readReal(text);
        if (!number) {
            throw ToolError(action.text + ": " + quoted(text) + " is not a number" +
                            text::aside(number.refusal));
        }
        action.value = number.value;
    }
    }
}

// --set FIELD=VALUE.
void parseSet(EditAction& action, const std::string& value) {
    action.kind = Kind::Set;
    const std::size_t equals = value.find('=');
    const std::string name = value.substr(0, equals);
    const std::string text = equals == std::string::npos ? "" : value.substr(equals + 1);
    action.valueText = text;
    bool known = false;
    for (const FieldName& field : kFields) {
        if (name == field.name) {
            action.field = field.field;
            known = true;
        }
    }
    if (!known) {
        throw ToolError(action.text + ": unknown field " + quoted(name) + " (the fields are " +
                        fieldNames() + ")");
    }
    if (equals == std::string::npos) {
        throw ToolError(action.text + ": give the value as " + name + "=VALUE");
    }
    readSetValue(action, text);
}

} // namespace

EditAction parseEditAction(const std::string& option, const std::string& value) {
    EditAction action;
    action.text = "--" + option + (value.empty() ? "" : " " + value);
    if (option == "key") {
        action.kind = Kind::Key;
        const text::Reading<int64_t> key = text::readWhole(value, 1);
        if (!key) {
            throw ToolError(action.text + ": " + quoted(value) +
                            " is not a key number (1 is the first key)" + text::aside(key.refusal));
        }
        action.number = key.value;
    } else if (option == "add-key") {
        action.kind = Kind::AddKey;
    } else if (option == "delete-key") {
        action.kind = Kind::DeleteKey;
    } else if (option == "shift") {
        action.kind = Kind::Shift;
        const text::Reading<int64_t> frames =
            text::readWhole(value, kFrameMin - kFrameMax, kFrameMax - kFrameMin);
        if (!frames) {
            throw ToolError(action.text + ": " + quoted(value) +
                            " is not a whole number of frames" + text::aside(frames.refusal));
        }
        action.number = frames.value;
    } else if (option == "script") {
        return parseScript(action.text, value);
    } else if (option == "set") {
        parseSet(action, value);
    } else {
        throw ToolError("--" + option + ": not an edit action");
    }
    return action;
}

int shownKeyNumber(const Panel& panel) {
    const standin::PanelControl* control = controlOf(panel, PanelLabels::keyNumber);
    if (control == nullptr) {
        return 0;
    }
    const text::Reading<int64_t> number = text::readWhole(control->text, 0);
    return number ? static_cast<int>(number.value) : 0;
}

std::size_t listedKeys(Panel& panel) {
    standin::PanelControl* control = panel.control(PanelLabels::keyList);
    if (control == nullptr) {
        return 0;
    }
    // Asking the list box for its rows is what drawing it does.
    standin::PanelHost::askRows(*control);
    return control->rows.size();
}

ActionPlayer::ActionPlayer(standin::PanelHost& host, std::vector<EditAction> actions)
    : host_(host), actions_(std::move(actions)), problemsSeen_(host.problems.size()) {}

std::optional<PanelAction> ActionPlayer::next(Panel& panel) {
    if (!failure_.empty() || cancelled_) {
        return std::nullopt;
    }
    std::optional<PanelAction> action;
    if (host_.problems.size() > problemsSeen_) {
        // The host could not do what the last action asked.
        action = fail(host_.problems[problemsSeen_]);
    } else {
        action = plan(panel);
    }
    if (action) {
        played_.push_back(*action);
    }
    return action;
}

Playing ActionPlayer::playing() const {
    if (playing_ >= actions_.size()) {
        return {}; // the closing OK
    }
    const EditAction& action = actions_[playing_];
    Playing playing{action.text, {}, -1};
    if (action.kind == Kind::Set) {
        playing.value = action.valueText;
        playing.element = action.field == Field::WidthX   ? 0
                          : action.field == Field::WidthY ? 1
                          : action.field == Field::WidthZ ? 2
                                                          : -1;
    }
    return playing;
}

std::optional<PanelAction> ActionPlayer::fail(const std::string& why) {
    const EditAction* action = current_ < actions_.size() ? &actions_[current_] : nullptr;
    failure_ = action != nullptr ? action->text + ": " : "";
    if (action != nullptr && action->kind == Kind::Script && step_ > 0) {
        failure_ += "line " +
                    std::to_string(action->scriptLines[static_cast<std::size_t>(step_ - 1)]) + ": ";
    }
    failure_ += why;
    return closing(PanelAction::Kind::Cancel);
}

void ActionPlayer::done() {
    ++current_;
    step_ = 0;
    lastShown_ = -1;
}

std::optional<PanelAction> ActionPlayer::walk(const Panel& panel) {
    const int shown = shownKeyNumber(panel);
    if (shown == target_) {
        lastShown_ = -1;
        return std::nullopt;
    }
    // Each press moves one key; a press that did not move means the key
    // editor shows something other than what the list says.
    if (shown == 0 || shown == lastShown_) {
        return fail("the key editor does not step to key " + std::to_string(target_));
    }
    lastShown_ = shown;
    return press(shown < target_ ? PanelLabels::nextKey : PanelLabels::prevKey);
}

// Each action is played in steps (step_), one panel action at a time; a
// step function returns the next panel action, or nothing when its action is
// done and the next one begins.
std::optional<PanelAction> ActionPlayer::plan(Panel& panel) {
    for (;;) {
        playing_ = current_;
        if (current_ >= actions_.size()) {
            if (current_ == actions_.size()) {
                ++current_;
                return closing(PanelAction::Kind::Close);
            }
            return std::nullopt;
        }
        const EditAction& action = actions_[current_];
        const std::size_t keys = listedKeys(panel);
        std::optional<PanelAction> next;
        switch (action.kind) {
        case Kind::Key:
            next = playKey(panel, action, keys);
            break;
        case Kind::Set:
            next = playSet(panel, action);
            break;
        case Kind::AddKey:
            next = playAddKey(panel, keys);
            break;
        case Kind::DeleteKey:
            next = playDeleteKey(keys);
            break;
        case Kind::Shift:
            next = playShift(panel, action, keys);
            break;
        case Kind::Script:
            next = playScript(action);
            break;
        }
        if (next) {
            return next;
        }
        done();
    }
}

std::optional<PanelAction> ActionPlayer::playKey(const Panel& panel, const EditAction& action,
                                                 std::size_t keys) {
    if (step_ == 0) {
        if (static_cast<uint64_t>(action.number) > keys) {
            return fail("the item has " + text::counted(keys, "key", "keys"));
        }
        target_ = static_cast<int>(action.number);
        step_ = 1;
    }
    return walk(panel);
}

// Typing is one panel action: the action is done once it is returned.
std::optional<PanelAction> ActionPlayer::playSet(const Panel& panel, const EditAction& action) {
    std::vector<double> numbers = {action.value};
    const char* label = PanelLabels::start;
    switch (action.field) {
    case Field::Start:
        break;
    case Field::End:
        label = PanelLabels::end;
        break;
    case Field::Freq:
        label = PanelLabels::freq;
        break;
    case Field::FallOff:
        label = PanelLabels::fallOff;
        break;
    default: {
        // One of the three fields of the vector control: the other two keep
        // what they show.
        label = PanelLabels::width;
        const standin::PanelControl* width = controlOf(panel, label);
        if (width == nullptr) {
            return fail("the key editor has no \"Freq Width X,Y,Z\" control");
        }
        numbers.assign(width->vector, width->vector + 3);
        const int axis = action.field == Field::WidthX ? 0 : action.field == Field::WidthY ? 1 : 2;
        numbers[static_cast<std::size_t>(axis)] = action.value;
    }
    }
    done();
    return type(label, numbers);
}

std::optional<PanelAction> ActionPlayer::playAddKey(const Panel& panel, std::size_t keys) {
    if (step_ == 0) {
        keysBefore_ = keys;
        step_ = 1;
        return press(PanelLabels::addKey);
    }
    if (step_ == 1) {
        if (keys != keysBefore_ + 1) {
            return fail("refused: the key editor added no key");
        }
        // The new key is the last one; the editor stays on the key it showed,
        // so step to the new one.
        target_ = static_cast<int>(keys);
        step_ = 2;
    }
    return walk(panel);
}

std::optional<PanelAction> ActionPlayer::playDeleteKey(std::size_t keys) {
    if (step_ == 0) {
        keysBefore_ = keys;
        step_ = 1;
        return press(PanelLabels::deleteKey);
    }
    if (keys != keysBefore_ - 1) {
        return fail(keysBefore_ == 1 ? "refused: the key editor does not delete an item's only key"
                                     : "refused: the key editor deleted no key");
    }
    return std::nullopt;
}

// A shift walks to key 1, types each key's start and end moved, steps on to
// the next key, and at the end walks back to the key it began on.
std::optional<PanelAction> ActionPlayer::playShift(const Panel& panel, const EditAction& action,
                                                   std::size_t keys) {
    if (step_ == 0) {
        origin_ = shownKeyNumber(panel);
        target_ = 1;
        step_ = 1;
    }
    for (;;) {
        if (step_ == 1) {
            if (auto move = walk(panel)) {
                return move;
            }
            step_ = 2;
        }
        if (step_ == 2 || step_ == 3) {
            return typeShifted(panel, action);
        }
        if (step_ != 4) {
            break;
        }
        if (static_cast<std::size_t>(target_) >= keys) {
            target_ = origin_;
            step_ = 5;
            break;
        }
        ++target_;
        step_ = 1;
    }
    return walk(panel);
}

std::optional<PanelAction> ActionPlayer::typeShifted(const Panel& panel, const EditAction& action) {
    const char* label = step_ == 2 ? PanelLabels::start : PanelLabels::end;
    const standin::PanelControl* field = controlOf(panel, label);
    if (field == nullptr) {
        return fail(std::string("the key editor has no \"") + label + "\" control");
    }
    const int64_t moved = static_cast<int64_t>(field->integer) + action.number;
    if (moved < kFrameMin || moved > kFrameMax) {
        return fail("key " + std::to_string(target_) + "'s " + (step_ == 2 ? "start" : "end") +
                    " frame " + std::to_string(field->integer) + " would move to " +
                    std::to_string(moved) + ", outside the 32-bit range");
    }
    ++step_;
    return type(label, {static_cast<double>(moved)});
}

std::optional<PanelAction> ActionPlayer::playScript(const EditAction& action) {
    const std::size_t index = static_cast<std::size_t>(step_);
    if (index >= action.script.size()) {
        return std::nullopt;
    }
    const PanelAction& scripted = action.script[index];
    ++step_;
    if (scripted.kind == PanelAction::Kind::Cancel) {
        cancelled_ = true;
        current_ = actions_.size() + 1;
    } else if (scripted.kind == PanelAction::Kind::Close) {
        current_ = actions_.size();
    }
    return scripted;
}

} // namespace vrim::edit
