// The review page's plot of an item: X, Y and Z offsets against frames, each
// key's frames shaded. Where keys act on a small part of a long range, the
// frame axis zooms to them: their frames get the width, and the stretches
// where no key acts (sampled thinly) are drawn narrow and marked as such.
#pragma once

#include "tools/vrim/plot/plot.h"
#include "tools/vrim/report/page.h"

#include <string>
#include <vector>

namespace vrim::report {

// The pieces of the frame axis for the plot: one piece when every frame
// gets room, else the keys' stretches wide and the others narrow.
std::vector<AxisPiece> frameAxis(const Plot& plot);

// The plot's pixel columns where keys act (one plot unit wide, at its left
// edge), each with the frames it holds; a frame in one column only.
struct ColumnFrames {
    double left = 0;
    FrameSpan frames;
};
std::vector<ColumnFrames> columnFrames(const std::vector<AxisPiece>& axis,
                                       const FrameRange& frames);

// The frames of a column to sample for its envelope: all of them up to 16,
// else 16 spread over it at irregular places (column: its number, which
// seeds the places).
std::vector<int64_t> framesOfColumn(const FrameSpan& span, std::size_t column);

// The chart as HTML: the drawing as inline SVG that stretches to the page's
// width (no ids, so that a page holds many), its labels as the page's own
// text. Where envelope holds columns, the curves there are drawn from it.
// thinStep: the step of the samples where no key acts. before, when it holds
// samples, is a previous version's motion, drawn lighter and dashed behind.
std::string chartHtml(const Plot& plot, const std::vector<AxisPiece>& axis,
                      const std::vector<EnvelopeColumn>& envelope, std::size_t thinStep,
                      const std::vector<Sample>& before = {});

} // namespace vrim::report
