#include "standin/panel_host.h"
#include "standin/xml.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <sstream>

namespace standin {

namespace {

std::vector<PanelHost*>& liveHosts() {
    static std::vector<PanelHost*> hosts;
    return hosts;
}

// The record kind a control's value travels in.
int32_t valueKindOf(const std::string& typeName) {
    if (typeName == kControlNameFloat) {
        return kValueFloat;
    }
    if (typeName == kControlNameVector) {
        return kValueVector;
    }
    if (typeName == kControlNameInfo) {
        return kValueString;
    }
    return kValueInteger;
}

// Copies one attribute between the control's field and the integer it
// travels as: into the field when write, out of it otherwise.
template <typename Field> bool transfer(Field& field, intptr_t& integer, bool write) {
    if (write) {
        field = reinterpret_cast<Field>(integer);
    } else {
        integer = reinterpret_cast<intptr_t>(field);
    }
    return true;
}

// The attributes other than the value; false for one the host does not know.
bool transferAttribute(PanelControl& control, int attribute, intptr_t& integer, bool write) {
    return (attribute == kControlX && transfer(control.x, integer, write)) ||
           (attribute == kControlY && transfer(control.y, integer, write)) ||
           (attribute == kControlLabelWidth && transfer(control.labelWidth, integer, write)) ||
           (attribute == kControlEvent && transfer(control.event, integer, write)) ||
           (attribute == kControlUserData && transfer(control.userData, integer, write));
}

} // namespace

// ---------------------------------------------------------------------------
// The host

PanelControl* Panel::control(const std::string& label) const {
    for (const auto& control : controls) {
        if (control->label == label) {
            return control.get();
        }
    }
    return nullptr;
}

PanelHost::PanelHost() {
    shell_.services.create = create;
    shell_.services.destroy = destroy;
    shell_.services.open = open;
    shell_.services.set = setPanel;
    shell_.services.addControl = addControl;
    shell_.host = this;
    liveHosts().push_back(this);
}

PanelHost::~PanelHost() {
    auto& hosts = liveHosts();
    hosts.erase(std::remove(hosts.begin(), hosts.end(), this), hosts.end());
}

void PanelHost::setScript(std::vector<PanelAction> actions) {
    script = std::move(actions);
    scriptPosition = 0;
}

int PanelHost::labelWidthFor(const std::string& typeName, const std::string& label) {
    if (typeName == kControlNameButton || label.empty()) {
        return 0;
    }
    return static_cast<int>(label.size()) * kCharWidth + kLabelGap;
}

PanelHost* PanelHost::fromServices(PanelServices* services) {
    for (PanelHost* host : liveHosts()) {
        if (&host->shell_.services == services) {
            return host;
        }
    }
    return nullptr;
}

Panel* PanelHost::panelOf(PanelHandle handle, const char* call) {
    for (PanelHost* host : liveHosts()) {
        // The newest panel is the one the module works on: look there first.
        for (auto it = host->panels.rbegin(); it != host->panels.rend(); ++it) {
            Panel* panel = it->get();
            if (panel != handle) {
                continue;
            }
            if (panel->destroyed) {
                host->problems.push_back(std::string(call) + " on a destroyed panel");
                return nullptr;
            }
            return panel;
        }
    }
    // No host to tell: a real one would crash here.
    std::fprintf(stderr, "panel host: %s on an unknown panel\n", call);
    return nullptr;
}

void PanelHost::forgetDestroyed() {
    for (const std::unique_ptr<Panel>& panel : panels) {
        if (panel->destroyed) {
            for (std::unique_ptr<PanelControl>& control : panel->controls) {
                if (spareControls_.size() < kSpareControls) {
                    spareControls_.push_back(std::move(control));
                }
            }
        }
    }
    panels.erase(
        std::remove_if(panels.begin(), panels.end(),
                       [](const std::unique_ptr<Panel>& panel) { return panel->destroyed; }),
        panels.end());
    log.clear();
    problems.clear();
}

PanelControl* PanelHost::controlOf(ControlRecord* record, const char* call) {
    // Only the host's own records are followed: a pointer it never handed
    // out is reported, not read.
    for (PanelHost* host : liveHosts()) {
        for (auto it = host->panels.rbegin(); it != host->panels.rend(); ++it) {
            for (const std::unique_ptr<PanelControl>& control : (*it)->controls) {
                if (control->record() != record) {
                    continue;
                }
                if (control->panel->destroyed) {
                    host->problems.push_back(std::string(call) + " " + control->label +
                                             " after its panel was destroyed");
                    return nullptr;
                }
                return control.get();
            }
        }
    }
    std::fprintf(stderr, "panel host: %s on an unknown control\n", call);
    return nullptr;
}

PanelHandle PanelHost::create(const char* title, PanelServices* services) {
    PanelHost* host = fromServices(services);
    if (host == nullptr) {
        return nullptr;
    }
    host->note([&] { return std::string("create ") + (title != nullptr ? title : ""); });
    if (host->failCreate) {
        return nullptr;
    }
    auto panel = std::make_unique<Panel>();
    panel->host = host;
    panel->title = title != nullptr ? title : "";
    Panel* handle = panel.get();
    host->panels.push_back(std::move(panel));
    return handle;
}

void PanelHost::destroy(PanelHandle handle) {
    Panel* panel = panelOf(handle, "destroy");
    if (panel == nullptr) {
        return;
    }
    PanelHost* host = panel->host;
    host->note([&] { return "destroy"; });
    if (host->onDestroy) {
        host->onDestroy(*panel);
    }
    panel->destroyed = true;
}

void PanelHost::setPanel(PanelHandle handle, int attribute, void* value) {
    Panel* panel = panelOf(handle, "panel set");
    if (panel == nullptr) {
        return;
    }
    int32_t integer = 0;
    std::memcpy(&integer, value, sizeof integer);
    panel->host->note(
        [&] { return "panel set " + std::to_string(attribute) + " " + std::to_string(integer); });
    if (attribute == kPanelHeight) {
        panel->height = integer;
        panel->heightSet = true;
    }
}

ControlRecord* PanelHost::addControl(PanelHandle handle, const char* typeName,
                                     ControlDescriptor* descriptor, const char* label) {
    Panel* panel = panelOf(handle, "add");
    if (panel == nullptr) {
        return nullptr;
    }
    PanelHost* host = panel->host;
    const std::string type = typeName != nullptr ? typeName : "";
    const std::string text = label != nullptr ? label : "";
    const int number = static_cast<int>(panel->controls.size()) + 1;
    if (host->failControl == number) {
        host->note([&] { return "add " + type + " " + text + " failed"; });
        return nullptr;
    }
    host->note([&] { return "add " + type + " " + text; });
    std::unique_ptr<PanelControl> control;
    if (host->spareControls_.empty()) {
        control = std::make_unique<PanelControl>();
    } else {
        // A fresh control that keeps the spare's string buffers.
        control = std::move(host->spareControls_.back());
        host->spareControls_.pop_back();
        std::string keptType = std::move(control->typeName), keptLabel = std::move(control->label),
                    keptText = std::move(control->text);
        std::vector<std::string> keptRows = std::move(control->rows);
        *control = PanelControl();
        control->typeName = std::move(keptType);
        control->label = std::move(keptLabel);
        control->text = std::move(keptText);
        control->text.clear();
        control->rows = std::move(keptRows);
        control->rows.clear();
    }
    control->shell.record.draw = draw;
    control->shell.record.get = get;
    control->shell.record.set = set;
    control->shell.control = control.get();
    control->panel = panel;
    control->index = number - 1;
    control->typeName.assign(type);
    control->label.assign(text);
    control->valueKind = valueKindOf(control->typeName);
    if (descriptor != nullptr) {
        control->descriptor = *descriptor;
    }
    control->labelWidth = labelWidthFor(type, text);
    if (type == kControlNameListBox) {
        // The list box keeps the data the module left for it at this moment.
        control->listData = host->shell_.services.userData;
        if (control->descriptor.count == nullptr || control->descriptor.name == nullptr) {
            host->problems.push_back("list box " + text + " without count or name callback");
        }
    }
    panel->controls.push_back(std::move(control));
    return panel->controls.back()->record();
}

void PanelHost::askRows(PanelControl& control) {
    control.rows.clear();
    if (control.descriptor.count == nullptr || control.descriptor.name == nullptr) {
        return;
    }
    const int count = control.descriptor.count(control.listData);
    for (int i = 0; i < count; ++i) {
        const char* row = control.descriptor.name(control.listData, i);
        if (row == nullptr) {
            control.panel->host->problems.push_back("list box " + control.label + ": row " +
                                                    std::to_string(i) + " of " +
                                                    std::to_string(count) + " has no text");
            control.rows.emplace_back();
        } else {
            control.rows.emplace_back(row);
        }
    }
}

void PanelHost::draw(ControlRecord* record, int mode) {
    PanelControl* control = controlOf(record, "draw");
    if (control == nullptr) {
        return;
    }
    control->panel->host->note(
        [&] { return "draw " + control->label + " " + std::to_string(mode); });
    ++control->draws;
    if (control->typeName == kControlNameListBox) {
        askRows(*control);
    }
}

PanelControl* PanelHost::valueCall(ControlRecord* record, int attribute, PanelValue* value,
                                   const char* call) {
    PanelControl* control = controlOf(record, call);
    if (control == nullptr) {
        return nullptr;
    }
    PanelHost* host = control->panel->host;
    auto what = [&] {
        return std::string(call) + " " + control->label + " " + std::to_string(attribute);
    };
    host->note(what);
    const int32_t kind = attribute == kControlValue ? control->valueKind : kValueInteger;
    if (value->type != kind) {
        host->problems.push_back(what() + " with a record of type " + std::to_string(value->type));
        return nullptr;
    }
    if (attribute == kControlValue) {
        return control;
    }
    if (!transferAttribute(*control, attribute, value->intValue.value,
                           std::strcmp(call, "set") == 0)) {
        host->problems.push_back(std::string(call) + " " + control->label + ": unknown attribute " +
                                 std::to_string(attribute));
    }
    return nullptr;
}

void PanelHost::get(ControlRecord* record, int attribute, PanelValue* value) {
    PanelControl* control = valueCall(record, attribute, value, "get");
    if (control == nullptr) {
        return;
    }
    if (value->type == kValueFloat) {
        value->floatValue.value = control->number;
    } else if (value->type == kValueVector) {
        std::memcpy(value->vectorValue.value, control->vector, sizeof control->vector);
    } else if (value->type == kValueString) {
        // The host hands out its own copy, valid until the control changes.
        value->stringValue.text = control->text.data();
        value->stringValue.length = static_cast<int32_t>(control->text.size());
    } else {
        value->intValue.value = control->integer;
    }
}

void PanelHost::set(ControlRecord* record, int attribute, PanelValue* value) {
    PanelControl* control = valueCall(record, attribute, value, "set");
    if (control == nullptr) {
        return;
    }
    switch (value->type) {
    case kValueFloat:
        control->number = value->floatValue.value;
        break;
    case kValueVector:
        std::memcpy(control->vector, value->vectorValue.value, sizeof control->vector);
        break;
    case kValueString: {
        const char* text = value->stringValue.text;
        const int32_t length = value->stringValue.length;
        if (text == nullptr || length < 0 || std::strlen(text) != static_cast<size_t>(length)) {
            control->panel->host->problems.push_back(
                "set " + control->label + ": string record whose length is not its text's");
            return;
        }
        control->text.assign(text, static_cast<size_t>(length));
        break;
    }
    default:
        control->integer = value->intValue.value;
    }
}

// ---------------------------------------------------------------------------
// The user

int PanelHost::open(PanelHandle handle, int flags) {
    Panel* panel = panelOf(handle, "open");
    if (panel == nullptr) {
        return 0;
    }
    PanelHost* host = panel->host;
    host->note([&] { return "open " + std::to_string(flags); });
    ++panel->opens;
    panel->openFlags = flags;
    // Showing the panel draws its list boxes.
    for (auto& control : panel->controls) {
        if (control->typeName == kControlNameListBox) {
            askRows(*control);
        }
    }
    for (;;) {
        PanelAction action;
        if (host->user) {
            std::optional<PanelAction> next = host->user(*panel);
            if (!next) {
                break;
            }
            action = std::move(*next);
        } else if (host->scriptPosition < host->script.size()) {
            action = host->script[host->scriptPosition++];
        } else {
            break;
        }
        host->note([&] { return "user " + formatPanelAction(action); });
        if (action.kind == PanelAction::Kind::Close) {
            return 1;
        }
        if (action.kind == PanelAction::Kind::Cancel) {
            return 0;
        }
        host->perform(*panel, action);
        if (host->afterAction) {
            host->afterAction(action);
        }
    }
    return 0;
}

namespace {

// A control as the user sees it on the panel: its label and what it is.
std::string seenAs(const PanelControl& control) {
    const std::string& type = control.typeName;
    const std::string label = "\"" + control.label + "\"";
    if (type == kControlNameFloat) {
        return label + " is a number field: type one number";
    }
    if (type == kControlNameInteger) {
        return label + " is a whole-number field: type one number";
    }
    if (type == kControlNameVector) {
        return label + " holds three numbers: type X Y Z";
    }
    if (type == kControlNameBool) {
        return label + " is a check box: type 1 (on) or 0 (off)";
    }
    if (type == kControlNameButton) {
        return label + " is a button: press it";
    }
    if (type == kControlNameListBox) {
        return label + " is the list: pick a row (pick N, from 0)";
    }
    if (type == kControlNameInfo) {
        return label + " only shows a value: nothing can be typed into it";
    }
    return label + " takes nothing the user can do";
}

// The labels the user may name, for a label that is none of them.
std::string labelsOf(const Panel& panel) {
    std::string labels;
    for (const auto& control : panel.controls) {
        if (!control->label.empty()) {
            labels += (labels.empty() ? "\"" : ", \"") + control->label + "\"";
        }
    }
    return labels.empty() ? "the panel has no labelled control"
                          : "the panel's controls are " + labels;
}

std::string numbersText(std::size_t count) {
    return count == 1 ? "1 number" : std::to_string(count) + " numbers";
}

} // namespace

void PanelHost::perform(Panel& panel, const PanelAction& action) {
    const std::string what = formatPanelAction(action);
    PanelControl* control = nullptr;
    if (action.kind == PanelAction::Kind::Pick) {
        control = pickRow(panel, action, what);
    } else {
        control = panel.control(action.label);
        if (control == nullptr) {
            problems.push_back(what + ": no control is labelled \"" + action.label + "\"; " +
                               labelsOf(panel));
            return;
        }
        if (action.kind == PanelAction::Kind::Press) {
            if (control->typeName != kControlNameButton) {
                problems.push_back(what + ": not a button; " + seenAs(*control));
                return;
            }
        } else if (!typeInto(*control, action, what)) {
            return;
        }
    }
    if (control != nullptr && control->event != nullptr) {
        control->event(control->record(), control->userData);
    }
}

PanelControl* PanelHost::pickRow(Panel& panel, const PanelAction& action, const std::string& what) {
    PanelControl* control = nullptr;
    for (auto& candidate : panel.controls) {
        if (candidate->typeName == kControlNameListBox) {
            control = candidate.get();
            break;
        }
    }
    if (control == nullptr) {
        problems.push_back(what + ": the panel has no list to pick from");
        return nullptr;
    }
    askRows(*control);
    if (action.row < 0 || static_cast<size_t>(action.row) >= control->rows.size()) {
        problems.push_back(what + ": \"" + control->label + "\" has " +
                           (control->rows.empty()
                                ? std::string("no rows")
                                : "rows 0 to " + std::to_string(control->rows.size() - 1)));
        return nullptr;
    }
    control->integer = action.row;
    return control;
}

bool PanelHost::typeInto(PanelControl& control, const PanelAction& action,
                         const std::string& what) {
    const bool isVector = control.typeName == kControlNameVector;
    const std::size_t wanted = isVector ? 3 : 1;
    const bool typable = isVector || control.typeName == kControlNameFloat ||
                         control.typeName == kControlNameInteger ||
                         control.typeName == kControlNameBool;
    if (!typable) {
        problems.push_back(what + ": " + seenAs(control));
        return false;
    }
    if (action.numbers.size() != wanted) {
        problems.push_back(what + ": " + numbersText(action.numbers.size()) + ", but " +
                           seenAs(control));
        return false;
    }
    for (double value : action.numbers) {
        if (!std::isfinite(value)) {
            problems.push_back(what + ": not a number the user can type");
            return false;
        }
    }
    const double typed = action.numbers[0];
    if (isVector) {
        std::copy(action.numbers.begin(), action.numbers.end(), control.vector);
    } else if (control.typeName == kControlNameFloat) {
        control.number = typed;
    } else if (control.typeName == kControlNameBool) {
        control.integer = typed != 0.0 ? 1 : 0;
    } else {
        // A number field holds a 32-bit integer: the typed value is cut to a
        // whole number and held within that range.
        const double whole = std::trunc(typed);
        control.integer = static_cast<intptr_t>(
            std::clamp(whole, static_cast<double>(std::numeric_limits<int32_t>::min()),
                       static_cast<double>(std::numeric_limits<int32_t>::max())));
    }
    return true;
}

} // namespace standin
