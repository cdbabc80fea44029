#include "timecode/ToneCanceller.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "base/Geometry.h"

namespace velto {
using namespace timecode;

void CToneCanceller::Reset() {
    m_tones.fill(Tone{});
    m_count = 0;
}

void CToneCanceller::Tune(Tone& t, double hz) {
    t.hz = hz;
    t.step = std::polar(1.0, kTwoPi * hz / kBasebandRate);
}

void CToneCanceller::Set(const double* hz, int count) {
    std::array<Tone, kChoiceCandidates - 1> next{};
    count = std::min<int>(count, next.size());
    for (int k = 0; k < count; ++k) {
        const auto same = std::find_if(
            m_tones.begin(), m_tones.begin() + m_count,
            [&](const Tone& t) { return std::abs(t.hz - hz[k]) < 0.5 * kChoiceSeparationHz; });
        if (same != m_tones.begin() + m_count) {
            next[k] = *same;  // its loop knows the frequency better than the search
        } else {
            Tune(next[k], hz[k]);
        }
    }
    m_tones = next;
    m_count = count;
}

std::complex<double> CToneCanceller::Apply(std::complex<double> z, bool blanked,
                                           std::complex<double> carrier,
                                           std::complex<double> phase) {
    std::complex<double> out = z;
    for (int i = 0; i < m_count; ++i) {
        Tone& t = m_tones[i];
        if (!blanked) {
            // A running mean at first, then one over the last kToneSeconds.
            const double settle = kToneSettleSeconds * kBasebandRate;
            if (t.count < settle && t.count + 1.0 >= settle) ++m_settled;
            t.count = std::min(t.count + 1.0, kToneSeconds * kBasebandRate);
            const std::complex<double> here = z * std::conj(t.rotor);
            // The mirror of the tone about the carrier turns at twice the
            // carrier less the tone.
            const std::complex<double> mirror = z * std::conj(carrier * carrier) * t.rotor;
            t.mean += (here - t.mean) / t.count;
            t.mirror += (mirror - t.mirror) / t.count;
            t.secondSum += here;
            // The carrier's line at the tone is its mirror's, conjugated about
            // the carrier's phase. A mean of a few samples would take out
            // what is not the tone.
            if (t.count >= kToneSettleSeconds * kBasebandRate) {
                const std::complex<double> steady = t.mean - phase * phase * std::conj(t.mirror);
                out -= steady * t.rotor;
            }
        }
        t.rotor *= t.step;
    }
    return out;
}

void CToneCanceller::Second() {
    for (int i = 0; i < m_count; ++i) {
        Tone& t = m_tones[i];
        t.rotor /= std::abs(t.rotor);
        // Quick at first, from the search's coarse frequency, on each second's
        // sum; then on how the mean turns, which wanders far less: a
        // frequency a little off turns the mean away from the carrier it
        // estimates.
        if (++t.steps <= kToneQuickSeconds) {
            if (t.haveLast && std::abs(t.secondSum) > 0.0 && std::abs(t.lastSum) > 0.0) {
                const double advance = std::arg(t.secondSum * std::conj(t.lastSum));
                Tune(t, t.hz + kToneLoopGain * advance / kTwoPi);
            }
            // The means start once the frequency is near.
            t.count = 0.0;
            t.mean = t.mirror = {};
        } else if (std::abs(t.mean) > 0.0 && std::abs(t.lastMean) > 0.0) {
            const double advance = std::arg(t.mean * std::conj(t.lastMean));
            Tune(t, t.hz + kToneMeanGain * advance / kTwoPi);
        }
        t.lastMean = t.mean;
        t.lastSum = t.secondSum;
        t.haveLast = std::abs(t.secondSum) > 0.0;
        t.secondSum = {};
    }
}

}  // namespace velto
