// Builds instances with chains of given keys through the module's own
// allocations, so that the module can later release them as its own.
#pragma once

#include "plugin/core/inspect.h"
#include "plugin/core/shake.h"
#include "standin/standin.h"

#include <vector>

namespace testsupport {

// A key's values; links are made by makeInstance.
inline ShakeKey keyValues(int32_t start, int32_t end, int32_t fallOff, double wx, double wy,
                          double wz, double freq) {
    ShakeKey key{};
    key.startFrame = start;
    key.endFrame = end;
    key.fallOff = fallOff;
    key.widthX = wx;
    key.widthY = wy;
    key.widthZ = wz;
    key.freqTime = freq;
    return key;
}

// A new instance whose chain holds keys in order (keyCount matching). Each key
// record is taken from a freshly created donor instance, so it is one of the
// module's own allocations.
inline ShakeInstance* makeInstance(const standin::Handler& handler,
                                   const std::vector<ShakeKey>& keys) {
    auto* instance = static_cast<ShakeInstance*>(handler.create());
    ShakeKey* tail = nullptr;
    for (size_t i = 0; i < keys.size(); ++i) {
        ShakeKey* key = nullptr;
        if (i == 0) {
            key = instance->firstKey;
        } else {
            auto* donor = static_cast<ShakeInstance*>(handler.create());
            key = donor->firstKey;
            donor->firstKey = nullptr;
            donor->keyCount = 0;
            handler.destroy(donor);
        }
        *key = keys[i];
        key->prev = tail;
        key->next = nullptr;
        if (tail != nullptr) {
            tail->next = key;
        }
        tail = key;
    }
    if (keys.empty()) {
        ShakeKey* only = instance->firstKey;
        instance->firstKey = nullptr;
        // Hand the default key to a donor so the module releases it.
        auto* donor = static_cast<ShakeInstance*>(handler.create());
        only->next = donor->firstKey;
        donor->firstKey->prev = only;
        donor->firstKey = only;
        handler.destroy(donor);
    }
    instance->keyCount = static_cast<int32_t>(keys.size());
    return instance;
}

// The keys of an instance's chain, in order.
inline std::vector<const ShakeKey*> chainOf(const ShakeInstance* instance) {
    return vrim::inspect::keysOf(*instance);
}

using vrim::inspect::chainIsSound;

} // namespace testsupport
