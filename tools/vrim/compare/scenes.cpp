// Two scenes compared in passes that hold one item's keys at a time: each
// scene read once to pair its blocks by address (and renames by their keys'
// digest), then both read again side by side for the pairs that differ.
#include "tools/vrim/compare/compare.h"
#include "tools/vrim/compare/internal.h"
#include "tools/vrim/module/analysis.h"
#include "tools/vrim/scene/findings.h"

#include <algorithm>
#include <optional>
#include <unordered_map>

namespace vrim::compare {

namespace {

// A fresh instance, as the host makes one for each item it loads: a block
// that the module leaves unread keeps the new instance's key, not the last
// block's.
class Loaded {
  public:
    Loaded(Session& session, const scene::Block& block)
        : session_(session), instance_(session.newInstance()) {
        session_.load(instance_, block.lines);
    }
    ~Loaded() { session_.release(instance_); }
    Loaded(const Loaded&) = delete;
    Loaded& operator=(const Loaded&) = delete;
    ShakeInstance* get() const { return instance_; }

  private:
    Session& session_;
    ShakeInstance* instance_;
};

void throwIfStopped(const scene::Reader& reader) {
    if (!reader.stopped()) {
        return;
    }
    for (const scene::Problem& problem : reader.problems()) {
        if (problem.stopsReading) {
            throw ToolError(reader.name() + ":" + std::to_string(problem.line) + ": " +
                            problem.message);
        }
    }
    throw ToolError(reader.name() + ": could not be read to its end");
}

struct Indexed {
    std::string address;
    std::size_t block = 0;
    uint64_t digest = 0;
    bool paired = false;
};

// One pass over a scene: every block loaded by the module and digested.
scene::Header indexScene(Session& session, const std::string& path,
                         const std::function<void(Indexed&&)>& each) {
    if (path.empty()) {
        return {};
    }
    scene::Reader reader = scene::Reader::open(path);
    for (scene::Event event = reader.next(); event != scene::Event::End; event = reader.next()) {
        if (event == scene::Event::Block) {
            const scene::Block& block = reader.block();
            const Loaded loaded(session, block);
            each({block.address, block.number, digestOf(keysOfInstance(*loaded.get())), false});
        }
    }
    throwIfStopped(reader);
    return reader.header();
}

struct Task {
    Change change = Change::Changed;
    std::size_t oldBlock = 0, newBlock = 0; // 0: not on that side
    bool sameKeys = false;                  // a pair whose keys digest alike
};

struct Plan {
    std::vector<Task> tasks; // by new block; removed ones last, by old block
    std::size_t unchanged = 0;
};

// Renames: a removed and an added block whose keys digest alike, each the
// only one of its side with that digest.
void pairRenames(std::vector<Indexed>& removed, std::vector<Indexed>& added, Plan& plan) {
    std::unordered_map<uint64_t, int> removedCount, addedCount;
    for (const Indexed& each : removed) {
        ++removedCount[each.digest];
    }
    for (const Indexed& each : added) {
        ++addedCount[each.digest];
    }
    std::unordered_map<uint64_t, Indexed*> removedBy;
    for (Indexed& each : removed) {
        if (removedCount[each.digest] == 1 && addedCount[each.digest] == 1) {
            removedBy[each.digest] = &each;
        }
    }
    for (Indexed& each : added) {
        const auto found = removedBy.find(each.digest);
        if (found != removedBy.end()) {
            plan.tasks.push_back({Change::Renamed, found->second->block, each.block, true});
            found->second->paired = each.paired = true;
        }
    }
}

// What the second pass must look at: pairs whose keys differ (every pair
// when the rate differs, since the same keys then act on other frames),
// renames, and items on one side only.
Plan planScenes(const std::unordered_map<std::string, Indexed>& old, std::vector<Indexed>& added,
                const std::vector<Task>& pairs, bool sameRate) {
    Plan plan;
    for (const Task& pair : pairs) {
        if (!pair.sameKeys || !sameRate) {
            plan.tasks.push_back(pair);
        } else {
            ++plan.unchanged;
        }
    }
    std::vector<Indexed> removed;
    for (const auto& [address, entry] : old) {
        if (!entry.paired) {
            removed.push_back({{}, entry.block, entry.digest, false});
        }
    }
    pairRenames(removed, added, plan);
    for (const Indexed& each : added) {
        if (!each.paired) {
            plan.tasks.push_back({Change::Added, 0, each.block, false});
        }
    }
    std::sort(plan.tasks.begin(), plan.tasks.end(),
              [](const Task& a, const Task& b) { return a.newBlock < b.newBlock; });
    std::sort(removed.begin(), removed.end(),
              [](const Indexed& a, const Indexed& b) { return a.block < b.block; });
    for (const Indexed& each : removed) {
        if (!each.paired) {
            plan.tasks.push_back({Change::Removed, each.block, 0, false});
        }
    }
    return plan;
}

// A scene read again for the blocks a pass wants, in order.
class Cursor {
  public:
    Cursor(const std::string& path, std::vector<std::size_t> wanted)
        : reader_(scene::Reader::open(path)), wanted_(std::move(wanted)) {
        std::sort(wanted_.begin(), wanted_.end());
        reader_.keepLinesOf([this](const scene::Block& block) {
            return std::binary_search(wanted_.begin(), wanted_.end(), block.number);
        });
    }
    Cursor(const Cursor&) = delete;
    Cursor& operator=(const Cursor&) = delete;

    std::size_t at() const { return at_; }
    // The block numbered number; throws when the scene has no such block
    // any more (it changed since the first pass).
    const scene::Block& seek(std::size_t number) {
        if (at_ == number) {
            return reader_.block();
        }
        while (at_ < number) {
            const scene::Event event = reader_.next();
            if (event == scene::Event::End) {
                break;
            }
            if (event == scene::Event::Block) {
                at_ = reader_.block().number;
            }
        }
        throwIfStopped(reader_);
        if (at_ != number) {
            throw ToolError(reader_.name() + " changed while it was compared",
                            ErrorKind::ChangedOnDisk);
        }
        return reader_.block();
    }

  private:
    scene::Reader reader_;
    std::vector<std::size_t> wanted_;
    std::size_t at_ = 0;
};

struct Sides {
    std::string oldPath, newPath;
    double oldFps = kKeyFrameRate, newFps = kKeyFrameRate;
};

ItemDiff diffOf(Session& session, const Task& task, const scene::Block* before,
                const scene::Block* after, const Sides& sides, double tolerance) {
    ItemDiff item;
    item.change = task.change;
    item.address = after != nullptr ? after->address : before->address;
    if (task.change == Change::Renamed) {
        item.oldAddress = before->address;
    }
    std::optional<Loaded> old, now;
    std::vector<KeyValues> oldKeys, newKeys;
    if (before != nullptr) {
        old.emplace(session, *before);
        oldKeys = keysOfInstance(*old->get());
    }
    if (after != nullptr) {
        now.emplace(session, *after);
        newKeys = keysOfInstance(*now->get());
    }
    item.oldKeys = oldKeys.size();
    item.newKeys = newKeys.size();
    item.keys = keyChanges(oldKeys, newKeys);
    item.motion = motionDifference(session, old ? old->get() : nullptr, sides.oldFps,
                                   now ? now->get() : nullptr, sides.newFps, tolerance);
    return item;
}

// The tasks that have a new block, in its order, the old scene read
// alongside; a pair whose old block the old scene has passed waits for
// another pass, so that blocks moved about in the file cost passes, not
// memory.
void runPairedTasks(
    std::vector<Task> pending, const Sides& sides,
    const std::function<void(const Task&, const scene::Block*, const scene::Block*)>& each) {
    while (!pending.empty()) {
        std::vector<std::size_t> oldWanted, newWanted;
        for (const Task& task : pending) {
            newWanted.push_back(task.newBlock);
            if (task.oldBlock != 0) {
                oldWanted.push_back(task.oldBlock);
            }
        }
        std::optional<Cursor> old;
        if (!oldWanted.empty()) {
            old.emplace(sides.oldPath, std::move(oldWanted));
        }
        Cursor now(sides.newPath, std::move(newWanted));
        std::vector<Task> later;
        for (const Task& task : pending) {
            const scene::Block& after = now.seek(task.newBlock);
            if (task.oldBlock == 0) {
                each(task, nullptr, &after);
            } else if (old->at() > task.oldBlock) {
                later.push_back(task);
            } else {
                each(task, &old->seek(task.oldBlock), &after);
            }
        }
        pending = std::move(later);
    }
}

void runTasks(
    const Plan& plan, const Sides& sides,
    const std::function<void(const Task&, const scene::Block*, const scene::Block*)>& each) {
    std::vector<Task> paired, removed;
    for (const Task& task : plan.tasks) {
        (task.newBlock != 0 ? paired : removed).push_back(task);
    }
    runPairedTasks(std::move(paired), sides, each);
    if (removed.empty()) {
        return;
    }
    std::vector<std::size_t> wanted;
    for (const Task& task : removed) {
        wanted.push_back(task.oldBlock);
    }
    Cursor old(sides.oldPath, std::move(wanted));
    for (const Task& task : removed) {
        each(task, &old.seek(task.oldBlock), nullptr);
    }
}

} // namespace

std::vector<KeyValues> keysOfInstance(const ShakeInstance& instance) {
    std::vector<KeyValues> keys;
    for (const ShakeKey* key : keysOf(instance)) {
        keys.push_back(valuesOf(*key));
    }
    return keys;
}

const char* changeName(Change change) {
    switch (change) {
    case Change::Changed:
        return "changed";
    case Change::Added:
        return "added";
    case Change::Removed:
        return "removed";
    case Change::Renamed:
        return "renamed";
    }
    return "";
}

namespace {

std::string rangeText(const std::optional<FrameRange>& frames, bool first) {
    if (!frames) {
        return "none";
    }
    return std::to_string(first ? frames->first : frames->last);
}

// Frames a..b (either order is empty) in words, en dash between.
std::string framesText(int64_t a, int64_t b) {
    return a == b ? "frame " + std::to_string(a)
                  : "frames " + std::to_string(a) + "\u2013" + std::to_string(b);
}

std::string rangeEffect(const std::optional<FrameRange>& before,
                        const std::optional<FrameRange>& after) {
    if (!before || !after) {
        return after ? "the scene now renders frames " + std::to_string(after->first) + "\u2013" +
                           std::to_string(after->last)
                     : "the scene no longer states the frames it renders";
    }
    std::vector<std::string> parts;
    auto span = [&parts](int64_t a, int64_t b, const char* what) {
        if (a <= b) {
            parts.push_back(framesText(a, b) + " " + what);
        }
    };
    span(after->first, std::min<int64_t>(before->first - 1, after->last), "join the range");
    span(before->first, std::min<int64_t>(after->first - 1, before->last), "leave the range");
    span(std::max<int64_t>(before->last + 1, after->first), after->last, "join the range");
    span(std::max<int64_t>(after->last + 1, before->first), before->last, "leave the range");
    std::string text;
    for (const std::string& part : parts) {
        text += (text.empty() ? "" : ", ") + part;
    }
    return text;
}

std::vector<HeaderChange> headerChanges(const SceneTiming& before, const SceneTiming& after) {
    std::vector<HeaderChange> changes;
    if (before.fps != after.fps) {
        changes.push_back({"frame rate", number(before.fps), number(after.fps),
                           "every key acts on other frames of the scene (keys count 30 frames "
                           "a second, the scene " +
                               number(after.fps) + ")"});
    }
    const std::string effect = rangeEffect(before.frames, after.frames);
    for (const bool first : {true, false}) {
        const std::string a = rangeText(before.frames, first), b = rangeText(after.frames, first);
        if (a != b) {
            changes.push_back({first ? "first frame" : "last frame", a, b, effect});
        }
    }
    return changes;
}

} // namespace

SceneTotals compareScenes(Session& session, const std::string& oldPath, const std::string& newPath,
                          const DiffOptions& options, const SceneListener& listener) {
    std::unordered_map<std::string, Indexed> old;
    const scene::Header oldHeader = indexScene(session, oldPath, [&old](Indexed&& each) {
        old.emplace(each.address, Indexed{{}, each.block, each.digest, false});
    });
    std::vector<Indexed> added;
    std::vector<Task> pairs;
    const scene::Header newHeader = indexScene(session, newPath, [&](Indexed&& each) {
        const auto found = old.find(each.address);
        if (found == old.end() || found->second.paired) {
            added.push_back({{}, each.block, each.digest, false});
            return;
        }
        found->second.paired = true;
        pairs.push_back({Change::Changed, found->second.block, each.block,
                         found->second.digest == each.digest});
    });
    const SceneTiming oldTiming = sceneTiming(oldHeader, std::nullopt, std::nullopt);
    const SceneTiming newTiming = sceneTiming(newHeader, std::nullopt, std::nullopt);
    const bool both = !oldPath.empty() && !newPath.empty();
    if (listener.header) {
        listener.header(both ? headerChanges(oldTiming, newTiming) : std::vector<HeaderChange>{});
    }
    const Plan plan = planScenes(old, added, pairs, !both || oldTiming.fps == newTiming.fps);
    old.clear();
    SceneTotals totals;
    totals.unchanged = plan.unchanged;
    const Sides sides{oldPath, newPath, oldTiming.fps, newTiming.fps};
    runTasks(
        plan, sides, [&](const Task& task, const scene::Block* before, const scene::Block* after) {
            const ItemDiff item = diffOf(session, task, before, after, sides, options.tolerance);
            if (item.change == Change::Changed && item.keys.empty() && !item.motion.moves()) {
                ++totals.unchanged;
                return;
            }
            totals.changed += item.change == Change::Changed;
            totals.added += item.change == Change::Added;
            totals.removed += item.change == Change::Removed;
            totals.renamed += item.change == Change::Renamed;
            totals.moving += item.motion.moves();
            if (listener.item) {
                listener.item(item);
            }
        });
    return totals;
}

} // namespace vrim::compare
