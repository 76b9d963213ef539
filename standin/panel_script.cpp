// The panel scripts that play the user: read from text and written back.
#include "standin/panel_script.h"

#include "text/numbers.h"
#include "text/words.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <sstream>

namespace standin {

namespace {

std::string number(double value) {
    return printedNumber(value, "%.17g");
}

} // namespace

std::string printedNumber(double value, const char* format) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// ---------------------------------------------------------------------------
// Scripts

namespace {

// The action a line's first word names, and for type and press the quoted
// label after it, taken off rest; why not, else empty.
std::string actionHead(const std::string& word, std::string& rest, PanelAction& action) {
    if (word == "type" || word == "press") {
        action.kind = word == "type" ? PanelAction::Kind::Type : PanelAction::Kind::Press;
        std::size_t open = rest.find_first_not_of(" \t");
        if (open == std::string::npos || rest[open] != '"') {
            return "expected a quoted control label after " + word;
        }
        std::size_t close = rest.find('"', open + 1);
        if (close == std::string::npos) {
            return "the control label has no closing quote";
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
        return "unknown action '" + word + "'";
    }
    return "";
}

// The numbers after the action: what type types, the row pick picks, none
// for the others; why not, else empty.
std::string actionArguments(const std::string& word, const std::string& rest, PanelAction& action) {
    const std::vector<std::string_view> words = text::splitWords(rest);
    const std::vector<std::string> tokens(words.begin(), words.end());
    if (action.kind == PanelAction::Kind::Type) {
        if (tokens.empty()) {
            return "type needs a value";
        }
        for (const std::string& t : tokens) {
            const text::Reading<double> value = text::readReal(t);
            if (!value) {
                return "'" + t + "' is not a number" + text::aside(value.refusal);
            }
            action.numbers.push_back(value.value);
        }
    } else if (action.kind == PanelAction::Kind::Pick) {
        const text::Reading<int64_t> row =
            tokens.size() == 1 ? text::readWhole(tokens[0]) : text::Reading<int64_t>{};
        if (tokens.size() != 1 || !row) {
            return "pick needs one row number" + text::aside(row.refusal);
        }
        action.row = static_cast<int>(row.value);
    } else if (!tokens.empty()) {
        return "unexpected '" + tokens[0] + "' after " + word;
    }
    return "";
}

} // namespace

bool parsePanelScript(const std::string& text, std::vector<PanelAction>& actions,
                      std::string& error) {
    int lineNumber = 0;
    std::vector<PanelAction> parsed;
    for (const std::string_view lineView : text::splitLines(text)) {
        const std::string line(lineView);
        ++lineNumber;
        std::size_t at = line.find_first_not_of(" \t");
        if (at == std::string::npos || line[at] == '#') {
            continue;
        }
        std::size_t end = line.find_first_of(" \t", at);
        const std::string word = line.substr(at, end == std::string::npos ? end : end - at);
        std::string rest = end == std::string::npos ? "" : line.substr(end);
        PanelAction action;
        std::string why = actionHead(word, rest, action);
        if (why.empty()) {
            why = actionArguments(word, rest, action);
        }
        if (!why.empty()) {
            error = "line " + std::to_string(lineNumber) + ": " + why;
            return false;
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
            line += ' ';
            line += number(value);
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

} // namespace standin
