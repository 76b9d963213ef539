#include "tools/vrim/report/page.h"
#include "text/names.h"
#include "text/numbers.h"
#include "text/words.h"

#include "tools/vrim/report/assets.h"
#include "tools/vrim/report/chart.h"

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
constexpr double kPlaneLabel = 18; // room for the label under each square
// Scenes in a contents list that starts open.
constexpr std::size_t kOpenContents = 40;

// As "%.<decimals>f", without printf's cost: samples and plane views are
// thousands of numbers.
std::string fixed(int decimals, double value) {
    return text::fixed(value, decimals);
}

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

std::string count(std::size_t n, const char* one, const char* many) {
    return text::counted(n, one, many);
}

// The class that orders and filters an item or scene: errors first, then
// warnings, then the clean ones (which the findings filter hides). Against a
// previous version a change is what the reader came for: a clean item that
// changed, or a scene holding one, stays in sight under the filter.
const char* rankClass(std::size_t errors, std::size_t warnings, bool changed = false) {
    return errors > 0     ? "has-errors"
           : warnings > 0 ? "has-warnings"
           : changed      ? "changed"
                          : "clean";
}
const char* rankClass(const PageItem& item) {
    return rankClass(item.errors, item.warnings, !item.change.empty());
}
bool anyChanged(const PageScene& scene) {
    return std::any_of(scene.items.begin(), scene.items.end(),
                       [](const PageItem& item) { return !item.change.empty(); });
}
int rank(std::size_t errors, std::size_t warnings) {
    return errors > 0 ? 0 : warnings > 0 ? 1 : 2;
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
    return fixed(6, value);
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

// The point's path on one plane, as polylines broken where a sample is not
// a number; the first sample drawn, or null when none is.
const Sample* planePath(std::string& svg, const std::vector<Sample>& samples, const Plane& plane,
                        double cx, double cy, double scale) {
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
    std::string lastPoint, point;
    for (const Sample& sample : samples) {
        const double a = sample.offset[plane.across];
        const double b = sample.offset[plane.up];
        if (!std::isfinite(a) || !std::isfinite(b)) {
            flush();
            lastPoint.clear();
            continue;
        }
        first = first != nullptr ? first : &sample;
        // A tenth of a unit is finer than the views are drawn; a point that
        // rounds to the one before adds nothing.
        point.clear();
        text::appendFixed(point, cx + a * scale, 1);
        point += ',';
        text::appendFixed(point, cy - b * scale, 1);
        point += ' ';
        if (point != lastPoint) {
            points += point;
            lastPoint.swap(point);
        }
    }
    flush();
    return first;
}

// One plane's square: its frame and cross, the path, the dot at the first
// sample (hidden until the player moves it when that sample is not a
// number), and the label naming its axes.
std::string planeView(const std::vector<Sample>& samples, int p, double scale) {
    const Plane& plane = kPlanes[p];
    const double left = p * (kPlaneSize + kPlaneGap);
    const double cx = left + kPlaneSize / 2;
    const double cy = kPlaneSize / 2;
    std::string svg = "<g class=\"plane\" data-across=\"" + std::to_string(plane.across) +
                      "\" data-up=\"" + std::to_string(plane.up) + "\" data-cx=\"" + fixed(2, cx) +
                      "\" data-cy=\"" + fixed(2, cy) + "\" data-scale=\"" + format("%.9g", scale) +
                      "\">\n";
    svg += "<rect x=\"" + fixed(2, left + 0.5) + "\" y=\"0.5\" width=\"" +
           fixed(2, kPlaneSize - 1) + "\" height=\"" + fixed(2, kPlaneSize - 1) +
           "\" fill=\"#ffffff\" stroke=\"#777777\"/>\n";
    svg += "<path d=\"M" + fixed(2, left + 4) + " " + fixed(2, cy) + "H" +
           fixed(2, left + kPlaneSize - 4) + "M" + fixed(2, cx) + " 4V" + fixed(2, kPlaneSize - 4) +
           "\" stroke=\"#dddddd\"/>\n";
    const Sample* first = planePath(svg, samples, plane, cx, cy, scale);
    const bool shown = !samples.empty() && first == &samples.front();
    const double dotX = shown ? cx + first->offset[plane.across] * scale : cx;
    const double dotY = shown ? cy - first->offset[plane.up] * scale : cy;
    svg += "<circle class=\"dot\" cx=\"" + fixed(2, dotX) + "\" cy=\"" + fixed(2, dotY) +
           "\" r=\"4\" fill=\"#d55e00\" stroke=\"#000000\"" +
           (shown ? "" : " visibility=\"hidden\"") + "/>\n";
    svg += std::string("<text x=\"") + fixed(2, cx) + "\" y=\"" + fixed(2, kPlaneSize + 14) +
           "\" text-anchor=\"middle\" fill=\"#222222\">" + plane.name + ": " + plane.acrossName +
           " \xe2\x86\x92 " + plane.upName + " \xe2\x86\x91</text>\n</g>\n";
    return svg;
}

// Small front, side and top views of the item's point: its whole path drawn
// still, and a dot the player moves along it.
std::string planeViews(const PageItem& item) {
    const double scale = kPlaneReach / reach(item.plot.samples);
    const double width = 3 * kPlaneSize + 2 * kPlaneGap;
    const double height = kPlaneSize + kPlaneLabel;
    std::string svg = "<svg class=\"planes\" role=\"img\" viewBox=\"0 0 " + fixed(0, width) + " " +
                      fixed(0, height) + "\">\n";
    svg += "<title>" + htmlText(item.name) +
           ": the point's path seen from the front, the side and the top</title>\n";
    for (int p = 0; p < 3; ++p) {
        svg += planeView(item.plot.samples, p, scale);
    }
    return svg + "</svg>\n";
}

// The scene's file name, without its folder: findings point at lines of the
// scene whose section they are in, and that section's heading gives the path.
std::string fileName(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Severity is shown by shape and word as well as colour: a cross for an
// error, a triangle for a warning.
const char* severitySymbol(const std::string& severity) {
    return severity == "error"     ? "\xe2\x9c\x96 "
           : severity == "warning" ? "\xe2\x96\xb2 "
                                   : "\xe2\x97\x8f ";
}

void appendFindings(std::string& html, const std::vector<PageFinding>& findings,
                    const std::string& file, std::size_t all) {
    html += "<ul class=\"findings\">\n";
    for (const PageFinding& finding : findings) {
        const std::string severity = htmlText(finding.severity);
        html += "<li class=\"";
        html += severity;
        html += "\"><span class=\"severity\">";
        html += severitySymbol(finding.severity);
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
    std::string html = "<table class=\"keys\">\n<thead><tr><th "
                       "scope=\"col\">Key</th><th scope=\"col\">In the key editor's "
                       "list</th><th scope=\"col\">What it does</th></tr></thead>\n<tbody>\n";
    for (std::size_t k = 0; k < shown; ++k) {
        const PageKey& key = item.keys[k];
        html += "<tr><th scope=\"row\">" + std::to_string(k + 1) + "</th><td><code>" +
                (key.listLine.empty() ? std::string("(not in the list)") : htmlText(key.listLine)) +
                "</code></td><td>" + htmlText(key.words) + "</td></tr>\n";
    }
    html += "</tbody>\n</table>\n";
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
std::string readoutRow(const PageItem& item, const std::string& id, const char* rank) {
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
    return "<tr class=\"" + std::string(rank) + "\" data-item=\"" + markup(id) +
           "\"><th scope=\"row\"><a href=\"#" + markup(id) + "\">" + htmlText(item.name) +
           "</a></th><td class=\"key\">" + key + "</td>" + cell(0) + cell(1) + cell(2) + "</tr>\n";
}

} // namespace

std::string shownText(const std::string& bytes) {
    // The one rule the tool shows a name's bytes by: its own characters
    // (UTF-8, else Windows-1252), control and direction-turning characters
    // as the escapes a terminal shows.
    // Printable ASCII, most of a page, reads the same under every rule.
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return c >= 0x20 && c < 0x7f; })) {
        return bytes;
    }
    return text::terminalSafe(text::decode(bytes, text::Encoding::Auto));
}

std::string markup(const std::string& text) {
    if (text.find_first_of("&<>\"") == std::string::npos) {
        return text;
    }
    std::string html;
    html.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        switch (c) {
        case '&':
            html += "&amp;";
            break;
        case '<':
            html += "&lt;";
            break;
        case '>':
            html += "&gt;";
            break;
        case '"':
            html += "&quot;";
            break;
        default:
            html += c;
        }
    }
    return html;
}

std::string htmlText(const std::string& text) {
    return markup(shownText(text));
}

std::string anchorText(const std::string& bytes) {
    // An id holds no white space, and a link's address is read with its
    // %-escapes undone: both are escaped, so that the anchor and a link to
    // it always meet.
    std::string out;
    for (char c : shownText(bytes)) {
        if (c == ' ' || c == '%') {
            out += c == ' ' ? "%20" : "%25";
        } else {
            out += c;
        }
    }
    return out;
}

namespace {

// Offsets travel as the whole number of millionths the page shows (short,
// and read back exactly); a value too large for that, or not a number, as
// its text.
nlohmann::json offsetJson(double v) {
    const std::string text = offsetText(v);
    if (!std::isfinite(v) || std::fabs(v) >= 1e9) {
        return text;
    }
    std::string digits;
    for (char c : text) {
        if (c != '.') {
            digits += c;
        }
    }
    long long micro = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), micro);
    return micro;
}

// The samples' frames as runs of even steps: [first frame, step, count].
nlohmann::json frameRunsJson(const std::vector<Sample>& samples) {
    nlohmann::json frames = nlohmann::json::array();
    for (std::size_t i = 0; i < samples.size();) {
        const auto first = static_cast<int64_t>(samples[i].frame);
        std::size_t n = 1;
        int64_t step = 1;
        if (i + 1 < samples.size()) {
            step = static_cast<int64_t>(samples[i + 1].frame) - first;
            while (i + n < samples.size() && static_cast<int64_t>(samples[i + n].frame) ==
                                                 first + step * static_cast<int64_t>(n)) {
                ++n;
            }
        }
        frames.push_back({first, step, n});
        i += n;
    }
    return frames;
}

// The acting key of the samples as runs: [key, count], 0 where none acts.
nlohmann::json actingKeysJson(const std::vector<Sample>& samples) {
    nlohmann::json keys = nlohmann::json::array();
    for (std::size_t i = 0; i < samples.size();) {
        std::size_t n = 1;
        while (i + n < samples.size() && samples[i + n].key == samples[i].key) {
            ++n;
        }
        keys.push_back({samples[i].key >= 0 ? samples[i].key + 1 : 0, n});
        i += n;
    }
    return keys;
}

// JSON as the inside of a script element: "</script" inside would end the
// element early; "<\/" is the same JSON.
std::string scriptSafe(const std::string& json) {
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

} // namespace

std::string samplesJson(const PageItem& item, const std::string& id,
                        const std::vector<AxisPiece>& axis) {
    nlohmann::json axes[3] = {nlohmann::json::array(), nlohmann::json::array(),
                              nlohmann::json::array()};
    const std::vector<Sample>& samples = item.plot.samples;
    for (const Sample& sample : samples) {
        for (int a = 0; a < 3; ++a) {
            axes[a].push_back(offsetJson(sample.offset[a]));
        }
    }
    nlohmann::json pieces = nlohmann::json::array();
    for (const AxisPiece& piece : axis) {
        pieces.push_back({piece.fromFrame, piece.toFrame, piece.left, piece.right});
    }
    // Each key's runs of frames, [key, first, last]: the player steps and
    // loops by them.
    nlohmann::json runs = nlohmann::json::array();
    for (const PlotKey& key : item.plot.keys) {
        for (const FrameSpan& run : key.moves) {
            runs.push_back({key.number, run.first, run.last});
        }
    }
    const nlohmann::json data = {
        {"id", id},     {"frames", frameRunsJson(samples)}, {"x", axes[0]},   {"y", axes[1]},
        {"z", axes[2]}, {"key", actingKeysJson(samples)},   {"axis", pieces}, {"runs", runs}};
    return scriptSafe(data.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

namespace {

// The text goes into pieces of about this size, each no larger than it
// needs: one string of tens of megabytes, grown by doubling, would hold up
// to three times its size while it grows.
constexpr std::size_t kPiece = 256 * 1024;

void cut(std::string& text, std::vector<std::string>& into) {
    text.shrink_to_fit();
    into.push_back(std::move(text));
    text = std::string();
}

std::string sceneFacts(const PageScene& scene, const std::string& anchor, std::size_t withShake) {
    std::string html =
        "<section class=\"scene " +
        std::string(rankClass(scene.errors, scene.warnings, anyChanged(scene))) + "\" id=\"" +
        markup(anchor) + "\">\n<h2>" + htmlText(scene.path) +
        "</h2>\n<dl class=\"facts\">\n<dt>Frame rate</dt><dd>" + format("%g", scene.fps) +
        " frames per second</dd>\n<dt>Frames</dt><dd>" +
        (scene.frames
             ? std::to_string(scene.frames->first) + " to " + std::to_string(scene.frames->last)
             : std::string("each item's own, from its keys")) +
        "</dd>\n<dt>Items with a shake</dt><dd>" + std::to_string(withShake) +
        "</dd>\n<dt>Findings</dt><dd>" + std::to_string(scene.findings) + " (" +
        count(scene.errors, "error", "errors") + ", " +
        count(scene.warnings, "warning", "warnings") + ")</dd>\n<dt>File</dt><dd><code>" +
        htmlText(scene.absolutePath.empty() ? scene.path : scene.absolutePath) +
        "</code></dd>\n<dt>SHA-256</dt><dd><code>" +
        (scene.sha256.empty() ? std::string("(not read)") : scene.sha256) + "</code></dd>\n</dl>\n";
    if (!scene.framesFrom.empty()) {
        html += "<p class=\"source\">" + htmlText(scene.framesFrom) + "</p>\n";
    }
    if (!scene.notes.empty()) {
        appendFindings(html, scene.notes, htmlText(fileName(scene.path)), scene.notes.size());
    }
    return html;
}

// The frames every drawn item of the scene shares: the scene's range, or
// the span of the items' own.
FrameRange sharedFrames(const PageScene& scene, const std::vector<std::size_t>& drawn) {
    if (scene.frames) {
        return *scene.frames;
    }
    FrameRange range = scene.items[drawn.front()].plot.frames;
    for (std::size_t i : drawn) {
        range.first = std::min(range.first, scene.items[i].plot.frames.first);
        range.last = std::max(range.last, scene.items[i].plot.frames.last);
    }
    return range;
}

std::string percentOf(const FrameRange& range, double frame) {
    const double all = static_cast<double>(range.last) - range.first + 1.0;
    return fixed(3, std::clamp((frame - range.first) / all * 100.0, 0.0, 100.0)) + "%";
}

// One item's row of the timeline: its keys' frames on the shared axis, the
// whole row a link to the item.
std::string timelineRow(const PageItem& item, const std::string& id, const FrameRange& range) {
    std::string html = "<li class=\"" + std::string(rankClass(item)) +
                       "\"><a class=\"track\" href=\"#" + markup(id) + "\"><span class=\"label\">" +
                       htmlText(item.name) + "</span><span class=\"bar\">";
    for (const PlotKey& key : item.plot.keys) {
        for (const FrameSpan& run : key.moves) {
            const std::string frames = std::to_string(run.first) + "-" + std::to_string(run.last);
            html += "<span class=\"k k" + std::to_string((key.number - 1) % 5 + 1) +
                    "\" data-key=\"" + std::to_string(key.number) + "\" data-frames=\"" + frames +
                    "\" style=\"left:" + percentOf(range, static_cast<double>(run.first)) +
                    ";width:" +
                    fixed(3, static_cast<double>(run.last - run.first + 1) /
                                 (static_cast<double>(range.last) - range.first + 1.0) * 100.0) +
                    "%\"><span class=\"vh\"> key " + std::to_string(key.number) + ": frames " +
                    frames + "</span></span>";
        }
    }
    if (std::all_of(item.plot.keys.begin(), item.plot.keys.end(),
                    [](const PlotKey& key) { return key.moves.empty(); })) {
        html += "<span class=\"none\">no key acts on these frames</span>";
    }
    return html + "</span></a></li>\n";
}

// Every drawn item's keys on one frame axis, so that where the shakes of a
// scene fall can be seen at once; plain links, no script.
std::string timeline(const PageScene& scene, const std::vector<std::size_t>& drawn,
                     const std::vector<std::string>& ids, std::size_t listed) {
    const FrameRange range = sharedFrames(scene, drawn);
    std::string html = "<details class=\"timeline\" open><summary>Timeline: the keys of " +
                       count(drawn.size(), "drawn item", "drawn items") + " on frames " +
                       std::to_string(range.first) + " to " + std::to_string(range.last) +
                       (listed > 0 ? " (items listed without a plot are not on it)" : "") +
                       "</summary>\n<div class=\"dope\"><div class=\"ruler\" aria-hidden=\"true\">";
    const double step = std::max(
        1.0,
        std::pow(10.0, std::floor(std::log10(std::max(1.0, (range.last - range.first) / 4.0)))));
    for (double f = std::ceil(range.first / step) * step; f <= range.last; f += step) {
        html += "<span style=\"left:" + percentOf(range, f) + "\">" + fixed(0, f) + "</span>";
    }
    html += "</div>\n<ol>\n";
    for (std::size_t i : drawn) {
        html += timelineRow(scene.items[i], ids[i], range);
    }
    return html + "</ol></div>\n</details>\n";
}

std::string playerControls(const std::string& sceneName) {
    return "<div class=\"controls\"><button type=\"button\" class=\"play\">Play</button>"
           "<button type=\"button\" class=\"prev-key\" aria-label=\"Previous key (Shift+Left)\">"
           "\xe2\x87\xa4 key</button><button type=\"button\" class=\"prev\" aria-label=\"Previous "
           "frame (Left)\">\xe2\x97\x80</button><button type=\"button\" class=\"next\" "
           "aria-label=\"Next frame (Right)\">\xe2\x96\xb6</button><button type=\"button\" "
           "class=\"next-key\" aria-label=\"Next key (Shift+Right)\">key \xe2\x87\xa5</button>"
           "<label class=\"slide\"><span class=\"vh\">Frame of " +
           sceneName +
           "</span><input type=\"range\" class=\"frame\" min=\"0\" max=\"0\" step=\"1\" "
           "value=\"0\"></label><label>Frame <input type=\"number\" class=\"goto\" step=\"1\">"
           "</label><output class=\"now\">frame</output></div>\n"
           "<div class=\"controls more\"><label>Speed <select class=\"speed\"><option "
           "value=\"0.25\">0.25\xc3\x97</option><option value=\"0.5\">0.5\xc3\x97</option><option "
           "value=\"1\" selected>1\xc3\x97</option><option value=\"2\">2\xc3\x97</option><option "
           "value=\"4\">4\xc3\x97</option></select></label><label><input type=\"checkbox\" "
           "class=\"loop\"> Loop</label><label>from <input type=\"number\" class=\"loop-from\" "
           "step=\"1\"></label><label>to <input type=\"number\" class=\"loop-to\" "
           "step=\"1\"></label><button type=\"button\" class=\"loop-key\">Loop the key</button>"
           "<button type=\"button\" class=\"fold\" aria-expanded=\"true\">Hide offsets</button>"
           "</div>\n";
}

// The player: controls over every drawn item of the scene, and a table of
// their offsets at the frame.
std::string player(const PageScene& scene, const std::vector<std::size_t>& drawn,
                   const std::vector<std::string>& ids) {
    const std::string sceneName = htmlText(scene.path);
    std::string html = "<div class=\"player\" data-fps=\"" + format("%.9g", scene.fps) +
                       "\" hidden>\n" + playerControls(sceneName) +
                       "<div class=\"scroll\" tabindex=\"0\" role=\"region\" aria-label=\"Offsets "
                       "of the items of " +
                       sceneName +
                       " at the frame\"><table class=\"readout\">\n<thead><tr><th "
                       "scope=\"col\">Item</th><th scope=\"col\">Key</th><th "
                       "scope=\"col\">X</th><th scope=\"col\">Y</th><th "
                       "scope=\"col\">Z</th></tr></thead>\n<tbody>\n";
    for (std::size_t i : drawn) {
        const PageItem& item = scene.items[i];
        html += readoutRow(item, ids[i], rankClass(item));
    }
    return html + "</tbody>\n</table></div>\n</div>\n";
}

// Against a previous version: the keys added, removed and changed, field by
// field, beside the item's keys.
std::string changesList(const PageItem& item) {
    if (item.changes.empty()) {
        return {};
    }
    std::string html = "<h4>Changes from the previous version</h4>\n<ul class=\"changes\">";
    for (const std::string& line : item.changes) {
        html += "<li>" + htmlText(line) + "</li>";
    }
    return html + "</ul>\n";
}

// The summary line: name, severity badges, counts and the first finding,
// so that a closed item says what is wrong with it.
std::string itemSummary(const PageItem& item) {
    const std::size_t allFindings = item.findings.size() + item.findingsLeftOut;
    std::string html = "<summary><h3 class=\"name\">" + htmlText(item.name) + "</h3> ";
    if (!item.change.empty()) {
        html += "<span class=\"badge change\">" + htmlText(item.change) + "</span> ";
    }
    if (item.errors > 0) {
        html += "<span class=\"badge error\">\xe2\x9c\x96 " +
                count(item.errors, "error", "errors") + "</span> ";
    }
    if (item.warnings > 0) {
        html += "<span class=\"badge warning\">\xe2\x96\xb2 " +
                count(item.warnings, "warning", "warnings") + "</span> ";
    }
    html += "<span class=\"counts\">" + count(item.keys.size() + item.keysLeftOut, "key", "keys") +
            ", " + count(allFindings, "finding", "findings") + ", lines " +
            std::to_string(item.firstLine) + "-" + std::to_string(item.lastLine) + "</span>";
    if (!item.findings.empty()) {
        const PageFinding& first = item.findings.front();
        html += " <span class=\"first " + htmlText(first.severity) + "\">" +
                (first.line != 0 ? "line " + std::to_string(first.line) + ": " : std::string()) +
                htmlText(first.message) + "</span>";
    }
    return html + "</summary>\n";
}

// Where the sampling bound applied to the item, said beside its plot.
std::string samplingNote(const PageItem& item, const Limits& limits) {
    if (item.keyStep <= 1) {
        return "";
    }
    return "<p class=\"capped\">Sampled every " + std::to_string(item.keyStep) +
           " frames where keys act: the page takes at most " + std::to_string(limits.keyFrames) +
           " such samples of an item. The curves there are drawn from each pixel column's "
           "lowest and highest offsets over up to 16 frames spread across it, so no period "
           "shows a pattern that is not there; the player steps through the samples.</p>\n";
}

} // namespace

std::string PageWriter::itemDetails(PageItem& item, const std::string& id, bool open,
                                    const std::string& file) const {
    const std::size_t allFindings = item.findings.size() + item.findingsLeftOut;
    std::string html = "<details class=\"item " + std::string(rankClass(item)) + "\" id=\"" +
                       markup(id) + "\"" + (open ? " open" : "") + ">" + itemSummary(item);
    // What check found comes first: it is what a reviewer acts on.
    if (allFindings > 0) {
        html += "<h4>Findings</h4>\n";
        appendFindings(html, item.findings, file, allFindings);
    }
    const std::vector<AxisPiece> axis = frameAxis(item.plot);
    html += "<p class=\"sub\">" + htmlText(item.plot.subtitle) + "</p>\n" +
            samplingNote(item, limits_) + "<div class=\"views\">\n<figure>" +
            chartHtml(item.plot, axis, item.envelope, item.restStep, item.before) +
            "</figure>\n<figure>" + planeViews(item) + "</figure>\n</div>\n" + changesList(item) +
            "<h4>Keys</h4>\n" + keysTable(item, limits_.keysPerItem) +
            "<script type=\"application/json\" class=\"samples\">" + samplesJson(item, id, axis) +
            "</script>\n</details>\n";
    // Drawn: its samples and words are in the page now.
    std::vector<Sample>().swap(item.plot.samples);
    std::vector<EnvelopeColumn>().swap(item.envelope);
    std::vector<PageKey>().swap(item.keys);
    std::vector<Sample>().swap(item.before);
    return html;
}

std::string PageWriter::listedRow(const PageItem& item, const std::string& id,
                                  const std::string& file) const {
    std::string html = "<tr class=\"listed " + std::string(rankClass(item)) + "\" id=\"" +
                       markup(id) + "\"><th scope=\"row\">" + htmlText(item.name) + "</th><td>" +
                       std::to_string(item.firstLine) + "-" + std::to_string(item.lastLine) +
                       "</td><td>";
    const std::size_t keys = std::min(item.keys.size(), limits_.keysPerRow);
    for (std::size_t k = 0; k < keys; ++k) {
        html += k == 0 ? "<code>" : "<br><code>";
        html += item.keys[k].listLine.empty() ? std::string("(not in the list)")
                                              : htmlText(item.keys[k].listLine);
        html += "</code>";
    }
    appendMore(html, keys, item.keys.size() + item.keysLeftOut, "key", "keys");
    html += "</td><td>";
    const std::size_t allFindings = item.findings.size() + item.findingsLeftOut;
    if (allFindings == 0) {
        html += "none";
    } else {
        appendFindings(html, item.findings, file, allFindings);
    }
    return html + "</td></tr>\n";
}

std::string PageWriter::sceneAnchor(const std::string& path) {
    // The file's name, as a shared link names it; a second scene of that
    // name takes a number.
    std::string anchor = anchorText(fileName(path));
    if (anchor.empty() || anchor.front() == '/') {
        anchor = "scene" + anchor;
    }
    const std::string base = anchor;
    for (int n = 2; !anchors_.insert(anchor).second; ++n) {
        anchor = base + "~" + std::to_string(n);
    }
    return anchor;
}

PageWriter::Picked PageWriter::pick(const PageScene& scene) {
    Picked picked;
    // Errors first, then warnings, then the clean items; in scene order within each.
    for (std::size_t i = 0; i < scene.items.size(); ++i) {
        picked.order.push_back(i);
    }
    // Against a previous version what changed comes before all else.
    auto key = [&](std::size_t i) {
        const PageItem& item = scene.items[i];
        return (scene.compared && item.change.empty() ? 3 : 0) + rank(item.errors, item.warnings);
    };
    std::stable_sort(picked.order.begin(), picked.order.end(),
                     [&](std::size_t a, std::size_t b) { return key(a) < key(b); });
    // Items past the plotting bound are listed, not drawn; past the listing
    // bound only counted, with the items the caller already left out.
    picked.unlisted = scene.unlisted;
    for (std::size_t i : picked.order) {
        const PageItem& item = scene.items[i];
        if (item.plotted && plotted_ < limits_.plottedItems) {
            picked.drawn.push_back(i);
            ++plotted_;
            restStep_ = std::max(restStep_, item.restStep);
            keyStep_ = std::max(keyStep_, item.keyStep);
        } else if (listed_ < limits_.listedItems) {
            picked.listed.push_back(i);
            ++listed_;
        } else {
            ++picked.unlisted;
        }
    }
    unlisted_ += picked.unlisted;
    return picked;
}

void PageWriter::scene(PageScene scene) {
    const std::string anchor = sceneAnchor(scene.path);
    const std::size_t withShake = scene.items.size() + scene.unlisted;
    Entry entry{anchor,    scene.path,       scene.absolutePath, scene.sha256,
                withShake, scene.errors,     scene.warnings,     body_.size(),
                0,         anyChanged(scene)};
    errors_ += scene.errors;
    warnings_ += scene.warnings;
    compared_ = compared_ || scene.compared;
    const Picked picked = pick(scene);
    // The item's address is its anchor: a shared link still finds it after
    // the scene gains or loses items.
    std::vector<std::string> ids(scene.items.size());
    for (std::size_t i = 0; i < scene.items.size(); ++i) {
        ids[i] = anchor + "/" + anchorText(scene.items[i].address);
    }
    // Pieces rather than one growing string: a page of tens of megabytes is
    // never copied to grow, nor held twice.
    std::string html = sceneFacts(scene, anchor, withShake);
    if (!picked.drawn.empty()) {
        html += timeline(scene, picked.drawn, ids, picked.listed.size()) +
                player(scene, picked.drawn, ids);
    }
    const std::string file = htmlText(fileName(scene.path));
    const bool small = items_ + scene.items.size() <= limits_.openItems;
    for (std::size_t i : picked.drawn) {
        PageItem& item = scene.items[i];
        // Against a previous version the unchanged items are folded away.
        const bool open = scene.compared ? !item.change.empty() && (small || item.errors > 0)
                                         : small || item.errors > 0;
        html += itemDetails(item, ids[i], open, file);
        if (html.size() >= kPiece) {
            cut(html, body_);
        }
    }
    appendListed(html, scene, picked, ids, small);
    if (picked.unlisted > 0) {
        html += "<p class=\"unlisted\">" + count(picked.unlisted, "more item", "more items") +
                " with a shake not on this page (it lists " +
                std::to_string(limits_.plottedItems + limits_.listedItems) +
                " items at most); <code>vrim check</code> prints their findings.</p>\n";
    }
    items_ += withShake;
    html += "</section>\n";
    cut(html, body_);
    entry.pieces = body_.size() - entry.firstPiece;
    toc_.push_back(std::move(entry));
}

void PageWriter::appendListed(std::string& html, const PageScene& scene, const Picked& picked,
                              const std::vector<std::string>& ids, bool open) {
    if (picked.listed.empty()) {
        return;
    }
    html += "<details class=\"listed\"" + std::string(open ? " open" : "") + "><summary>" +
            count(picked.listed.size(), "item", "items") + " listed without a plot " +
            (limits_.plottedItems == 0 ? std::string("(no plots asked for)")
                                       : "(the page draws the first " +
                                             count(limits_.plottedItems, "item", "items") + ")") +
            "</summary>\n<table class=\"listed\">\n<thead><tr><th "
            "scope=\"col\">Item</th><th scope=\"col\">Lines</th><th scope=\"col\">Keys, "
            "as the key editor lists them</th><th "
            "scope=\"col\">Findings</th></tr></thead>\n<tbody>\n";
    cut(html, body_);
    const std::string file = htmlText(fileName(scene.path));
    std::string rows;
    for (std::size_t i : picked.listed) {
        rows += listedRow(scene.items[i], ids[i], file);
        if (rows.size() >= kPiece) {
            cut(rows, body_);
        }
    }
    if (!rows.empty()) {
        cut(rows, body_);
    }
    html = "</tbody>\n</table>\n</details>\n";
}

std::vector<const PageWriter::Entry*> PageWriter::ordered() const {
    std::vector<const Entry*> entries;
    for (const Entry& entry : toc_) {
        entries.push_back(&entry);
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry* a, const Entry* b) {
        return rank(a->errors, a->warnings) < rank(b->errors, b->warnings);
    });
    return entries;
}

std::string PageWriter::provenance(const PageSource& source) const {
    std::string out;
    // Folded to one line: who made it when from what; the sums one click away.
    const std::size_t slash = source.module.find_last_of("/\\");
    out += "<section class=\"provenance\" id=\"provenance\" aria-labelledby=\"provenance-name\">"
           "<h2 id=\"provenance-name\">Where this page came from</h2>\n<details><summary>"
           "Made ";
    out += htmlText(source.when);
    out += " by vrim ";
    out += htmlText(source.version);
    out += " with the module ";
    out += htmlText(slash == std::string::npos ? source.module : source.module.substr(slash + 1));
    out += ", from " + count(toc_.size(), "scene file", "scene files") +
           ": their paths, SHA-256 sums and the command line";
    out += "</summary>\n<dl class=\"facts\">\n<dt>Made</dt><dd>";
    out += htmlText(source.when);
    out += "</dd>\n<dt>By</dt><dd>vrim ";
    out += htmlText(source.version);
    out += "</dd>\n<dt>Module</dt><dd><code>";
    out += htmlText(source.module);
    out += "</code></dd>\n<dt>Module SHA-256</dt><dd><code>";
    out += source.moduleSha256.empty() ? std::string("(not read)") : source.moduleSha256;
    out += "</code></dd>\n<dt>Command</dt><dd><code>";
    out += htmlText(source.commandLine);
    out += "</code></dd>\n</dl>\n<table class=\"files\">\n<thead><tr><th scope=\"col\">Scene "
           "file</th><th scope=\"col\">SHA-256</th></tr></thead>\n<tbody>\n";
    for (const Entry& entry : toc_) {
        out += "<tr><td><code>";
        out += htmlText(entry.absolutePath.empty() ? entry.path : entry.absolutePath);
        out += "</code></td><td><code>";
        out += entry.sha256.empty() ? std::string("(not read)") : entry.sha256;
        out += "</code></td></tr>\n";
    }
    out += "</tbody>\n</table>\n</details>\n</section>\n";

    return out;
}

std::string PageWriter::samplingSummary() const {
    std::string out;
    if (items_ > plotted_ || restStep_ > 1 || keyStep_ > 1) {
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
        if (restStep_ > 1) {
            out += "Where no key acts, long ranges are sampled thinly (about " +
                   std::to_string(limits_.restSamples) +
                   " samples over the range; each plot says its step and draws those frames "
                   "narrow, in grey). ";
        }
        out += keyStep_ > 1
                   ? "Items whose keys act on more than " + std::to_string(limits_.keyFrames) +
                         " frames are sampled every nth of those frames, so that no item takes "
                         "more than about " +
                         std::to_string(limits_.keyFrames + limits_.restSamples) +
                         " samples however long its scene (each such item says n beside its "
                         "plot, and its curves are drawn from the extremes of each pixel "
                         "column)."
                   : std::string("Every frame on which a key acts is sampled.");
        out += "</p>\n";
    }
    return out;
}

std::string PageWriter::contents() const {
    std::string out;
    // A long contents starts folded, so that the first scene is near the top.
    out += "<nav id=\"contents\" aria-labelledby=\"contents-name\">\n<h2 "
           "id=\"contents-name\">Contents</h2>\n<details";
    out += toc_.size() <= kOpenContents ? " open" : "";
    out += "><summary>" + count(toc_.size(), "scene", "scenes") +
           ", those with errors first, then those with warnings</summary>\n<ol>\n";
    for (const Entry* entry : ordered()) {
        out += "<li class=\"";
        out += rankClass(entry->errors, entry->warnings, entry->changed);
        out += "\"><a href=\"#";
        out += markup(entry->anchor);
        out += "\">";
        out += htmlText(entry->path);
        out += "</a> ";
        out += count(entry->items, "item", "items");
        out += ", ";
        out += count(entry->errors, "error", "errors");
        out += ", ";
        out += count(entry->warnings, "warning", "warnings");
        out += "</li>\n";
    }
    out += "</ol>\n</details>\n</nav>\n<main>\n";
    return out;
}

std::string PageWriter::head(const std::string& title, const PageSource& source) const {
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
    // The findings filter is the address: #only-findings hides the clean
    // items, with or without script.
    // With findings on the page, only the items with findings show until
    // "all items" is asked for (the address #all-items, with or without script).
    out += errors_ + warnings_ > 0 ? "</style>\n</head>\n<body class=\"findings\">\n"
                                   : "</style>\n</head>\n<body>\n";
    out += "<div id=\"only-findings\" class=\"mark\"></div>\n"
           "<div id=\"all-items\" class=\"mark\"></div>\n<header>\n<h1>";
    out += htmlText(title);
    out += "</h1>\n<p>";
    out += count(toc_.size(), "scene", "scenes");
    out += ", ";
    out += count(items_, "item", "items");
    out += " with a shake, ";
    out += count(errors_, "error", "errors");
    out += ", ";
    out += count(warnings_, "warning", "warnings");
    out += compared_ ? ". Items changed since the previous version come first (the others are "
                       "folded), then those with errors, then those with warnings."
                     : ". Items with errors come first, then those with warnings.";
    out += " Every position on this "
           "page was computed by the shake module itself; the player only steps through those "
           "samples.</p>\n";
    out += std::string("<p class=\"filter\">Show: <a class=\"only\" href=\"#only-findings\">only "
                       "items with findings") +
           (compared_ ? " or changes" : "") +
           "</a> <a class=\"all\" href=\"#all-items\">all items</a></p>\n";

    out += provenance(source);
    out += samplingSummary();
    out += "</header>\n";
    out += contents();
    return out;
}

std::vector<std::string_view> PageWriter::pieces(const std::string& head) const {
    std::vector<std::string_view> out = {head};
    for (const Entry* entry : ordered()) {
        for (std::size_t i = 0; i < entry->pieces; ++i) {
            out.emplace_back(body_[entry->firstPiece + i]);
        }
    }
    return out;
}

std::string PageWriter::page(const std::string& title, const PageSource& source) const {
    const std::string top = head(title, source);
    std::string out;
    for (std::string_view piece : pieces(top)) {
        out += piece;
    }
    return out + tail();
}

std::string PageWriter::tail() {
    return std::string("</main>\n<script>\n") + kPlayerScript + "</script>\n</body>\n</html>\n";
}

} // namespace vrim::report
