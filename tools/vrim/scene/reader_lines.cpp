#include "tools/vrim/scene/reader_lines.h"

#include "text/names.h"
#include "tools/vrim/scene/scene.h"

#include <charconv>

namespace vrim::scene {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// The length of the host's item IDs.
constexpr std::size_t kIdDigits = 8;

} // namespace

std::string_view Words::next() {
    std::size_t at = 0;
    while (at < text_.size() && isBlank(text_[at])) {
        ++at;
    }
    std::size_t end = at;
    while (end < text_.size() && !isBlank(text_[end])) {
        ++end;
    }
    const std::string_view word = text_.substr(at, end - at);
    text_.remove_prefix(end);
    return word;
}

std::string_view Words::rest() const {
    return trimmed(text_);
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool parseDecimal(std::string_view text, double& value) {
    text = trimmed(text);
    if (text.size() > 1 && text.front() == '+' && text[1] != '-') {
        text.remove_prefix(1); // from_chars takes no plus sign
    }
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    return !text.empty() && error == std::errc() && stop == end;
}

std::string_view withoutId(std::string_view rest) {
    if (rest.size() > kIdDigits + 1 && isBlank(rest[kIdDigits])) {
        bool hex = true;
        for (std::size_t i = 0; i < kIdDigits && hex; ++i) {
            hex = isHexDigit(rest[i]);
        }
        if (hex) {
            return trimmed(rest.substr(kIdDigits));
        }
    }
    return rest;
}

std::string objectName(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    if (slash != std::string_view::npos) {
        path.remove_prefix(slash + 1);
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
