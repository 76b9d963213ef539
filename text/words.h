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
// The text without the blanks at either end. Inline, as takeWord: the
// scene reader calls both on most lines of a file.
inline std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

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
inline std::string_view takeWord(std::string_view& text) {
    std::size_t at = 0;
    while (at < text.size() && isBlank(text[at])) {
        ++at;
    }
    std::size_t end = at;
    while (end < text.size() && !isBlank(text[end])) {
        ++end;
    }
    const std::string_view word = text.substr(at, end - at);
    text.remove_prefix(end);
    return word;
}
// Every blank-separated word of text.
std::vector<std::string_view> splitWords(std::string_view text);

// "1 key", "3 keys", "0 keys".
std::string counted(std::size_t count, const char* one, const char* many);

} // namespace text
