// What the tool knows about the module's choice of key, used to name the
// acting key in tables and plots and to find keys that other keys hide. The
// positions themselves always come from the module; tests hold this analysis
// against the module frame by frame.
#pragma once

#include "plugin/core/shake.h"
#include "plugin/vocabulary.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace vrim {

// The keys of an instance in chain order.
std::vector<const ShakeKey*> keysOf(const ShakeInstance& instance);

// The key the module selects at a frame: the last key in chain order whose
// start frame is at or before the frame, even when its span is over. Its
// 0-based chain position, or -1 when no key has started.
int selectedKey(const ShakeInstance& instance, int32_t frame);

// Whether the time (seconds) lies within the key's span, both ends inclusive.
bool spanHolds(const ShakeKey& key, double time);

// The key that moves the item at this frame and time (the host evaluates a
// frame at a time; between frames the frame picks the key and the time is
// tested against its span), or -1 when the item keeps its position.
int actingKey(const ShakeInstance& instance, int32_t frame, double time);

// The same questions for many frames of one instance: the chain is walked
// once, and each frame takes a binary search over the start frames instead
// of a walk. Valid while the instance's keys stay as they were.
class KeySelection {
  public:
    explicit KeySelection(const ShakeInstance& instance);
    const std::vector<const ShakeKey*>& keys() const { return keys_; }
    int selected(int32_t frame) const;
    int acting(int32_t frame, double time) const;

  private:
    std::vector<const ShakeKey*> keys_;
    // The distinct start frames in ascending order, each with the last chain
    // position among the keys that start at or before it.
    std::vector<std::pair<int32_t, int>> steps_;
};

// Whole frames, both ends inclusive; empty when first > last.
struct FrameSpan {
    int64_t first = 0;
    int64_t last = -1;
    bool empty() const { return first > last; }
};

// The spans in frame order, those that overlap or touch joined into one.
std::vector<FrameSpan> joinedSpans(std::vector<FrameSpan> spans);

// The scene frames (at fps) whose time lies within the key's span.
FrameSpan spanFrames(const ShakeKey& key, double fps);

// Runs of frames (at fps) on which the key at chain position key acts, as the
// evaluation picks it: the key selected there and its span holding the
// frame's time; kAnyKey: on which some key acts. The frames a key acts on,
// for every command that names them.
constexpr int kAnyKey = -1;
std::vector<FrameSpan> actingRuns(const ShakeInstance& instance, double fps, int key);

// Frames on which a key's span runs but a later key in the chain is
// selected, grouped into runs by the key that hides it.
struct HiddenRun {
    FrameSpan frames;
    int by = -1; // 0-based chain position of the selected key
};
std::vector<HiddenRun> hiddenRuns(const ShakeInstance& instance, int key, double fps);

} // namespace vrim
