#pragma once

#include <complex>
#include <cstdint>
#include <vector>

#include "spectrum/DelayLine.h"

namespace velto {

// Mixes real 16-bit input down by a carrier frequency and low-pass filters
// and decimates the result in one step: the mixer is folded into complex
// taps, so each output costs one pass of real multiply-adds over the
// filter's length and no work is done between outputs. A sine of amplitude A
// at the carrier comes out as |z| = A.
class CMixingDecimator {
public:
    // Whole hertz keep the mixer's phase exact over months of input.
    CMixingDecimator(int sampleRate, int carrierHz, int factor, const std::vector<double>& taps);

    // Appends the outputs that the samples complete to `out`.
    void Push(const std::int16_t* x, std::size_t n, std::vector<std::complex<double>>& out);
    void Clear();
    int Factor() const { return m_factor; }

private:
    int m_rate;
    int m_carrier;
    int m_factor;
    std::vector<double> m_re, m_im;  // taps times the mixer, in the delay line's order
    CDelayLine<double> m_line;
    std::int64_t m_count = 0;  // samples taken
};

}  // namespace velto
