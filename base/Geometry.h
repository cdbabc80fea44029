#pragma once

#include <cstddef>
#include <cstdint>

// Fixed geometry of reception: the rate the sound card samples at, the
// carrier it samples directly, and the 8-second ring of capture buffers and
// slots that the chain, the devices and the views share. These are
// compile-time facts of the design, not settings.
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

// JJY's carrier, below half the sampling rate: sampled without mixing.
inline constexpr double kCarrierHz = 40000.0;
inline constexpr double kTwoPi = 6.283185307179586;

}  // namespace velto
