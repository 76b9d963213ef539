// The review page against a previous version (report --against): what the
// comparison found of a scene, and its words for the page.
#pragma once

#include "tools/vrim/compare/compare.h"
#include "tools/vrim/report/page.h"

#include <string>
#include <vector>

namespace vrim::report {

struct Against {
    std::string oldPath; // the previous version; empty: the scene is new
    std::vector<compare::HeaderChange> header;
    std::vector<compare::ItemDiff> items; // the items that differ
};

// An item's changes, a line each: its keys added, removed and changed field
// by field ("key 2 period 0.25 → 0.2"), then how far its motion moved.
std::vector<std::string> changeLines(const compare::ItemDiff& item);

// What the page notes of the scene as a whole: header values that alter when
// keys act, and the items only the previous version has.
std::vector<PageFinding> againstNotes(const Against& against);

} // namespace vrim::report
