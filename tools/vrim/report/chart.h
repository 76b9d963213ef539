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

// The chart as inline SVG (no ids but the one given, so that a page holds
// many). thinStep: the step of the samples where no key acts.
std::string chartSvg(const Plot& plot, const std::vector<AxisPiece>& axis, const std::string& id,
                     std::size_t thinStep);

} // namespace vrim::report
