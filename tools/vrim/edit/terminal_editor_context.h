// The scene around the item being edited, as check sees it: the frame rate
// and range, and what check finds in the item's keys as they stand now.
#pragma once

#include "tools/vrim/edit/scene_edit.h"
#include "tools/vrim/scene/findings.h"

#include <optional>
#include <string>

namespace vrim::edit {

class SceneContext {
  public:
    explicit SceneContext(Session& session) : session_(session), checker_(session) {}

    // Reads the scene's timing and the item's block as they are on disk.
    void read(const std::string& path, const SceneEditOptions& options);

    // One line for the status line: the timing, then check's findings for
    // the keys the instance holds now, the worst first.
    std::string line(ShakeInstance& current);

  private:
    Session& session_;
    BlockChecker checker_;
    std::optional<SceneTiming> timing_;
    std::optional<scene::Block> block_;
};

// The findings of one check worded for a line: the worst first, and how many
// more there are; "check finds nothing" when there are none.
std::string findingsLine(const std::vector<Finding>& findings);

} // namespace vrim::edit
