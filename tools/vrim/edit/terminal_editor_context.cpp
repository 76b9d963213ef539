#include "tools/vrim/edit/terminal_editor_context.h"

#include "text/numbers.h"

#include <algorithm>

namespace vrim::edit {

void SceneContext::read(const std::string& path, const SceneEditOptions& options) {
    timing_.reset();
    block_.reset();
    const SceneCheck scene =
        checkScene(path, options.blocks, std::nullopt, std::nullopt, checker_,
                   [&](const scene::Block& block, const BlockReport&, const SceneTiming& timing) {
                       if (!block_) {
                           block_ = block;
                           timing_ = timing;
                       }
                   });
    if (!timing_ && scene.timing) {
        timing_ = scene.timing;
    }
}

std::string SceneContext::line(ShakeInstance& current) {
    if (!timing_) {
        return {};
    }
    std::string text = text::general(timing_->fps) + " fps";
    text += timing_->frames ? ", frames " + std::to_string(timing_->frames->first) + "-" +
                                  std::to_string(timing_->frames->last)
                            : ", no frame range";
    if (!block_) {
        return text;
    }
    // The block as the module would save it now, checked as check checks it.
    scene::Block now = *block_;
    now.lines = session_.save(&current);
    return text + "; " + findingsLine(checker_.check(now, *timing_).findings);
}

std::string findingsLine(const std::vector<Finding>& findings) {
    if (findings.empty()) {
        return "check finds nothing";
    }
    const auto worst =
        std::max_element(findings.begin(), findings.end(), [](const Finding& a, const Finding& b) {
            return static_cast<int>(a.severity) < static_cast<int>(b.severity);
        });
    std::string text = std::string(severityName(worst->severity)) + ": " + worst->message;
    if (findings.size() > 1) {
        text += " (+" + std::to_string(findings.size() - 1) + " more)";
    }
    return text;
}

} // namespace vrim::edit
