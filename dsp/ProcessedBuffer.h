#pragma once

#include <cstdint>
#include <span>

#include "base/Geometry.h"
#include "dsp/Constants.h"

namespace velto {

// What one reception cycle made of a capture buffer, as those who show it
// see it: read-only views of the buffer's samples and of the chain's arrays.
// The rows stay valid as long as the chain that made them; the samples and
// the band-pass output only until the next cycle.
struct ProcessedBuffer {
    int buffer = -1;                        // the capture buffer processed, 0..79
    int displayIndex = -1;                  // the buffer the strips draw now; negative: none
    std::span<const std::int16_t> samples;  // its kBufferSamples samples as captured
    std::span<const double> filtered;       // their band-pass output
    std::span<const double> rawRow;         // AmplitudeHistory, kRowSlots each
    std::span<const double> correctedRow;
    double sliceLevel = kSliceLevelUnset;
};

}  // namespace velto
