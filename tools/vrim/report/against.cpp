#include "tools/vrim/report/against.h"

#include "text/numbers.h"

#include <array>

namespace vrim::report {

namespace {

constexpr const char* kArrow = " \u2192 ";

std::string fieldText(const compare::FieldChange& field) {
    if (field.field == compare::Field::FallOff) {
        return std::string("fall-off ") + (field.before != 0.0 ? "on" : "off") + kArrow +
               (field.after != 0.0 ? "on" : "off");
    }
    return std::string(compare::fieldName(field.field)) + " " + compare::number(field.before) +
           kArrow + compare::number(field.after);
}

std::string keyLine(const compare::KeyChange& key) {
    const std::size_t number = key.newKey != 0 ? key.newKey : key.oldKey;
    std::string line = "key " + std::to_string(number);
    if (key.oldKey == 0 || key.newKey == 0) {
        return line + (key.newKey != 0 ? " added" : " removed") + " (frames " +
               std::to_string(key.values.start) + "\u2013" + std::to_string(key.values.end) + ")";
    }
    if (key.oldKey != key.newKey) {
        line += " (was key " + std::to_string(key.oldKey) + ")";
    }
    for (std::size_t f = 0; f < key.fields.size(); ++f) {
        line += (f == 0 ? ": " : ", ") + fieldText(key.fields[f]);
    }
    return line;
}

std::string motionLine(const compare::MotionDifference& motion) {
    if (!motion.moves()) {
        return "the motion is the same";
    }
    static constexpr std::array<const char*, 3> axes = {"X", "Y", "Z"};
    const auto axis = static_cast<std::size_t>(motion.largestAxis());
    const std::string frames =
        *motion.first == *motion.last
            ? "frame " + std::to_string(*motion.first)
            : "frames " + std::to_string(*motion.first) + "\u2013" + std::to_string(*motion.last);
    return "moves up to " + text::general(motion.largest[axis], 4) + " on " + axes[axis] + ", " +
           frames + (motion.cut ? " (only the first frames compared)" : "");
}

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
            lines.push_back(keyLine(key));
        }
    }
    lines.push_back(motionLine(item.motion));
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
