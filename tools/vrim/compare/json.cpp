// The comparison as JSON: the one shape that vrim diff --json prints and the
// library hands to Python.
#include "tools/vrim/compare/compare.h"

#include <cmath>

namespace vrim::compare {

namespace {

using nlohmann::json;

json optionalFrame(const std::optional<int64_t>& frame) {
    return frame ? json(*frame) : json(nullptr);
}

json keyValuesJson(const KeyValues& key) {
    return {{"start", key.start},    {"end", key.end},       {"period", key.period},
            {"widthX", key.widthX},  {"widthY", key.widthY}, {"widthZ", key.widthZ},
            {"fallOff", key.fallOff}};
}

json keyJson(const KeyChange& key) {
    const bool both = key.oldKey != 0 && key.newKey != 0;
    json fields = json::array();
    for (const FieldChange& field : key.fields) {
        json value = {{"field", fieldKey(field.field)}};
        if (field.field == Field::FallOff) {
            value["old"] = field.before != 0.0;
            value["new"] = field.after != 0.0;
        } else {
            value["old"] = field.before;
            value["new"] = field.after;
        }
        fields.push_back(std::move(value));
    }
    return {{"change", both              ? "changed"
                       : key.newKey != 0 ? "added"
                                         : "removed"},
            {"oldKey", key.oldKey != 0 ? json(key.oldKey) : json(nullptr)},
            {"newKey", key.newKey != 0 ? json(key.newKey) : json(nullptr)},
            {"fields", fields},
            {"values", both ? json(nullptr) : keyValuesJson(key.values)}};
}

json motionJson(const MotionDifference& motion) {
    // A difference without bound (one side not a number) has no JSON number.
    auto amount = [](double value) { return std::isfinite(value) ? json(value) : json(nullptr); };
    return {{"moves", motion.moves()},
            {"largest",
             {{"x", amount(motion.largest[0])},
              {"y", amount(motion.largest[1])},
              {"z", amount(motion.largest[2])}}},
            {"firstFrame", optionalFrame(motion.first)},
            {"lastFrame", optionalFrame(motion.last)},
            {"frames", motion.frames},
            {"cut", motion.cut}};
}

} // namespace

json itemJson(const ItemDiff& item) {
    json keys = json::array();
    for (const KeyChange& key : item.keys) {
        keys.push_back(keyJson(key));
    }
    return {{"change", changeName(item.change)},
            {"item", item.address},
            {"oldItem", item.oldAddress.empty() ? json(nullptr) : json(item.oldAddress)},
            {"oldKeys", item.oldKeys},
            {"newKeys", item.newKeys},
            {"keys", keys},
            {"motion", motionJson(item.motion)}};
}

json headerJson(const HeaderChange& change) {
    return {{"what", change.what},
            {"old", change.before},
            {"new", change.after},
            {"effect", change.effect}};
}

json totalsJson(const SceneTotals& totals) {
    return {{"changed", totals.changed},     {"added", totals.added},
            {"removed", totals.removed},     {"renamed", totals.renamed},
            {"unchanged", totals.unchanged}, {"moving", totals.moving}};
}

} // namespace vrim::compare
