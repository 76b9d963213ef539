// Text cut into lines, fields and words, and counts worded, each one way
// for the whole tool and the stand-in host.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace text {

// A blank separates words: a space or a tab.
inline bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
// The text without the blanks at either end.
std::string_view trimBlanks(std::string_view text);

// The lines of a text: each ends at LF, a CR before it dropped (CRLF files
// read as LF ones); a last line without LF counts, and a text that ends in
// LF has no empty line after it ("" has no line at all). The views point
// into text.
std::vector<std::string_view> splitLines(std::string_view text);

// Every field between separators, empty ones included: "a,,b" is three
// fields, "" one empty field. The views point into text.
std::vector<std::string_view> splitFields(std::string_view text, char separator);

// The next blank-separated word of text (empty when none is left), and text
// moved past it.
std::string_view takeWord(std::string_view& text);
// Every blank-separated word of text.
std::vector<std::string_view> splitWords(std::string_view text);

// "1 key", "3 keys", "0 keys".
std::string counted(std::size_t count, const char* one, const char* many);

} // namespace text
