#include "plot/ColourScale.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

struct Stop {
    double at;
    int r, g, b;
};
constexpr std::array<Stop, 5> kStops{{{0.0, 0, 0, 30},
                                      {0.25, 0, 60, 200},
                                      {0.5, 0, 200, 220},
                                      {0.75, 250, 220, 0},
                                      {1.0, 255, 40, 20}}};

const std::array<QRgb, 256>& Table() {
    static const auto table = [] {
        std::array<QRgb, 256> t{};
        for (std::size_t i = 0; i < t.size(); ++i) {
            const double x = static_cast<double>(i) / (t.size() - 1);
            std::size_t s = 1;
            while (s + 1 < kStops.size() && x > kStops[s].at) {
                ++s;
            }
            const Stop& a = kStops[s - 1];
            const Stop& b = kStops[s];
            const double f = (x - a.at) / (b.at - a.at);
            auto mix = [f](int u, int v) { return static_cast<int>(std::lround(u + f * (v - u))); };
            t[i] = qRgb(mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b));
        }
        return t;
    }();
    return table;
}

}  // namespace

QRgb ColourScale::Colour(double db) const {
    const double x = high > low ? (db - low) / (high - low) : 0.0;
    const auto& table = Table();
    const double clamped = std::clamp(std::isnan(x) ? 0.0 : x, 0.0, 1.0);
    return table[static_cast<std::size_t>(std::lround(clamped * (table.size() - 1)))];
}

ColourScale ColourScale::Following(double noiseDb) {
    return {noiseDb - kBelowNoiseDb, noiseDb - kBelowNoiseDb + kSpanDb};
}
