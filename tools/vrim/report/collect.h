// What the review page shows of one key block, gathered from the module: its
// keys as the key editor lists them, their values in words, and the item's
// motion over the frames, sampled by the module through the stand-in host.
#pragma once

#include "tools/vrim/module/session.h"
#include "tools/vrim/report/page.h"
#include "tools/vrim/scene/findings.h"

#include <optional>
#include <string>
#include <vector>

namespace vrim::report {

struct BlockSource {
    std::string name; // the item's name as the page shows it
    std::size_t firstLine = 0, lastLine = 0;
    const std::vector<std::string>* lines = nullptr; // as the host hands them to the module
    bool loaded = false;                             // the instance holds these lines already
    std::string address;                             // what --item takes; empty: the name
};

// Loads the block into instance (reused from block to block, so that a scene
// of many items holds one instance) and fills an item of the page. With plot
// false only the keys' list lines are read: the page lists the item without
// drawing it or putting its keys in words.
// The item's findings (check's, for its block) go with it, as many as its
// kind of entry shows.
PageItem collectItem(Session& session, ShakeInstance* instance, const BlockSource& block,
                     const std::vector<Finding>& findings, const vrim::SceneTiming& timing,
                     const Limits& limits, bool plot);

// Each key of the instance with the runs of frames in the range on which it
// moves the item, as the module picks the key; work grows with the keys, not
// the frames.
std::vector<PlotKey> keyRuns(const ShakeInstance& instance, double fps, const FrameRange& frames);

// A finding of check as the page shows it.
PageFinding pageFinding(const Finding& finding);

// A key's values in plain words, at the scene's rate.
std::string keyWords(const ShakeKey& key, double fps);

} // namespace vrim::report
