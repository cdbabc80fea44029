#pragma once

#include <array>

#include "timecode/Constants.h"

// Finding the rise of the station's second in the detected amplitude folded
// over the second, one mean per 1 ms bin.
namespace velto {

using Fold = std::array<double, timecode::kFoldBins>;

// A rise found in a fold: where (bins), its wide contrast over the noise,
// and the step from the low level to the full carrier.
struct Rise {
    double position = 0.0, z = 0.0, height = 0.0;
};

// Bins taken the shorter way round the second: (-kFoldBins/2, kFoldBins/2].
double WrapBins(double bins);
// A bin index taken round the second.
int FoldBin(int b);
// Contrast of a rise at each bin b: the sum of `half` bins after it minus the
// sum of `half` bins before it. Returns the RMS over all bins.
double Contrasts(const Fold& mean, int half, Fold& out);
// Where the wide contrast peaks, refined by the narrow one and the area above
// the low level; z against `wideNoise`, the wide contrast's noise. `wide`
// receives the wide contrast at every bin.
// `wideHalf`: bins on either side of the rise that every symbol keeps at
// one level (kEdgeWideHalfWidth at most).
Rise FindRise(const Fold& mean, double wideNoise, Fold& wide, int wideHalf);
// Sub-bin position of a rise near `bin` from the area above the low level,
// at most kEdgeAreaHalf bins from it; `height` receives the step.
double AreaPosition(const Fold& mean, int bin, double& height, int wideHalf);
// Where a single step near `bin` (at most kEdgeAreaHalf bins from it) fits
// the fold best in least squares, between the same levels as AreaPosition
// takes; `height` receives the step. Where the fold holds two steps (the
// rise before a small jump and after it), it places the stronger, not a mean
// of both, and it weighs the bins at the step most: far less noisy than the
// area at a weak signal.
double StepPosition(const Fold& mean, int bin, double& height, int wideHalf);

}  // namespace velto
