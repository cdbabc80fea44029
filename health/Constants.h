#pragma once

#include <cstddef>

// Fixed figures of the checks on the input and the capture stream.
namespace velto {

// Input health. The band split is a high-pass FIR (Blackman-windowed sinc) at
// 30 kHz at 96000 samples/s: a resampler's transition band around 24 kHz
// stays below it, the 40 kHz carrier well inside. The split and the samples
// it looks at scale with the rate: at 192000 samples/s it lies at 60 kHz, so
// that a 96 kHz stream resampled (nothing above 48 kHz) is told as well as a
// 48 kHz one; the 63 taps keep their shape in proportion.
inline constexpr int kHealthTaps = 63;
inline constexpr double kHealthSplitHz = 30000.0;
// Samples of each buffer that the band split looks at at 96000 samples/s
// (25 ms of 100).
inline constexpr std::size_t kHealthSplitSamples = 2400;
// Buffers per verdict (0.3 s). Two verdicts in a row decide, 0.6 s after the
// first samples: a PulseAudio stream takes up to 1.8 s to deliver those, and
// the user is to know within 3 s of pressing Start.
inline constexpr int kHealthWindowBuffers = 3;
// A sample at or beyond this magnitude sits on the rail.
inline constexpr int kHealthRail = 32767;
// More than this share of samples on the rails is clipping. A clipped window
// keeps the verdict at clipping for the windows of the next 1.2 s: JJY's
// carrier drops to a tenth for up to 0.8 s of every second, and a window in
// such a gap would otherwise look clean.
inline constexpr double kHealthClipFraction = 1e-3;
inline constexpr int kHealthClipHoldWindows = 4;
// Above the split, at most this mean square (LSB^2) counts as rounding noise.
// Plain rounding to 16 bits leaves 1/12 LSB^2 spread over 0-48 kHz, 0.031
// above 30 kHz, and that is what a 48 kHz PulseAudio server resampling to 96
// kHz delivers (0.015-0.046 measured, with signal, noise or a clipped
// carrier behind it); a 96 kHz stream with noise of 3 LSB already shows 3.3.
inline constexpr double kHealthRoundingPower = 0.25;
// The band below must hold at least this much more, and at least
// kHealthLowPowerMin, before a quiet top band means a resampled source
// rather than a quiet input.
inline constexpr double kHealthLowToHighRatio = 20.0;
inline constexpr double kHealthLowPowerMin = 1.0;

}  // namespace velto
