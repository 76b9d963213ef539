#include "tools/vrim/module/analysis.h"

#include "plugin/core/inspect.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

namespace vrim {

std::vector<FrameSpan> joinedSpans(std::vector<FrameSpan> spans) {
    std::sort(spans.begin(), spans.end(),
              [](const FrameSpan& a, const FrameSpan& b) { return a.first < b.first; });
    std::vector<FrameSpan> joined;
    for (const FrameSpan& span : spans) {
        if (!joined.empty() && span.first <= joined.back().last + 1) {
            joined.back().last = std::max(joined.back().last, span.last);
        } else {
            joined.push_back(span);
        }
    }
    return joined;
}

std::vector<const ShakeKey*> keysOf(const ShakeInstance& instance) {
    return inspect::keysOf(instance);
}

KeySelection::KeySelection(const ShakeInstance& instance) : keys_(keysOf(instance)) {
    steps_.reserve(keys_.size());
    for (std::size_t i = 0; i < keys_.size(); ++i) {
        steps_.emplace_back(keys_[i]->startFrame, static_cast<int>(i));
    }
    std::sort(steps_.begin(), steps_.end());
    // Keep one step per start frame, holding the last position of all the
    // keys that start at or before it.
    std::size_t kept = 0;
    int last = -1;
    for (const auto& [start, position] : steps_) {
        last = std::max(last, position);
        if (kept > 0 && steps_[kept - 1].first == start) {
            steps_[kept - 1].second = last;
        } else {
            steps_[kept++] = {start, last};
        }
    }
    steps_.resize(kept);
}

int KeySelection::selected(int32_t frame) const {
    const auto after = std::upper_bound(
        steps_.begin(), steps_.end(), frame,
        [](int32_t f, const std::pair<int32_t, int>& step) { return f < step.first; });
    return after == steps_.begin() ? -1 : std::prev(after)->second;
}

int KeySelection::acting(int32_t frame, double time) const {
    const int key = selected(frame);
    return key >= 0 && spanHolds(*keys_[static_cast<std::size_t>(key)], time) ? key : -1;
}

int selectedKey(const ShakeInstance& instance, int32_t frame) {
    return KeySelection(instance).selected(frame);
}

bool spanHolds(const ShakeKey& key, double time) {
    return key.startFrame / kKeyFrameRate <= time && time <= key.endFrame / kKeyFrameRate;
}

int actingKey(const ShakeInstance& instance, int32_t frame, double time) {
    return KeySelection(instance).acting(frame, time);
}

namespace {

double frameTime(int64_t frame, double fps) {
    return static_cast<double>(frame) / fps;
}

// Selection for frames beyond the 32-bit range the host can pass: below it no
// key has started, above it every key has.
int selectedAt(const KeySelection& selection, int64_t frame) {
    if (frame < std::numeric_limits<int32_t>::min()) {
        return -1;
    }
    const int64_t clamped = std::min<int64_t>(frame, std::numeric_limits<int32_t>::max());
    return selection.selected(static_cast<int32_t>(clamped));
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
    const KeySelection selection(instance);
    const std::vector<const ShakeKey*>& keys = selection.keys();
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
        const int by = selectedAt(selection, piece.first);
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

std::vector<FrameSpan> actingRuns(const ShakeInstance& instance, double fps, int key) {
    // Which key acts changes only where a key starts or a span begins or
    // ends; between those frames it stays the same.
    const KeySelection selection(instance);
    std::vector<int64_t> cuts;
    for (const ShakeKey* each : selection.keys()) {
        const FrameSpan span = spanFrames(*each, fps);
        cuts.push_back(each->startFrame);
        if (!span.empty()) {
            cuts.push_back(span.first);
            cuts.push_back(span.last + 1);
        }
    }
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    std::vector<FrameSpan> runs;
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
        const int64_t frame = cuts[i];
        if (frame < INT32_MIN || frame > INT32_MAX) {
            continue;
        }
        const int acting =
            selection.acting(static_cast<int32_t>(frame), static_cast<double>(frame) / fps);
        if (acting < 0 || (key != kAnyKey && acting != key)) {
            continue;
        }
        const FrameSpan piece = {frame, cuts[i + 1] - 1};
        if (!runs.empty() && runs.back().last + 1 == piece.first) {
            runs.back().last = piece.last;
        } else {
            runs.push_back(piece);
        }
    }
    return runs;
}

} // namespace vrim
