#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <random>
#include <utility>

#include "timecode/RiseFinder.h"

namespace velto {
namespace {

using timecode::kFoldBins;

// A fold with a rise at each of `at` (bins, fractional), each with its
// share of the step from 10 to 100 over two bins, and Gaussian noise.
Fold Rises(std::initializer_list<std::pair<double, double>> at, double noise, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> gauss(0.0, noise);
    Fold f{};
    for (int b = 0; b < kFoldBins; ++b) {
        double level = 10.0;
        for (const auto& [where, share] : at) {
            // Only the 0.15 s after the rise is high, as in a keyed second.
            const double d = b - where;
            if (d > -1.0 && d < 150.0) level += 90.0 * share * std::clamp(d / 2.0 + 0.5, 0.0, 1.0);
        }
        f[b] = level + gauss(rng);
    }
    return f;
}

// Where a small jump left a fold holding the old rise and, stronger, the
// new, the area places a mean of both; the step fit places the new one
// (the old one's plateau pulls it by less than a bin).
TEST(RiseFinder, StepFitPlacesTheStrongerOfTwoRises) {
    const Fold f = Rises({{400.0, 0.3}, {408.5, 0.7}}, 0.0, 1);
    double height = 0.0;
    EXPECT_NEAR(StepPosition(f, 400, height, 150), 408.5, 1.0);
    EXPECT_NEAR(height, 90.0, 2.0);
    EXPECT_LT(AreaPosition(f, 400, height, 150), 406.5);
}

// At the noise of a weak signal's half-minute fold, the step fit scatters
// far less than the area about the true place, wherever near the given bin
// the rise lies.
TEST(RiseFinder, StepFitIsSteadierThanTheArea) {
    double stepSquare = 0.0, areaSquare = 0.0;
    int n = 0;
    for (unsigned seed = 0; seed < 200; ++seed) {
        const double truth = 500.0 + (seed % 9) - 4.0 + 0.37;
        const Fold f = Rises({{truth, 1.0}}, 30.0, seed);
        double height = 0.0;
        const double step = StepPosition(f, 500, height, 150) - truth;
        const double area = AreaPosition(f, 500, height, 150) - truth;
        stepSquare += step * step;
        areaSquare += area * area;
        ++n;
    }
    EXPECT_LT(std::sqrt(stepSquare / n), 0.65 * std::sqrt(areaSquare / n));
    EXPECT_LT(std::sqrt(stepSquare / n), 1.0);
}

}  // namespace
}  // namespace velto
