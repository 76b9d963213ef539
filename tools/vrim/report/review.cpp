#include "tools/vrim/report/review.h"

#include "tools/vrim/report/collect.h"
#include "tools/vrim/report/provenance.h"
#include "tools/vrim/scene/reader_choice.h"

#include <utility>

namespace vrim::report {

namespace {

// Where the scene's rate and range came from, in words for the page.
std::string timingSource(const ReviewSetup& setup, const SceneTiming& timing) {
    std::string words =
        setup.fps ? "Frame rate from --fps" : "Frame rate from the scene (30 when it states none)";
    words += setup.frames    ? "; frames from --frames."
             : timing.frames ? "; frames from the scene."
                             : "; frames from each item's keys (the scene states no range).";
    return words;
}

// The block as the page's item reads it: the checker's instance holds the
// block just checked, so its keys are read there rather than loaded again.
BlockSource blockSource(const scene::Block& block) {
    return {scene::blockName(block),
            static_cast<std::size_t>(block.whole.firstLine),
            static_cast<std::size_t>(block.whole.lastLine),
            &block.lines,
            true,
            block.address};
}

} // namespace

Review::Review(Session& session, ReviewSetup setup)
    : session_(session), setup_(std::move(setup)), checker_(session), page_(setup_.limits),
      plotsLeft_(setup_.limits.plottedItems), rowsLeft_(setup_.limits.listedItems) {
    source_.when = utcNow();
    source_.version = vrimVersion();
    source_.commandLine = commandLine();
    source_.module = absolutePath(setup_.modulePath);
    source_.moduleSha256 = sha256File(setup_.modulePath);
}

std::string Review::scene(const std::string& path) {
    return review(path, nullptr);
}

std::string Review::scene(const std::string& path, const Against& against) {
    return review(path, &against);
}

std::map<std::string, std::vector<Sample>> Review::before(const Against& against) {
    std::map<std::string, std::string> wanted; // old address -> new
    for (const compare::ItemDiff& item : against.items) {
        if (item.change == compare::Change::Changed && wanted.size() < plotsLeft_) {
            wanted[item.address] = item.address;
        } else if (item.change == compare::Change::Renamed && wanted.size() < plotsLeft_) {
            wanted[item.oldAddress] = item.address;
        }
    }
    std::map<std::string, std::vector<Sample>> samples;
    if (wanted.empty() || against.oldPath.empty()) {
        return samples;
    }
    // Read as the new version is, at the same --fps and --frames; what check
    // finds in the old version is not this page's business.
    checkScene(against.oldPath, setup_.blocks, setup_.fps, setup_.frames, checker_,
               [&](const scene::Block& block, const BlockReport&, const SceneTiming& timing) {
                   if (setup_.poll) {
                       setup_.poll();
                   }
                   const auto found = wanted.find(block.address);
                   if (found == wanted.end()) {
                       return;
                   }
                   PageItem old = collectItem(session_, checker_.instance(), blockSource(block), {},
                                              timing, setup_.limits, true);
                   samples[found->second] = std::move(old.plot.samples);
               });
    return samples;
}

Review::Earlier Review::earlier(const Against& against) {
    Earlier earlier;
    for (const compare::ItemDiff& item : against.items) {
        if (item.change != compare::Change::Removed) {
            earlier.changed[item.address] = &item;
        }
    }
    earlier.samples = before(against);
    return earlier;
}

std::string Review::review(const std::string& path, const Against* against) {
    Earlier earlier = against != nullptr ? this->earlier(*against) : Earlier{};
    PageScene scene;
    scene.compared = against != nullptr;
    scene.path = path;
    scene.absolutePath = absolutePath(path);
    std::size_t plotted = 0;
    // The checksum is of the bytes checked, taken as they are read: the file
    // is read once, and a file changed meanwhile cannot get another's sum.
    Sha256 hash;
    const SceneCheck checked = checkScene(
        path, setup_.blocks, setup_.fps, setup_.frames, checker_,
        [&](const scene::Block& block, const BlockReport& report, const SceneTiming& timing) {
            if (setup_.poll) {
                setup_.poll();
            }
            plotted += gather(scene, block, report.findings, timing, earlier);
        },
        [&](std::string_view bytes) { hash.update(bytes); });
    describe(scene, checked, against);
    // A scene read only in part (a problem stopped the reader) is hashed
    // whole on its own; standard input cannot be read again.
    if (checked.readWhole) {
        scene.sha256 = hash.finish();
    } else if (path != "-" && checked.timing) {
        scene.sha256 = sha256File(path);
    }
    scenes_.push_back({path, checked.blocks, plotted, scene.items.size() - plotted, scene.unlisted,
                       checked.errors, checked.warnings, checked.error});
    errors_ += checked.errors;
    warnings_ += checked.warnings;
    page_.scene(std::move(scene));
    return checked.error;
}

bool Review::gather(PageScene& scene, const scene::Block& block,
                    const std::vector<Finding>& findings, const SceneTiming& timing,
                    Earlier& earlier) {
    const bool plot = plotsLeft_ > 0;
    if (!plot && rowsLeft_ == 0) {
        ++scene.unlisted;
        return false;
    }
    (plot ? plotsLeft_ : rowsLeft_) -= 1;
    scene.items.push_back(collectItem(session_, checker_.instance(), blockSource(block), findings,
                                      timing, setup_.limits, plot));
    const auto found = earlier.changed.find(block.address);
    if (found != earlier.changed.end()) {
        PageItem& item = scene.items.back();
        item.change = compare::changeName(found->second->change);
        item.changes = changeLines(*found->second);
        if (plot && earlier.samples.count(block.address) > 0) {
            item.before = std::move(earlier.samples[block.address]);
        }
    }
    return plot;
}

void Review::describe(PageScene& scene, const SceneCheck& checked, const Against* against) const {
    for (const Finding& finding : checked.findings) {
        scene.notes.push_back(pageFinding(finding));
    }
    if (against != nullptr) {
        for (PageFinding& note : againstNotes(*against)) {
            scene.notes.push_back(std::move(note));
        }
    }
    if (checked.timing) {
        scene.fps = checked.timing->fps;
        scene.frames = checked.timing->frames;
        scene.framesFrom = timingSource(setup_, *checked.timing);
    }
    scene.errors = static_cast<std::size_t>(checked.errors);
    scene.warnings = static_cast<std::size_t>(checked.warnings);
    scene.findings = scene.errors + scene.warnings;
}

std::size_t Review::write(const std::function<void(std::string_view)>& put) const {
    const std::string head = page_.head(setup_.title, source_), tail = PageWriter::tail();
    std::vector<std::string_view> pieces = page_.pieces(head);
    pieces.push_back(tail);
    std::size_t bytes = 0;
    for (std::string_view piece : pieces) {
        put(piece);
        bytes += piece.size();
    }
    return bytes;
}

} // namespace vrim::report
