#include "tools/vrim/report/page.h"

#include "tools/vrim/report/assets.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace vrim::report {

namespace {

// The three planes a reviewer sees the point move in: front looks down Z,
// side down X, top down Y. Axes are indexes into a sample's offsets.
struct Plane {
    const char* name;
    int across, up;
    const char* acrossName;
    const char* upName;
};
constexpr Plane kPlanes[3] = {
    {"front", 0, 1, "X", "Y"},
    {"side", 2, 1, "Z", "Y"},
    {"top", 0, 2, "X", "Z"},
};
constexpr double kPlaneSize = 110; // one plane's square, in SVG units
constexpr double kPlaneGap = 12;   // between the squares
constexpr double kPlaneReach = 46; // from the centre to the largest offset
constexpr double kPlaneLabel = 18;
constexpr std::size_t kOpenContents =
    40; // scenes in a contents list that starts open // room for the label under each square

// As "%.<decimals>f", without printf's cost: samples and plane views are
// thousands of numbers.
std::string fixed(int decimals, double value) {
    char text[400];
    const auto end =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals).ptr;
    return std::string(text, end);
}

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

std::string count(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Offsets as the player shows them, so that the page without script reads
// the same as with it.
std::string offsetText(double value) {
    if (std::isnan(value)) {
        return "NaN";
    }
    if (std::isinf(value)) {
        return value > 0 ? "inf" : "-inf";
    }
    std::string text = fixed(6, value);
    return text == "-0.000000" ? "0.000000" : text;
}

// The plot of `preview --svg` made part of the page: without its XML
// declaration, sized by the page's style, with a cursor the player moves.
std::string inlinePlot(const Plot& plot, const std::string& id) {
    // Pieces are copied into a new string: GCC 12 at -O3 warns falsely about
    // overlapping copies in std::string::insert.
    const std::string svg = plotSvg(plot);
    std::size_t from = svg.rfind("<?xml", 0) == 0 ? svg.find('\n') + 1 : 0;
    const std::string open = "<svg ";
    std::string html;
    if (svg.compare(from, open.size(), open) == 0) {
        html = open + "class=\"plot\" id=\"" + id + "-plot\" role=\"img\" ";
        from += open.size();
    }
    const PlotArea area = plotArea(plot);
    const std::string cursor =
        "<line class=\"cursor\" x1=\"" + fixed(2, area.left) + "\" y1=\"" + fixed(2, area.top) +
        "\" x2=\"" + fixed(2, area.left) + "\" y2=\"" + fixed(2, area.bottom) +
        "\" stroke=\"#000000\" stroke-width=\"1.5\" visibility=\"hidden\"/>\n";
    const std::size_t close = svg.rfind("</svg>");
    if (close == std::string::npos || close < from) {
        return html + svg.substr(from);
    }
    return html + svg.substr(from, close - from) + cursor + svg.substr(close);
}

// The largest finite offset of any axis; the plane views scale to it.
double reach(const std::vector<Sample>& samples) {
    double most = 0.0;
    for (const Sample& sample : samples) {
        for (double offset : sample.offset) {
            if (std::isfinite(offset)) {
                most = std::max(most, std::fabs(offset));
            }
        }
    }
    return most > 0.0 ? most : 1.0;
}

// Small front, side and top views of the item's point: its whole path drawn
// still, and a dot the player moves along it.
std::string planeViews(const PageItem& item, const std::string& id) {
    const double scale = kPlaneReach / reach(item.plot.samples);
    const double width = 3 * kPlaneSize + 2 * kPlaneGap;
    const double height = kPlaneSize + kPlaneLabel;
    std::string svg = "<svg class=\"planes\" id=\"" + id + "-planes\" role=\"img\" viewBox=\"0 0 " +
                      fixed(0, width) + " " + fixed(0, height) +
                      "\" font-size=\"12\" font-family=\"sans-serif\">\n";
    svg += "<title>" + htmlText(item.name) +
           ": the point's path seen from the front, the side and the top</title>\n";
    for (int p = 0; p < 3; ++p) {
        const Plane& plane = kPlanes[p];
        const double left = p * (kPlaneSize + kPlaneGap);
        const double cx = left + kPlaneSize / 2;
        const double cy = kPlaneSize / 2;
        svg += "<g class=\"plane\" data-across=\"" + std::to_string(plane.across) +
               "\" data-up=\"" + std::to_string(plane.up) + "\" data-cx=\"" + fixed(2, cx) +
               "\" data-cy=\"" + fixed(2, cy) + "\" data-scale=\"" + format("%.9g", scale) +
               "\">\n";
        svg += "<rect x=\"" + fixed(2, left + 0.5) + "\" y=\"0.5\" width=\"" +
               fixed(2, kPlaneSize - 1) + "\" height=\"" + fixed(2, kPlaneSize - 1) +
               "\" fill=\"#ffffff\" stroke=\"#777777\"/>\n";
        svg += "<path d=\"M" + fixed(2, left + 4) + " " + fixed(2, cy) + "H" +
               fixed(2, left + kPlaneSize - 4) + "M" + fixed(2, cx) + " 4V" +
               fixed(2, kPlaneSize - 4) + "\" stroke=\"#dddddd\"/>\n";
        // The path, broken where a sample is not a number.
        std::string points;
        auto flush = [&] {
            if (!points.empty()) {
                svg += "<polyline fill=\"none\" stroke=\"#0072b2\" stroke-width=\"1\" "
                       "stroke-opacity=\"0.6\" points=\"" +
                       points + "\"/>\n";
                points.clear();
            }
        };
        const Sample* first = nullptr;
        for (const Sample& sample : item.plot.samples) {
            const double a = sample.offset[plane.across];
            const double b = sample.offset[plane.up];
            if (!std::isfinite(a) || !std::isfinite(b)) {
                flush();
                continue;
            }
            first = first != nullptr ? first : &sample;
            points += fixed(2, cx + a * scale) + "," + fixed(2, cy - b * scale) + " ";
        }
        flush();
        const bool shown = !item.plot.samples.empty() && first == &item.plot.samples.front();
        const double dotX = shown ? cx + first->offset[plane.across] * scale : cx;
        const double dotY = shown ? cy - first->offset[plane.up] * scale : cy;
        svg += "<circle class=\"dot\" cx=\"" + fixed(2, dotX) + "\" cy=\"" + fixed(2, dotY) +
               "\" r=\"4\" fill=\"#d55e00\" stroke=\"#000000\"" +
               (shown ? "" : " visibility=\"hidden\"") + "/>\n";
        svg += std::string("<text x=\"") + fixed(2, cx) + "\" y=\"" + fixed(2, kPlaneSize + 14) +
               "\" text-anchor=\"middle\" fill=\"#222222\">" + plane.name + ": " +
               plane.acrossName + " \xe2\x86\x92 " + plane.upName + " \xe2\x86\x91</text>\n</g>\n";
    }
    return svg + "</svg>\n";
}

// The scene's file name, without its folder: findings point at lines of the
// scene whose section they are in, and that section's heading gives the path.
std::string fileName(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void appendFindings(std::string& html, const std::vector<PageFinding>& findings,
                    const std::string& file, std::size_t all) {
    html += "<ul class=\"findings\">\n";
    for (const PageFinding& finding : findings) {
        const std::string severity = htmlText(finding.severity);
        html += "<li class=\"";
        html += severity;
        html += "\"><span class=\"severity\">";
        html += severity;
        html += "</span> ";
        if (finding.line != 0) {
            html += "<span class=\"where\">";
            html += file;
            html += ":";
            html += std::to_string(finding.line);
            html += "</span> ";
        }
        html += htmlText(finding.message);
        html += "</li>\n";
    }
    if (all > findings.size()) {
        html += "<li class=\"more\">and " +
                count(all - findings.size(), "more finding", "more findings") +
                ": <code>vrim check</code> prints them all</li>\n";
    }
    html += "</ul>\n";
}

// "and N more keys" when only the first shown of all are on the page.
void appendMore(std::string& html, std::size_t shown, std::size_t all, const char* one,
                const char* many) {
    if (all > shown) {
        html += "<br><span class=\"more\">and " + std::to_string(all - shown) + " more " +
                (all - shown == 1 ? one : many) + ", not on this page</span>";
    }
}

std::string keysTable(const PageItem& item, std::size_t bound) {
    if (item.keys.empty()) {
        return "<p>No keys: the item keeps its position.</p>\n";
    }
    const std::size_t shown = std::min(item.keys.size(), bound);
    std::string html = "<div class=\"scroll\"><table class=\"keys\">\n<thead><tr><th "
                       "scope=\"col\">Key</th><th scope=\"col\">In the key editor's "
                       "list</th><th scope=\"col\">What it does</th></tr></thead>\n<tbody>\n";
    for (std::size_t k = 0; k < shown; ++k) {
        const PageKey& key = item.keys[k];
        html += "<tr><th scope=\"row\">" + std::to_string(k + 1) + "</th><td><code>" +
                (key.listLine.empty() ? std::string("(not in the list)") : htmlText(key.listLine)) +
                "</code></td><td>" + htmlText(key.words) + "</td></tr>\n";
    }
    html += "</tbody>\n</table></div>\n";
    const std::size_t all = item.keys.size() + item.keysLeftOut;
    if (all > shown) {
        html += "<p class=\"more\">Keys " + std::to_string(shown + 1) + " to " +
                std::to_string(all) +
                " are not on this page (the key editor lists the first 256).</p>\n";
    }
    return html;
}

// The player's table row for an item: filled with the first sample, so that
// the page reads right before the script moves it.
std::string readoutRow(const PageItem& item, const std::string& id) {
    const Sample* first = item.plot.samples.empty() ? nullptr : &item.plot.samples.front();
    auto cell = [&](int axis) {
        std::string html = "<td class=\"";
        html += static_cast<char>('x' + axis);
        html += "\">";
        html += first != nullptr ? offsetText(first->offset[axis]) : std::string("-");
        return html + "</td>";
    };
    const std::string key =
        first != nullptr && first->key >= 0 ? std::to_string(first->key + 1) : "-";
    return "<tr data-item=\"" + id + "\"><th scope=\"row\"><a href=\"#" + id + "\">" +
           htmlText(item.name) + "</a></th><td class=\"key\">" + key + "</td>" + cell(0) + cell(1) +
           cell(2) + "</tr>\n";
}

} // namespace

std::string htmlText(const std::string& text) {
    std::string html;
    html.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        switch (c) {
        case '&':
            html += "&amp;";
            continue;
        case '<':
            html += "&lt;";
            continue;
        case '>':
            html += "&gt;";
            continue;
        case '"':
            html += "&quot;";
            continue;
        default:
            break;
        }
        if (c < 0x20 || c == 0x7f) {
            html += c == '\t' ? ' ' : '?';
            continue;
        }
        if (c < 0x80) {
            html += static_cast<char>(c);
            continue;
        }
        // A whole, shortest UTF-8 sequence passes; any other byte is Latin-1.
        const std::size_t length = c >= 0xf0 ? 4 : c >= 0xe0 ? 3 : c >= 0xc2 ? 2 : 0;
        bool whole = length != 0 && c < 0xf5 && i + length <= text.size();
        for (std::size_t k = 1; whole && k < length; ++k) {
            whole = (static_cast<unsigned char>(text[i + k]) & 0xc0) == 0x80;
        }
        if (whole && length >= 3) {
            const auto next = static_cast<unsigned char>(text[i + 1]);
            whole = !(c == 0xe0 && next < 0xa0) && !(c == 0xed && next >= 0xa0) &&
                    !(c == 0xf0 && next < 0x90) && !(c == 0xf4 && next >= 0x90);
        }
        if (whole) {
            html.append(text, i, length);
            i += length - 1;
        } else {
            html += static_cast<char>(0xc0 | (c >> 6));
            html += static_cast<char>(0x80 | (c & 0x3f));
        }
    }
    return html;
}

std::string samplesJson(const PageItem& item, const std::string& id) {
    // JSON has no NaN or infinity: those travel as the strings the script's
    // Number() reads back.
    auto value = [](double v) -> nlohmann::json {
        if (std::isnan(v)) {
            return "NaN";
        }
        if (std::isinf(v)) {
            return v > 0 ? "Infinity" : "-Infinity";
        }
        return v;
    };
    nlohmann::json axes[3] = {nlohmann::json::array(), nlohmann::json::array(),
                              nlohmann::json::array()};
    nlohmann::json keys = nlohmann::json::array();
    for (const Sample& sample : item.plot.samples) {
        for (int axis = 0; axis < 3; ++axis) {
            axes[axis].push_back(value(sample.offset[axis]));
        }
        keys.push_back(sample.key >= 0 ? sample.key + 1 : 0);
    }
    const PlotArea area = plotArea(item.plot);
    const nlohmann::json data = {
        {"id", id},
        {"first", item.plot.frames.first},
        {"step", item.frameStep},
        {"x", axes[0]},
        {"y", axes[1]},
        {"z", axes[2]},
        {"key", keys},
        {"plot",
         {{"left", area.left},
          {"right", area.right},
          {"from", area.fromFrame},
          {"to", area.toFrame}}},
    };
    const std::string json = data.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    // "</script" inside would end the element early; "<\/" is the same JSON.
    std::string safe;
    safe.reserve(json.size());
    for (std::size_t i = 0; i < json.size(); ++i) {
        safe += json[i];
        if (json[i] == '<' && i + 1 < json.size() && json[i + 1] == '/') {
            safe += '\\';
        }
    }
    return safe;
}

void PageWriter::scene(const PageScene& scene) {
    const std::string anchor = "s" + std::to_string(toc_.size() + 1);
    // Rows past the page's bound are counted with the items the caller
    // already left out.
    std::vector<bool> rowed(scene.items.size(), false);
    std::size_t unlisted = scene.unlisted;
    const std::size_t withShake = scene.items.size() + scene.unlisted;
    toc_.push_back({anchor, scene.path, withShake, scene.findings});
    findings_ += scene.findings;

    // Pieces rather than one growing string: a page of tens of megabytes is
    // never copied to grow, nor held twice.
    std::string html;
    html += "<section class=\"scene\" id=\"" + anchor + "\">\n<h2>" + htmlText(scene.path) +
            "</h2>\n<dl class=\"facts\">\n<dt>Frame rate</dt><dd>" + format("%g", scene.fps) +
            " frames per second</dd>\n<dt>Frames</dt><dd>" +
            (scene.frames
                 ? std::to_string(scene.frames->first) + " to " + std::to_string(scene.frames->last)
                 : std::string("each item's own, from its keys")) +
            "</dd>\n<dt>Items with a shake</dt><dd>" + std::to_string(withShake) +
            "</dd>\n<dt>Findings</dt><dd>" + std::to_string(scene.findings) + "</dd>\n</dl>\n";
    if (!scene.framesFrom.empty()) {
        html += "<p class=\"source\">" + htmlText(scene.framesFrom) + "</p>\n";
    }
    const std::string file = htmlText(fileName(scene.path));
    if (!scene.notes.empty()) {
        appendFindings(html, scene.notes, file, scene.notes.size());
    }

    // Items past the plotting bound are listed, not drawn.
    // The player's slider runs over every plotted item's frames, in the
    // finest step any of them was sampled at.
    std::vector<bool> plotted(scene.items.size(), false);
    std::size_t plottedHere = 0, rowsHere = 0, step = 0;
    int64_t first = 0, last = 0;
    for (std::size_t i = 0; i < scene.items.size(); ++i) {
        const PageItem& item = scene.items[i];
        if (!item.plotted || plotted_ >= limits_.plottedItems) {
            continue;
        }
        plotted[i] = true;
        ++plotted_;
        first = plottedHere == 0 ? item.plot.frames.first
                                 : std::min<int64_t>(first, item.plot.frames.first);
        last = plottedHere == 0 ? item.plot.frames.last
                                : std::max<int64_t>(last, item.plot.frames.last);
        step = plottedHere == 0 ? item.frameStep : std::min(step, item.frameStep);
        thinnedFrameStep_ = std::max(thinnedFrameStep_, item.frameStep);
        ++plottedHere;
    }
    for (std::size_t i = 0; i < scene.items.size(); ++i) {
        if (plotted[i]) {
            continue;
        }
        rowed[i] = listed_ < limits_.listedItems;
        listed_ += rowed[i] ? 1 : 0;
        rowsHere += rowed[i] ? 1 : 0;
        unlisted += rowed[i] ? 0 : 1;
    }
    unlisted_ += unlisted;
    const std::size_t positions =
        plottedHere == 0 ? 0 : static_cast<std::size_t>(last - first) / step + 1;

    if (plottedHere > 0) {
        html +=
            "<div class=\"player\" data-first=\"" + std::to_string(first) + "\" data-step=\"" +
            std::to_string(step) + "\" data-fps=\"" + format("%.9g", scene.fps) +
            "\" hidden>\n<div class=\"controls\"><button "
            "type=\"button\" class=\"play\">Play</button> <label>Frame <input "
            "type=\"range\" class=\"frame\" min=\"0\" max=\"" +
            std::to_string(positions - 1) +
            "\" step=\"1\" value=\"0\"></label> <output class=\"now\">frame " +
            std::to_string(first) + "</output>" +
            (step > 1 ? " <span>every " + std::to_string(step) + " frames</span>" : std::string()) +
            "</div>\n<div class=\"scroll\"><table class=\"readout\">\n<thead><tr><th "
            "scope=\"col\">Item</th><th scope=\"col\">Key</th><th scope=\"col\">X</th><th "
            "scope=\"col\">Y</th><th scope=\"col\">Z</th></tr></thead>\n<tbody>\n";
        for (std::size_t i = 0; i < scene.items.size(); ++i) {
            if (plotted[i]) {
                html += readoutRow(scene.items[i], anchor + "i" + std::to_string(i + 1));
            }
        }
        html += "</tbody>\n</table></div>\n</div>\n";
    }

    const bool open = items_ + scene.items.size() <= limits_.openItems;
    std::string listed; // items past the plotting bound, one compact row each
    for (std::size_t i = 0; i < scene.items.size(); ++i) {
        const PageItem& item = scene.items[i];
        const std::string id = anchor + "i" + std::to_string(i + 1);
        const std::string lines =
            std::to_string(item.firstLine) + "-" + std::to_string(item.lastLine);
        if (!plotted[i] && !rowed[i]) {
            continue;
        }
        if (!plotted[i]) {
            listed += "<tr class=\"listed\" id=\"";
            listed += id;
            listed += "\"><th scope=\"row\">";
            listed += htmlText(item.name);
            listed += "</th><td>";
            listed += lines;
            listed += "</td><td>";
            const std::size_t keys = std::min(item.keys.size(), limits_.keysPerRow);
            for (std::size_t k = 0; k < keys; ++k) {
                listed += k == 0 ? "<code>" : "<br><code>";
                listed += item.keys[k].listLine.empty() ? std::string("(not in the list)")
                                                        : htmlText(item.keys[k].listLine);
                listed += "</code>";
            }
            appendMore(listed, keys, item.keys.size() + item.keysLeftOut, "key", "keys");
            listed += "</td><td>";
            const std::size_t allFindings = item.findings.size() + item.findingsLeftOut;
            if (allFindings == 0) {
                listed += "none";
            } else {
                appendFindings(listed, item.findings, file, allFindings);
            }
            listed += "</td></tr>\n";
            continue;
        }
        std::size_t errors = 0;
        for (const PageFinding& finding : item.findings) {
            errors += finding.severity == "error";
        }
        const std::size_t allFindings = item.findings.size() + item.findingsLeftOut;
        html += "<details class=\"item\" id=\"" + id + "\"" + (open ? " open" : "") +
                "><summary><h3>" + htmlText(item.name) + "</h3> <span class=\"counts\">" +
                count(item.keys.size() + item.keysLeftOut, "key", "keys") + ", " +
                count(allFindings, "finding", "findings") +
                (errors > 0 ? " (" + count(errors, "error", "errors") +
                                  (item.findingsLeftOut > 0 ? " among those shown" : "") + ")"
                            : "") +
                ", lines " + lines + "</span></summary>\n";
        // What check found comes first: it is what a reviewer acts on.
        if (allFindings > 0) {
            html += "<h4>Findings</h4>\n";
            appendFindings(html, item.findings, file, allFindings);
        }
        html += "<div class=\"views\">\n<figure>";
        html += inlinePlot(item.plot, id);
        html += "</figure>\n<figure>";
        html += planeViews(item, id);
        html += "</figure>\n</div>\n<h4>Keys</h4>\n";
        html += keysTable(item, limits_.keysPerItem);
        html += "<script type=\"application/json\" class=\"samples\">";
        html += samplesJson(item, id);
        html += "</script>\n</details>\n";
    }
    if (!listed.empty()) {
        html +=
            "<details class=\"listed\"" + std::string(open ? " open" : "") + "><summary>" +
            count(rowsHere, "item", "items") + " listed without a plot " +
            (limits_.plottedItems == 0 ? std::string("(no plots asked for)")
                                       : "(the page draws the first " +
                                             count(limits_.plottedItems, "item", "items") + ")") +
            "</summary>\n<div class=\"scroll\"><table class=\"listed\">\n<thead><tr><th "
            "scope=\"col\">Item</th><th scope=\"col\">Lines</th><th scope=\"col\">Keys, "
            "as the key editor lists them</th><th "
            "scope=\"col\">Findings</th></tr></thead>\n<tbody>\n";
        body_.push_back(std::move(html));
        body_.push_back(std::move(listed));
        html = "</tbody>\n</table></div>\n</details>\n";
    }
    if (unlisted > 0) {
        html += "<p class=\"unlisted\">" + count(unlisted, "more item", "more items") +
                " with a shake not on this page (it lists " +
                std::to_string(limits_.plottedItems + limits_.listedItems) +
                " items at most); <code>vrim check</code> prints their findings.</p>\n";
    }
    items_ += withShake;
    html += "</section>\n";
    body_.push_back(std::move(html));
}

std::string PageWriter::head(const std::string& title) const {
    std::string out;
    out += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           // Nothing may leave the file, whatever a name in it says.
           "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
           "style-src 'unsafe-inline'; script-src 'unsafe-inline'; img-src data:\">\n"
           "<title>";
    out += htmlText(title);
    out += "</title>\n<style>\n";
    out += kPageStyle;
    out += "</style>\n</head>\n<body>\n<header>\n<h1>";
    out += htmlText(title);
    out += "</h1>\n<p>";
    out += count(toc_.size(), "scene", "scenes");
    out += ", ";
    out += count(items_, "item", "items");
    out += " with a shake, ";
    out += count(findings_, "finding", "findings");
    out += ". Every position on this page was computed by the shake module itself; the "
           "player only steps through those samples.</p>\n</header>\n";
    if (items_ > plotted_ || thinnedFrameStep_ > 1) {
        out += "<p class=\"sampling\"><strong>Sampling:</strong> ";
        if (items_ > plotted_) {
            out += (plotted_ == 0
                        ? std::string("no plots (none asked for) for the ") +
                              std::to_string(items_) + " items; the first "
                        : "plots and player samples for the first " + std::to_string(plotted_) +
                              " of " + std::to_string(items_) + " items in page order; the next ") +
                   std::to_string(listed_) + " are listed in a row each, with their first " +
                   std::to_string(limits_.keysPerRow) + " keys and first " +
                   std::to_string(limits_.findingsPerRow) + " findings. ";
            if (unlisted_ > 0) {
                out += "The other " + count(unlisted_, "item is", "items are") +
                       " counted in their scene but not shown. ";
            }
            out += plotted_ == 0 ? "Give <code>--plots N</code> to draw them. "
                                 : "Run <code>vrim report</code> on fewer scenes to draw them. ";
        }
        if (thinnedFrameStep_ > 1) {
            out += "Scenes longer than " + std::to_string(limits_.framesPerItem) +
                   " frames are sampled every nth frame (n as each scene's player says), "
                   "so that each plot has at most " +
                   std::to_string(limits_.framesPerItem) + " samples.";
        }
        out += "</p>\n";
    }
    // A long contents starts folded, so that the first scene is near the top.
    out += "<nav id=\"contents\">\n<details";
    out += toc_.size() <= kOpenContents ? " open" : "";
    out += "><summary><h2>Contents</h2> " + count(toc_.size(), "scene", "scenes") +
           "</summary>\n<ol>\n";
    for (const Entry& entry : toc_) {
        out += "<li><a href=\"#";
        out += entry.anchor;
        out += "\">";
        out += htmlText(entry.path);
        out += "</a> ";
        out += count(entry.items, "item", "items");
        out += ", ";
        out += count(entry.findings, "finding", "findings");
        out += "</li>\n";
    }
    out += "</ol>\n</details>\n</nav>\n<main>\n";
    return out;
}

std::string PageWriter::page(const std::string& title) const {
    std::string out = head(title);
    for (const std::string& piece : body_) {
        out += piece;
    }
    return out + tail();
}

std::string PageWriter::tail() {
    return std::string("</main>\n<script>\n") + kPlayerScript + "</script>\n</body>\n</html>\n";
}

} // namespace vrim::report
