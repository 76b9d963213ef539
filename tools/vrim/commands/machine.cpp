#include "tools/vrim/commands/machine.h"

#include "text/names.h"
#include "tools/vrim/commands/commands.h"
#include "tools/vrim/scene/findings.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace vrim {

nlohmann::json jsonDocument(const char* command) {
    return {{"formatVersion", kJsonFormatVersion}, {"command", command}};
}

std::string jsonText(const nlohmann::json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

nlohmann::json findingJson(const Finding& finding) {
    using nlohmann::json;
    json value = {{"severity", severityName(finding.severity)},
                  {"kind", finding.kind},
                  {"line", finding.line != 0 ? json(finding.line) : json(nullptr)},
                  {"key", finding.key != 0 ? json(finding.key) : json(nullptr)},
                  {"message", finding.message}};
    if (!finding.hidden.empty()) {
        json hidden = json::array();
        for (const HiddenRun& run : finding.hidden) {
            hidden.push_back(
                {{"first", run.frames.first}, {"last", run.frames.last}, {"by", run.by + 1}});
        }
        value["hidden"] = hidden;
    }
    return value;
}

int statusOf(int errors, int warnings) {
    return errors > 0 ? kExitError : warnings > 0 ? kExitWarnings : kExitClean;
}

std::string terminalText(std::string_view text) {
    return text::terminalSafe(text);
}

std::string terminalLines(std::string_view text) {
    std::string out;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = text.find_first_of("\n\t", from);
        out += text::terminalSafe(text.substr(from, at - from));
        if (at == std::string_view::npos) {
            return out;
        }
        out += text[at];
        from = at + 1;
    }
}

bool isTerminal(std::FILE* file) {
#ifdef _WIN32
    return _isatty(_fileno(file)) != 0;
#else
    return isatty(fileno(file)) != 0;
#endif
}

} // namespace vrim
