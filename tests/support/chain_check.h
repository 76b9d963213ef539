// Whether an instance's chain is what every operation must leave behind: well
// linked both ways, with keyCount equal to its length. Shared by the tests
// and the fuzz targets.
#pragma once

#include "plugin/core/shake.h"

#include <cstdint>

namespace testsupport {

inline bool chainIsSound(const ShakeInstance* instance) {
    const ShakeKey* prev = nullptr;
    int64_t count = 0;
    for (const ShakeKey* key = instance->firstKey; key != nullptr; key = key->next) {
        if (key->prev != prev) {
            return false;
        }
        prev = key;
        ++count;
    }
    return count == instance->keyCount;
}

} // namespace testsupport
