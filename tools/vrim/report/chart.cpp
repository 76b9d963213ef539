#include "tools/vrim/report/chart.h"
#include "text/numbers.h"

#include "tools/vrim/report/page.h"
#include "tools/vrim/scene/findings.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <functional>
#include <iterator>
#include <map>
#include <set>

namespace vrim::report {

namespace {

constexpr double kLeft = 64, kRight = 948, kTop = 40, kBottom = 250;
// Below this many frames every frame has room across the chart.
constexpr int64_t kFramesThatFit = 400;
// A squeezed stretch's width, at most; all of them together take at most a
// third of the chart.
constexpr double kSqueezedWidth = 34;
constexpr std::size_t kMostPieces = 40; // key stretches, past which close ones merge
// Plot units from the chart's origin that stand for "far off the chart".
constexpr double kFarOff = 1e9;

struct Axis {
    const char* name;
    const char* colour;
    const char* dash;
};
// Okabe-Ito colours; Z dashed, so that it shows where it runs on top of X.
constexpr Axis kAxes[3] = {{"X", "#d55e00", ""}, {"Y", "#0072b2", ""}, {"Z", "#009e73", "7 4"}};
// Key shading: hues only, never a grey, so that no key's frames look like
// the grey of the frames where no key acts.
constexpr const char* kSpanFills[] = {"#e69f00", "#56b4e9", "#cc79a7", "#009e73", "#f0e442"};
// Frames drawn per pixel column where the samples are thinned, at most.
constexpr std::size_t kColumnFrames = 16;

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
    return joinedSpans(std::move(runs));
}

// The runs of moving frames as the axis gives them room: a frame of rest
// either side of each, and runs closer than a two-hundredth of the range (or
// than kMostPieces allows) drawn as one.
std::vector<FrameSpan> axisRuns(std::vector<FrameSpan> runs, const FrameRange& frames) {
    const int64_t first = frames.first, last = frames.last;
    for (FrameSpan& run : runs) {
        run.first = std::max<int64_t>(first, run.first - 1);
        run.last = std::min<int64_t>(last, run.last + 1);
    }
    const int64_t close = std::max<int64_t>(4, (last - first + 1) / 200);
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
    return kept;
}

// A stretch of the frame axis, in frame order: a run of keys, or the rest
// between them squeezed.
struct Stretch {
    double from, to;
    bool squeezed;
};

std::vector<Stretch> stretchesOf(const std::vector<FrameSpan>& kept, const FrameRange& frames) {
    std::vector<Stretch> stretches;
    double at = static_cast<double>(frames.first) - 0.5;
    for (const FrameSpan& run : kept) {
        const double from = static_cast<double>(run.first) - 0.5;
        if (from > at) {
            stretches.push_back({at, from, true});
        }
        stretches.push_back({from, static_cast<double>(run.last) + 0.5, false});
        at = static_cast<double>(run.last) + 0.5;
    }
    if (at < static_cast<double>(frames.last) + 0.5) {
        stretches.push_back({at, static_cast<double>(frames.last) + 0.5, true});
    }
    return stretches;
}

// The stretches laid across the chart: the squeezed ones narrow, the runs
// of keys sharing the rest by their frames, each of the runs given at least
// some room.
std::vector<AxisPiece> spread(const std::vector<Stretch>& stretches, std::size_t runs) {
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
    const double floorFrames = keyFrames / static_cast<double>(runs) / 4;
    const double weights = keyFrames + floorFrames * static_cast<double>(runs);
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
    const std::vector<FrameSpan> runs = movingRuns(plot);
    int64_t moving = 0;
    for (const FrameSpan& run : runs) {
        moving += run.last - run.first + 1;
    }
    if (all <= kFramesThatFit || runs.empty() || moving * 3 >= all) {
        const double to = last > first ? static_cast<double>(last) : first + 1.0;
        return {{static_cast<double>(first), to, kLeft, kRight, false}};
    }
    const std::vector<FrameSpan> kept = axisRuns(runs, plot.frames);
    return spread(stretchesOf(kept, plot.frames), kept.size());
}

std::vector<ColumnFrames> columnFrames(const std::vector<AxisPiece>& axis,
                                       const FrameRange& frames) {
    std::vector<ColumnFrames> columns;
    for (const AxisPiece& piece : axis) {
        if (piece.squeezed || piece.right <= piece.left) {
            continue;
        }
        const double perUnit = (piece.toFrame - piece.fromFrame) / (piece.right - piece.left);
        for (double left = std::floor(piece.left); left < piece.right; left += 1.0) {
            const double from =
                piece.fromFrame + (std::max(left, piece.left) - piece.left) * perUnit;
            const double to =
                piece.fromFrame + (std::min(left + 1, piece.right) - piece.left) * perUnit;
            FrameSpan span = {
                std::max<int64_t>(frames.first, static_cast<int64_t>(std::ceil(from))),
                std::min<int64_t>(frames.last, static_cast<int64_t>(std::ceil(to)) - 1)};
            if (!columns.empty() && span.first <= columns.back().frames.last) {
                span.first = columns.back().frames.last + 1;
            }
            if (!span.empty()) {
                columns.push_back({left, span});
            }
        }
    }
    return columns;
}

std::vector<int64_t> framesOfColumn(const FrameSpan& span, std::size_t column) {
    const auto count = static_cast<std::size_t>(span.last - span.first + 1);
    std::vector<int64_t> frames;
    if (count <= kColumnFrames) {
        for (int64_t f = span.first; f <= span.last; ++f) {
            frames.push_back(f);
        }
        return frames;
    }
    // One frame in each of kColumnFrames equal parts, at an irregular place
    // inside it: evenly spaced frames would beat against a period and draw
    // a pattern that is not there. Seeded by the column, so a page is
    // made the same way twice.
    uint32_t seed = static_cast<uint32_t>(column) * 2654435761u + 1u;
    const double part = static_cast<double>(count) / kColumnFrames;
    for (std::size_t i = 0; i < kColumnFrames; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const double at = (static_cast<double>(i) + (seed >> 8) / 16777216.0) * part;
        frames.push_back(span.first + std::min<int64_t>(static_cast<int64_t>(at),
                                                        static_cast<int64_t>(count) - 1));
    }
    return frames;
}

namespace {

// Where a plot unit goes across the drawing, in percent of its width.
std::string across(double x) {
    return num((x - kLeft) / (kRight - kLeft) * 100.0, 2) + "%";
}
std::string down(double y) {
    return num((y - kTop) / (kBottom - kTop) * 100.0, 2) + "%";
}

// Stretches where no key acts, drawn narrow: grey, with a break mark.
std::string restShading(const std::vector<AxisPiece>& axis, std::size_t thinStep) {
    std::string svg;
    for (const AxisPiece& piece : axis) {
        if (!piece.squeezed) {
            continue;
        }
        const auto from = static_cast<int64_t>(std::ceil(piece.fromFrame));
        const auto to = static_cast<int64_t>(std::floor(piece.toFrame));
        svg += "<g class=\"thin\"><title>frames " + std::to_string(from) + " to " +
               std::to_string(to) + ": no key acts; drawn narrow" +
               (thinStep > 1 ? ", every " + std::to_string(thinStep) + " frames sampled" : "") +
               "</title><rect x=\"" + num(piece.left) + "\" y=\"" + num(kTop) + "\" width=\"" +
               num(piece.right - piece.left) + "\" height=\"" + num(kBottom - kTop) +
               "\" fill=\"#e2e2e2\"/><path d=\"M" + num(piece.left + 3) + " " + num(kBottom - 2) +
               "l5 -8m" + num(piece.right - piece.left - 10) +
               " 8l5 -8\" stroke=\"#444444\" fill=\"none\" vector-effect=\"non-scaling-stroke\"/>"
               "</g>\n";
    }
    return svg;
}

struct Drawn {
    std::string svg, labels; // inside the drawing; text laid over it
};

// Each key's frames shaded, its number above the first of them.
Drawn keyShading(const Plot& plot, const std::vector<AxisPiece>& axis) {
    Drawn out;
    double labelEnd = -1e300;
    for (std::size_t i = 0; i < plot.keys.size(); ++i) {
        const PlotKey& key = plot.keys[i];
        if (key.moves.empty()) {
            continue;
        }
        out.svg += "<g class=\"key\" fill=\"" + std::string(kSpanFills[i % std::size(kSpanFills)]) +
                   "\" fill-opacity=\"0.22\"><title>key " + std::to_string(key.number) +
                   ": frames " + runsText(key.moves) + "</title>";
        for (const FrameSpan& run : key.moves) {
            const double left = frameX(axis, static_cast<double>(run.first) - 0.5);
            const double right = frameX(axis, static_cast<double>(run.last) + 0.5);
            out.svg += "<rect x=\"" + num(left) + "\" y=\"" + num(kTop) + "\" width=\"" +
                       num(std::max(right - left, 1.0)) + "\" height=\"" + num(kBottom - kTop) +
                       "\"/>";
        }
        out.svg += "</g>\n";
        const double left = frameX(axis, static_cast<double>(key.moves.front().first) - 0.5);
        if (left >= labelEnd + 4) {
            const std::string label =
                (left - labelEnd > 60 ? "key " : "") + std::to_string(key.number);
            out.labels += "<span style=\"left:" + across(left) + "\">" + label + "</span>";
            labelEnd = left + 7.5 * static_cast<double>(label.size());
        }
    }
    return out;
}

// Frames where some axis's position is not a number: hatched in red and
// named, not a bare gap in the curves.
Drawn notANumber(const Plot& plot, const std::vector<EnvelopeColumn>& envelope,
                 const std::vector<AxisPiece>& axis) {
    std::vector<std::pair<double, double>> runs; // plot units
    auto add = [&](double left, double right) {
        if (!runs.empty() && left <= runs.back().second + 1.0) {
            runs.back().second = std::max(runs.back().second, right);
        } else {
            runs.emplace_back(left, right);
        }
    };
    for (const Sample& sample : plot.samples) {
        if (!std::isfinite(sample.offset[0]) || !std::isfinite(sample.offset[1]) ||
            !std::isfinite(sample.offset[2])) {
            add(frameX(axis, sample.frame - 0.5), frameX(axis, sample.frame + 0.5));
        }
    }
    for (const EnvelopeColumn& column : envelope) {
        if (column.notANumber) {
            add(column.left, column.left + 1.0);
        }
    }
    std::sort(runs.begin(), runs.end());
    Drawn out;
    for (const auto& [left, right] : runs) {
        out.svg += "<g class=\"nan\"><title>the position is not a number here</title><rect x=\"" +
                   num(left) + "\" y=\"" + num(kTop) + "\" width=\"" +
                   num(std::max(right - left, 1.0)) + "\" height=\"" + num(kBottom - kTop) +
                   "\" fill=\"#c00000\" fill-opacity=\"0.16\"/><path d=\"M" + num(left) + " " +
                   num(kBottom) + "H" + num(std::max(right, left + 1.0)) +
                   "\" stroke=\"#c00000\" stroke-width=\"6\" "
                   "vector-effect=\"non-scaling-stroke\"/></g>\n";
        out.labels += "<span class=\"nan\" style=\"left:" + across(left) + "\">NaN</span>";
    }
    return out;
}

// Offset grid lines, with their values beside the drawing (a value of a
// billion or more in the short general form: its fixed digits would run
// across the page).
Drawn offsetGrid(double low, double high) {
    Drawn out;
    auto y = [&](double v) { return kBottom - (v - low) / (high - low) * (kBottom - kTop); };
    const double step = tickStep(high - low, 5);
    const int decimals = std::max(0, -static_cast<int>(std::floor(std::log10(step))));
    out.svg = "<g stroke=\"#dddddd\" vector-effect=\"non-scaling-stroke\">";
    for (double tick = std::ceil(low / step) * step; tick <= high + step * 1e-9; tick += step) {
        out.svg += "<path vector-effect=\"non-scaling-stroke\" d=\"M" + num(kLeft) + " " +
                   num(y(tick)) + "H" + num(kRight) + "\"/>";
        out.labels += "<span style=\"top:" + down(y(tick)) + "\">" +
                      (std::fabs(tick) >= 1e9 ? text::general(tick) : num(tick, decimals)) +
                      "</span>";
    }
    out.svg += "</g>\n";
    if (low < 0.0 && high > 0.0) {
        out.svg += "<path d=\"M" + num(kLeft) + " " + num(y(0.0)) + "H" + num(kRight) +
                   "\" stroke=\"#888888\" vector-effect=\"non-scaling-stroke\"/>\n";
    }
    return out;
}

// Frame ticks: evenly on one piece, else the first and last frame of each
// key stretch that has room for them.
std::string frameTicks(const std::vector<AxisPiece>& axis) {
    std::vector<std::pair<double, int64_t>> ticks;
    if (axis.size() == 1) {
        const double frameStep = std::max(1.0, tickStep(axis[0].toFrame - axis[0].fromFrame, 6));
        for (double t = std::ceil(axis[0].fromFrame / frameStep) * frameStep;
             t <= axis[0].toFrame + 1e-9; t += frameStep) {
            ticks.emplace_back(frameX(axis, t), static_cast<int64_t>(std::llround(t)));
        }
    } else {
        for (const AxisPiece& piece : axis) {
            if (!piece.squeezed) {
                const auto from = static_cast<int64_t>(std::ceil(piece.fromFrame));
                const auto to = static_cast<int64_t>(std::floor(piece.toFrame));
                ticks.emplace_back(frameX(axis, static_cast<double>(from)), from);
                if (to != from) {
                    ticks.emplace_back(frameX(axis, static_cast<double>(to)), to);
                }
            }
        }
    }
    std::string labels;
    double tickEnd = -1e300;
    for (const auto& [px, frame] : ticks) {
        const std::string text = std::to_string(frame);
        // Room in plot units for a label at the narrowest width it is shown.
        const double half = 9.0 * static_cast<double>(text.size());
        if (px - half < tickEnd + 8) {
            continue;
        }
        tickEnd = px + half;
        labels += "<span style=\"left:" + across(px) + "\">" + text + "</span>";
    }
    return labels;
}

// One pixel column of a curve: its extremes, and where a line into it
// comes from.
struct Column {
    double low = 0, high = 0; // the smallest and largest y drawn (y grows downwards)
    bool open = false;        // holds a finite point
    bool broken = false;      // a position that is not a number comes before it
};

// Columns of one axis's curve: from the samples, bucketed by pixel column,
// and from the envelope where it stands for thinned samples.
std::map<long, Column> curveColumns(const Plot& plot, const std::vector<EnvelopeColumn>& envelope,
                                    const std::vector<AxisPiece>& axis, int a,
                                    const std::function<double(double)>& y) {
    std::map<long, Column> columns;
    auto put = [&](double px, double low, double high, bool broken) {
        Column& c = columns[static_cast<long>(std::floor(px))];
        c.broken = c.broken || broken;
        if (!std::isfinite(low) || !std::isfinite(high)) {
            c.broken = true;
            return;
        }
        // Drawn downwards: the lowest offset is the highest y.
        const double top = y(high), bottom = y(low);
        c.low = c.open ? std::min(c.low, top) : top;
        c.high = c.open ? std::max(c.high, bottom) : bottom;
        c.open = true;
    };
    // Samples in a column the envelope holds would only repeat it.
    std::set<long> covered;
    for (const EnvelopeColumn& column : envelope) {
        covered.insert(static_cast<long>(std::floor(column.left)));
        put(column.left + 0.5, column.low[a], column.high[a], column.notANumber);
    }
    for (const Sample& sample : plot.samples) {
        const double px = frameX(axis, sample.frame);
        if (covered.count(static_cast<long>(std::floor(px))) == 0) {
            put(px, sample.offset[a], sample.offset[a], false);
        }
    }
    return columns;
}

// The curve as a path: within a column its low and high ends, the nearer
// one first; broken where a position is not a number.
std::string curvePath(const std::map<long, Column>& columns) {
    std::string d;
    bool open = false;
    double lastX = 0, lastY = 0;
    auto to = [&](double px, double py) {
        if (!open) {
            d.append("M").append(num(px)).append(" ").append(num(py));
            open = true;
        } else {
            d.append("l").append(num(px - lastX)).append(" ").append(num(py - lastY));
        }
        // Relative steps from the rounded point, so that rounding does not
        // add up along the line.
        lastX = std::round(px * 10) / 10;
        lastY = std::round(py * 10) / 10;
    };
    for (const auto& [at, column] : columns) {
        if (column.broken) {
            open = false;
        }
        if (!column.open) {
            continue;
        }
        const double px = static_cast<double>(at) + 0.5;
        const bool lowFirst = std::fabs(column.low - lastY) <= std::fabs(column.high - lastY);
        to(px, lowFirst ? column.low : column.high);
        if (column.high - column.low >= 0.1) {
            to(px, lowFirst ? column.high : column.low);
        }
    }
    return d;
}

// before: a previous version's curves, lighter and finely dashed, so that
// the new ones stay on top and read first.
std::string curves(const Plot& plot, const std::vector<EnvelopeColumn>& envelope,
                   const std::vector<AxisPiece>& axis, double low, double high,
                   bool before = false) {
    // An offset past the axis's reach is drawn far off the chart, but at a
    // finite place: an infinite one would void the whole curve's path.
    const std::function<double(double)> y = [&](double v) {
        return std::clamp(kBottom - (v - low) / (high - low) * (kBottom - kTop), -kFarOff, kFarOff);
    };
    std::string svg = before ? "<g class=\"before\" fill=\"none\" stroke-width=\"1.4\" "
                               "stroke-opacity=\"0.55\" stroke-linejoin=\"round\">"
                             : "<g fill=\"none\" stroke-width=\"1.6\" stroke-linejoin=\"round\">";
    for (int a = 0; a < 3; ++a) {
        const std::string d = curvePath(curveColumns(plot, envelope, axis, a, y));
        const std::string dash = before ? "2 3" : kAxes[a].dash;
        if (!d.empty()) {
            svg += "<path stroke=\"" + std::string(kAxes[a].colour) + "\"" +
                   (!dash.empty() ? " stroke-dasharray=\"" + dash + "\"" : std::string()) +
                   " vector-effect=\"non-scaling-stroke\" d=\"" + d + "\"/>";
        }
    }
    return svg + "</g>\n";
}

// The offsets' span, the envelope's extremes included.
OffsetSpan offsetsWithEnvelope(const Plot& plot, const std::vector<EnvelopeColumn>& envelope) {
    if (envelope.empty()) {
        return offsetSpan(plot);
    }
    Plot extremes;
    extremes.samples = {Sample{}};
    for (const EnvelopeColumn& column : envelope) {
        for (const auto* ends : {&column.low, &column.high}) {
            Sample sample;
            for (int a = 0; a < 3; ++a) {
                sample.offset[a] = (*ends)[static_cast<std::size_t>(a)];
            }
            extremes.samples.push_back(sample);
        }
    }
    const OffsetSpan fromSamples = offsetSpan(plot), fromEnvelope = offsetSpan(extremes);
    return {std::min(fromSamples.low, fromEnvelope.low),
            std::max(fromSamples.high, fromEnvelope.high)};
}

std::string legend(bool notANumber, bool before) {
    std::string html = "<div class=\"legend\" aria-hidden=\"true\">";
    for (const Axis& axis : kAxes) {
        html += "<span class=\"axis-";
        html += axis.name;
        html += "\"><svg viewBox=\"0 0 24 4\"><path d=\"M0 2h24\" stroke-width=\"2.4\" stroke=\"";
        html += axis.colour;
        html += "\"";
        html += axis.dash[0] != '\0' ? " stroke-dasharray=\"" + std::string(axis.dash) + "\"" : "";
        html += "/></svg>";
        html += axis.name;
        html += "</span>";
    }
    if (before) {
        html += "<span class=\"before-key\"><svg viewBox=\"0 0 24 4\"><path d=\"M0 2h24\" "
                "stroke-width=\"2.4\" stroke=\"#777777\" stroke-dasharray=\"2 3\"/></svg>"
                "previous version</span>";
    }
    if (notANumber) {
        html += "<span class=\"nan-key\">NaN: the position is not a number</span>";
    }
    return html + "</div>\n";
}

} // namespace

std::string chartHtml(const Plot& plot, const std::vector<AxisPiece>& axis,
                      const std::vector<EnvelopeColumn>& envelope, std::size_t thinStep,
                      const std::vector<Sample>& before) {
    Plot old;
    old.samples = before;
    OffsetSpan span = offsetsWithEnvelope(plot, envelope);
    if (!before.empty()) {
        const OffsetSpan oldSpan = offsetSpan(old);
        span = {std::min(span.low, oldSpan.low), std::max(span.high, oldSpan.high)};
    }
    const Drawn keys = keyShading(plot, axis);
    const Drawn nan = notANumber(plot, envelope, axis);
    const Drawn grid = offsetGrid(span.low, span.high);
    // The drawing stretches to any width; its text is the page's own, so
    // that it stays readable on a phone.
    std::string html = "<div class=\"chart\" role=\"img\" aria-label=\"" + htmlText(plot.title) +
                       ": offsets on X, Y and Z against frames (" + htmlText(plot.subtitle) +
                       ")\">\n" + legend(!nan.labels.empty(), !before.empty()) +
                       "<div class=\"drawing\"><div class=\"ticks-y\" aria-hidden=\"true\">" +
                       grid.labels +
                       "</div>\n<div class=\"area\"><div class=\"key-labels\" "
                       "aria-hidden=\"true\">" +
                       keys.labels + nan.labels + "</div>\n";
    html += "<svg class=\"plot\" viewBox=\"" + num(kLeft) + " " + num(kTop) + " " +
            num(kRight - kLeft) + " " + num(kBottom - kTop) +
            "\" preserveAspectRatio=\"none\" aria-hidden=\"true\">\n";
    html += restShading(axis, thinStep) + keys.svg + nan.svg + grid.svg;
    if (!before.empty()) {
        html += curves(old, {}, axis, span.low, span.high, true);
    }
    html += curves(plot, envelope, axis, span.low, span.high);
    html += "<rect x=\"" + num(kLeft) + "\" y=\"" + num(kTop) + "\" width=\"" +
            num(kRight - kLeft) + "\" height=\"" + num(kBottom - kTop) +
            "\" fill=\"none\" stroke=\"#444444\" vector-effect=\"non-scaling-stroke\"/>\n";
    html += "<line class=\"cursor\" x1=\"" + num(kLeft) + "\" y1=\"" + num(kTop) + "\" x2=\"" +
            num(kLeft) + "\" y2=\"" + num(kBottom) +
            "\" stroke=\"#000000\" stroke-width=\"2\" vector-effect=\"non-scaling-stroke\" "
            "visibility=\"hidden\"/>\n</svg>\n";
    html +=
        "<div class=\"ticks-x\" aria-hidden=\"true\">" + frameTicks(axis) + "</div></div></div>\n";
    html += "<p class=\"axis-name\" aria-hidden=\"true\">frame" +
            (axis.size() > 1 ? std::string(" (grey: no key acts, drawn narrow)") : "") + "</p>\n";
    return html + "</div>\n";
}

} // namespace vrim::report
