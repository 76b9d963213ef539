// What the commands share about their machine-readable output (--json) and
// about names shown to people.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>
#include <string_view>

namespace vrim {

struct Finding;

// The version of every command's JSON document ("formatVersion"): it goes
// up when a member changes meaning or goes away, not when one is added. The
// schemas are docs/schema/<command>.json.
constexpr int kJsonFormatVersion = 1;

// The document's opening members: {"formatVersion": 1, "command": "ls", ...
nlohmann::json jsonDocument(const char* command);

// One JSON text on one line; UTF-8 kept, control characters escaped. Bytes
// that are not UTF-8 (a path on a system that is not) become U+FFFD.
std::string jsonText(const nlohmann::json& value);

// A finding of check's, as check and ls give it.
nlohmann::json findingJson(const Finding& finding);

// check's and ls's exit status from the findings' counts.
int statusOf(int errors, int warnings);

// Text for people: control characters shown as escapes ("\x1b").
std::string terminalText(std::string_view text);

// The same for text of many lines (a diff): line feeds and tabs kept.
std::string terminalLines(std::string_view text);

// Whether the file is a terminal: CSV rows keep names byte for byte, except
// on a terminal.
bool isTerminal(std::FILE* file);

} // namespace vrim
