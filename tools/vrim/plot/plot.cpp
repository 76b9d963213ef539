#include "tools/vrim/plot/plot.h"
#include "standin/xml.h"

#include <algorithm>
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
constexpr double kTop = 96;
constexpr double kBottom = 468;
constexpr double kLabelRowHeight = 16; // one row of key labels above the plot
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

std::string number(double value, int decimals = 2) {
    // A tick at zero must read 0, not -0.00.
    if (std::fabs(value) < 0.5 * std::pow(10.0, -decimals)) {
        value = 0.0;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
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

int decimalsFor(double step) {
    return std::max(0, -static_cast<int>(std::floor(std::log10(step))));
}

struct Scale {
    double from, to; // data range
    double pixelFrom, pixelTo;
    double operator()(double value) const {
        return pixelFrom + (value - from) / (to - from) * (pixelTo - pixelFrom);
    }
};

// Labels of overlapping spans go to separate rows above the plot.
std::vector<int> labelRows(const std::vector<PlotKey>& keys, const Scale& x) {
    std::vector<int> rows(keys.size(), 0);
    std::vector<double> rowEnds;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const double left = x(static_cast<double>(keys[i].acts.first));
        const double width = 44; // "key 12" at 12 px
        std::size_t row = 0;
        while (row < rowEnds.size() && rowEnds[row] > left) {
            ++row;
        }
        if (row == rowEnds.size()) {
            rowEnds.push_back(0);
        }
        rowEnds[row] = left + width;
        rows[i] = static_cast<int>(row);
    }
    return rows;
}

} // namespace

std::vector<PlotKey> plotKeys(const ShakeInstance& instance, double fps) {
    std::vector<PlotKey> keys;
    int number = 1;
    for (const ShakeKey* key : keysOf(instance)) {
        keys.push_back({number++, spanFrames(*key, fps)});
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

std::string plotSvg(const Plot& plot) {
    // Frames across, offsets up.
    const double frameFrom = plotArea(plot).fromFrame;
    const double frameTo = plotArea(plot).toFrame;
    double low = 0.0, high = 0.0;
    for (const Sample& sample : plot.samples) {
        for (double offset : sample.offset) {
            // A key with a value that is not a number gives NaN or infinite
            // offsets: they have no place on the axis and are left out.
            if (std::isfinite(offset)) {
                low = std::min(low, offset);
                high = std::max(high, offset);
            }
        }
    }
    if (high - low < 1e-12) {
        low = -1.0;
        high = 1.0;
    }
    const double pad = (high - low) * 0.08;
    low -= pad;
    high += pad;

    const Scale x = {frameFrom, frameTo, kLeft, kRight};
    const Scale y = {low, high, kBottom, kTop};
    std::string svg;
    auto line = [&svg](const std::string& text) { svg += text + "\n"; };

    line("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    line("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(kPageWidth, 0) +
         "\" height=\"" + number(kPageHeight, 0) + "\" viewBox=\"0 0 " + number(kPageWidth, 0) +
         " " + number(kPageHeight, 0) +
         "\" font-family=\"DejaVu Sans, Verdana, Arial, sans-serif\" font-size=\"13\">");
    line("<title>" + standin::escapeXml(plot.title) + "</title>");
    line("<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>");
    line("<text x=\"" + number(kLeft, 0) +
         "\" y=\"26\" font-size=\"17\" font-weight=\"bold\" "
         "fill=\"#222222\">" +
         standin::escapeXml(plot.title) + "</text>");
    line("<text x=\"" + number(kLeft, 0) + "\" y=\"46\" fill=\"#555555\">" +
         standin::escapeXml(plot.subtitle) + "</text>");

    // Key spans: shaded where each key's span runs, labelled above the plot.
    line("<g id=\"key-spans\">");
    const std::vector<int> rows = labelRows(plot.keys, x);
    for (std::size_t i = 0; i < plot.keys.size(); ++i) {
        const PlotKey& key = plot.keys[i];
        const char* fill = kSpanFills[i % std::size(kSpanFills)];
        const double labelY = kTop - 8 - rows[i] * kLabelRowHeight;
        if (key.acts.empty() || key.acts.last < frameFrom || key.acts.first > frameTo) {
            continue;
        }
        const double left = x(std::max<double>(static_cast<double>(key.acts.first), frameFrom));
        const double right = x(std::min<double>(static_cast<double>(key.acts.last), frameTo));
        line("<rect x=\"" + number(left) + "\" y=\"" + number(kTop) + "\" width=\"" +
             number(std::max(right - left, 1.5)) + "\" height=\"" + number(kBottom - kTop) +
             "\" fill=\"" + fill + "\" fill-opacity=\"0.16\" stroke=\"" + fill +
             "\" stroke-opacity=\"0.7\" stroke-dasharray=\"3 3\"/>");
        line("<text x=\"" + number(left + 3) + "\" y=\"" + number(labelY) +
             "\" fill=\"#333333\" font-size=\"12\">key " + std::to_string(key.number) + " (" +
             std::to_string(key.acts.first) + "-" + std::to_string(key.acts.last) + ")</text>");
    }
    line("</g>");

    // Grid, ticks and tick labels.
    line("<g id=\"axes\" stroke-width=\"1\">");
    const double frameStep = std::max(1.0, tickStep(frameTo - frameFrom, kTargetTicks));
    for (double tick = std::ceil(frameFrom / frameStep) * frameStep; tick <= frameTo + 1e-9;
         tick += frameStep) {
        const double px = x(tick);
        line("<line x1=\"" + number(px) + "\" y1=\"" + number(kTop) + "\" x2=\"" + number(px) +
             "\" y2=\"" + number(kBottom) + "\" stroke=\"#e4e4e4\"/>");
        line("<line x1=\"" + number(px) + "\" y1=\"" + number(kBottom) + "\" x2=\"" + number(px) +
             "\" y2=\"" + number(kBottom + 5) + "\" stroke=\"#444444\"/>");
        line("<text x=\"" + number(px) + "\" y=\"" + number(kBottom + 19) +
             "\" text-anchor=\"middle\" fill=\"#333333\">" + number(tick, 0) + "</text>");
    }
    const double offsetStep = tickStep(high - low, kTargetTicks);
    const int offsetDecimals = decimalsFor(offsetStep);
    for (double tick = std::ceil(low / offsetStep) * offsetStep; tick <= high + offsetStep * 1e-9;
         tick += offsetStep) {
        const double py = y(tick);
        line("<line x1=\"" + number(kLeft) + "\" y1=\"" + number(py) + "\" x2=\"" + number(kRight) +
             "\" y2=\"" + number(py) + "\" stroke=\"#e4e4e4\"/>");
        line("<line x1=\"" + number(kLeft - 5) + "\" y1=\"" + number(py) + "\" x2=\"" +
             number(kLeft) + "\" y2=\"" + number(py) + "\" stroke=\"#444444\"/>");
        line("<text x=\"" + number(kLeft - 9) + "\" y=\"" + number(py + 4.5) +
             "\" text-anchor=\"end\" fill=\"#333333\">" + number(tick, offsetDecimals) + "</text>");
    }
    if (low < 0.0 && high > 0.0) {
        line("<line x1=\"" + number(kLeft) + "\" y1=\"" + number(y(0.0)) + "\" x2=\"" +
             number(kRight) + "\" y2=\"" + number(y(0.0)) + "\" stroke=\"#888888\"/>");
    }
    line("<rect x=\"" + number(kLeft) + "\" y=\"" + number(kTop) + "\" width=\"" +
         number(kRight - kLeft) + "\" height=\"" + number(kBottom - kTop) +
         "\" fill=\"none\" stroke=\"#444444\"/>");
    char frameLabel[96];
    std::snprintf(frameLabel, sizeof frameLabel, "frame (at %g frames per second)", plot.fps);
    line("<text x=\"" + number((kLeft + kRight) / 2) + "\" y=\"" + number(kBottom + 44) +
         "\" text-anchor=\"middle\" fill=\"#222222\">" + frameLabel + "</text>");
    line("<text transform=\"translate(22 " + number((kTop + kBottom) / 2) +
         ") rotate(-90)\" text-anchor=\"middle\" fill=\"#222222\">offset (units of the item's "
         "position)</text>");
    line("</g>");

    // The three curves, X drawn first so that Y and Z stay on top.
    line("<g id=\"curves\" fill=\"none\" stroke-width=\"1.8\" stroke-linejoin=\"round\">");
    for (int axis = 0; axis < 3; ++axis) {
        std::string dash = kAxes[axis].dash[0] != '\0'
                               ? std::string(" stroke-dasharray=\"") + kAxes[axis].dash + "\""
                               : std::string();
        // One line per run of finite samples: the curve breaks where the
        // offset is not a number. The first run carries the curve's id.
        std::string points;
        bool first = true;
        auto endRun = [&] {
            if (!points.empty()) {
                line(std::string("<polyline") +
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
            points += number(x(sample.frame)) + "," + number(y(sample.offset[axis])) + " ";
        }
        endRun();
        if (plot.samples.size() <= kMaxMarkedSamples) {
            std::string marks = std::string("<g fill=\"") + kAxes[axis].colour + "\">";
            for (const Sample& sample : plot.samples) {
                if (std::isfinite(sample.offset[axis])) {
                    marks += "<circle cx=\"" + number(x(sample.frame)) + "\" cy=\"" +
                             number(y(sample.offset[axis])) + "\" r=\"2.2\"/>";
                }
            }
            line(marks + "</g>");
        }
    }
    line("</g>");

    // Legend, right of the plot.
    const double legendLeft = kRight + 14;
    line("<g id=\"legend\">");
    for (int axis = 0; axis < 3; ++axis) {
        const double rowY = kTop + 14 + axis * 22;
        std::string dash = kAxes[axis].dash[0] != '\0'
                               ? std::string(" stroke-dasharray=\"") + kAxes[axis].dash + "\""
                               : std::string();
        line("<line x1=\"" + number(legendLeft) + "\" y1=\"" + number(rowY - 4) + "\" x2=\"" +
             number(legendLeft + 30) + "\" y2=\"" + number(rowY - 4) +
             "\" stroke-width=\"2.2\" stroke=\"" + kAxes[axis].colour + "\"" + dash + "/>");
        line("<text x=\"" + number(legendLeft + 38) + "\" y=\"" + number(rowY) +
             "\" fill=\"#222222\">" + kAxes[axis].name + " offset</text>");
    }
    line("</g>");
    line("</svg>");
    return svg;
}

} // namespace vrim
