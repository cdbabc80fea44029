#pragma once

#include <cstddef>
#include <cstdint>

// Fixed geometry of reception: the 8-second ring of 100 ms buffers and 10 ms
// slots that the chain, the devices and the views share, and the base rate:
// JJY 40 kHz's default, the rate the monitor plays at and the decoder reads.
// A run may capture at twice the base rate (base/CaptureFormat.h); the sizes
// in samples below are those of the base rate.
namespace velto {

inline constexpr int kSampleRate = 96000;                              // base rate, samples/s, mono
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

// JJY 40 kHz's carrier, below half the base rate: sampled without mixing.
inline constexpr double kCarrierHz = 40000.0;
inline constexpr double kTwoPi = 6.283185307179586;

}  // namespace velto
