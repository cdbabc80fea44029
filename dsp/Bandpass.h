#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "base/CaptureFormat.h"

namespace velto {

// The band-pass of the display chain designed for any carrier and rate with
// the character of the fixed 40 kHz table (dsp/BandpassCoefficients.h): the
// ideal band-pass of +-200 Hz around the carrier over exactly the main lobe
// of its envelope, gently tapered, applied to one capture buffer at a time
// with its delay removed. At 96000 samples/s it spans 481 taps, at 192000
// 961: the same 5 ms either way, so the same width (-3 dB at about +-126 Hz).
// Designed at 40 kHz and 96000 samples/s it is the fixed table to within its
// six decimals.
class CBandpass {
public:
    // Designs the taps and sizes the work array; false (and no filter) for a
    // carrier not below half the rate.
    bool Design(double carrierHz, CaptureFormat format);

    // h(k) for k = 0..half, the filter being symmetric.
    std::span<const double> HalfTaps() const { return m_half; }
    int TapCount() const { return m_half.empty() ? 0 : 2 * static_cast<int>(m_half.size()) - 1; }

    // Filters exactly one buffer of the designed format into as many outputs,
    // output t in phase with input t; samples outside the buffer count as 0.
    void Apply(const std::int16_t* in, double* out);

    // The taper: 1 at the centre, 0.9484 at the ends of the lobe.
    static double Taper(double k, double half) {
        return 1.0 - kTaperDepth * (k / half) * (k / half);
    }

private:
    static constexpr double kTaperDepth = 0.0516;

    int m_bufferSamples = 0;
    std::vector<double> m_half;
    // The buffer as doubles with `half` zeros before and after it.
    std::vector<double> m_padded;
};

}  // namespace velto
