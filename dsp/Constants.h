#pragma once

#include "base/Geometry.h"

// Fixed figures of the display chain: the band-pass, the slicer and the
// monitor tone. Compile-time facts of the design, not settings.
namespace velto {

inline constexpr int kTapCount = 481;            // band-pass length
inline constexpr int kHalfTaps = kTapCount / 2;  // 240
inline constexpr int kFilterRingSize = 1001;     // delay ring of the filter

// The slicing level is re-estimated when this buffer completes, from the
// raw slots of the buffers before it (3 s).
inline constexpr int kSliceEstimateBuffer = 30;
inline constexpr int kSliceEstimateSlots = kSliceEstimateBuffer * kSlotsPerBuffer;  // 300
inline constexpr double kSliceLevelUnset = -1.0;

inline constexpr double kToneHz = 1600.0;
inline constexpr double kToneOmega = 10053.096491487338;  // 2 pi x 1600
inline constexpr double kToneAmplitude = 3000.0;
inline constexpr int kToneTableSamples = kRingSamples;  // 768000, 8 s

}  // namespace velto
