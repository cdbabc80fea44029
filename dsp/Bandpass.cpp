#include "dsp/Bandpass.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace velto {
namespace {

// Half the pass band: the ideal band-pass runs from carrier - 200 Hz to
// carrier + 200 Hz, and its envelope's main lobe ends rate / 400 samples out.
constexpr double kHalfBandHz = 200.0;

using V2d = double __attribute__((vector_size(16)));

V2d Load(const double* p) {
    V2d v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

}  // namespace

bool CBandpass::Design(double carrierHz, CaptureFormat format) {
    m_half.clear();
    m_padded.clear();
    m_bufferSamples = 0;
    if (!(carrierHz > kHalfBandHz && carrierHz + kHalfBandHz < format.NyquistHz())) {
        return false;
    }
    const double rate = format.rate;
    const int half = static_cast<int>(std::lround(rate / (2.0 * kHalfBandHz)));
    m_half.resize(static_cast<std::size_t>(half) + 1);
    m_half[0] = 4.0 * kHalfBandHz / rate;
    for (int k = 1; k <= half; ++k) {
        const double envelope = std::sin(kTwoPi * kHalfBandHz * k / rate) / (kTwoPi / 2.0 * k);
        m_half[static_cast<std::size_t>(k)] =
            2.0 * std::cos(kTwoPi * carrierHz * k / rate) * envelope * Taper(k, half);
    }
    m_bufferSamples = format.BufferSamples();
    m_padded.assign(static_cast<std::size_t>(m_bufferSamples + 2 * half), 0.0);
    return true;
}

// out(t) = h(0) x(t) + sum over k of h(k) (x(t + k) + x(t - k)), by blocks of
// eight outputs whose sums stay in registers.
void CBandpass::Apply(const std::int16_t* in, double* out) {
    if (m_half.empty()) {
        return;
    }
    const int half = static_cast<int>(m_half.size()) - 1;
    double* x = m_padded.data() + half;
    for (int t = 0; t < m_bufferSamples; ++t) {
        x[t] = in[t];
    }
    constexpr int kVectors = 4;
    constexpr int kBlock = 2 * kVectors;
    static_assert(kBufferSamples % kBlock == 0);
    const double* h = m_half.data();
    for (int t = 0; t < m_bufferSamples; t += kBlock) {
        V2d sum[kVectors];
        for (int m = 0; m < kVectors; ++m) {
            sum[m] = Load(x + t + 2 * m) * h[0];
        }
        for (int k = 1; k <= half; ++k) {
            const double hk = h[k];
#pragma GCC unroll 4
            for (int m = 0; m < kVectors; ++m) {
                sum[m] += (Load(x + t + 2 * m + k) + Load(x + t + 2 * m - k)) * hk;
            }
        }
        std::memcpy(out + t, sum, sizeof sum);
    }
}

}  // namespace velto
