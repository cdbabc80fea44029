#pragma once

#include <cstddef>
#include <cstdint>

// Fixed geometry of the reception chain. These are compile-time facts of the
// design, not settings; every other file takes its numbers from here.
namespace velto {

inline constexpr int kSampleRate = 96000;                              // samples per second, mono
inline constexpr int kBitsPerSample = 16;                              // signed little-endian PCM
inline constexpr int kBufferMs = 100;                                  // one capture buffer
inline constexpr int kBufferSamples = kSampleRate * kBufferMs / 1000;  // 9600
inline constexpr int kRingBuffers = 80;                                // 8 s of buffers
inline constexpr int kRingSamples = kRingBuffers * kBufferSamples;     // 768000
inline constexpr std::size_t kRingBytes = std::size_t{kRingSamples} * sizeof(std::int16_t);
inline constexpr int kSlotsPerBuffer = 10;                             // 10 ms slots
inline constexpr int kSlotSamples = kBufferSamples / kSlotsPerBuffer;  // 960
inline constexpr int kRowSlots = kRingBuffers * kSlotsPerBuffer;       // 800
inline constexpr int kHistorySeconds = kRingSamples / kSampleRate;     // 8

inline constexpr int kTapCount = 481;            // band-pass length
inline constexpr int kHalfTaps = kTapCount / 2;  // 240
inline constexpr int kFilterRingSize = 1001;     // delay ring of the filter

inline constexpr double kCarrierHz = 40000.0;
inline constexpr double kTwoPi = 6.283185307179586;

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
