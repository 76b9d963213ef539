#include "tools/vrim/edit/diff.h"

#include <dtl/dtl.hpp>

namespace vrim::edit {

std::string diffHeader(const std::string& path) {
    return "--- " + path + "\n+++ " + path + "\n";
}

std::string diffHunks(const std::vector<std::string>& oldLines,
                      const std::vector<std::string>& newLines, uint64_t oldFirst,
                      uint64_t newFirst) {
    if (oldLines == newLines) {
        return {};
    }
    using Diff = dtl::Diff<std::string, std::vector<std::string>>;
    Diff diff(oldLines, newLines);
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
                out += mark + element.first + "\n";
            }
        };
        lines(hunk.common[0]);
        lines(hunk.change);
        lines(hunk.common[1]);
    }
    return out;
}

} // namespace vrim::edit
