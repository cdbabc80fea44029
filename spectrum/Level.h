#pragma once

#include <algorithm>
#include <cmath>

// Levels are given in decibels relative to a full-scale sine: amplitude
// 32768 of the 16-bit input. Densities are per hertz of one-sided band.
namespace velto::level {

inline constexpr double kFullScale = 32768.0;
// The power of a full-scale sine, the reference of every level.
inline constexpr double kFullScalePower = kFullScale * kFullScale / 2.0;
// Below any level that 16-bit input can show: what zero power reads as,
// and the rounding left of a constant input (once -442 dB).
inline constexpr double kFloorDb = -300.0;

inline double ToDb(double ratio) {
    return ratio > 0.0 ? std::max(kFloorDb, 10.0 * std::log10(ratio)) : kFloorDb;
}
inline double FromDb(double db) { return std::pow(10.0, db / 10.0); }

}  // namespace velto::level
