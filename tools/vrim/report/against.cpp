#include "tools/vrim/report/against.h"

namespace vrim::report {

namespace {

constexpr const char* kArrow = " \u2192 ";

} // namespace

std::vector<std::string> changeLines(const compare::ItemDiff& item) {
    std::vector<std::string> lines;
    if (item.change == compare::Change::Added) {
        lines.push_back("not in the previous version");
    } else if (item.change == compare::Change::Renamed) {
        lines.push_back("renamed from " + item.oldAddress);
    }
    if (item.change != compare::Change::Added) {
        for (const compare::KeyChange& key : item.keys) {
            lines.push_back(compare::keyChangeText(key));
        }
    }
    lines.push_back(compare::motionText(item.motion));
    return lines;
}

std::vector<PageFinding> againstNotes(const Against& against) {
    std::vector<PageFinding> notes;
    if (against.oldPath.empty()) {
        notes.push_back({"note", 0, "Not in the previous version: every item is new."});
    }
    for (const compare::HeaderChange& change : against.header) {
        notes.push_back({"note", 0,
                         "Changed from the previous version: " + change.what + " " + change.before +
                             kArrow + change.after + " (" + change.effect + ")."});
    }
    for (const compare::ItemDiff& item : against.items) {
        if (item.change == compare::Change::Removed) {
            notes.push_back({"note", 0,
                             "Removed since the previous version: " + item.address + " (" +
                                 std::to_string(item.oldKeys) +
                                 (item.oldKeys == 1 ? " key)." : " keys).")});
        }
    }
    return notes;
}

} // namespace vrim::report
