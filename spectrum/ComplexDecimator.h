#pragma once

#include <complex>
#include <vector>

#include "spectrum/DelayLine.h"

namespace velto {

// Low-pass filters and decimates complex baseband, computing only the
// outputs kept.
class CComplexDecimator {
public:
    CComplexDecimator(int factor, const std::vector<double>& taps);

    void Push(const std::complex<double>* x, std::size_t n, std::vector<std::complex<double>>& out);
    void Clear();

private:
    int m_factor;
    std::vector<double> m_taps;  // in the delay line's order
    CDelayLine<std::complex<double>> m_line;
    long m_count = 0;
};

}  // namespace velto
