#include "tools/vrim/module/analysis.h"

#include "plugin/core/inspect.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vrim {

std::vector<const ShakeKey*> keysOf(const ShakeInstance& instance) {
    return inspect::keysOf(instance);
}

int selectedKey(const ShakeInstance& instance, int32_t frame) {
    int selected = -1;
    int position = 0;
    for (const ShakeKey* key : keysOf(instance)) {
        if (key->startFrame <= frame) {
            selected = position;
        }
        ++position;
    }
    return selected;
}

bool spanHolds(const ShakeKey& key, double time) {
    return key.startFrame / kKeyFrameRate <= time && time <= key.endFrame / kKeyFrameRate;
}

int actingKey(const ShakeInstance& instance, int32_t frame, double time) {
    const int selected = selectedKey(instance, frame);
    if (selected < 0) {
        return -1;
    }
    return spanHolds(*keysOf(instance)[static_cast<std::size_t>(selected)], time) ? selected : -1;
}

namespace {

double frameTime(int64_t frame, double fps) {
    return static_cast<double>(frame) / fps;
}

// Selection for frames beyond the 32-bit range the host can pass: below it no
// key has started, above it every key has.
int selectedAt(const ShakeInstance& instance, int64_t frame) {
    if (frame < std::numeric_limits<int32_t>::min()) {
        return -1;
    }
    const int64_t clamped = std::min<int64_t>(frame, std::numeric_limits<int32_t>::max());
    return selectedKey(instance, static_cast<int32_t>(clamped));
}

} // namespace

FrameSpan spanFrames(const ShakeKey& key, double fps) {
    FrameSpan span;
    if (key.endFrame < key.startFrame) {
        return span;
    }
    const double startTime = key.startFrame / kKeyFrameRate;
    const double endTime = key.endFrame / kKeyFrameRate;
    // Estimate from the scaled frames, then settle the ends with the very
    // comparisons the evaluation makes, so rounding cannot move them.
    int64_t first = static_cast<int64_t>(std::ceil(startTime * fps));
    while (frameTime(first - 1, fps) >= startTime) {
        --first;
    }
    while (frameTime(first, fps) < startTime) {
        ++first;
    }
    int64_t last = static_cast<int64_t>(std::floor(endTime * fps));
    while (frameTime(last + 1, fps) <= endTime) {
        ++last;
    }
    while (frameTime(last, fps) > endTime) {
        --last;
    }
    span.first = first;
    span.last = last;
    return span;
}

std::vector<HiddenRun> hiddenRuns(const ShakeInstance& instance, int key, double fps) {
    const std::vector<const ShakeKey*> keys = keysOf(instance);
    const FrameSpan span = spanFrames(*keys[static_cast<std::size_t>(key)], fps);
    std::vector<HiddenRun> runs;
    if (span.empty()) {
        return runs;
    }
    // The selected key changes only at key start frames: walk the span in
    // pieces between them.
    std::vector<int64_t> cuts = {span.first};
    for (const ShakeKey* other : keys) {
        if (other->startFrame > span.first && other->startFrame <= span.last) {
            cuts.push_back(other->startFrame);
        }
    }
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    for (std::size_t i = 0; i < cuts.size(); ++i) {
        const FrameSpan piece = {cuts[i], i + 1 < cuts.size() ? cuts[i + 1] - 1 : span.last};
        const int by = selectedAt(instance, piece.first);
        if (by <= key) {
            continue;
        }
        if (!runs.empty() && runs.back().by == by && runs.back().frames.last + 1 == piece.first) {
            runs.back().frames.last = piece.last;
        } else {
            runs.push_back({piece, by});
        }
    }
    return runs;
}

} // namespace vrim
