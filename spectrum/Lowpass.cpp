#include "spectrum/Lowpass.h"

#include <cmath>
#include <numbers>

namespace velto {

std::vector<double> KaiserLowpass(double passEdge, double stopEdge, double stopDb) {
    // Kaiser's formulas for the window's shape and the length it needs.
    const double width = 2.0 * std::numbers::pi * (stopEdge - passEdge);
    const double beta = stopDb > 50.0
                            ? 0.1102 * (stopDb - 8.7)
                            : 0.5842 * std::pow(stopDb - 21.0, 0.4) + 0.07886 * (stopDb - 21.0);
    int length = static_cast<int>(std::ceil((stopDb - 7.95) / (2.285 * width))) + 1;
    length |= 1;
    const double cutoff = (passEdge + stopEdge) / 2.0;
    const double middle = (length - 1) / 2.0;
    const double norm = std::cyl_bessel_i(0.0, beta);
    std::vector<double> taps(static_cast<std::size_t>(length));
    double sum = 0.0;
    for (int i = 0; i < length; ++i) {
        const double t = i - middle;
        const double sinc =
            t == 0.0 ? 2.0 * cutoff
                     : std::sin(2.0 * std::numbers::pi * cutoff * t) / (std::numbers::pi * t);
        const double r = t / middle;
        const double window = std::cyl_bessel_i(0.0, beta * std::sqrt(1.0 - r * r)) / norm;
        taps[static_cast<std::size_t>(i)] = sinc * window;
        sum += sinc * window;
    }
    for (double& tap : taps) {
        tap /= sum;
    }
    return taps;
}

double NoiseBandwidth(const std::vector<double>& taps) {
    double energy = 0.0;
    for (double tap : taps) {
        energy += tap * tap;
    }
    return energy;
}

}  // namespace velto
