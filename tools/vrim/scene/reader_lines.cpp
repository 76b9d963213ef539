#include "tools/vrim/scene/reader_lines.h"

#include "text/names.h"
#include "text/words.h"
#include "tools/vrim/scene/scene.h"

#include <charconv>

namespace vrim::scene {

namespace {

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// The length of the host's item IDs.
constexpr std::size_t kIdDigits = 8;

} // namespace

bool parseDecimal(std::string_view text, double& value) {
    text = text::trimBlanks(text);
    if (text.size() > 1 && text.front() == '+' && text[1] != '-') {
        text.remove_prefix(1); // from_chars takes no plus sign
    }
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    return !text.empty() && error == std::errc() && stop == end;
}

std::string_view withoutId(std::string_view rest) {
    if (rest.size() > kIdDigits + 1 && text::isBlank(rest[kIdDigits])) {
        bool hex = true;
        for (std::size_t i = 0; i < kIdDigits && hex; ++i) {
            hex = isHexDigit(rest[i]);
        }
        if (hex) {
            return text::trimBlanks(rest.substr(kIdDigits));
        }
    }
    return rest;
}

std::string objectName(std::string_view path) {
    // From the end, byte by byte: find_last_of searches its set for each.
    for (std::size_t i = path.size(); i > 0; --i) {
        if (path[i - 1] == '/' || path[i - 1] == '\\') {
            path.remove_prefix(i);
            break;
        }
    }
    const std::size_t dot = path.rfind('.');
    if (dot != std::string_view::npos && dot > 0) {
        path = path.substr(0, dot);
    }
    return std::string(path);
}

std::string printable(std::string_view text) {
    return text::decode(text, nameEncoding());
}

} // namespace vrim::scene
