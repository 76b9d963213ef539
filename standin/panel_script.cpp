// The panel scripts that play the user: read from text and written back.
#include "standin/panel_script.h"

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
