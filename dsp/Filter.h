#pragma once

#include <array>
#include <cstdint>

#include "dsp/Constants.h"

namespace velto {

// The 481-tap linear-phase band-pass around 40 kHz, applied to one capture
// buffer at a time with its 240-sample delay removed.
class CFilter {
public:
    virtual ~CFilter() = default;

    // Number of coefficients used, 1..481; the owner sets it to 481.
    void SetTapCount(int taps);
    int TapCount() const { return m_tapCount; }

    // Filters exactly kBufferSamples samples into exactly kBufferSamples
    // outputs, output t in phase with input t. Nothing carries over between calls.
    void Apply(const std::int16_t* in, double* out);

    // The same filter computed step by step through the delay ring, as the
    // algorithm is defined: 9600 samples and 240 run-out zeros, the first 240
    // sums dropped. Apply uses it for tap counts other than 481; tests and
    // benchmarks hold the fast path against it.
    void ApplyReference(const std::int16_t* in, double* out);

    // The variants of the fast path, picked by what the processor offers;
    // tests hold each one available against the reference.
    enum class Kernel { Portable, Avx2, Avx512 };
    static bool Supports(Kernel kernel);
    void ApplyWith(Kernel kernel, const std::int16_t* in, double* out);

private:
    int m_tapCount = kTapCount;
    int m_writePos = 0;
    std::array<double, kFilterRingSize> m_ring{};
    // The buffer as pairs of neighbouring samples between zeros, for the fast kernels.
    alignas(64) std::array<std::int16_t, 2 * (kBufferSamples + 2 * kHalfTaps)> m_pairs{};
};

}  // namespace velto
