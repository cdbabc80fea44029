#include "receiver/HalfRate.h"

#include <algorithm>
#include <cmath>

#include "base/Geometry.h"

namespace velto {
namespace {

// The cut, as a share of the input rate: 46 kHz of 192 kHz, midway between
// the carrier's 40 kHz and the 52 kHz that fold back onto 44 kHz.
constexpr double kCut = 46000.0 / 192000.0;

}  // namespace

// Blackman-windowed sinc, scaled to unity gain at 0 Hz.
CHalfRate::CHalfRate() {
    constexpr int middle = (kTaps - 1) / 2;
    double sum = 0.0;
    for (int n = 0; n < kTaps; ++n) {
        const int k = n - middle;
        const double sinc = k == 0 ? 2.0 * kCut : std::sin(kTwoPi * kCut * k) / (kTwoPi / 2.0 * k);
        const double x = kTwoPi * n / (kTaps - 1);
        m_taps[static_cast<std::size_t>(n)] =
            sinc * (0.42 - 0.5 * std::cos(x) + 0.08 * std::cos(2.0 * x));
        sum += m_taps[static_cast<std::size_t>(n)];
    }
    for (double& tap : m_taps) {
        tap /= sum;
    }
    // Room for a second of input at the higher rate without growing.
    m_work.reserve(kTaps - 1 + 2 * static_cast<std::size_t>(kSampleRate));
    Reset();
}

void CHalfRate::Reset() {
    m_work.assign(kTaps - 1, 0.0);
    m_even = true;
}

std::size_t CHalfRate::Process(const std::int16_t* in, std::size_t n, std::int16_t* out) {
    const std::size_t history = kTaps - 1;
    m_work.resize(history + n);
    std::copy(in, in + n, m_work.begin() + static_cast<std::ptrdiff_t>(history));
    std::size_t produced = 0;
    // Input sample i of this call sits at m_work[history + i]; the taps run
    // back from it. Taps are symmetric, so their direction does not matter.
    for (std::size_t i = m_even ? 0 : 1; i < n; i += 2) {
        const double* x = m_work.data() + i;
        double sum = 0.0;
        for (int m = 0; m < kTaps; ++m) {
            sum += m_taps[static_cast<std::size_t>(m)] * x[m];
        }
        out[produced++] = static_cast<std::int16_t>(std::clamp(std::round(sum), -32768.0, 32767.0));
    }
    if (n % 2 == 1) {
        m_even = !m_even;
    }
    std::copy(m_work.end() - static_cast<std::ptrdiff_t>(history), m_work.end(), m_work.begin());
    m_work.resize(history);
    return produced;
}

}  // namespace velto
