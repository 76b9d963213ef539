// The one way to look inside an instance from outside the module: for the
// tool, the tests, the fuzz targets and the benchmarks. The module itself
// never includes it.
//
// An instance and its keys are the module's own records, not the host's: the
// host only holds the pointer that create returned. A program may read them
// only when it is built from the same sources as the module it loads (this
// tree's vrim_s.p and vrim_s_test.p, or the module's libraries linked in).
// The asserts below pin what the readers rely on, so that a change to the
// records that would mislead them fails the build instead.
#pragma once

#include "plugin/core/shake.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <unordered_set>
#include <vector>

static_assert(std::is_standard_layout_v<ShakeKey> && std::is_trivially_copyable_v<ShakeKey>);
static_assert(std::is_standard_layout_v<ShakeInstance> &&
              std::is_trivially_copyable_v<ShakeInstance>);
static_assert(offsetof(ShakeInstance, keyCount) == 0);
#if UINTPTR_MAX == 0xFFFFFFFFu
// One key is one 56-byte allocation on the product.
static_assert(sizeof(ShakeKey) == 56);
#endif

namespace vrim::inspect {

// An instance's chain as found by following next from firstKey.
struct Chain {
    std::vector<const ShakeKey*> keys; // in chain order, each key once
    bool ends = true;                  // false: a key came round again, or the walk hit its limit
    int badPrev = -1; // 0-based position of the first key whose prev is not the key before it
    // Well linked both ways, ending, and as long as keyCount says.
    bool sound(const ShakeInstance& instance) const {
        return ends && badPrev < 0 && static_cast<int64_t>(keys.size()) == instance.keyCount;
    }
};

// Keys beyond this many are not followed; a longer chain does not end.
constexpr std::size_t kWalkLimit = std::size_t{1} << 24;

// Follows the chain without trusting it: stops at the first key met twice,
// so a chain that runs in a circle ends the walk. A chain no longer than
// keyCount is walked without the bookkeeping that catches circles.
inline Chain walk(const ShakeInstance& instance, std::size_t limit = kWalkLimit) {
    Chain chain;
    const std::size_t expected =
        instance.keyCount > 0 ? static_cast<std::size_t>(instance.keyCount) : 0;
    std::unordered_set<const ShakeKey*> seen;
    bool watching = false;
    // Keeps the keys before the first repeated one; true when there was one.
    auto cutAtRepeat = [&chain, &seen]() {
        for (std::size_t i = 0; i < chain.keys.size(); ++i) {
            if (!seen.insert(chain.keys[i]).second) {
                chain.keys.resize(i);
                return true;
            }
        }
        return false;
    };
    for (const ShakeKey* key = instance.firstKey; key != nullptr; key = key->next) {
        if (!watching && chain.keys.size() >= expected) {
            watching = true;
            if (cutAtRepeat()) {
                chain.ends = false;
                break;
            }
        }
        if (chain.keys.size() >= limit || (watching && !seen.insert(key).second)) {
            chain.ends = false;
            if (!watching) {
                cutAtRepeat();
            }
            break;
        }
        chain.keys.push_back(key);
    }
    for (std::size_t i = 0; i < chain.keys.size(); ++i) {
        if (chain.keys[i]->prev != (i == 0 ? nullptr : chain.keys[i - 1])) {
            chain.badPrev = static_cast<int>(i);
            break;
        }
    }
    return chain;
}

inline std::vector<const ShakeKey*> keysOf(const ShakeInstance& instance) {
    return walk(instance).keys;
}

// What every operation of the module must leave behind.
inline bool chainIsSound(const ShakeInstance* instance) {
    return walk(*instance).sound(*instance);
}

} // namespace vrim::inspect
