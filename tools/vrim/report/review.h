// One review page over several scenes: each scene checked as `vrim check`
// checks it, its items gathered with their samples, and the page written in
// pieces to whatever sink the caller has (the command's output, or the
// library's writer). Memory stays within the page's bounds.
#pragma once

#include "tools/vrim/report/against.h"
#include "tools/vrim/report/page.h"
#include "tools/vrim/scene/batch.h"
#include "tools/vrim/scene/findings.h"

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vrim::report {

struct ReviewSetup {
    std::string title = "Shake review";
    std::string modulePath; // the module file the session loaded
    scene::BlockSelector blocks;
    std::optional<double> fps; // --fps; unset: each scene's own
    std::optional<FrameRange> frames;
    Limits limits;
    // Called before each block is gathered; may throw to end the review.
    std::function<void()> poll;
};

// What the page holds of one scene.
struct ReviewedScene {
    std::string path;
    std::size_t blocks = 0, plotted = 0, listed = 0, unlisted = 0;
    int errors = 0, warnings = 0;
    std::string error; // why the scene could not be used whole; empty when it was
};

class Review {
  public:
    Review(Session& session, ReviewSetup setup);
    Review(const Review&) = delete;
    Review& operator=(const Review&) = delete;

    // Checks one scene and gathers it for the page; returns why it could not
    // be used whole (empty: it could). The page shows that too.
    std::string scene(const std::string& path);
    // The same against a previous version: its changed items first, with
    // their old curves and their changes; the unchanged ones folded away.
    std::string scene(const std::string& path, const Against& against);
    // Writes the whole page, piece by piece; returns its size in bytes.
    std::size_t write(const std::function<void(std::string_view)>& put) const;

    const std::vector<ReviewedScene>& scenes() const { return scenes_; }
    std::size_t items() const { return page_.items(); }
    std::size_t plotted() const { return page_.plotted(); }
    int errors() const { return errors_; }
    int warnings() const { return warnings_; }

  private:
    // What the page shows of a previous version: the items that changed, by
    // their new address, and the old samples of those it draws.
    struct Earlier {
        std::map<std::string, const compare::ItemDiff*> changed;
        std::map<std::string, std::vector<Sample>> samples;
    };
    std::string review(const std::string& path, const Against* against);
    Earlier earlier(const Against& against);
    // Adds the block as an item of the scene, drawn while plots are left,
    // listed while rows are, else only counted; whether it is drawn.
    bool gather(PageScene& scene, const scene::Block& block, const std::vector<Finding>& findings,
                const SceneTiming& timing, Earlier& earlier);
    // The scene's own findings and the changes' notes, its timing and counts.
    void describe(PageScene& scene, const SceneCheck& checked, const Against* against) const;
    // The previous version's samples of the items that changed, by their
    // new address; as many as the page still draws.
    std::map<std::string, std::vector<Sample>> before(const Against& against);
    Session& session_;
    ReviewSetup setup_;
    PageSource source_;
    BlockChecker checker_; // check's own analysis, so the page lists what check prints
    PageWriter page_;
    // Past these the items are only counted.
    std::size_t plotsLeft_, rowsLeft_;
    std::vector<ReviewedScene> scenes_;
    int errors_ = 0, warnings_ = 0;
};

} // namespace vrim::report
