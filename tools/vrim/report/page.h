// The review page of `vrim report`: one self-contained HTML file (styles,
// script and pictures inline, nothing fetched) with every shaken item of the
// given scenes, its keys, findings and plot, and a player that steps through
// the samples the module computed. The page only shows numbers it is given;
// it never computes a position itself, and neither does its script.
#pragma once

#include "tools/vrim/plot/plot.h"

#include <array>
#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace vrim::report {

// Bounds that keep a page within tens of megabytes whatever the scenes hold
// (34 MB for a 200 MB scene of 15,750 shaken items): past them the page
// says which items and frames it left out.
struct Limits {
    std::size_t plottedItems = 200; // items with a plot and player samples, in page order
    // Every frame on which a key acts is sampled, up to this many per item
    // (past them every nth such frame); the frames where no key acts are
    // sampled about restSamples times over the range.
    std::size_t keyFrames = 5000;
    std::size_t restSamples = 200;
    std::size_t openItems = 30;       // up to this many items in the page, sections start open
    std::size_t listedItems = 8000;   // items past the plotted ones listed in a table row each
    std::size_t keysPerItem = 256;    // keys shown of a drawn item (the key editor lists 256)
    std::size_t keysPerRow = 8;       // keys shown in a listed item's row
    std::size_t findingsPerItem = 20; // findings shown of a drawn item; check prints them all
    std::size_t findingsPerRow = 3;   // findings shown in a listed item's row
};

struct PageKey {
    std::string listLine; // as the key editor lists it; empty: past the end of its list
    std::string words;    // its values in plain words; empty for an item listed, not drawn
};

struct PageFinding {
    std::string severity; // "error", "warning" or "note"
    std::size_t line = 0; // 1-based line of the scene file; 0: none
    std::string message;
};

// A pixel column of a plot where the samples are thinner than its frames:
// the extremes of the offsets over frames spread across the column, so that
// no period can alias into a false pattern.
struct EnvelopeColumn {
    double left = 0;                     // the column's left edge, in the plot's units
    std::array<double, 3> low{}, high{}; // NaN on an axis with no finite offset
    bool notANumber = false;             // some frame's position is not a number
};

struct PageItem {
    std::string name;
    std::string address;                     // what --item takes; the page's anchor for the item
    std::size_t firstLine = 0, lastLine = 0; // the key block's lines in the scene file
    std::vector<PageKey> keys;               // its first keys, up to the page's bound
    std::size_t keysLeftOut = 0;             // the keys it has past those
    std::vector<PageFinding> findings;       // check's first findings, up to the bound
    std::size_t findingsLeftOut = 0;         // check's findings past those
    std::size_t errors = 0, warnings = 0;    // of all its findings
    bool plotted = false;                    // false: listed only, past Limits::plottedItems
    Plot plot; // samples in frame order and key spans; offsets from the item's rest at 0,0,0
    std::size_t keyStep = 1;  // every nth frame sampled where a key acts (1: every frame)
    std::size_t restStep = 1; // every nth frame sampled where no key acts
    std::vector<EnvelopeColumn> envelope; // where keyStep > 1: the curves' columns
    // Against a previous version (report --against): how the item changed
    // ("changed", "added", "renamed"; empty: unchanged or not compared), the
    // changes in words, and the old version's samples, drawn beside the new.
    std::string change;
    std::vector<std::string> changes;
    std::vector<Sample> before;
};

// Where a page came from, for its provenance block.
struct PageSource {
    std::string when, version, commandLine;
    std::string module, moduleSha256; // absolute path, SHA-256 ("" when unreadable)
};

struct PageScene {
    std::string path;
    std::string absolutePath, sha256; // sha256 "": the file could not be read again
    std::size_t errors = 0, warnings = 0;
    double fps = 30.0;
    std::optional<FrameRange> frames; // absent: each item's own, from its keys
    std::string framesFrom;           // where rate and range come from, in words
    std::size_t findings = 0;         // errors and warnings of the scene and its items
    std::vector<PageFinding> notes;   // about the whole scene (no shake, cannot be read)
    std::vector<PageItem> items;
    std::size_t unlisted = 0; // items with a shake past the page's bounds: counted only
    bool compared = false;    // against a previous version: changed items first, the rest closed
};

// Builds the page one scene at a time, so that a caller can let each scene's
// samples go once it is added. Only the page's own text is kept: its size is
// bounded by Limits and the number of scenes, not by the scenes' size.
class PageWriter {
  public:
    explicit PageWriter(const Limits& limits) : limits_(limits) {}
    // Adds a scene; its items go in the order errors, warnings, clean. Each
    // drawn item's samples are let go as soon as its part of the page is made.
    void scene(PageScene scene);
    // The page as pieces to write one after another: header, provenance,
    // contents and what was left out; the scenes, those with errors first,
    // then those with warnings; the player and the end.
    std::vector<std::string_view> pieces(const std::string& head) const;
    std::string head(const std::string& title, const PageSource& source) const;
    static std::string tail();
    std::string page(const std::string& title, const PageSource& source = {}) const;

    std::size_t items() const { return items_; }
    std::size_t plotted() const { return plotted_; }
    std::size_t scenes() const { return toc_.size(); }

  private:
    struct Entry {
        std::string anchor, path, absolutePath, sha256;
        std::size_t items = 0, errors = 0, warnings = 0;
        std::size_t firstPiece = 0, pieces = 0; // its part of body_
        bool changed = false;                   // an item changed since the previous version
    };
    // A scene's items in page order, and which are drawn, listed or counted.
    struct Picked {
        std::vector<std::size_t> order, drawn, listed;
        std::size_t unlisted = 0;
    };
    std::vector<const Entry*> ordered() const; // errors first, then warnings, then clean
    std::string sceneAnchor(const std::string& path);
    Picked pick(const PageScene& scene);
    std::string itemDetails(PageItem& item, const std::string& id, bool open,
                            const std::string& file) const;
    std::string listedRow(const PageItem& item, const std::string& id,
                          const std::string& file) const;
    void appendListed(std::string& html, const PageScene& scene, const Picked& picked,
                      const std::vector<std::string>& ids, bool open);
    std::string provenance(const PageSource& source) const; // the page's head, in parts
    std::string samplingSummary() const;
    std::string contents() const;
    std::set<std::string> anchors_;
    Limits limits_;
    std::vector<Entry> toc_;
    std::vector<std::string> body_;
    std::size_t items_ = 0, plotted_ = 0, errors_ = 0, warnings_ = 0;
    std::size_t listed_ = 0, unlisted_ = 0;  // items in a row, items only counted
    std::size_t restStep_ = 1, keyStep_ = 1; // largest steps of any plotted item
    bool compared_ = false;                  // some scene is against a previous version
};

// Text for HTML: the bytes' own characters (UTF-8, else Windows-1252, as
// every output of the tool shows names), control characters as the visible
// escapes a terminal shows ("\x1b", "\u0085"), markup characters escaped.
std::string htmlText(const std::string& text);
// The same text before its markup characters are escaped, and those escaped.
std::string shownText(const std::string& bytes);
std::string markup(const std::string& text);
// A name as an id and a link's address: shown as above, with spaces and '%'
// %-escaped (an id holds no space, and a link's %-escapes are undone before
// it is looked up). Markup characters are left for markup() to escape.
std::string anchorText(const std::string& bytes);

// One stretch of a plot's frame axis and where it is drawn, in the plot's
// units (see chart.h).
struct AxisPiece {
    double fromFrame = 0, toFrame = 0;
    double left = 0, right = 0;
    bool squeezed = false; // no key acts here: drawn narrow, sampled thinly
};

// The item's samples for the player, as JSON safe inside a script element,
// with the pieces of its plot's frame axis (for the player's cursor).
std::string samplesJson(const PageItem& item, const std::string& id,
                        const std::vector<AxisPiece>& axis);

} // namespace vrim::report
