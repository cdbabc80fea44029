#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "base/Geometry.h"

namespace velto {

// The rate a run captures at and the sizes that follow from it: 100 ms
// buffers, ten 10 ms slots each, an 8-second ring of 80 buffers. Carried from
// the station's choice to everything that counts samples (devices, rings,
// recorder, replay, health, the display chain), so that nothing tests the
// rate itself.
struct CaptureFormat {
    int rate = kSampleRate;

    // 96000 (the base rate) or 192000: the two rates a card is asked for.
    static std::optional<CaptureFormat> ForRate(long long rate) {
        if (rate != kSampleRate && rate != 2 * kSampleRate) {
            return std::nullopt;
        }
        return CaptureFormat{static_cast<int>(rate)};
    }

    constexpr int BufferSamples() const { return rate / 1000 * kBufferMs; }
    constexpr int SlotSamples() const { return BufferSamples() / kSlotsPerBuffer; }
    constexpr int RingSamples() const { return kRingBuffers * BufferSamples(); }
    constexpr std::size_t RingBytes() const {
        return std::size_t{static_cast<std::size_t>(RingSamples())} * sizeof(std::int16_t);
    }
    // The highest frequency the rate carries (half of it).
    constexpr double NyquistHz() const { return rate / 2.0; }
    // Capture samples per sample at the base rate: 1 or 2.
    constexpr int BaseFactor() const { return rate / kSampleRate; }

    friend constexpr bool operator==(const CaptureFormat&, const CaptureFormat&) = default;
};

inline constexpr CaptureFormat kBaseFormat{kSampleRate};

}  // namespace velto
