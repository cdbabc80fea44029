#include "spectrum/ComplexDecimator.h"

namespace velto {

CComplexDecimator::CComplexDecimator(int factor, const std::vector<double>& taps)
    : m_factor(factor), m_taps(taps.rbegin(), taps.rend()), m_line(taps.size()) {}

void CComplexDecimator::Push(const std::complex<double>* x, std::size_t n,
                             std::vector<std::complex<double>>& out) {
    const std::size_t length = m_line.Length();
    for (std::size_t i = 0; i < n; ++i) {
        m_line.Push(x[i]);
        if (++m_count % m_factor != 0) {
            continue;
        }
        const std::complex<double>* w = m_line.Window();
        double re = 0.0, im = 0.0;
        for (std::size_t j = 0; j < length; ++j) {
            re += m_taps[j] * w[j].real();
            im += m_taps[j] * w[j].imag();
        }
        out.emplace_back(re, im);
    }
}

void CComplexDecimator::Clear() {
    m_line.Clear();
    m_count = 0;
}

}  // namespace velto
