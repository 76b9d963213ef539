#include "tools/vrim/library/vrim.h"

#include "plugin/core/inspect.h"
#include "tools/vrim/edit/key_actions.h"
#include "tools/vrim/edit/scene_edit.h"
#include "tools/vrim/files/filesystem.h"
#include "tools/vrim/files/paths.h"
#include "tools/vrim/files/replace_file.h"
#include "tools/vrim/library/diff.h"
#include "tools/vrim/module/session.h"
#include "tools/vrim/report/review.h"
#include "tools/vrim/scene/batch.h"
#include "tools/vrim/scene/findings.h"
#include "tools/vrim/scene/inputs.h"
#include "tools/vrim/scene/motion.h"
#include "tools/vrim/scene/reader_choice.h"
#include "tools/vrim/validate/validate.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <shared_mutex>

namespace vrim::library {

namespace {

// Two locks, taken in this order when both are. inUse: every call that uses
// the live session shares it; a call that replaces the session (another
// module file, the validator's host) holds it alone. hostLock: held while
// the module or the stand-in host's records are touched, which are the
// process's. Reading scene files, and evaluating an instance no other call
// can reach, need only the first.
std::shared_mutex& inUse() {
    static std::shared_mutex lock;
    return lock;
}

std::mutex& hostLock() {
    static std::mutex lock;
    return lock;
}

Finding findingOf(const vrim::Finding& finding) {
    return {severityName(finding.severity), finding.kind, finding.line, finding.key,
            finding.message};
}

// The library's kind for a tool error, from the error's own kind; fallback
// is what the call's other errors are (a scene it cannot read, an edit
// refused).
Failure::Kind kindOf(const ToolError& e, Failure::Kind fallback) {
    switch (e.kind) {
    case ErrorKind::NoSuchItem:
        return Failure::Kind::Item;
    case ErrorKind::Module:
        return Failure::Kind::Module;
    case ErrorKind::WriteFailed:
        return Failure::Kind::Write;
    case ErrorKind::ChangedOnDisk:
        return Failure::Kind::Stale;
    case ErrorKind::Interrupted:
        return Failure::Kind::Interrupted;
    case ErrorKind::NoSuchFile:
        return Failure::Kind::Scene;
    case ErrorKind::BadInput:
    case ErrorKind::Refused:
        break;
    }
    return fallback;
}

// The file's size and last write, through the file-system layer; both 0
// when it cannot be looked at (the read that follows says why).
void stamp(const std::string& path, std::uint64_t& size, std::int64_t& modified) {
    files::FileInfo info;
    std::string error;
    const bool seen = files::systemFileSystem().stat(path, info, error);
    size = seen ? info.size : 0;
    modified = seen ? info.modified : 0;
}

} // namespace

Failure::Failure(Kind failureKind, const std::string& message, std::string sceneName,
                 std::string itemName, std::string actionText)
    : std::runtime_error(message), kind(failureKind), scene(std::move(sceneName)),
      item(std::move(itemName)), action(std::move(actionText)) {}

namespace {

// The stand-in host is one per process, so is the session on it: a Library
// of another module file takes it over, and any Library gets it back when it
// next calls. Scenes hold places in files, never the module's instances, so
// nothing a caller holds depends on which session is live.
struct Live {
    std::string path;
    std::unique_ptr<Session> session;
    std::unique_ptr<BlockChecker> checker;
    ShakeInstance* loaded = nullptr; // the instance keys() and offsets() load into
};

Live& live() {
    static Live session;
    return session;
}

// Call with inUse held alone and hostLock held.
void endLive() {
    Live& current = live();
    current.checker.reset();
    current.loaded = nullptr;
    current.session.reset();
    current.path.clear();
}

// Call with inUse held alone.
void startLive(const std::string& path) {
    std::lock_guard<std::mutex> hold(hostLock());
    endLive();
    Live& current = live();
    try {
        current.session = std::make_unique<Session>(path);
    } catch (const ToolError& e) {
        throw Failure(Failure::Kind::Module, e.what());
    }
    current.checker = std::make_unique<BlockChecker>(*current.session);
    current.checker->guard(&hostLock());
    current.path = path;
}

// The live session of one module file for the length of one call: shared
// with the other calls of that file, held alone by the call that had to
// load it (which thereby gets its own work done before another file's call
// can take the session over).
class Using {
  public:
    explicit Using(const std::string& path) {
        std::shared_lock<std::shared_mutex> shared(inUse());
        if (live().session && live().path == path) {
            shared_ = std::move(shared);
            return;
        }
        shared.unlock();
        alone_ = std::unique_lock<std::shared_mutex>(inUse());
        if (!(live().session && live().path == path)) {
            startLive(path);
        }
    }
    Live* operator->() const { return &live(); }
    Session& session() const { return *live().session; }

  private:
    std::shared_lock<std::shared_mutex> shared_;
    std::unique_lock<std::shared_mutex> alone_;
};

// The item's block read again from its bytes, numbered as in the whole
// file. Hands the block to use.
template <typename Use> auto readItem(const Scene& scene, const Item& item, Use use) {
    std::uint64_t size = 0;
    std::int64_t modified = 0;
    stamp(scene.path, size, modified);
    if (size != scene.size || modified != scene.modified) {
        throw Failure(Failure::Kind::Stale,
                      "'" + scene.path + "' changed on disk since it was opened; open it again",
                      scene.path, item.name);
    }
    // The block's own bytes, never more: its item's line may be far before
    // it (an item's thousandth block), and neither its keys nor its
    // findings depend on that line.
    std::string bytes(static_cast<std::size_t>(item.end - item.begin), '\0');
    std::string error;
    files::ReadingFile file(files::systemFileSystem(), scene.path, error);
    if (!file.isOpen() || !file.fs().seek(file.handle(), item.begin, error) ||
        file.readFull(bytes.data(), bytes.size(), error) != static_cast<int64_t>(bytes.size())) {
        throw Failure(Failure::Kind::Scene, "cannot read '" + scene.path + "'", scene.path,
                      item.name);
    }
    scene::Reader reader = scene::Reader::fromBytes(bytes, scene.path, item.firstLine, item.begin);
    for (scene::Event event = reader.next(); event != scene::Event::End; event = reader.next()) {
        if (event == scene::Event::Block) {
            return use(reader.block());
        }
    }
    throw Failure(Failure::Kind::Scene,
                  "'" + scene.path + "' no longer holds the block of " + item.name, scene.path,
                  item.name);
}

// The item's block loaded into the session's instance for use, the scene
// read before hostLock is taken.
template <typename Use>
auto withItem(const Using& session, const Scene& scene, const Item& item, Use use) {
    return readItem(scene, item, [&session, &use](const scene::Block& block) {
        std::lock_guard<std::mutex> hold(hostLock());
        if (session->loaded == nullptr) {
            session->loaded = session.session().newInstance();
        }
        session.session().load(session->loaded, block.lines);
        return use(*session->loaded);
    });
}

// An instance of one call's own, loaded from the item's block: no other
// call reaches it, so it is evaluated without hostLock.
class OwnInstance {
  public:
    OwnInstance(const Using& session, const Scene& scene, const Item& item) : session_(session) {
        instance_ = readItem(scene, item, [&session](const scene::Block& block) {
            std::lock_guard<std::mutex> hold(hostLock());
            ShakeInstance* made = session.session().newInstance();
            session.session().load(made, block.lines);
            return made;
        });
    }
    ~OwnInstance() {
        std::lock_guard<std::mutex> hold(hostLock());
        session_.session().release(instance_);
    }
    OwnInstance(const OwnInstance&) = delete;
    OwnInstance& operator=(const OwnInstance&) = delete;
    ShakeInstance* get() const { return instance_; }

  private:
    const Using& session_;
    ShakeInstance* instance_ = nullptr;
};

Item itemOf(const scene::Block& block, const BlockReport& report) {
    Item item;
    item.name = scene::blockName(block);
    item.block = block.number;
    item.kind = block.item ? scene::itemKindName(block.item->kind) : "";
    item.firstLine = block.whole.firstLine;
    item.lastLine = block.whole.lastLine;
    item.begin = block.whole.begin;
    item.end = block.whole.end;
    item.keyCount = report.keys;
    item.errors = report.errors;
    item.warnings = report.warnings;
    return item;
}

} // namespace

struct ItemStream::State {
    Scene scene; // its path and stamps; its timing once the first block is read
    scene::Reader reader;
    std::optional<SceneTiming> timing;
    std::chrono::steady_clock::time_point nextAsk{}; // of the interrupt check
    bool ended = false;
};

ItemStream::ItemStream(std::unique_ptr<State> state) : state_(std::move(state)) {}

ItemStream::~ItemStream() = default;

const Scene& ItemStream::scene() const {
    return state_->scene;
}

struct Library::State {
    std::string modulePath;
    std::function<bool()> interrupted;
};

namespace {

// One call's asking of the caller's interrupt check, between scenes, blocks
// and items, and every so many samples: at most every few milliseconds, so
// that a cheap block costs no more than a clock's reading, and an expensive
// one no more than its own time.
using Clock = std::chrono::steady_clock;

class Asker {
  public:
    // doing: what the call does ("reading"), to scene when there is one;
    // tail: what the refusal adds ("; nothing was written").
    Asker(const std::function<bool()>& interrupted, const char* doing, const std::string& scene,
          const char* tail = "")
        : Asker(interrupted, doing, scene, own_, tail) {}
    // With the time of the next asking kept by the caller, across calls
    // (a stream's items).
    Asker(const std::function<bool()>& interrupted, const char* doing, const std::string& scene,
          Clock::time_point& next, const char* tail = "")
        : interrupted_(interrupted), doing_(doing), tail_(tail), scene_(scene), next_(next) {}
    void operator()() {
        if (!interrupted_) {
            return;
        }
        const Clock::time_point now = Clock::now();
        if (now < next_) {
            return;
        }
        next_ = now + std::chrono::milliseconds(20);
        if (interrupted_()) {
            throw Failure(Failure::Kind::Interrupted,
                          std::string("interrupted while ") + doing_ +
                              (scene_.empty() ? "" : " '" + scene_ + "'") + tail_,
                          scene_);
        }
    }

  private:
    const std::function<bool()>& interrupted_;
    const char* doing_;
    const char* tail_;
    const std::string& scene_;
    Clock::time_point own_{};
    Clock::time_point& next_;
};

} // namespace

void Library::setInterruptCheck(std::function<bool()> interrupted) {
    state_->interrupted = std::move(interrupted);
}

Library::Library(const std::string& modulePath) : state_(std::make_unique<State>()) {
    state_->modulePath = modulePath.empty() ? vrim::defaultModulePath() : modulePath;
    const Using loaded(state_->modulePath);
}

Library::~Library() = default;

const std::string& Library::modulePath() const {
    return state_->modulePath;
}

Scene Library::open(const std::string& path) {
    const Using session(state_->modulePath);
    Scene result;
    result.path = path;
    stamp(path, result.size, result.modified);
    const scene::BlockSelector every;
    SceneCheck checked;
    Asker poll(state_->interrupted, "reading", path);
    try {
        checked = checkScene(path, every, std::nullopt, std::nullopt, *session->checker,
                             [&result, &poll](const BlockReport& report) {
                                 poll();
                                 result.items.push_back(itemOf(report.block, report));
                             });
    } catch (const ToolError& e) {
        throw Failure(kindOf(e, Failure::Kind::Scene), e.what(), path);
    }
    result.items.shrinkToFit();
    if (!checked.timing) {
        throw Failure(Failure::Kind::Scene, checked.error, path);
    }
    result.fps = checked.timing->fps;
    result.frameStep = checked.timing->step;
    if (checked.timing->frames) {
        result.firstFrame = checked.timing->frames->first;
        result.lastFrame = checked.timing->frames->last;
    }
    for (const vrim::Finding& finding : checked.findings) {
        result.findings.push_back(findingOf(finding));
    }
    result.errors = checked.errors;
    result.warnings = checked.warnings;
    return result;
}

std::unique_ptr<ItemStream> Library::stream(const std::string& path) {
    const Using loaded(state_->modulePath);
    Scene scene;
    scene.path = path;
    stamp(path, scene.size, scene.modified);
    try {
        return std::unique_ptr<ItemStream>(new ItemStream(std::make_unique<ItemStream::State>(
            ItemStream::State{std::move(scene), scene::Reader::open(path), {}, {}, false})));
    } catch (const ToolError& e) {
        throw Failure(kindOf(e, Failure::Kind::Scene), e.what(), path);
    }
}

std::optional<Item> Library::next(ItemStream& stream) {
    ItemStream::State& state = *stream.state_;
    if (state.ended) {
        return std::nullopt;
    }
    // The checker holds the host's lock while it checks a block; the scene
    // is read outside it.
    const Using session(state_->modulePath);
    BlockChecker& checker = *session->checker;
    Asker poll(state_->interrupted, "reading", state.scene.path, state.nextAsk);
    try {
        for (scene::Event event = state.reader.next(); event != scene::Event::End;
             event = state.reader.next()) {
            if (event != scene::Event::Block) {
                continue;
            }
            poll();
            if (!state.timing) {
                // Hosts write the header before any item: the first block
                // sees all of it.
                state.timing = sceneTiming(state.reader.header(), std::nullopt, std::nullopt);
                state.scene.fps = state.timing->fps;
                state.scene.frameStep = state.timing->step;
                if (state.timing->frames) {
                    state.scene.firstFrame = state.timing->frames->first;
                    state.scene.lastFrame = state.timing->frames->last;
                }
            }
            const scene::Block& block = state.reader.block();
            return itemOf(block, checker.check(block, *state.timing));
        }
    } catch (const ToolError& e) {
        state.ended = true;
        throw Failure(kindOf(e, Failure::Kind::Scene), e.what(), state.scene.path);
    }
    state.ended = true;
    if (state.reader.stopped()) {
        throw Failure(Failure::Kind::Scene, scene::stoppedMessage(state.reader), state.scene.path);
    }
    return std::nullopt;
}

std::vector<Finding> Library::findings(const Scene& scene, const Item& item) {
    const Using session(state_->modulePath);
    SceneTiming timing;
    timing.fps = scene.fps;
    if (scene.firstFrame && scene.lastFrame) {
        timing.frames = FrameRange{*scene.firstFrame, *scene.lastFrame};
    }
    return readItem(scene, item, [&](const scene::Block& block) {
        std::vector<Finding> found;
        for (const vrim::Finding& finding : session->checker->check(block, timing).findings) {
            found.push_back(findingOf(finding));
        }
        return found;
    });
}

std::vector<Key> Library::keys(const Scene& scene, const Item& item) {
    const Using session(state_->modulePath);
    return withItem(session, scene, item, [](const ShakeInstance& instance) {
        std::vector<Key> keys;
        for (const ShakeKey* key : inspect::keysOf(instance)) {
            keys.push_back({key->startFrame,
                            key->endFrame,
                            key->freqTime,
                            {key->widthX, key->widthY, key->widthZ},
                            key->fallOff != 0});
        }
        return keys;
    });
}

std::vector<double> Library::defaultFrames(const Scene& scene, const Item& item) {
    FrameRange range;
    if (scene.firstFrame && scene.lastFrame) {
        range = {*scene.firstFrame, *scene.lastFrame};
    } else {
        const Using session(state_->modulePath);
        range = withItem(session, scene, item, [&scene](const ShakeInstance& instance) {
            return framesOfKeys(instance, scene.fps);
        });
    }
    try {
        return sampleFrames(range, scene.frameStep);
    } catch (const ToolError& e) {
        throw Failure(Failure::Kind::Usage, std::string(e.what()) + "; give the frames", scene.path,
                      item.name);
    }
}

void Library::evaluateInto(const Scene& scene, const Item& item, const double* frames,
                           std::size_t count, double fps, const double* rest, double* out,
                           bool times) {
    if (!(std::isfinite(fps) && fps > 0.0)) {
        throw Failure(Failure::Kind::Usage, "the frame rate must be a number above 0", scene.path,
                      item.name);
    }
    const Using session(state_->modulePath);
    const OwnInstance instance(session, scene, item);
    const double still[3] = {0.0, 0.0, 0.0};
    Asker poll(state_->interrupted, "evaluating an item of", scene.path);
    constexpr std::size_t kSamplesBetweenPolls = 65536;
    for (std::size_t i = 0; i < count; ++i) {
        if (i % kSamplesBetweenPolls == 0) {
            poll();
        }
        // The host passes the whole frame at or before the sample, and the
        // sample's own time, as bake does.
        const double frame = times ? frames[i] * fps : frames[i];
        const double time = times ? frames[i] : frame / fps;
        if (!std::isfinite(frame) || std::fabs(frame) > 2147483647.0) {
            throw Failure(Failure::Kind::Usage,
                          (times ? "time " : "frame ") + std::to_string(frames[i]) +
                              " is not within the 32-bit frames",
                          scene.path, item.name);
        }
        const Session::Motion motion = session.session().evaluateOnThisThread(
            instance.get(), static_cast<std::int32_t>(std::floor(frame)), time,
            rest != nullptr ? rest + i * 3 : still);
        double* row = out + i * 5;
        row[0] = frame;
        row[1] = time;
        for (int axis = 0; axis < 3; ++axis) {
            row[2 + axis] = motion.position[axis];
        }
    }
}

std::vector<Row> Library::offsets(const Scene& scene, const Item& item,
                                  const std::vector<double>& frames, std::optional<double> fps) {
    const std::vector<double> picked = frames.empty() ? defaultFrames(scene, item) : frames;
    std::vector<Row> rows(picked.size());
    evaluateInto(scene, item, picked.data(), picked.size(), fps.value_or(scene.fps), nullptr,
                 rows.empty() ? nullptr : rows[0].data());
    return rows;
}

namespace {

// One scene of check() into result.
void checkOne(BlockChecker& checker, const std::function<bool()>& interrupted,
              const std::string& path, CheckResult& result) {
    std::vector<SceneFinding>& found = result.findings;
    const scene::BlockSelector every;
    SceneCheck checked;
    Asker poll(interrupted, "checking", path);
    poll(); // a folder of many scenes without a block is long work too
    try {
        checked = checkScene(path, every, std::nullopt, std::nullopt, checker,
                             [&found, &path, &poll](const BlockReport& report) {
                                 poll();
                                 for (const vrim::Finding& finding : report.findings) {
                                     found.push_back({path, scene::blockName(report.block),
                                                      report.block.number, findingOf(finding)});
                                 }
                             });
    } catch (const ToolError& e) {
        // One scene's trouble does not stop the gate: it is that scene's error.
        if (e.kind == ErrorKind::Interrupted || e.kind == ErrorKind::Module) {
            throw Failure(kindOf(e, Failure::Kind::Scene), e.what(), path);
        }
        checked.error = e.what();
        checked.errors = 1;
    }
    for (const vrim::Finding& finding : checked.findings) {
        found.push_back({path, "", 0, findingOf(finding)});
    }
    if (!checked.timing && checked.findings.empty()) {
        found.push_back({path, "", 0, {"error", "unreadable", 0, 0, checked.error}});
    }
    result.files.push_back({path, checked.blocks, checked.keys, checked.errors, checked.warnings,
                            checked.noShake, checked.error});
    result.blocks += checked.blocks;
    result.keys += checked.keys;
    result.errors += checked.errors;
    result.warnings += checked.warnings;
}

} // namespace

CheckResult Library::check(const std::vector<std::string>& paths, bool recursive) {
    std::vector<std::string> files;
    try {
        files = scene::sceneFiles(paths, recursive);
    } catch (const ToolError& e) {
        throw Failure(kindOf(e, Failure::Kind::Scene), e.what());
    }
    if (files.empty()) {
        throw Failure(Failure::Kind::Scene,
                      recursive ? "no scene file (.lws) in the folders given"
                                : "no scene file (.lws) in the folders given; their sub-folders "
                                  "are looked in with recursive=True");
    }
    const Using session(state_->modulePath);
    CheckResult result;
    for (const std::string& path : files) {
        checkOne(*session->checker, state_->interrupted, path, result);
    }
    result.status = result.errors > 0 ? 2 : result.warnings > 0 ? 1 : 0;
    return result;
}

namespace {

std::vector<edit::EditAction> parsedActions(const std::string& path, const std::string& item,
                                            const std::vector<Action>& given) {
    std::vector<edit::EditAction> actions;
    for (std::size_t i = 0; i < given.size(); ++i) {
        const Action& action = given[i];
        try {
            actions.push_back(edit::parseEditAction(action.option, action.value));
        } catch (const ToolError& e) {
            Failure refused(Failure::Kind::Usage, e.what(), path, item,
                            "--" + action.option +
                                (action.value.empty() ? "" : " " + action.value));
            refused.actionIndex = static_cast<std::ptrdiff_t>(i);
            throw refused;
        }
    }
    return actions;
}

// The actions each item plays: its own list, else the common one (under "").
using Plays = std::map<std::string, std::vector<edit::EditAction>>;

Plays parsedPlays(const std::string& path, const EditRequest& request) {
    Plays plays;
    if (!request.actions.empty()) {
        plays[""] = parsedActions(path, "", request.actions);
    }
    for (const auto& [item, actions] : request.itemActions) {
        if (actions.empty()) {
            throw Failure(Failure::Kind::Usage, "give at least one action for " + item, path, item);
        }
        if (!plays.emplace(item, parsedActions(path, item, actions)).second) {
            throw Failure(Failure::Kind::Usage, "the actions of " + item + " are given twice", path,
                          item);
        }
    }
    if (plays.empty()) {
        throw Failure(Failure::Kind::Usage, "give at least one action", path);
    }
    return plays;
}

// The choices of a request as the command takes them: the same pairs are
// refused, so that a script and `vrim edit` never differ on what a second
// run does to SCENE.bak.
edit::SceneEditOptions editOptions(const std::string& path, const EditRequest& request) {
    if (request.overwriteBackup && !request.backup) {
        throw Failure(Failure::Kind::Usage,
                      "overwrite_backup lets backup replace an existing SCENE.bak; without "
                      "backup it does nothing: give both, or neither",
                      path);
    }
    if (request.backup && request.dryRun) {
        throw Failure(Failure::Kind::Usage,
                      "dry_run writes nothing, not even the backup that backup asks for: give "
                      "one or the other",
                      path);
    }
    edit::SceneEditOptions options;
    // Addresses and numbers go to the edit as they are: it finds them in its
    // one read of the scene.
    for (const std::string& item : request.items) {
        options.blocks.address(item);
    }
    for (const std::size_t block : request.blocks) {
        options.blocks.number(block);
    }
    options.allItems = request.allItems;
    options.dryRun = request.dryRun;
    options.backup = request.backup;
    options.overwriteBackup = request.overwriteBackup;
    options.strict = request.strict;
    options.policy.force = request.force;
    options.policy.breakHardLinks = request.breakHardLinks;
    return options;
}

// The key editor's player, remembering which item and action it was at:
// a refusal names them although the player is gone by then.
class Witnessed final : public edit::PanelUser {
  public:
    Witnessed(std::unique_ptr<edit::ActionPlayer> player, std::ptrdiff_t& action)
        : player_(std::move(player)), action_(action) {}
    std::optional<standin::PanelAction> next(standin::Panel& panel) override {
        std::optional<standin::PanelAction> done = player_->next(panel);
        action_ = player_->playing().action.empty()
                      ? -1
                      : static_cast<std::ptrdiff_t>(player_->playingIndex());
        return done;
    }
    std::string failure() const override { return player_->failure(); }
    bool cancelled() const override { return player_->cancelled(); }
    edit::Playing playing() const override { return player_->playing(); }

  private:
    std::unique_ptr<edit::ActionPlayer> player_;
    std::ptrdiff_t& action_;
};

// An unknown item is one the edit never reached: the refusal names it. Else
// it was a number: the blocks asked for by number, the edit's message
// telling which of them.
std::string unreached(const scene::BlockSelector& blocks, const std::set<std::string>& reached) {
    std::string names;
    for (const std::string& name : blocks.addresses()) {
        if (reached.count(name) == 0) {
            names += (names.empty() ? "" : ", ") + name;
        }
    }
    if (!names.empty()) {
        return names;
    }
    for (const std::size_t number : blocks.numbers()) {
        names += (names.empty() ? "block " : ", block ") + std::to_string(number);
    }
    return names;
}

EditResult editResultOf(const edit::SceneEditResult& edited) {
    EditResult result{edited.edited,
                      edited.unchanged,
                      edited.written,
                      edited.diff,
                      edited.notes,
                      edited.unasked,
                      {}};
    for (const edit::BlockEdit& block : edited.blocks) {
        for (const edit::KeyChange& change : block.changes) {
            result.changes.push_back({block.address, block.block, edit::kindName(change.kind),
                                      change.key, change.was, change.field, change.before,
                                      change.after, change.asked});
        }
    }
    return result;
}

} // namespace

EditResult Library::edit(const std::string& path, const EditRequest& request) {
    const Plays plays = parsedPlays(path, request);
    edit::SceneEditOptions options = editOptions(path, request);
    for (const auto& [item, actions] : request.itemActions) {
        options.blocks.address(item);
    }
    if (options.blocks.everyBlock() && !options.allItems) {
        throw Failure(Failure::Kind::Usage, "give the item to edit (or all_items)", path);
    }
    const Using using_(state_->modulePath);
    std::lock_guard<std::mutex> hold(hostLock());
    Session& session = using_.session();
    edit::ChangeFinder changes(session);
    options.changes = &changes;
    Asker poll(state_->interrupted, "editing", path, "; nothing was written");
    options.poll = [&poll] { poll(); };
    std::string current;
    const std::vector<edit::EditAction>* playing = nullptr;
    std::ptrdiff_t action = -1;
    std::set<std::string> reached;
    options.user = [&](const std::string& item) -> std::unique_ptr<edit::PanelUser> {
        current = item;
        reached.insert(item);
        action = -1;
        const auto own = plays.find(item);
        playing = own != plays.end() ? &own->second : &plays.at("");
        return std::make_unique<Witnessed>(
            std::make_unique<edit::ActionPlayer>(session.panelHost(), *playing), action);
    };
    try {
        return editResultOf(edit::editScene(session, files::systemFileSystem(), path, options));
    } catch (const edit::StrictRefusal& e) {
        Failure refused(Failure::Kind::Edit, e.what(), path, current, "strict");
        refused.unasked = e.unasked;
        throw refused;
    } catch (const ToolError& e) {
        const Failure::Kind kind = kindOf(e, Failure::Kind::Edit);
        if (kind == Failure::Kind::Item) {
            throw Failure(kind, e.what(), path, unreached(options.blocks, reached));
        }
        Failure refused(kind, e.what(), path, current,
                        action >= 0 ? (*playing)[static_cast<std::size_t>(action)].text : "");
        refused.actionIndex = action;
        throw refused;
    }
}

ReportResult Library::report(const std::vector<std::string>& paths, const std::string& page,
                             const ReportRequest& request) {
    if (page.empty() || page == "-") {
        throw Failure(Failure::Kind::Usage, "give the page a file to be written to");
    }
    if (request.frames && request.frames->first > request.frames->second) {
        throw Failure(Failure::Kind::Usage, "frames: the first frame is after the last");
    }
    if (request.fps && !(std::isfinite(*request.fps) && *request.fps > 0)) {
        throw Failure(Failure::Kind::Usage, "fps: not a frame rate above 0");
    }
    const Using session(state_->modulePath);
    std::lock_guard<std::mutex> hold(hostLock());
    std::vector<std::string> files;
    try {
        files = scene::sceneFiles(paths, request.recursive);
    } catch (const ToolError& e) {
        throw Failure(Failure::Kind::Scene, e.what());
    }
    std::vector<std::string> inputs = files;
    inputs.push_back(state_->modulePath);
    files::FileWriter writer(files::systemFileSystem(), page, {}, inputs);
    std::string error;
    // Refused now, before the scenes are read, if the page may not go there.
    if (!writer.open(error)) {
        throw Failure(Failure::Kind::Write, "'" + page + "': " + error);
    }
    report::ReviewSetup setup;
    setup.title = request.title;
    setup.modulePath = state_->modulePath;
    setup.blocks = scene::BlockSelector::given(request.item, request.block);
    setup.fps = request.fps;
    if (request.frames) {
        setup.frames = FrameRange{request.frames->first, request.frames->second};
    }
    setup.limits.plottedItems = request.plots;
    const std::string none;
    Asker poll(state_->interrupted, "writing the review page", none, "; nothing was written");
    setup.poll = [&poll] { poll(); };
    report::Review review(session.session(), std::move(setup));
    for (const std::string& path : files) {
        poll();
        review.scene(path);
    }
    const std::size_t bytes = review.write([&](std::string_view piece) {
        if (error.empty()) {
            writer.write(piece.data(), piece.size(), error);
        }
    });
    if (!error.empty() || !writer.finish(error)) {
        throw Failure(Failure::Kind::Write, "'" + page + "': " + error + "; nothing was written");
    }
    ReportResult result{
        page, bytes, review.items(), review.plotted(), review.errors(), review.warnings(), {}};
    for (const report::ReviewedScene& scene : review.scenes()) {
        result.scenes.push_back({scene.path, scene.blocks, scene.plotted, scene.listed,
                                 scene.unlisted, scene.errors, scene.warnings, scene.error});
    }
    return result;
}

std::string defaultModulePath() {
    return vrim::defaultModulePath();
}

std::string moduleLine() {
    return vrim::moduleLine();
}

Validation validate(const std::string& modulePath, std::uint64_t seed) {
    const std::unique_lock<std::shared_mutex> alone(inUse());
    std::lock_guard<std::mutex> hold(hostLock());
    // The validator activates the module in a host of its own, and the
    // module keeps the services of the host that activated it last: a live
    // session would be left calling services that are gone. The next call
    // loads the module again.
    endLive();
    validate::Options options;
    options.modulePath = modulePath.empty() ? vrim::defaultModulePath() : modulePath;
    options.seed = seed;
    std::FILE* out = std::tmpfile();
    if (out == nullptr) {
        throw Failure(Failure::Kind::Usage, "cannot make a temporary file for the validator");
    }
    Validation result;
    try {
        const std::unique_ptr<validate::RunWriter> writer = validate::textWriter(out);
        result.failed = validate::run(options, *writer);
    } catch (const ToolError& e) {
        std::fclose(out);
        throw Failure(Failure::Kind::Module, e.what());
    }
    std::rewind(out);
    std::string line;
    for (int c = std::fgetc(out); c != EOF; c = std::fgetc(out)) {
        if (c == '\n') {
            result.lines.push_back(line);
            line.clear();
        } else {
            line += static_cast<char>(c);
        }
    }
    if (!line.empty()) {
        result.lines.push_back(line);
    }
    std::fclose(out);
    return result;
}

std::string Library::diff(const std::string& oldPath, const std::string& newPath, double tolerance,
                          bool recursive) {
    const Using session(state_->modulePath);
    std::lock_guard<std::mutex> hold(hostLock());
    try {
        return diffDocument(session.session(), oldPath, newPath, tolerance, recursive);
    } catch (const ToolError& e) {
        throw Failure(kindOf(e, Failure::Kind::Usage), e.what());
    }
}

} // namespace vrim::library
