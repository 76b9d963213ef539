// The review page of `vrim report`: one self-contained HTML file (styles,
// script and pictures inline, nothing fetched) with every shaken item of the
// given scenes, its keys, findings and plot, and a player that steps through
// the samples the module computed. The page only shows numbers it is given;
// it never computes a position itself, and neither does its script.
#pragma once

#include "tools/vrim/plot/plot.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace vrim::report {

// Bounds that keep a page for hundreds of scenes a few megabytes: past them
// the page says which items and frames it left out.
struct Limits {
    std::size_t plottedItems = 200;   // items with a plot and player samples, in page order
    std::size_t framesPerItem = 2000; // samples per item; a longer range takes every nth frame
    std::size_t openItems = 30;       // up to this many items in the page, sections start open
    std::size_t listedItems = 10000;  // items past the plotted ones listed in a table row each
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

struct PageItem {
    std::string name;
    std::size_t firstLine = 0, lastLine = 0; // the key block's lines in the scene file
    std::vector<PageKey> keys;               // its first keys, up to the page's bound
    std::size_t keysLeftOut = 0;             // the keys it has past those
    std::vector<PageFinding> findings;       // check's first findings, up to the bound
    std::size_t findingsLeftOut = 0;         // check's findings past those
    bool plotted = false;                    // false: listed only, past Limits::plottedItems
    Plot plot;                 // samples and key spans; offsets from the item's rest at 0,0,0
    std::size_t frameStep = 1; // every nth frame sampled
};

struct PageScene {
    std::string path;
    double fps = 30.0;
    std::optional<FrameRange> frames; // absent: each item's own, from its keys
    std::string framesFrom;           // where rate and range come from, in words
    std::size_t findings = 0;
    std::vector<PageFinding> notes; // about the whole scene (no shake, cannot be read)
    std::vector<PageItem> items;
    std::size_t unlisted = 0; // items with a shake past the page's bounds: counted only
};

// Builds the page one scene at a time, so that a caller can let each scene's
// samples go once it is added. Only the page's own text is kept: its size is
// bounded by Limits and the number of scenes, not by the scenes' size.
class PageWriter {
  public:
    explicit PageWriter(const Limits& limits) : limits_(limits) {}
    void scene(const PageScene& scene);
    // The page in three pieces, written one after another: header, table of
    // contents and what was left out; the scenes; the player and the end.
    std::string head(const std::string& title) const;
    const std::vector<std::string>& body() const { return body_; }
    static std::string tail();
    std::string page(const std::string& title) const;

    std::size_t items() const { return items_; }
    std::size_t plotted() const { return plotted_; }

  private:
    struct Entry {
        std::string anchor, path;
        std::size_t items = 0, findings = 0;
    };
    Limits limits_;
    std::vector<Entry> toc_;
    std::vector<std::string> body_;
    std::size_t items_ = 0, plotted_ = 0, findings_ = 0;
    std::size_t listed_ = 0, unlisted_ = 0; // items in a row, items only counted
    std::size_t thinnedFrameStep_ = 1;      // largest frame step of any plotted item
};

// Text for HTML: markup characters escaped, and bytes that are not UTF-8
// (scene files are 8-bit) read as Latin-1 so that every name shows.
std::string htmlText(const std::string& text);

// The item's samples for the player, as JSON safe inside a script element.
std::string samplesJson(const PageItem& item, const std::string& id);

} // namespace vrim::report
