#include "tools/vrim/report/chart.h"
#include "text/numbers.h"

#include "tools/vrim/report/page.h"
#include "tools/vrim/scene/findings.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <iterator>

namespace vrim::report {

namespace {

constexpr double kWidth = 960, kHeight = 290;
constexpr double kLeft = 64, kRight = 948, kTop = 40, kBottom = 250;
// Below this many frames every frame has room across the chart.
constexpr int64_t kFramesThatFit = 400;
// A squeezed stretch's width, at most; all of them together take at most a
// third of the chart.
constexpr double kSqueezedWidth = 34;
constexpr std::size_t kMostPieces = 40; // key stretches, past which close ones merge

struct Axis {
    const char* name;
    const char* colour;
    const char* dash;
};
// Okabe-Ito colours; Z dashed, so that it shows where it runs on top of X.
constexpr Axis kAxes[3] = {{"X", "#d55e00", ""}, {"Y", "#0072b2", ""}, {"Z", "#009e73", "7 4"}};
constexpr const char* kSpanFills[] = {"#e69f00", "#56b4e9", "#cc79a7", "#999999", "#f0e442"};

std::string num(double value, int decimals = 1) {
    if (std::fabs(value) < (decimals == 0 ? 0.5 : 0.05)) {
        value = 0.0;
    }
    std::string out = text::fixed(value, decimals);
    // "12.0" says no more than "12" and a plot has thousands of them.
    if (decimals > 0 && out.size() > 2 && out.compare(out.size() - 2, 2, ".0") == 0) {
        out.resize(out.size() - 2);
    }
    return out;
}

double tickStep(double range, int target) {
    const double raw = std::max(range, 1e-300) / target;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double factor : {1.0, 2.0, 5.0}) {
        if (raw <= factor * power) {
            return factor * power;
        }
    }
    return 10.0 * power;
}

// The frames where some key moves the item, as sorted runs.
std::vector<FrameSpan> movingRuns(const Plot& plot) {
    std::vector<FrameSpan> runs;
    for (const PlotKey& key : plot.keys) {
        runs.insert(runs.end(), key.moves.begin(), key.moves.end());
    }
    std::sort(runs.begin(), runs.end(),
              [](const FrameSpan& a, const FrameSpan& b) { return a.first < b.first; });
    std::vector<FrameSpan> merged;
    for (const FrameSpan& run : runs) {
        if (!merged.empty() && run.first <= merged.back().last + 1) {
            merged.back().last = std::max(merged.back().last, run.last);
        } else {
            merged.push_back(run);
        }
    }
    return merged;
}

double frameX(const std::vector<AxisPiece>& axis, double frame) {
    for (const AxisPiece& piece : axis) {
        if (frame <= piece.toFrame || &piece == &axis.back()) {
            const double span = piece.toFrame - piece.fromFrame;
            const double at = span <= 0 ? piece.left
                                        : piece.left + (frame - piece.fromFrame) / span *
                                                           (piece.right - piece.left);
            return std::clamp(at, kLeft, kRight);
        }
    }
    return kLeft;
}

} // namespace

std::vector<AxisPiece> frameAxis(const Plot& plot) {
    const int64_t first = plot.frames.first, last = plot.frames.last;
    const int64_t all = last - first + 1;
    std::vector<FrameSpan> runs = movingRuns(plot);
    int64_t moving = 0;
    for (const FrameSpan& run : runs) {
        moving += run.last - run.first + 1;
    }
    if (all <= kFramesThatFit || runs.empty() || moving * 3 >= all) {
        const double to = last > first ? static_cast<double>(last) : first + 1.0;
        return {{static_cast<double>(first), to, kLeft, kRight, false}};
    }
    // A frame of rest either side of each run, and runs closer than a
    // two-hundredth of the range (or than kMostPieces allows) drawn as one.
    for (FrameSpan& run : runs) {
        run.first = std::max<int64_t>(first, run.first - 1);
        run.last = std::min<int64_t>(last, run.last + 1);
    }
    const int64_t close = std::max<int64_t>(4, all / 200);
    std::vector<FrameSpan> kept;
    for (const FrameSpan& run : runs) {
        if (!kept.empty() && run.first - kept.back().last <= close) {
            kept.back().last = run.last;
        } else {
            kept.push_back(run);
        }
    }
    while (kept.size() > kMostPieces) {
        std::size_t nearest = 1;
        for (std::size_t i = 2; i < kept.size(); ++i) {
            if (kept[i].first - kept[i - 1].last < kept[nearest].first - kept[nearest - 1].last) {
                nearest = i;
            }
        }
        kept[nearest - 1].last = kept[nearest].last;
        kept.erase(kept.begin() + static_cast<std::ptrdiff_t>(nearest));
    }
    // Stretches in frame order, each a run of keys or the rest between.
    struct Stretch {
        double from, to;
        bool squeezed;
    };
    std::vector<Stretch> stretches;
    double at = static_cast<double>(first) - 0.5;
    for (const FrameSpan& run : kept) {
        const double from = static_cast<double>(run.first) - 0.5;
        if (from > at) {
            stretches.push_back({at, from, true});
        }
        stretches.push_back({from, static_cast<double>(run.last) + 0.5, false});
        at = static_cast<double>(run.last) + 0.5;
    }
    if (at < static_cast<double>(last) + 0.5) {
        stretches.push_back({at, static_cast<double>(last) + 0.5, true});
    }
    std::size_t squeezed = 0;
    double keyFrames = 0;
    for (const Stretch& s : stretches) {
        squeezed += s.squeezed ? 1 : 0;
        keyFrames += s.squeezed ? 0 : s.to - s.from;
    }
    const double width = kRight - kLeft;
    const double squeezedWidth =
        squeezed == 0 ? 0 : std::min(kSqueezedWidth, width / 3 / static_cast<double>(squeezed));
    const double keyWidth = width - squeezedWidth * static_cast<double>(squeezed);
    // A short run among long ones still gets some room.
    const double floorFrames = keyFrames / static_cast<double>(kept.size()) / 4;
    const double weights = keyFrames + floorFrames * static_cast<double>(kept.size());
    std::vector<AxisPiece> axis;
    double x = kLeft;
    for (const Stretch& s : stretches) {
        const double w =
            s.squeezed ? squeezedWidth : keyWidth * (s.to - s.from + floorFrames) / weights;
        axis.push_back({s.from, s.to, x, x + w, s.squeezed});
        x += w;
    }
    axis.back().right = kRight;
    return axis;
}

std::string chartSvg(const Plot& plot, const std::vector<AxisPiece>& axis, const std::string& id,
                     std::size_t thinStep) {
    const OffsetSpan span = offsetSpan(plot);
    const double low = span.low, high = span.high;
    auto y = [&](double v) { return kBottom - (v - low) / (high - low) * (kBottom - kTop); };
    auto x = [&](double frame) { return frameX(axis, frame); };

    std::string svg = "<svg class=\"plot\" id=\"" + id + "-plot\" role=\"img\" viewBox=\"0 0 " +
                      num(kWidth, 0) + " " + num(kHeight, 0) + "\">\n";
    svg += "<title>" + htmlText(plot.title) + ": offsets on X, Y and Z against frames (" +
           htmlText(plot.subtitle) + ")</title>\n";

    // Stretches where no key acts, drawn narrow: grey, with a break mark.
    for (const AxisPiece& piece : axis) {
        if (!piece.squeezed) {
            continue;
        }
        const int64_t from = static_cast<int64_t>(std::ceil(piece.fromFrame));
        const int64_t to = static_cast<int64_t>(std::floor(piece.toFrame));
        svg += "<g class=\"thin\"><title>frames " + std::to_string(from) + " to " +
               std::to_string(to) + ": no key acts; drawn narrow" +
               (thinStep > 1 ? ", every " + std::to_string(thinStep) + " frames sampled" : "") +
               "</title><rect x=\"" + num(piece.left) + "\" y=\"" + num(kTop) + "\" width=\"" +
               num(piece.right - piece.left) + "\" height=\"" + num(kBottom - kTop) +
               "\" fill=\"#eeeeee\"/><path d=\"M" + num(piece.left + 3) + " " + num(kBottom + 4) +
               "l5 -8m" + num(piece.right - piece.left - 10) +
               " 8l5 -8\" stroke=\"#444444\" fill=\"none\"/></g>\n";
    }

    // Each key's frames shaded, its number above the first of them.
    double labelEnd = -1e300;
    for (std::size_t i = 0; i < plot.keys.size(); ++i) {
        const PlotKey& key = plot.keys[i];
        if (key.moves.empty()) {
            continue;
        }
        const char* fill = kSpanFills[i % std::size(kSpanFills)];
        std::string rects;
        for (const FrameSpan& run : key.moves) {
            const double left = x(static_cast<double>(run.first) - 0.5);
            const double right = x(static_cast<double>(run.last) + 0.5);
            rects += "<rect x=\"" + num(left) + "\" y=\"" + num(kTop) + "\" width=\"" +
                     num(std::max(right - left, 1.0)) + "\" height=\"" + num(kBottom - kTop) +
                     "\"/>";
        }
        svg += "<g fill=\"" + std::string(fill) + "\" fill-opacity=\"0.2\"><title>key " +
               std::to_string(key.number) + ": frames " + runsText(key.moves) + "</title>";
        svg += rects + "</g>\n";
        const double left = x(static_cast<double>(key.moves.front().first) - 0.5);
        const std::string label = (left - labelEnd > 60 ? "key " : "") + std::to_string(key.number);
        if (left >= labelEnd + 4) {
            svg += "<text x=\"" + num(left + 2) + "\" y=\"" + num(kTop - 6) +
                   "\" font-size=\"12\" fill=\"#333333\">" + label + "</text>\n";
            labelEnd = left + 7.5 * static_cast<double>(label.size());
        }
    }

    // Offset grid and ticks.
    svg += "<g stroke=\"#e4e4e4\">";
    std::string labels;
    const double step = tickStep(high - low, 6);
    const int decimals = std::max(0, -static_cast<int>(std::floor(std::log10(step))));
    for (double tick = std::ceil(low / step) * step; tick <= high + step * 1e-9; tick += step) {
        svg += "<path d=\"M" + num(kLeft) + " " + num(y(tick)) + "H" + num(kRight) + "\"/>";
        labels += "<text x=\"" + num(kLeft - 6) + "\" y=\"" + num(y(tick) + 4.5) + "\">" +
                  num(tick, decimals) + "</text>";
    }
    svg += "</g>\n<g text-anchor=\"end\" fill=\"#333333\">" + labels + "</g>\n";
    if (low < 0.0 && high > 0.0) {
        svg += "<path d=\"M" + num(kLeft) + " " + num(y(0.0)) + "H" + num(kRight) +
               "\" stroke=\"#888888\"/>\n";
    }

    // Frame ticks: evenly on one piece, else the first and last frame of
    // each key stretch that has room for them.
    std::vector<std::pair<double, int64_t>> ticks;
    if (axis.size() == 1) {
        const double frameStep = std::max(1.0, tickStep(axis[0].toFrame - axis[0].fromFrame, 8));
        for (double t = std::ceil(axis[0].fromFrame / frameStep) * frameStep;
             t <= axis[0].toFrame + 1e-9; t += frameStep) {
            ticks.emplace_back(x(t), static_cast<int64_t>(std::llround(t)));
        }
    } else {
        for (const AxisPiece& piece : axis) {
            if (!piece.squeezed) {
                const auto from = static_cast<int64_t>(std::ceil(piece.fromFrame));
                const auto to = static_cast<int64_t>(std::floor(piece.toFrame));
                ticks.emplace_back(x(static_cast<double>(from)), from);
                if (to != from) {
                    ticks.emplace_back(x(static_cast<double>(to)), to);
                }
            }
        }
    }
    svg += "<g text-anchor=\"middle\" fill=\"#333333\">";
    std::string marks;
    double tickEnd = -1e300;
    for (const auto& [px, frame] : ticks) {
        const std::string text = std::to_string(frame);
        const double half = 4.0 * static_cast<double>(text.size());
        if (px - half < tickEnd + 6) {
            continue;
        }
        tickEnd = px + half;
        // Appended piece by piece: GCC 12 at -O3 warns (-Wrestrict) on the
        // inlined `"M" + std::string` in the 32-bit build, a false alarm.
        marks.append("M").append(num(px)).append(" ").append(num(kBottom)).append("v5");
        svg += "<text x=\"" + num(px) + "\" y=\"" + num(kBottom + 19) + "\">" + text + "</text>";
    }
    svg += "</g>\n<path d=\"" + marks + "\" stroke=\"#444444\"/>\n";
    svg += "<rect x=\"" + num(kLeft) + "\" y=\"" + num(kTop) + "\" width=\"" + num(kRight - kLeft) +
           "\" height=\"" + num(kBottom - kTop) + "\" fill=\"none\" stroke=\"#444444\"/>\n";
    svg += "<text x=\"" + num((kLeft + kRight) / 2) + "\" y=\"" + num(kBottom + 36) +
           "\" text-anchor=\"middle\" fill=\"#222222\">frame" +
           (axis.size() > 1 ? std::string(" (grey: no key acts, drawn narrow)") : "") + "</text>\n";

    // The curves. Where several samples fall on one pixel column only the
    // first, lowest, highest and last are drawn: the same line, fewer points.
    svg += "<g fill=\"none\" stroke-width=\"1.6\" stroke-linejoin=\"round\">";
    for (int a = 0; a < 3; ++a) {
        std::string d;
        bool open = false;
        double column = -1e300, lastX = 0, lastY = 0;
        std::vector<std::pair<double, double>> bunch; // points of one column
        auto flushBunch = [&] {
            if (bunch.empty()) {
                return;
            }
            // First, lowest, highest and last, in drawing order, once each.
            std::array<std::size_t, 4> keep = {0, 0, 0, 0};
            std::size_t kept = 1;
            if (bunch.size() > 1) {
                auto [minIt, maxIt] = std::minmax_element(
                    bunch.begin(), bunch.end(),
                    [](const auto& p, const auto& q) { return p.second < q.second; });
                keep = {0, static_cast<std::size_t>(minIt - bunch.begin()),
                        static_cast<std::size_t>(maxIt - bunch.begin()), bunch.size() - 1};
                std::sort(keep.begin(), keep.end());
                kept =
                    static_cast<std::size_t>(std::unique(keep.begin(), keep.end()) - keep.begin());
            }
            for (std::size_t n = 0; n < kept; ++n) {
                const std::size_t k = keep[n];
                const double px = bunch[k].first, py = bunch[k].second;
                if (!open) {
                    d.append("M").append(num(px)).append(" ").append(num(py));
                    open = true;
                } else {
                    d.append("l").append(num(px - lastX)).append(" ").append(num(py - lastY));
                }
                // Relative steps from the rounded point, so that rounding
                // does not add up along the line.
                lastX = std::round(px * 10) / 10;
                lastY = std::round(py * 10) / 10;
            }
            bunch.clear();
        };
        for (const Sample& sample : plot.samples) {
            const double v = sample.offset[a];
            if (!std::isfinite(v)) {
                flushBunch();
                open = false;
                continue;
            }
            const double px = x(sample.frame);
            if (std::floor(px) != column) {
                flushBunch();
                column = std::floor(px);
            }
            bunch.emplace_back(px, y(v));
        }
        flushBunch();
        if (!d.empty()) {
            svg += "<path stroke=\"" + std::string(kAxes[a].colour) + "\"" +
                   (kAxes[a].dash[0] != '\0'
                        ? " stroke-dasharray=\"" + std::string(kAxes[a].dash) + "\""
                        : std::string()) +
                   " d=\"" + d + "\"/>";
        }
    }
    svg += "</g>\n";

    // Legend, top right.
    svg += "<g font-size=\"12\" fill=\"#222222\">";
    for (int a = 0; a < 3; ++a) {
        const double left = kRight - 180 + a * 62;
        svg +=
            "<path d=\"M" + num(left) + " 14h22\" stroke-width=\"2.2\" stroke=\"" +
            kAxes[a].colour + "\"" +
            (kAxes[a].dash[0] != '\0' ? " stroke-dasharray=\"" + std::string(kAxes[a].dash) + "\""
                                      : std::string()) +
            "/><text x=\"" + num(left + 27) + "\" y=\"18\">" + kAxes[a].name + "</text>";
    }
    svg += "</g>\n";
    svg += "<line class=\"cursor\" x1=\"" + num(kLeft) + "\" y1=\"" + num(kTop) + "\" x2=\"" +
           num(kLeft) + "\" y2=\"" + num(kBottom) +
           "\" stroke=\"#000000\" stroke-width=\"1.5\" visibility=\"hidden\"/>\n</svg>\n";
    return svg;
}

} // namespace vrim::report
