#include "tools/vrim/edit/diff.h"

#include <dtl/dtl.hpp>

#include <cstdio>
#include <vector>

namespace vrim::edit {

namespace {

// Lines with their ends, as the file holds them.
std::vector<std::string> linesWithEnds(std::string_view bytes) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t end = bytes.find('\n', at);
        const std::size_t next = end == std::string_view::npos ? bytes.size() : end + 1;
        lines.emplace_back(bytes.substr(at, next - at));
        at = next;
    }
    return lines;
}

bool needsQuotes(const std::string& path) {
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= ' ' || byte == '"' || byte == '\\' || byte == 0x7f) {
            return true;
        }
    }
    return false;
}

std::string cQuoted(const std::string& path) {
    std::string text = "\"";
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            text += '\\';
            text += c;
        } else if (c == '\t') {
            text += "\\t";
        } else if (c == '\n') {
            text += "\\n";
        } else if (byte < ' ' || byte == 0x7f) {
            char octal[8];
            std::snprintf(octal, sizeof octal, "\\%03o", byte);
            text += octal;
        } else {
            text += c;
        }
    }
    return text + "\"";
}

} // namespace

std::string diffHeader(const std::string& path) {
    std::string name = path;
    const bool absolute =
        !path.empty() && (path[0] == '/' || path[0] == '\\' || (path.size() > 1 && path[1] == ':'));
    if (!absolute && path.rfind("./", 0) != 0) {
        name = "./" + path;
    }
    if (needsQuotes(name)) {
        name = cQuoted(name);
    }
    return "--- " + name + "\n+++ " + name + "\n";
}

std::string diffHunks(std::string_view oldBytes, std::string_view newBytes, uint64_t oldFirst,
                      uint64_t newFirst) {
    if (oldBytes == newBytes) {
        return {};
    }
    using Diff = dtl::Diff<std::string, std::vector<std::string>>;
    Diff diff(linesWithEnds(oldBytes), linesWithEnds(newBytes));
    diff.compose();
    diff.composeUnifiedHunks();
    std::string out;
    const auto shift = [](long long at, uint64_t first) {
        return std::to_string(at + static_cast<long long>(first) - 1);
    };
    for (const auto& hunk : diff.getUniHunks()) {
        out += "@@ -" + shift(hunk.a, oldFirst) + "," + std::to_string(hunk.b) + " +" +
               shift(hunk.c, newFirst) + "," + std::to_string(hunk.d) + " @@\n";
        const auto lines = [&out](const auto& elements) {
            for (const auto& element : elements) {
                const char* mark = element.second.type == dtl::SES_ADD      ? "+"
                                   : element.second.type == dtl::SES_DELETE ? "-"
                                                                            : " ";
                out += mark + element.first;
                if (element.first.empty() || element.first.back() != '\n') {
                    out += "\n\\ No newline at end of file\n";
                }
            }
        };
        lines(hunk.common[0]);
        lines(hunk.change);
        lines(hunk.common[1]);
    }
    return out;
}

} // namespace vrim::edit
