// Keys as the module loaded them, compared field by field, and the two
// chains lined up so that one key added or removed in the middle shows as
// that, not as every later key changed.
#include "tools/vrim/compare/compare.h"
#include "tools/vrim/compare/internal.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace vrim::compare {

namespace {

constexpr Field kFields[] = {Field::Start,  Field::End,    Field::Period, Field::WidthX,
                             Field::WidthY, Field::WidthZ, Field::FallOff};

} // namespace

KeyValues valuesOf(const ShakeKey& key) {
    return {key.startFrame, key.endFrame, key.freqTime,    key.widthX,
            key.widthY,     key.widthZ,   key.fallOff != 0};
}

const char* fieldName(Field field) {
    switch (field) {
    case Field::Start:
        return "start";
    case Field::End:
        return "end";
    case Field::Period:
        return "period";
    case Field::WidthX:
        return "width X";
    case Field::WidthY:
        return "width Y";
    case Field::WidthZ:
        return "width Z";
    case Field::FallOff:
        return "fall-off";
    }
    return "";
}

const char* fieldKey(Field field) {
    switch (field) {
    case Field::WidthX:
        return "widthX";
    case Field::WidthY:
        return "widthY";
    case Field::WidthZ:
        return "widthZ";
    case Field::FallOff:
        return "fallOff";
    default:
        return fieldName(field);
    }
}

double fieldValue(const KeyValues& key, Field field) {
    switch (field) {
    case Field::Start:
        return key.start;
    case Field::End:
        return key.end;
    case Field::Period:
        return key.period;
    case Field::WidthX:
        return key.widthX;
    case Field::WidthY:
        return key.widthY;
    case Field::WidthZ:
        return key.widthZ;
    case Field::FallOff:
        return key.fallOff ? 1.0 : 0.0;
    }
    return 0.0;
}

// Equal as the evaluation uses them: 0 and -0 give the same offsets, and a
// value that is not a number is the same as another one.
bool sameValue(double a, double b) {
    return a == b || (std::isnan(a) && std::isnan(b));
}

bool sameKey(const KeyValues& a, const KeyValues& b) {
    for (const Field field : kFields) {
        if (!sameValue(fieldValue(a, field), fieldValue(b, field))) {
            return false;
        }
    }
    return true;
}

uint64_t digestOf(const std::vector<KeyValues>& keys) {
    uint64_t hash = 14695981039346656037ull; // FNV-1a
    auto mix = [&hash](double value) {
        if (value == 0.0) {
            value = 0.0; // -0 digests as 0
        }
        unsigned char bytes[sizeof value];
        std::memcpy(bytes, &value, sizeof value);
        if (std::isnan(value)) {
            std::memset(bytes, 0xff, sizeof bytes);
        }
        for (const unsigned char byte : bytes) {
            hash = (hash ^ byte) * 1099511628211ull;
        }
    };
    mix(static_cast<double>(keys.size()));
    for (const KeyValues& key : keys) {
        for (const Field field : kFields) {
            mix(fieldValue(key, field));
        }
    }
    return hash;
}

std::vector<KeyChange> keyChanges(const std::vector<KeyValues>& before,
                                  const std::vector<KeyValues>& after) {
    std::size_t head = 0;
    while (head < before.size() && head < after.size() && sameKey(before[head], after[head])) {
        ++head;
    }
    std::size_t tail = 0;
    while (tail < before.size() - head && tail < after.size() - head &&
           sameKey(before[before.size() - 1 - tail], after[after.size() - 1 - tail])) {
        ++tail;
    }
    // Between the equal ends, keys pair by position; the longer side's
    // extra keys are added or removed.
    std::vector<KeyChange> changes;
    const std::size_t oldEnd = before.size() - tail, newEnd = after.size() - tail;
    for (std::size_t o = head, n = head; o < oldEnd || n < newEnd; ++o, ++n) {
        KeyChange change;
        if (o < oldEnd && n < newEnd) {
            change.oldKey = o + 1;
            change.newKey = n + 1;
            for (const Field field : kFields) {
                const double a = fieldValue(before[o], field), b = fieldValue(after[n], field);
                if (!sameValue(a, b)) {
                    change.fields.push_back({field, a, b});
                }
            }
        } else if (o < oldEnd) {
            change.oldKey = o + 1;
            change.values = before[o];
        } else {
            change.newKey = n + 1;
            change.values = after[n];
        }
        changes.push_back(std::move(change));
    }
    return changes;
}

std::string number(double value) {
    if (value == 0.0) {
        return "0";
    }
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

} // namespace vrim::compare
