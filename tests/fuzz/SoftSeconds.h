#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

// The fuzz targets' bytes after the first: a scored second's log-probabilities of 0, 1 and
// marker in three (0 for log 1 to 255 for the floor of -9), or four parts' means for the level fit.
namespace velto::fuzz {

inline constexpr std::size_t kSecondBytes = 3;

inline float LogProbability(std::uint8_t b) { return -9.0f * static_cast<float>(b) / 255.0f; }

inline std::uint8_t LogProbabilityByte(float log) {
    const float v = std::round(-log / 9.0f * 255.0f);
    return static_cast<std::uint8_t>(v < 0.0f ? 0.0f : v > 255.0f ? 255.0f : v);
}

// A part's mean amplitude, in units of 1/64 of the full carrier, signed.
inline double PartMean(std::uint8_t b) { return (static_cast<int>(b) - 64) / 64.0; }

inline std::uint8_t PartMeanByte(double mean) {
    const double v = std::round(mean * 64.0) + 64.0;
    return static_cast<std::uint8_t>(v < 0.0 ? 0.0 : v > 255.0 ? 255.0 : v);
}

// Stops the run where a property the decoder relies on does not hold.
inline void Require(bool holds) {
    if (!holds) __builtin_trap();
}

}  // namespace velto::fuzz
