#include "health/InputHealth.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "base/Geometry.h"

namespace velto {
namespace {

constexpr int kMiddle = kHealthTaps / 2;

// High-pass = delayed impulse minus a unity-gain low-pass, so that what it
// lets through and what it holds back add up to the input exactly.
// The cut in proportion to the rate: the same taps at any rate.
std::array<double, kHealthTaps> HighPassTaps() {
    std::array<double, kHealthTaps> taps{};
    const double cut = kHealthSplitHz / kSampleRate;
    double sum = 0.0;
    for (int n = 0; n < kHealthTaps; ++n) {
        const int k = n - kMiddle;
        const double sinc = k == 0 ? 2.0 * cut : std::sin(kTwoPi * cut * k) / (kTwoPi / 2.0 * k);
        const double x = kTwoPi * n / (kHealthTaps - 1);
        const double window = 0.42 - 0.5 * std::cos(x) + 0.08 * std::cos(2.0 * x);
        taps[n] = sinc * window;
        sum += taps[n];
    }
    for (double& tap : taps) {
        tap = -tap / sum;
    }
    taps[kMiddle] += 1.0;
    return taps;
}

}  // namespace

CInputHealth::CInputHealth(int rate) : m_taps(HighPassTaps()) { Reset(rate); }

void CInputHealth::Reset(int rate) {
    m_rate = rate;
    m_splitLength = kHealthSplitSamples * static_cast<std::size_t>(rate) / kSampleRate;
    m_state = InputState::Unknown;
    m_lastVerdict = InputState::Unknown;
    m_clipHold = 0;
    m_figures = {};
    ClearWindow();
}

void CInputHealth::ClearWindow() {
    m_buffers = 0;
    m_samples = 0;
    m_railSamples = 0;
    m_splitSamples = 0;
    m_highSum = 0.0;
    m_lowSum = 0.0;
    m_lowSquareSum = 0.0;
}

bool CInputHealth::AddBuffer(const std::int16_t* samples, std::size_t count) {
    if (samples == nullptr || count == 0) {
        return false;
    }
    if (m_samples == 0) {
        m_min = m_max = samples[0];
    }
    for (std::size_t i = 0; i < count; ++i) {
        const int s = samples[i];
        m_min = std::min(m_min, s);
        m_max = std::max(m_max, s);
        m_railSamples += std::abs(s) >= kHealthRail ? 1 : 0;
    }
    m_samples += count;

    // Symmetric taps: fold the pairs.
    const std::size_t end = std::min(count, m_splitLength + kHealthTaps - 1);
    for (std::size_t n = kHealthTaps - 1; n < end; ++n) {
        const std::int16_t* x = samples + (n - (kHealthTaps - 1));
        double high = m_taps[kMiddle] * x[kMiddle];
        for (int k = 0; k < kMiddle; ++k) {
            high += m_taps[k] * (x[k] + x[kHealthTaps - 1 - k]);
        }
        const double low = x[kMiddle] - high;
        m_highSum += high * high;
        m_lowSum += low;
        m_lowSquareSum += low * low;
        ++m_splitSamples;
    }

    if (++m_buffers < kHealthWindowBuffers) {
        return false;
    }
    const InputState before = m_state;
    CloseWindow();
    return m_state != before;
}

void CInputHealth::CloseWindow() {
    InputFigures f;
    f.peakToPeak = m_max - m_min;
    f.railFraction = static_cast<double>(m_railSamples) / static_cast<double>(m_samples);
    if (m_splitSamples > 0) {
        const double n = static_cast<double>(m_splitSamples);
        const double mean = m_lowSum / n;
        f.highPower = m_highSum / n;
        f.lowPower = std::max(0.0, m_lowSquareSum / n - mean * mean);
    }
    m_figures = f;
    InputState verdict = Judge(f);
    if (verdict == InputState::Clipping) {
        m_clipHold = kHealthClipHoldWindows;
    } else if (m_clipHold > 0) {
        --m_clipHold;
        if (verdict != InputState::Silence) {
            verdict = InputState::Clipping;
        }
    }
    if (verdict == m_lastVerdict) {
        m_state = verdict;
    }
    m_lastVerdict = verdict;
    ClearWindow();
}

InputState CInputHealth::Judge(const InputFigures& f) {
    if (f.peakToPeak == 0) {
        return InputState::Silence;
    }
    if (f.railFraction > kHealthClipFraction) {
        return InputState::Clipping;
    }
    if (f.highPower <= kHealthRoundingPower && f.lowPower >= kHealthLowPowerMin &&
        f.lowPower >= kHealthLowToHighRatio * f.highPower) {
        return InputState::NoUltrasound;
    }
    return InputState::Good;
}

}  // namespace velto
