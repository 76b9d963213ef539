// What the comparison's own files share: keys lined up, the digest that
// pairs and renames blocks, the motion of one pair.
#pragma once

#include "tools/vrim/compare/compare.h"

#include <cstdint>
#include <vector>

namespace vrim::compare {

bool sameValue(double a, double b);
bool sameKey(const KeyValues& a, const KeyValues& b);
// Equal chains digest alike; the digest stands in for the keys in the
// pairing index.
uint64_t digestOf(const std::vector<KeyValues>& keys);
// The old chain against the new: empty when they are the same.
std::vector<KeyChange> keyChanges(const std::vector<KeyValues>& before,
                                  const std::vector<KeyValues>& after);
// The keys of an instance as the module loaded them.
std::vector<KeyValues> keysOfInstance(const ShakeInstance& instance);

// The offsets of two instances (either may be null: that side does not
// shake) over the frames where either acts, each at its own rate.
MotionDifference motionDifference(Session& session, ShakeInstance* before, double beforeFps,
                                  ShakeInstance* after, double afterFps, double tolerance);

} // namespace vrim::compare
