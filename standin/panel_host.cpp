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

std::string number(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

std::string shortNumber(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

} // namespace

// ---------------------------------------------------------------------------
// Scripts

bool parsePanelScript(const std::string& text, std::vector<PanelAction>& actions,
                      std::string& error) {
    std::istringstream input(text);
    std::string line;
    int lineNumber = 0;
    std::vector<PanelAction> parsed;
    while (std::getline(input, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const auto fail = [&](const std::string& why) {
            error = "line " + std::to_string(lineNumber) + ": " + why;
            return false;
        };
        std::size_t at = line.find_first_not_of(" \t");
        if (at == std::string::npos || line[at] == '#') {
            continue;
        }
        std::size_t end = line.find_first_of(" \t", at);
        const std::string word = line.substr(at, end == std::string::npos ? end : end - at);
        std::string rest = end == std::string::npos ? "" : line.substr(end);
        PanelAction action;
        if (word == "type" || word == "press") {
            action.kind = word == "type" ? PanelAction::Kind::Type : PanelAction::Kind::Press;
            std::size_t open = rest.find_first_not_of(" \t");
            if (open == std::string::npos || rest[open] != '"') {
                return fail("expected a quoted control label after " + word);
            }
            std::size_t close = rest.find('"', open + 1);
            if (close == std::string::npos) {
                return fail("the control label has no closing quote");
            }
            action.label = rest.substr(open + 1, close - open - 1);
            rest = rest.substr(close + 1);
        } else if (word == "pick") {
            action.kind = PanelAction::Kind::Pick;
        } else if (word == "close") {
            action.kind = PanelAction::Kind::Close;
        } else if (word == "cancel") {
            action.kind = PanelAction::Kind::Cancel;
        } else {
            return fail("unknown action '" + word + "'");
        }
        std::istringstream words(rest);
        std::string token;
        std::vector<std::string> tokens;
        while (words >> token) {
            tokens.push_back(token);
        }
        if (action.kind == PanelAction::Kind::Type) {
            if (tokens.empty()) {
                return fail("type needs a value");
            }
            for (const std::string& t : tokens) {
                char* stop = nullptr;
                const double value = std::strtod(t.c_str(), &stop);
                if (stop == t.c_str() || *stop != '\0') {
                    return fail("'" + t + "' is not a number");
                }
                action.numbers.push_back(value);
            }
        } else if (action.kind == PanelAction::Kind::Pick) {
            char* stop = nullptr;
            const long long row =
                tokens.size() == 1 ? std::strtoll(tokens[0].c_str(), &stop, 10) : 0;
            if (tokens.size() != 1 || stop == tokens[0].c_str() || *stop != '\0' ||
                row < std::numeric_limits<int>::min() || row > std::numeric_limits<int>::max()) {
                return fail("pick needs one row number");
            }
            action.row = static_cast<int>(row);
        } else if (!tokens.empty()) {
            return fail("unexpected '" + tokens[0] + "' after " + word);
        }
        parsed.push_back(action);
    }
    actions.insert(actions.end(), parsed.begin(), parsed.end());
    return true;
}

std::string formatPanelAction(const PanelAction& action) {
    switch (action.kind) {
    case PanelAction::Kind::Type: {
        std::string line = "type \"" + action.label + "\"";
        for (double value : action.numbers) {
            line += " " + number(value);
        }
        return line;
    }
    case PanelAction::Kind::Press:
        return "press \"" + action.label + "\"";
    case PanelAction::Kind::Pick:
        return "pick " + std::to_string(action.row);
    case PanelAction::Kind::Close:
        return "close";
    case PanelAction::Kind::Cancel:
        return "cancel";
    }
    return "";
}

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
        auto found = host->panelsByHandle_.find(handle);
        if (found == host->panelsByHandle_.end()) {
            continue;
        }
        Panel* panel = found->second;
        if (panel->destroyed) {
            host->problems.push_back(std::string(call) + " on a destroyed panel");
            return nullptr;
        }
        return panel;
    }
    // No host to tell: a real one would crash here.
    std::fprintf(stderr, "panel host: %s on an unknown panel\n", call);
    return nullptr;
}

void PanelHost::forgetDestroyed() {
    for (auto it = controlsByRecord_.begin(); it != controlsByRecord_.end();) {
        it = it->second->panel->destroyed ? controlsByRecord_.erase(it) : std::next(it);
    }
    for (auto it = panelsByHandle_.begin(); it != panelsByHandle_.end();) {
        it = it->second->destroyed ? panelsByHandle_.erase(it) : std::next(it);
    }
    panels.erase(std::remove_if(panels.begin(), panels.end(),
                                [](const std::unique_ptr<Panel>& panel) { return panel->destroyed; }),
                 panels.end());
    log.clear();
    problems.clear();
}

PanelControl* PanelHost::controlOf(ControlRecord* record, const char* call) {
    for (PanelHost* host : liveHosts()) {
        auto found = host->controlsByRecord_.find(record);
        if (found == host->controlsByRecord_.end()) {
            continue;
        }
        PanelControl* control = found->second;
        if (control->panel->destroyed) {
            host->problems.push_back(std::string(call) + " " + control->label +
                                     " after its panel was destroyed");
            return nullptr;
        }
        return control;
    }
    std::fprintf(stderr, "panel host: %s on an unknown control\n", call);
    return nullptr;
}

PanelHandle PanelHost::create(const char* title, PanelServices* services) {
    PanelHost* host = fromServices(services);
    if (host == nullptr) {
        return nullptr;
    }
    host->log.push_back(std::string("create ") + (title != nullptr ? title : ""));
    if (host->failCreate) {
        return nullptr;
    }
    auto panel = std::make_unique<Panel>();
    panel->host = host;
    panel->title = title != nullptr ? title : "";
    Panel* handle = panel.get();
    host->panelsByHandle_[handle] = handle;
    host->panels.push_back(std::move(panel));
    return handle;
}

void PanelHost::destroy(PanelHandle handle) {
    Panel* panel = panelOf(handle, "destroy");
    if (panel == nullptr) {
        return;
    }
    PanelHost* host = panel->host;
    host->log.push_back("destroy");
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
    panel->host->log.push_back("panel set " + std::to_string(attribute) + " " +
                               std::to_string(integer));
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
        host->log.push_back("add " + type + " " + text + " failed");
        return nullptr;
    }
    host->log.push_back("add " + type + " " + text);
    auto control = std::make_unique<PanelControl>();
    control->shell.record.draw = draw;
    control->shell.record.get = get;
    control->shell.record.set = set;
    control->shell.control = control.get();
    control->panel = panel;
    control->index = number - 1;
    control->typeName = type;
    control->label = text;
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
    host->controlsByRecord_[control->record()] = control.get();
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
    control->panel->host->log.push_back("draw " + control->label + " " + std::to_string(mode));
    ++control->draws;
    if (control->typeName == kControlNameListBox) {
        askRows(*control);
    }
}

void PanelHost::get(ControlRecord* record, int attribute, PanelValue* value) {
    PanelControl* control = controlOf(record, "get");
    if (control == nullptr) {
        return;
    }
    PanelHost* host = control->panel->host;
    host->log.push_back("get " + control->label + " " + std::to_string(attribute));
    const int32_t kind =
        attribute == kControlValue ? valueKindOf(control->typeName) : kValueInteger;
    if (value->type != kind) {
        host->problems.push_back("get " + control->label + " " + std::to_string(attribute) +
                                 " with a record of type " + std::to_string(value->type));
        return;
    }
    switch (attribute) {
    case kControlX:
        value->intValue.value = control->x;
        return;
    case kControlY:
        value->intValue.value = control->y;
        return;
    case kControlLabelWidth:
        value->intValue.value = control->labelWidth;
        return;
    case kControlEvent:
        value->intValue.value = reinterpret_cast<intptr_t>(control->event);
        return;
    case kControlUserData:
        value->intValue.value = reinterpret_cast<intptr_t>(control->userData);
        return;
    case kControlValue:
        break;
    default:
        host->problems.push_back("get " + control->label + ": unknown attribute " +
                                 std::to_string(attribute));
        return;
    }
    switch (kind) {
    case kValueFloat:
        value->floatValue.value = control->number;
        break;
    case kValueVector:
        std::memcpy(value->vectorValue.value, control->vector, sizeof control->vector);
        break;
    case kValueString:
        // The host hands out its own copy, valid until the control changes.
        value->stringValue.text = control->text.data();
        value->stringValue.length = static_cast<int32_t>(control->text.size());
        break;
    default:
        value->intValue.value = control->integer;
    }
}

void PanelHost::set(ControlRecord* record, int attribute, PanelValue* value) {
    PanelControl* control = controlOf(record, "set");
    if (control == nullptr) {
        return;
    }
    PanelHost* host = control->panel->host;
    host->log.push_back("set " + control->label + " " + std::to_string(attribute));
    const int32_t kind =
        attribute == kControlValue ? valueKindOf(control->typeName) : kValueInteger;
    if (value->type != kind) {
        host->problems.push_back("set " + control->label + " " + std::to_string(attribute) +
                                 " with a record of type " + std::to_string(value->type));
        return;
    }
    const intptr_t integer = value->intValue.value;
    switch (attribute) {
    case kControlX:
        control->x = integer;
        return;
    case kControlY:
        control->y = integer;
        return;
    case kControlLabelWidth:
        control->labelWidth = integer;
        return;
    case kControlEvent:
        control->event = reinterpret_cast<ControlEventFunc>(integer);
        return;
    case kControlUserData:
        control->userData = reinterpret_cast<void*>(integer);
        return;
    case kControlValue:
        break;
    default:
        host->problems.push_back("set " + control->label + ": unknown attribute " +
                                 std::to_string(attribute));
        return;
    }
    switch (kind) {
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
            host->problems.push_back("set " + control->label +
                                     ": string record whose length is not its text's");
            return;
        }
        control->text.assign(text, static_cast<size_t>(length));
        break;
    }
    default:
        control->integer = integer;
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
    host->log.push_back("open " + std::to_string(flags));
    ++panel->opens;
    panel->openFlags = flags;
    // Showing the panel draws its list boxes.
    for (auto& control : panel->controls) {
        if (control->typeName == kControlNameListBox) {
            askRows(*control);
        }
    }
    while (host->scriptPosition < host->script.size()) {
        const PanelAction action = host->script[host->scriptPosition++];
        host->log.push_back("user " + formatPanelAction(action));
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

void PanelHost::perform(Panel& panel, const PanelAction& action) {
    const std::string what = formatPanelAction(action);
    PanelControl* control = nullptr;
    if (action.kind == PanelAction::Kind::Pick) {
        for (auto& candidate : panel.controls) {
            if (candidate->typeName == kControlNameListBox) {
                control = candidate.get();
                break;
            }
        }
        if (control == nullptr) {
            problems.push_back(what + ": the panel has no list box");
            return;
        }
        askRows(*control);
        if (action.row < 0 || static_cast<size_t>(action.row) >= control->rows.size()) {
            problems.push_back(what + ": the list has no such row");
            return;
        }
        control->integer = action.row;
    } else {
        control = panel.control(action.label);
        if (control == nullptr) {
            problems.push_back(what + ": no such control");
            return;
        }
        if (action.kind == PanelAction::Kind::Press) {
            if (control->typeName != kControlNameButton) {
                problems.push_back(what + ": not a button");
                return;
            }
        } else {
            const bool isVector = control->typeName == kControlNameVector;
            const std::size_t wanted = isVector ? 3 : 1;
            const bool typable = isVector || control->typeName == kControlNameFloat ||
                                 control->typeName == kControlNameInteger ||
                                 control->typeName == kControlNameBool;
            if (!typable || action.numbers.size() != wanted) {
                problems.push_back(what + ": cannot be typed into " + control->typeName);
                return;
            }
            for (double value : action.numbers) {
                if (!std::isfinite(value)) {
                    problems.push_back(what + ": not a number the user can type");
                    return;
                }
            }
            const double typed = action.numbers[0];
            if (isVector) {
                std::copy(action.numbers.begin(), action.numbers.end(), control->vector);
            } else if (control->typeName == kControlNameFloat) {
                control->number = typed;
            } else if (control->typeName == kControlNameBool) {
                control->integer = typed != 0.0 ? 1 : 0;
            } else {
                // A number field holds a 32-bit integer: the typed value is cut
                // to a whole number and held within that range.
                const double whole = std::trunc(typed);
                control->integer = static_cast<intptr_t>(
                    std::clamp(whole, static_cast<double>(std::numeric_limits<int32_t>::min()),
                               static_cast<double>(std::numeric_limits<int32_t>::max())));
            }
        }
    }
    if (control->event != nullptr) {
        control->event(control->record(), control->userData);
    }
}

// ---------------------------------------------------------------------------
// The picture

namespace {

constexpr int kTitleBar = 22;
constexpr int kFieldHeight = 16;
constexpr int kListRowHeight = 15;

struct Box {
    int width = 0;
    int height = kFieldHeight;
};

// The size of a control's field, right of its label.
Box fieldBox(const PanelControl& control) {
    const std::string& type = control.typeName;
    if (type == kControlNameFloat) {
        return {80};
    }
    if (type == kControlNameVector) {
        return {3 * 64 + 2 * 4};
    }
    if (type == kControlNameInteger) {
        return {60};
    }
    if (type == kControlNameBool) {
        return {kFieldHeight};
    }
    if (type == kControlNameButton) {
        return {static_cast<int>(control.label.size()) * PanelHost::kCharWidth + 20};
    }
    if (type == kControlNameInfo) {
        return {std::max(control.descriptor.width, 1) * 8};
    }
    if (type == kControlNameListBox) {
        return {std::max(control.descriptor.width, 40),
                std::max(control.descriptor.visibleRows, 1) * kListRowHeight + 4};
    }
    return {60};
}

std::string textAt(int x, int y, const std::string& text, const char* extra = "") {
    return "<text x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\"" + extra + ">" +
           escapeXml(text) + "</text>\n";
}

std::string rect(int x, int y, int width, int height, const char* style) {
    return "<rect x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
           std::to_string(width) + "\" height=\"" + std::to_string(height) + "\" " + style + "/>\n";
}

} // namespace

std::string PanelHost::svg(const Panel& panel) {
    int width = 320;
    int bottom = 0;
    for (const auto& control : panel.controls) {
        const Box box = fieldBox(*control);
        width =
            std::max(width, static_cast<int>(control->x + control->labelWidth) + box.width + 12);
        bottom = std::max(bottom, static_cast<int>(control->y) + box.height + 12);
    }
    const int height = panel.heightSet ? panel.height : bottom;
    const char* field = "fill=\"#f4f4f4\" stroke=\"#606060\"";
    std::string out;
    out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) +
           "\" height=\"" + std::to_string(height + kTitleBar) +
           "\" xml:space=\"preserve\" font-family=\"monospace\" " + "font-size=\"8.33\">\n";
    out += rect(0, 0, width, kTitleBar, "fill=\"#4a5a7a\"");
    out += textAt(6, 15, panel.title, " fill=\"#ffffff\" font-size=\"11\"");
    out += rect(0, kTitleBar, width, height, "fill=\"#c8c8c8\" stroke=\"#404040\"");
    for (const auto& control : panel.controls) {
        const PanelControl& c = *control;
        const int x = static_cast<int>(c.x);
        const int top = static_cast<int>(c.y) + kTitleBar;
        const int fieldX = x + static_cast<int>(c.labelWidth);
        const Box box = fieldBox(c);
        const int baseline = top + 11;
        out += "<g class=\"control\" data-type=\"" + escapeXml(c.typeName) + "\" data-label=\"" +
               escapeXml(c.label) + "\" data-x=\"" + std::to_string(c.x) + "\" data-y=\"" +
               std::to_string(c.y) + "\" data-label-width=\"" + std::to_string(c.labelWidth) +
               "\">\n";
        if (c.typeName == kControlNameButton) {
            out += rect(x, top, box.width, box.height, "fill=\"#e0e0e0\" stroke=\"#303030\"");
            out += textAt(x + 10, baseline, c.label);
            out += "</g>\n";
            continue;
        }
        out += textAt(x, baseline, c.label);
        if (c.typeName == kControlNameVector) {
            for (int i = 0; i < 3; ++i) {
                out += rect(fieldX + i * 68, top, 64, box.height, field);
                out += textAt(fieldX + i * 68 + 3, baseline, shortNumber(c.vector[i]));
            }
        } else if (c.typeName == kControlNameBool) {
            out += rect(fieldX, top, box.width, box.height, field);
            if (c.integer != 0) {
                out += textAt(fieldX + 4, baseline, "x");
            }
        } else if (c.typeName == kControlNameListBox) {
            out += rect(fieldX, top, box.width, box.height, "fill=\"#ffffff\" stroke=\"#606060\"");
            const int shown = std::min<int>(static_cast<int>(c.rows.size()),
                                            std::max(c.descriptor.visibleRows, 1));
            for (int i = 0; i < shown; ++i) {
                out += textAt(fieldX + 4, top + 13 + i * kListRowHeight, c.rows[i]);
            }
        } else {
            out += rect(fieldX, top, box.width, box.height, field);
            std::string shown;
            if (c.typeName == kControlNameFloat) {
                shown = shortNumber(c.number);
            } else if (c.typeName == kControlNameInfo) {
                shown = c.text;
            } else {
                shown = std::to_string(c.integer);
            }
            out += textAt(fieldX + 3, baseline, shown);
        }
        out += "</g>\n";
    }
    out += "</svg>\n";
    return out;
}

} // namespace standin
