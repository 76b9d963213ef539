#include "tools/vrim/plot/plot.h"
#include "standin/xml.h"
#include "text/numbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <string_view>

namespace vrim {

namespace {

// Page and plot area, in SVG user units (pixels).
constexpr double kPageWidth = 960;
constexpr double kPageHeight = 540;
constexpr double kLeft = 92;
constexpr double kRight = 826; // the legend sits to the right, clear of the curves
constexpr double kTop = 112;   // room for three rows of key labels below the subtitle
constexpr double kBottom = 468;
constexpr double kLabelRowHeight = 16; // one row of key labels above the plot
constexpr int kLabelRows = 3;          // rows of key labels between the subtitle and the plot
constexpr double kLabelCharWidth = 7;  // a character of a 12 px label, a little generously
constexpr double kLabelGap = 6;
constexpr int kTargetTicks = 8;
// Markers on every sample only while they stay apart.
constexpr std::size_t kMaxMarkedSamples = 240;

struct Axis {
    const char* name;
    const char* colour;
    const char* dash; // empty: solid
};
// Colours that stay apart for most colour-blind readers; Z dashed so that it
// shows where it runs on top of X (both flat at 0 for the default key).
constexpr Axis kAxes[3] = {
    {"X", "#d55e00", ""},
    {"Y", "#0072b2", ""},
    {"Z", "#009e73", "7 4"},
};
// Fills for key spans, taken in turn.
constexpr const char* kSpanFills[] = {"#e69f00", "#56b4e9", "#cc79a7", "#999999", "#f0e442"};

// A tick at zero reads 0, not -0.00.
std::string number(double value, int decimals = 2) {
    return text::fixed(value, decimals);
}

// Tick spacing of 1, 2 or 5 times a power of ten giving about target ticks,
// rather more than fewer.
double tickStep(double range, int target) {
    const double raw = 0.75 * range / target;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double factor : {1.0, 2.0, 5.0}) {
        if (raw <= factor * power) {
            return factor * power;
        }
    }
    return 10.0 * power;
}

// An offset tick's label: a tick of a billion or more in the short general
// form, as its hundreds of fixed digits would run across the plot.
std::string tickLabel(double tick, int decimals) {
    return std::fabs(tick) >= 1e9 ? text::general(tick) : number(tick, decimals);
}

int decimalsFor(double step) {
    return std::max(0, -static_cast<int>(std::floor(std::log10(step))));
}

// SVG units from the plot's origin that stand for "far off the plot".
constexpr double kFarOff = 1e9;

struct Scale {
    double from, to; // data range
    double pixelFrom, pixelTo;
    // A value past the axis's reach is drawn far off the plot, but at a
    // finite place: an infinite one would void the whole curve.
    double operator()(double value) const {
        return std::clamp(pixelFrom + (value - from) / (to - from) * (pixelTo - pixelFrom),
                          -kFarOff, kFarOff);
    }
};

// A key's label and where it goes: a row above the plot, or none when the
// rows are full there.
struct Label {
    std::string text;
    int row = -1; // -1: not shown
};

// Labels go to the first row with room. When the full labels ("key 3
// (20-31)") do not all find room, every key is labelled by its number alone,
// and a label that still finds none is left out (the shading still shows it).
std::vector<Label> placeLabels(const std::vector<PlotKey>& keys, const Scale& x) {
    std::vector<Label> labels;
    for (bool full : {true, false}) {
        labels.assign(keys.size(), Label{});
        std::vector<double> rowEnds(kLabelRows, -1e300);
        bool allPlaced = true;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            const PlotKey& key = keys[i];
            if (key.moves.empty()) {
                continue;
            }
            const double left = x(static_cast<double>(key.moves.front().first));
            const std::string text = full ? "key " + std::to_string(key.number) + " (" +
                                                std::to_string(key.moves.front().first) + "-" +
                                                std::to_string(key.moves.back().last) + ")"
                                          : std::to_string(key.number);
            const double right = left + kLabelCharWidth * static_cast<double>(text.size());
            for (std::size_t row = 0; row < rowEnds.size(); ++row) {
                if (rowEnds[row] + kLabelGap <= left) {
                    rowEnds[row] = right;
                    labels[i] = {text, static_cast<int>(row)};
                    break;
                }
            }
            allPlaced = allPlaced && labels[i].row >= 0;
        }
        if (allPlaced) {
            break;
        }
    }
    return labels;
}

// Why a plot shows no shake, or nothing when some key moves the item.
std::string whyNoShake(const Plot& plot) {
    if (plot.keys.empty()) {
        return "The block holds no key: the item does not shake.";
    }
    for (const PlotKey& key : plot.keys) {
        if (!key.moves.empty()) {
            return "";
        }
    }
    FrameSpan spans; // empty until a key's span holds a frame
    for (const PlotKey& key : plot.keys) {
        if (!key.acts.empty()) {
            spans.first = spans.empty() ? key.acts.first : std::min(spans.first, key.acts.first);
            spans.last = spans.empty() ? key.acts.last : std::max(spans.last, key.acts.last);
        }
    }
    char rate[32];
    std::snprintf(rate, sizeof rate, "%g", plot.fps);
    std::string why = "No key moves the item on frames " + std::to_string(plot.frames.first) + "-" +
                      std::to_string(plot.frames.last) + " at " + rate + " fps: ";
    if (spans.empty()) {
        return why + "no key's span holds a whole frame.";
    }
    return why + "the keys' spans run on frames " + std::to_string(spans.first) + "-" +
           std::to_string(spans.last) + ".";
}

// The picture as it is drawn: its text so far and where frames and offsets go.
struct Drawing {
    std::string svg;
    Scale x, y;
    void line(const std::string& text) { svg += text + "\n"; }
};

// An axis's dash pattern as an attribute, or nothing for a solid line.
std::string dashOf(const Axis& axis) {
    return axis.dash[0] != '\0' ? std::string(" stroke-dasharray=\"") + axis.dash + "\""
                                : std::string();
}

// The page, its title and the subtitle.
void drawHeading(Drawing& drawing, const Plot& plot) {
    drawing.line("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    drawing.line("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(kPageWidth, 0) +
                 "\" height=\"" + number(kPageHeight, 0) + "\" viewBox=\"0 0 " +
                 number(kPageWidth, 0) + " " + number(kPageHeight, 0) +
                 "\" font-family=\"DejaVu Sans, Verdana, Arial, sans-serif\" font-size=\"13\">");
    drawing.line("<title>" + standin::escapeXml(plot.title) + "</title>");
    drawing.line("<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>");
    drawing.line("<text x=\"" + number(kLeft, 0) +
                 "\" y=\"26\" font-size=\"17\" font-weight=\"bold\" "
                 "fill=\"#222222\">" +
                 standin::escapeXml(plot.title) + "</text>");
    drawing.line("<text x=\"" + number(kLeft, 0) + "\" y=\"46\" fill=\"#555555\">" +
                 standin::escapeXml(plot.subtitle) + "</text>");
}

// Keys: shaded on the frames where each one moves the item, labelled above
// the plot; and, when none moves it, why.
void drawKeys(Drawing& drawing, const Plot& plot) {
    const Scale& x = drawing.x;
    drawing.line("<g id=\"key-spans\">");
    const std::vector<Label> labels = placeLabels(plot.keys, x);
    for (std::size_t i = 0; i < plot.keys.size(); ++i) {
        const PlotKey& key = plot.keys[i];
        const char* fill = kSpanFills[i % std::size(kSpanFills)];
        for (const FrameSpan& run : key.moves) {
            const double left = x(static_cast<double>(run.first));
            const double right = x(static_cast<double>(run.last));
            drawing.line("<rect x=\"" + number(left) + "\" y=\"" + number(kTop) + "\" width=\"" +
                         number(std::max(right - left, 1.5)) + "\" height=\"" +
                         number(kBottom - kTop) + "\" fill=\"" + fill +
                         "\" fill-opacity=\"0.16\" stroke=\"" + fill +
                         "\" stroke-opacity=\"0.7\" stroke-dasharray=\"3 3\"/>");
        }
        if (labels[i].row >= 0) {
            const double left = x(static_cast<double>(key.moves.front().first));
            drawing.line("<text x=\"" + number(left + 3) + "\" y=\"" +
                         number(kTop - 8 - labels[i].row * kLabelRowHeight) +
                         "\" fill=\"#333333\" font-size=\"12\">" +
                         standin::escapeXml(labels[i].text) + "</text>");
        }
    }
    drawing.line("</g>");
    if (const std::string why = whyNoShake(plot); !why.empty()) {
        drawing.line("<text id=\"no-shake\" x=\"" + number((kLeft + kRight) / 2) + "\" y=\"" +
                     number(kTop + 28) +
                     "\" text-anchor=\"middle\" fill=\"#aa3333\" stroke=\"#ffffff\" "
                     "stroke-width=\"5\" paint-order=\"stroke\">" +
                     standin::escapeXml(why) + "</text>");
    }
}

// Grid lines, ticks and their labels along the frames.
void drawFrameTicks(Drawing& drawing) {
    const double frameFrom = drawing.x.from, frameTo = drawing.x.to;
    const double frameStep = std::max(1.0, tickStep(frameTo - frameFrom, kTargetTicks));
    for (double tick = std::ceil(frameFrom / frameStep) * frameStep; tick <= frameTo + 1e-9;
         tick += frameStep) {
        const double px = drawing.x(tick);
        drawing.line("<line x1=\"" + number(px) + "\" y1=\"" + number(kTop) + "\" x2=\"" +
                     number(px) + "\" y2=\"" + number(kBottom) + "\" stroke=\"#e4e4e4\"/>");
        drawing.line("<line x1=\"" + number(px) + "\" y1=\"" + number(kBottom) + "\" x2=\"" +
                     number(px) + "\" y2=\"" + number(kBottom + 5) + "\" stroke=\"#444444\"/>");
        drawing.line("<text x=\"" + number(px) + "\" y=\"" + number(kBottom + 19) +
                     "\" text-anchor=\"middle\" fill=\"#333333\">" + number(tick, 0) + "</text>");
    }
}

// Grid lines, ticks and their labels up the offsets, and the zero line
// when zero is inside.
void drawOffsetTicks(Drawing& drawing) {
    const double low = drawing.y.from, high = drawing.y.to;
    const double offsetStep = tickStep(high - low, kTargetTicks);
    const int offsetDecimals = decimalsFor(offsetStep);
    for (double tick = std::ceil(low / offsetStep) * offsetStep; tick <= high + offsetStep * 1e-9;
         tick += offsetStep) {
        const double py = drawing.y(tick);
        drawing.line("<line x1=\"" + number(kLeft) + "\" y1=\"" + number(py) + "\" x2=\"" +
                     number(kRight) + "\" y2=\"" + number(py) + "\" stroke=\"#e4e4e4\"/>");
        drawing.line("<line x1=\"" + number(kLeft - 5) + "\" y1=\"" + number(py) + "\" x2=\"" +
                     number(kLeft) + "\" y2=\"" + number(py) + "\" stroke=\"#444444\"/>");
        drawing.line("<text x=\"" + number(kLeft - 9) + "\" y=\"" + number(py + 4.5) +
                     "\" text-anchor=\"end\" fill=\"#333333\">" + tickLabel(tick, offsetDecimals) +
                     "</text>");
    }
    if (low < 0.0 && high > 0.0) {
        drawing.line("<line x1=\"" + number(kLeft) + "\" y1=\"" + number(drawing.y(0.0)) +
                     "\" x2=\"" + number(kRight) + "\" y2=\"" + number(drawing.y(0.0)) +
                     "\" stroke=\"#888888\"/>");
    }
}

// The grid, the plot's frame and the axes' names.
void drawAxes(Drawing& drawing, const Plot& plot) {
    drawing.line("<g id=\"axes\" stroke-width=\"1\">");
    drawFrameTicks(drawing);
    drawOffsetTicks(drawing);
    drawing.line("<rect x=\"" + number(kLeft) + "\" y=\"" + number(kTop) + "\" width=\"" +
                 number(kRight - kLeft) + "\" height=\"" + number(kBottom - kTop) +
                 "\" fill=\"none\" stroke=\"#444444\"/>");
    char frameLabel[96];
    std::snprintf(frameLabel, sizeof frameLabel, "frame (at %g frames per second)", plot.fps);
    drawing.line("<text x=\"" + number((kLeft + kRight) / 2) + "\" y=\"" + number(kBottom + 44) +
                 "\" text-anchor=\"middle\" fill=\"#222222\">" + frameLabel + "</text>");
    drawing.line("<text transform=\"translate(22 " + number((kTop + kBottom) / 2) +
                 ") rotate(-90)\" text-anchor=\"middle\" fill=\"#222222\">offset (units of the "
                 "item's position)</text>");
    drawing.line("</g>");
}

// One axis's curve: one line per run of finite samples, so that the curve
// breaks where the offset is not a number. The first run carries the
// curve's id. A marker on each sample while they stay apart.
void drawCurve(Drawing& drawing, const Plot& plot, int axis) {
    const std::string dash = dashOf(kAxes[axis]);
    std::string points;
    bool first = true;
    auto endRun = [&] {
        if (!points.empty()) {
            drawing.line(std::string("<polyline") +
                         (first ? std::string(" id=\"curve-") + kAxes[axis].name + "\"" : "") +
                         " stroke=\"" + kAxes[axis].colour + "\"" + dash + " points=\"" + points +
                         "\"/>");
            points.clear();
            first = false;
        }
    };
    for (const Sample& sample : plot.samples) {
        if (!std::isfinite(sample.offset[axis])) {
            endRun();
            continue;
        }
        points +=
            number(drawing.x(sample.frame)) + "," + number(drawing.y(sample.offset[axis])) + " ";
    }
    endRun();
    if (plot.samples.size() <= kMaxMarkedSamples) {
        std::string marks = std::string("<g fill=\"") + kAxes[axis].colour + "\">";
        for (const Sample& sample : plot.samples) {
            if (std::isfinite(sample.offset[axis])) {
                marks += "<circle cx=\"" + number(drawing.x(sample.frame)) + "\" cy=\"" +
                         number(drawing.y(sample.offset[axis])) + "\" r=\"2.2\"/>";
            }
        }
        drawing.line(marks + "</g>");
    }
}

// The three curves, X drawn first so that Y and Z stay on top.
void drawCurves(Drawing& drawing, const Plot& plot) {
    drawing.line("<g id=\"curves\" fill=\"none\" stroke-width=\"1.8\" stroke-linejoin=\"round\">");
    for (int axis = 0; axis < 3; ++axis) {
        drawCurve(drawing, plot, axis);
    }
    drawing.line("</g>");
}

// Legend, right of the plot.
void drawLegend(Drawing& drawing) {
    const double legendLeft = kRight + 14;
    drawing.line("<g id=\"legend\">");
    for (int axis = 0; axis < 3; ++axis) {
        const double rowY = kTop + 14 + axis * 22;
        drawing.line("<line x1=\"" + number(legendLeft) + "\" y1=\"" + number(rowY - 4) +
                     "\" x2=\"" + number(legendLeft + 30) + "\" y2=\"" + number(rowY - 4) +
                     "\" stroke-width=\"2.2\" stroke=\"" + kAxes[axis].colour + "\"" +
                     dashOf(kAxes[axis]) + "/>");
        drawing.line("<text x=\"" + number(legendLeft + 38) + "\" y=\"" + number(rowY) +
                     "\" fill=\"#222222\">" + kAxes[axis].name + " offset</text>");
    }
    drawing.line("</g>");
}

} // namespace

std::vector<PlotKey> plotKeys(const ShakeInstance& instance, double fps, const FrameRange& frames) {
    std::vector<PlotKey> keys;
    int number = 1;
    for (const ShakeKey* key : keysOf(instance)) {
        keys.push_back({number++, spanFrames(*key, fps), {}});
    }
    // The module moves the item by the key that acts at each frame; runs of
    // frames by one key become its shaded runs.
    for (int64_t frame = frames.first; frame <= frames.last; ++frame) {
        const int acting =
            actingKey(instance, static_cast<int32_t>(frame), static_cast<double>(frame) / fps);
        if (acting < 0) {
            continue;
        }
        std::vector<FrameSpan>& moves = keys[static_cast<std::size_t>(acting)].moves;
        if (!moves.empty() && moves.back().last == frame - 1) {
            moves.back().last = frame;
        } else {
            moves.push_back({frame, frame});
        }
    }
    return keys;
}

PlotArea plotArea(const Plot& plot) {
    PlotArea area = {kLeft,
                     kRight,
                     kTop,
                     kBottom,
                     static_cast<double>(plot.frames.first),
                     static_cast<double>(plot.frames.last)};
    if (area.toFrame <= area.fromFrame) {
        area.toFrame = area.fromFrame + 1;
    }
    return area;
}

// The axis reaches this far at most: offsets near the largest number would
// make its span, its margins and its tick step infinite (and the ticks'
// decimals with them); no scene moves an item anywhere near it.
constexpr double kFarthestOffset = 1e300;

OffsetSpan offsetSpan(const Plot& plot) {
    double low = 0.0, high = 0.0;
    for (const Sample& sample : plot.samples) {
        for (double offset : sample.offset) {
            // A key with a value that is not a number gives NaN or infinite
            // offsets: they have no place on the axis and are left out.
            if (std::isfinite(offset)) {
                low = std::max(std::min(low, offset), -kFarthestOffset);
                high = std::min(std::max(high, offset), kFarthestOffset);
            }
        }
    }
    if (high - low < 1e-12) {
        low = -1.0;
        high = 1.0;
    }
    const double pad = (high - low) * 0.08;
    return {low - pad, high + pad};
}

std::string plotSvg(const Plot& plot) {
    const PlotArea area = plotArea(plot);
    const OffsetSpan span = offsetSpan(plot);
    // Frames across, offsets up.
    Drawing drawing{
        {}, {area.fromFrame, area.toFrame, kLeft, kRight}, {span.low, span.high, kBottom, kTop}};
    drawHeading(drawing, plot);
    drawKeys(drawing, plot);
    drawAxes(drawing, plot);
    drawCurves(drawing, plot);
    drawLegend(drawing);
    drawing.line("</svg>");
    return drawing.svg;
}

} // namespace vrim
