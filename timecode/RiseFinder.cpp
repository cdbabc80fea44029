#include "timecode/RiseFinder.h"

#include <algorithm>
#include <cmath>

namespace velto {

using namespace timecode;

double WrapBins(double bins) {
    bins = std::fmod(bins, double{kFoldBins});
    if (bins > kFoldBins / 2) bins -= kFoldBins;
    if (bins <= -kFoldBins / 2) bins += kFoldBins;
    return bins;
}

int FoldBin(int b) { return ((b % kFoldBins) + kFoldBins) % kFoldBins; }

double Contrasts(const Fold& f, int half, Fold& out) {
    double d = 0.0;
    for (int i = 0; i < half; ++i) d += f[FoldBin(i)] - f[FoldBin(-1 - i)];
    double square = 0.0;
    for (int b = 0; b < kFoldBins; ++b) {
        out[b] = d;
        square += d * d;
        // Moving from b to b + 1: bin b leaves "after" and joins "before".
        const int ahead = b + half < kFoldBins ? b + half : b + half - kFoldBins;
        const int behind = b >= half ? b - half : b - half + kFoldBins;
        d += f[ahead] - 2.0 * f[b] + f[behind];
    }
    return std::sqrt(square / kFoldBins);
}

Rise FindRise(const Fold& fi, double wideNoise, Fold& wide, int wideHalf) {
    // Wide, the contrast takes in all of the 0.15 s after the rise that is
    // high in every symbol and the 0.15 s before it that is low: that tells
    // whether there is a rise at all. Narrow, it places the rise.
    Fold narrow{};
    Contrasts(fi, wideHalf, wide);
    const auto widest = std::max_element(wide.begin(), wide.end());
    Rise rise;
    rise.z = wideNoise > 0.0 ? *widest / wideNoise : 0.0;
    Contrasts(fi, kEdgeHalfWidth, narrow);
    const int wideBin = static_cast<int>(widest - wide.begin());
    int bestBin = wideBin;
    for (int b = wideBin - kEdgeHalfWidth; b <= wideBin + kEdgeHalfWidth; ++b) {
        if (narrow[FoldBin(b)] > narrow[FoldBin(bestBin)]) bestBin = FoldBin(b);
    }
    rise.position = AreaPosition(fi, bestBin, rise.height, wideHalf);
    return rise;
}

namespace {

// Levels are taken this many bins and more from the rise, clear of its edge.
constexpr int kLevelNear = 15;

// The fold's mean level kLevelNear..wideHalf-1 bins before and after `bin`.
void Levels(const Fold& fi, int bin, int wideHalf, double& low, double& high) {
    low = high = 0.0;
    for (int i = kLevelNear; i < wideHalf; ++i) {
        low += fi[FoldBin(bin - i)];
        high += fi[FoldBin(bin + i)];
    }
    low /= wideHalf - kLevelNear;
    high /= wideHalf - kLevelNear;
}

}  // namespace

double AreaPosition(const Fold& fi, int bin, double& height, int wideHalf) {
    // For a step at s, the bins b0..b0+2K-1 above it hold (b0+2K-1 - s + 1/2)
    // steps' worth.
    double low = 0.0, high = 0.0;
    Levels(fi, bin, wideHalf, low, high);
    double area = 0.0;
    for (int b = bin - kEdgeAreaHalf; b < bin + kEdgeAreaHalf; ++b) {
        area += fi[FoldBin(b)] - low;
    }
    const double steps = high > low ? area / (high - low) : kEdgeAreaHalf;
    const double offset =
        std::clamp(kEdgeAreaHalf - 0.5 - steps, -double{kEdgeAreaHalf}, double{kEdgeAreaHalf});
    height = high - low;
    return bin + offset;
}

double StepPosition(const Fold& fi, int bin, double& height, int wideHalf) {
    double low = 0.0, high = 0.0;
    Levels(fi, bin, wideHalf, low, high);
    height = high - low;
    // The detected step rises over about two bins (the front end's window
    // spans two blocks); each place is tried at a twentieth of a bin.
    constexpr double kRamp = 2.0;
    constexpr int kSteps = 20;
    constexpr int kSpan = kLevelNear - 1;
    double best = 0.0, at = 0.0;
    for (int k = -kEdgeAreaHalf * kSteps; k <= kEdgeAreaHalf * kSteps; ++k) {
        const double s = static_cast<double>(k) / kSteps;
        double misfit = 0.0;
        for (int d = -kSpan; d <= kSpan; ++d) {
            const double share = std::clamp((d - s) / kRamp + 0.5, 0.0, 1.0);
            const double e = fi[FoldBin(bin + d)] - (low + height * share);
            misfit += e * e;
        }
        if (k == -kEdgeAreaHalf * kSteps || misfit < best) {
            best = misfit;
            at = s;
        }
    }
    return bin + at;
}

}  // namespace velto
