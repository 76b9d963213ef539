// A key's change and a motion difference in words: what `vrim diff` prints
// and what the review page lists beside an item's keys say the same thing.
#include "text/numbers.h"
#include "tools/vrim/compare/compare.h"

#include <array>

namespace vrim::compare {

namespace {

constexpr const char* kArrow = " \u2192 ";

std::string fieldValue(Field field, double value) {
    if (field == Field::FallOff) {
        return value != 0.0 ? "on" : "off";
    }
    return number(value);
}

} // namespace

std::string keyChangeText(const KeyChange& key) {
    const std::size_t position = key.newKey != 0 ? key.newKey : key.oldKey;
    std::string text = "key " + std::to_string(position);
    if (key.oldKey == 0 || key.newKey == 0) {
        return text + (key.newKey != 0 ? " added" : " removed") + " (start " +
               std::to_string(key.values.start) + ", end " + std::to_string(key.values.end) + ")";
    }
    if (key.oldKey != key.newKey) {
        text += " (was " + std::to_string(key.oldKey) + ")";
    }
    for (std::size_t f = 0; f < key.fields.size(); ++f) {
        const FieldChange& field = key.fields[f];
        text += std::string(f == 0 ? " " : ", ") + fieldName(field.field) + " " +
                fieldValue(field.field, field.before) + kArrow +
                fieldValue(field.field, field.after);
    }
    return text;
}

std::string motionText(const MotionDifference& motion) {
    if (!motion.moves()) {
        return "moves nothing";
    }
    static constexpr std::array<const char*, 3> kAxes = {"X", "Y", "Z"};
    const auto axis = static_cast<std::size_t>(motion.largestAxis());
    std::string text =
        "moves up to " + text::general(motion.largest[axis], 4) + " on " + kAxes[axis] + ", " +
        (*motion.first == *motion.last
             ? "frame " + std::to_string(*motion.first)
             : "frames " + std::to_string(*motion.first) + "\u2013" + std::to_string(*motion.last));
    if (motion.cut) {
        text += " (only the first " + std::to_string(motion.frames) + " frames compared)";
    }
    return text;
}

} // namespace vrim::compare
