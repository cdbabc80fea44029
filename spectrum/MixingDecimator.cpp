#include "spectrum/MixingDecimator.h"

#include <cmath>
#include <numbers>

namespace velto {
namespace {

// e^{j 2 pi f n / rate} from the exact phase (f n) mod rate.
std::complex<double> Phasor(int rate, int hz, std::int64_t n) {
    const std::int64_t cycles = (std::int64_t{hz} * (n % rate)) % rate;
    const double angle = 2.0 * std::numbers::pi * static_cast<double>(cycles) / rate;
    return {std::cos(angle), std::sin(angle)};
}

}  // namespace

CMixingDecimator::CMixingDecimator(int sampleRate, int carrierHz, int factor,
                                   const std::vector<double>& taps)
    : m_rate(sampleRate),
      m_carrier(((carrierHz % sampleRate) + sampleRate) % sampleRate),
      m_factor(factor),
      m_re(taps.size()),
      m_im(taps.size()),
      m_line(taps.size()) {
    // y(n) = e^{-jwn} sum_k h(k) e^{jwk} x(n - k); the line holds x(n - k) at
    // L - 1 - k. The factor 2 restores the half of a real sine's amplitude
    // that the mixer leaves at the negative frequency.
    const std::size_t length = taps.size();
    for (std::size_t j = 0; j < length; ++j) {
        const std::size_t k = length - 1 - j;
        const std::complex<double> c =
            2.0 * taps[k] * Phasor(m_rate, m_carrier, static_cast<std::int64_t>(k));
        m_re[j] = c.real();
        m_im[j] = c.imag();
    }
}

void CMixingDecimator::Push(const std::int16_t* x, std::size_t n,
                            std::vector<std::complex<double>>& out) {
    const std::size_t length = m_line.Length();
    for (std::size_t i = 0; i < n; ++i) {
        m_line.Push(x[i]);
        if (++m_count % m_factor != 0) {
            continue;
        }
        const double* w = m_line.Window();
        double re = 0.0, im = 0.0;
        for (std::size_t j = 0; j < length; ++j) {
            re += m_re[j] * w[j];
            im += m_im[j] * w[j];
        }
        out.push_back(std::conj(Phasor(m_rate, m_carrier, m_count - 1)) *
                      std::complex<double>(re, im));
    }
}

void CMixingDecimator::Clear() {
    m_line.Clear();
    m_count = 0;
}

}  // namespace velto
