#include "dsp/SineFit.h"

#include <cmath>

#include "dsp/Constants.h"

namespace velto {
namespace {

struct Basis {
    double a = 0.0;  // sine coefficient
    double b = 0.0;  // cosine coefficient
    bool solvable = false;
};

// Solves y = a sin(theta) + b cos(theta) at the two sample times.
Basis Solve(double t0, double t1, double y0, double y1, double f, double rate) {
    const double theta0 = (t0 / rate) * (f * kTwoPi);
    const double theta1 = (t1 / rate) * (f * kTwoPi);
    const double s0 = std::sin(theta0);
    const double c0 = std::cos(theta0);
    const double s1 = std::sin(theta1);
    const double c1 = std::cos(theta1);
    const double d = s0 * c1 - c0 * s1;
    if (d == 0.0) {
        return {};
    }
    return {(c1 * y0 - c0 * y1) / d, (s0 * y1 - s1 * y0) / d, true};
}

}  // namespace

double SineFitAmplitude(double t0, double t1, double y0, double y1, double f, double rate) {
    const Basis fit = Solve(t0, t1, y0, y1, f, rate);
    if (!fit.solvable) {
        return 0.0;
    }
    return std::sqrt(fit.a * fit.a + fit.b * fit.b);
}

void SineFit(double t0, double t1, double y0, double y1, double f, SineFitResult& result,
             double rate) {
    result.frequency = f;
    const Basis fit = Solve(t0, t1, y0, y1, f, rate);
    if (!fit.solvable) {
        result.valid = 0;
        result.phase = 360.0;
        result.amplitude = 0.0;
        return;
    }
    result.amplitude = std::sqrt(fit.a * fit.a + fit.b * fit.b);
    result.phase = std::atan2(fit.b, fit.a);
    result.valid = 1;
}

}  // namespace velto
