#include "timecode/CarrierTracker.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "base/Geometry.h"

namespace velto {
namespace {

using namespace timecode;

constexpr int kWindowLength = 2 * kPhaseHalfWindow + 1;

// The sample with its phase doubled and its magnitude kept: a 180 degree
// flip leaves it as it was.
std::complex<double> Doubled(std::complex<double> z) {
    const double mag = std::abs(z);
    return mag > 0.0 ? z * z / mag : std::complex<double>{};
}

// The search's span (Hz, on the doubled phase where `scale` is 2):
// kSearchSpanHz, or where the clock's offset at the carrier reaches beyond
// that, the offset and kSearchLineHz more, on whole bins.
double SearchSpan(double carrierHz, double scale) {
    const double clockHz = scale * carrierHz * kClockPpm * 1e-6;
    if (clockHz <= kSearchSpanHz) return kSearchSpanHz;
    return std::ceil((clockHz + kSearchLineHz) / kSearchBinHz - 1e-6) * kSearchBinHz;
}

// Baseband samples from one of the search's means to the next: every mean's
// own where that keeps a carrier at the span's edge kSearchAliasHz from the
// other edge's alias, else the longest hop that does, in whole steps a second.
int SearchHop(double spanHz) {
    int hop = kSearchMean;
    while (hop > 1 && (kBasebandRate % hop != 0 ||
                       double{kBasebandRate} / hop - 2.0 * spanHz < kSearchAliasHz)) {
        --hop;
    }
    return hop;
}

// The median power over the search's bins: the noise the peaks stand above.
template <std::size_t N>
double SearchMedian(const std::array<double, N>& power, int bins) {
    std::array<double, N> sorted{};
    std::copy(power.begin(), power.begin() + bins, sorted.begin());
    std::nth_element(sorted.begin(), sorted.begin() + bins / 2, sorted.begin() + bins);
    return sorted[static_cast<std::size_t>(bins / 2)];
}

}  // namespace

CCarrierTracker::CCarrierTracker(double carrierHz, int rate, bool phaseFlips)
    : m_carrierHz(carrierHz),
      m_rate(rate),
      m_flips(phaseFlips),
      m_scale(phaseFlips ? 2.0 : 1.0),
      m_spanHz(std::min(SearchSpan(carrierHz, m_scale), (kMaxSearchBins - 1) / 2 * kSearchBinHz)),
      m_bins(2 * static_cast<int>(std::lround(m_spanHz / kSearchBinHz)) + 1),
      m_lanes((m_bins + 3) / 4 * 4),
      m_hop(SearchHop(m_spanHz)),
      m_searchRate(double{kBasebandRate} / m_hop),
      m_choice(m_scale * carrierHz) {
    Reset();
}

void CCarrierTracker::Reset() {
    for (int i = 0; i < kLanes; ++i) {
        const std::complex<double> step = i < m_bins
                                              ? std::polar(1.0, -kTwoPi * BinHz(i) / m_searchRate)
                                              : std::complex<double>{1.0, 0.0};
        m_stepRe[i] = step.real();
        m_stepIm[i] = step.imag();
        m_rotRe[i] = 1.0;
        m_rotIm[i] = 0.0;
        m_binRe[i] = m_binIm[i] = 0.0;
        m_power[i] = 0.0;
    }
    m_searchRing.fill({});
    m_plainRing.fill({});
    m_searchSlot = m_searchHeld = m_sinceStep = 0;
    m_shortRe.fill(0.0);
    m_shortIm.fill(0.0);
    m_longRe.fill(0.0);
    m_longIm.fill(0.0);
    m_shortPower.fill(0.0);
    m_longPower.fill(0.0);
    m_searchSteps = 0;
    m_keyedHz = kNoCarrier;
    m_found = false;
    m_choice.Reset();
    m_tones.Reset();
    m_switchSeconds = 0;
    m_carrierKeying = 0.0;
    m_omega = 0.0;
    m_nco = {1.0, 0.0};
    m_ncoStep = {1.0, 0.0};
    m_ring.fill({});
    m_ringBlank.fill(true);
    m_doubled.fill({});
    m_half = {1.0, 0.0};
    m_recentZ.fill({});
    m_recentY.fill({});
    m_sumZ = m_sumY = {};
    m_window = {};
    m_count = 0;
    m_secondSum = m_lastSecondSum = {};
    m_haveLastSecond = false;
    m_secondFill = 0;
    m_noiseVar = 0.0;
    m_noiseInit = false;
    m_hold = false;
    m_pastOmega.fill(0.0);
    m_seconds = 0;
    m_turned.fill({});
    m_spanKnown = false;
    m_nextSpan = 0;
    m_coherent = false;
    m_coherentSince = m_span = m_spanStart = 0;
    m_fixed = m_open = m_lastSpan = m_spanRef = {};
    m_lastCentre = 0.0;
    m_haveLastSpan = m_lastWhole = false;
}

void CCarrierTracker::HoldFrequency(bool hold) {
    if (hold && !m_hold && m_seconds >= kHoldBackSeconds) {
        m_omega = m_pastOmega[static_cast<std::size_t>(m_seconds % kHoldBackSeconds)];
        m_ncoStep = std::polar(1.0, m_omega);
    }
    m_hold = hold;
}

double CCarrierTracker::OffsetHz() const { return m_omega * kBasebandRate / kTwoPi; }

double CCarrierTracker::SamplesPerSecond() const {
    return m_rate * m_carrierHz / (m_carrierHz + OffsetHz());
}

double CCarrierTracker::DriftPpm() const {
    return (m_carrierHz / (m_carrierHz + OffsetHz()) - 1.0) * 1e6;
}

void CCarrierTracker::Process(const BasebandSample& s, IDetectedSink& sink) {
    const std::complex<double> raw = s.blanked ? std::complex<double>{} : s.z;
    if (!m_flips) Search(raw, raw);
    // Steady carriers beside the station's are taken out; beside a carrier
    // whose phase flips before the search and the choice, as doubled with it
    // they would mix into lines of their own. Its keying has no lines to
    // leave in.
    std::complex<double> z = raw;
    if ((m_found || m_flips) && m_tones.Count() > 0) {
        const double mag = std::abs(m_window);
        const std::complex<double> phase =
            m_flips ? std::complex<double>{}
                    : (mag > 0.0 ? m_window / mag : std::complex<double>{1.0, 0.0});
        z = m_tones.Apply(raw, s.blanked, m_nco, phase);
    }
    const int recent = static_cast<int>(m_count % kFlipMean);
    if (m_flips) {
        Search(z, raw);
        m_sumZ += z - m_recentZ[recent];
        m_recentZ[recent] = z;
    }
    m_choice.Process(m_flips ? Doubled(m_sumZ / double{kFlipMean}) : raw, s.blanked);

    const std::complex<double> y = z * std::conj(m_nco);
    m_nco *= m_ncoStep;
    const int slot = static_cast<int>(m_count % kPhaseRing);
    if (m_flips) {
        m_sumY += y - m_recentY[recent];
        m_recentY[recent] = y;
    }
    const std::complex<double> tracked = m_flips ? Doubled(m_sumY / double{kFlipMean}) : y;
    m_ring[slot] = y;
    if (m_flips) FollowSpans(y);
    m_doubled[slot] = tracked;
    m_ringBlank[slot] = s.blanked;
    m_window += tracked;
    if (m_count >= kWindowLength) {
        m_window -= m_doubled[(m_count - kWindowLength) % kPhaseRing];
    }
    m_secondSum += tracked;
    if (++m_secondFill == kBasebandRate) {
        FrequencyStep();
        // Rounding must not build up in the running sums and the oscillator.
        m_nco /= std::abs(m_nco);
        m_sumZ = m_sumY = {};
        for (int k = 0; k < kFlipMean; ++k) {
            m_sumZ += m_recentZ[k];
            m_sumY += m_recentY[k];
        }
        m_window = {};
        const std::int64_t from = std::max<std::int64_t>(0, m_count - kWindowLength + 1);
        for (std::int64_t j = from; j <= m_count; ++j) {
            m_window += m_doubled[j % kPhaseRing];
        }
    }
    if (m_count >= 2 * kPhaseHalfWindow) {
        const std::int64_t c = m_count - kPhaseHalfWindow;
        const std::complex<double> yc = m_ring[c % kPhaseRing];
        const double mag = std::sqrt(std::norm(m_window));
        std::complex<double> ref =
            mag > 0.0 ? std::conj(m_window) / mag : std::complex<double>{1.0, 0.0};
        if (m_flips) {
            // The carrier's phase over the window where the flip points are
            // known, else half the doubled phase; on the side of the last.
            std::complex<double> half = std::polar(1.0, -0.5 * std::arg(ref));
            if (Coherent()) {
                const std::complex<double> w = m_fixed + SpanSign(m_open) * m_open;
                half = std::abs(w) > 0.0 ? w / std::abs(w) : m_half;
            }
            if ((half * std::conj(m_half)).real() < 0.0) half = -half;
            m_half = half;
            ref = std::conj(half);
        }
        const std::complex<double> v = yc * ref;
        DetectedSample out;
        out.inPhase = v.real();
        out.quadrature = v.imag();
        out.index = s.index - kPhaseHalfWindow;
        out.blanked = m_ringBlank[c % kPhaseRing];
        if (!out.blanked) {
            const double q2 = out.quadrature * out.quadrature;
            if (!m_noiseInit) {
                m_noiseVar = q2;
                m_noiseInit = true;
            } else {
                m_noiseVar += (q2 - m_noiseVar) / kNoiseTimeConstant;
            }
        }
        sink.OnDetected(out);
    }
    ++m_count;
}

void CCarrierTracker::Search(std::complex<double> z, std::complex<double> plain) {
    m_searchRing[m_searchSlot] = z;
    m_plainRing[m_searchSlot] = plain;
    m_searchSlot = (m_searchSlot + 1) % kSearchMean;
    m_searchHeld = std::min(m_searchHeld + 1, kSearchMean);
    if (++m_sinceStep < m_hop || m_searchHeld < kSearchMean) return;
    m_sinceStep = 0;
    // The mean of the last kSearchMean samples, the oldest first.
    std::complex<double> sum{}, plainSum{};
    for (int k = 0; k < kSearchMean; ++k) {
        const int j = (m_searchSlot + k) % kSearchMean;
        sum += m_searchRing[j];
        if (m_flips) plainSum += m_plainRing[j];
    }
    const std::complex<double> mean = sum / double{kSearchMean};
    SearchStep(m_flips ? Doubled(mean) : mean, plainSum / double{kSearchMean});
}

void CCarrierTracker::SearchStep(std::complex<double> x, std::complex<double> plain) {
    const double keep = std::exp(-1.0 / (m_searchRate * kSearchCoherentSeconds));
    const double powerGain = 1.0 / (m_searchRate * kSearchPowerSeconds);
    const double xr = x.real(), xi = x.imag();
    if (m_flips) {
        // The plain carrier over a short and a long coherent time: a steady
        // carrier keeps its power over the long one, the station's flipping
        // one does not.
        const double shortKeep = std::exp(-1.0 / (m_searchRate * kSteadyShortSeconds));
        const double longKeep = std::exp(-1.0 / (m_searchRate * kSteadyLongSeconds));
        const double steadyGain = 1.0 / (m_searchRate * kSteadyPowerSeconds);
        const double pr = plain.real(), pi = plain.imag();
        for (int i = 0; i < m_lanes; ++i) {
            const double tr = pr * m_rotRe[i] - pi * m_rotIm[i];
            const double ti = pr * m_rotIm[i] + pi * m_rotRe[i];
            m_shortRe[i] = m_shortRe[i] * shortKeep + tr;
            m_shortIm[i] = m_shortIm[i] * shortKeep + ti;
            m_longRe[i] = m_longRe[i] * longKeep + tr;
            m_longIm[i] = m_longIm[i] * longKeep + ti;
            const double shortPower = (m_shortRe[i] * m_shortRe[i] + m_shortIm[i] * m_shortIm[i]) *
                                      (1.0 - shortKeep) * (1.0 - shortKeep);
            const double longPower = (m_longRe[i] * m_longRe[i] + m_longIm[i] * m_longIm[i]) *
                                     (1.0 - longKeep) * (1.0 - longKeep);
            m_shortPower[i] += (shortPower - m_shortPower[i]) * steadyGain;
            m_longPower[i] += (longPower - m_longPower[i]) * steadyGain;
        }
    }
    for (int i = 0; i < m_lanes; ++i) {
        const double re = m_binRe[i] * keep + xr * m_rotRe[i] - xi * m_rotIm[i];
        const double im = m_binIm[i] * keep + xr * m_rotIm[i] + xi * m_rotRe[i];
        m_binRe[i] = re;
        m_binIm[i] = im;
        const double rotRe = m_rotRe[i] * m_stepRe[i] - m_rotIm[i] * m_stepIm[i];
        m_rotIm[i] = m_rotRe[i] * m_stepIm[i] + m_rotIm[i] * m_stepRe[i];
        m_rotRe[i] = rotRe;
        m_power[i] += (re * re + im * im - m_power[i]) * powerGain;
    }
    // Search decisions come once a second; the carrier must win several in a
    // row before the loop is moved to it.
    const int stepsPerDecision = kBasebandRate / m_hop;
    if (++m_searchSteps % stepsPerDecision == 0) {
        for (int i = 0; i < m_lanes; ++i) {
            const double norm = std::sqrt(m_rotRe[i] * m_rotRe[i] + m_rotIm[i] * m_rotIm[i]);
            m_rotRe[i] /= norm;
            m_rotIm[i] /= norm;
        }
        SearchDecide();
    }
}

void CCarrierTracker::SearchDecide() {
    // Wait until the power averages hold a few seconds.
    if (m_searchSteps < 4 * kBasebandRate / m_hop) {
        return;
    }
    const double median = SearchMedian(m_power, m_bins);
    // The strongest peaks above the detection ratio, apart from each other.
    std::array<int, kChoiceCandidates> peaks{};
    int count = 0;
    for (int i = 0; i < m_bins; ++i) {
        const double p = m_power[i];
        if (!(median > 0.0) || p <= kCarrierDetectRatio * median) continue;
        if ((i > 0 && m_power[i - 1] > p) || (i < m_bins - 1 && m_power[i + 1] >= p)) continue;
        int at = count;
        while (at > 0 && m_power[peaks[at - 1]] < p) --at;
        if (at >= kChoiceCandidates) continue;
        count = std::min(count + 1, kChoiceCandidates);
        for (int k = count - 1; k > at; --k) peaks[k] = peaks[k - 1];
        peaks[at] = i;
    }
    // A weaker peak too close to a stronger one is part of it.
    std::array<double, kChoiceCandidates> hz{}, power{};
    int kept = 0;
    for (int k = 0; k < count; ++k) {
        const int i = peaks[k];
        double frac = 0.0;
        if (i > 0 && i < m_bins - 1) {
            const double l = std::log(m_power[i - 1]), c = std::log(m_power[i]),
                         r = std::log(m_power[i + 1]);
            const double den = l - 2.0 * c + r;
            if (den < 0.0) frac = std::clamp(0.5 * (l - r) / den, -0.5, 0.5);
        }
        const double f = BinHz(i + frac);
        bool near = false;
        for (int j = 0; j < kept; ++j) near = near || std::abs(hz[j] - f) < kChoiceSeparationHz;
        if (!near) {
            power[kept] = m_power[i];
            hz[kept++] = f;
        }
    }
    // Beside a carrier whose phase flips, the steady carriers are found in
    // the plain search, and are not the station's.
    std::array<double, kChoiceCandidates> steadyHz{};
    const int steadyCount = m_flips ? SteadyCarriers(steadyHz) : 0;
    int candidates = 0;
    for (int k = 0; k < kept; ++k) {
        bool steady = false;
        for (int j = 0; j < steadyCount; ++j) {
            steady = steady || std::abs(hz[k] - m_scale * steadyHz[j]) < kChoiceSeparationHz;
        }
        if (steady) continue;
        hz[candidates] = hz[k];
        power[candidates++] = power[k];
    }
    kept = candidates;
    const int keyed = m_choice.Choose(hz.data(), kept);
    m_keyedHz = keyed >= 0 ? hz[keyed] / m_scale : kNoCarrier;
    int current = -1;
    for (int k = 0; k < kept && m_found; ++k) {
        if (std::abs(hz[k] - m_scale * OffsetHz()) <= m_scale * kReacquireHz) current = k;
    }
    // With nothing tracked yet a lone carrier is taken at once (there is no
    // other to choose); otherwise only the keyed one, and another than the
    // one tracked only once it has been chosen for some seconds. A far weaker
    // carrier a whole number of Hz from the one tracked, when that has been
    // keyed, is one of its keying's lines, which look keyed too.
    if (current >= 0) {
        m_carrierKeying += (m_choice.Keying(current) - m_carrierKeying) / kChoiceLineSeconds;
    }
    int chosen = !m_found && kept == 1 ? 0 : keyed;
    if (chosen >= 0 && current >= 0 && chosen != current && m_carrierKeying >= kKeyedLineRatio &&
        power[chosen] < kTonePowerShare * power[current]) {
        const double apart = std::abs(hz[chosen] - hz[current]);
        if (std::abs(apart - std::round(apart)) <= kChoiceLineHz) chosen = current;
    }
    if (chosen >= 0 && chosen != current) {
        if (!m_found || ++m_switchSeconds >= kChoiceSwitchSeconds) {
            Acquire(hz[chosen] / m_scale);
            current = chosen;
        }
    } else {
        m_switchSeconds = 0;
    }
    std::array<double, kChoiceCandidates> others{};
    int steady = 0;
    for (int k = 0; k < kept; ++k) {
        if (k != current && (current < 0 || power[k] >= kTonePowerShare * power[current])) {
            others[steady++] = hz[k];
        }
    }
    if (m_flips) {
        m_tones.Set(steadyHz.data(), steadyCount);
    } else {
        m_tones.Set(others.data(), steady);
    }
}

int CCarrierTracker::SteadyCarriers(std::array<double, kChoiceCandidates>& hz) const {
    const double median = SearchMedian(m_shortPower, m_bins);
    std::array<double, kChoiceCandidates> power{};
    int count = 0;
    for (int i = 1; i + 1 < m_bins; ++i) {
        const double p = m_shortPower[i];
        if (!(median > 0.0) || p <= kCarrierDetectRatio * median || m_shortPower[i - 1] > p ||
            m_shortPower[i + 1] >= p || m_longPower[i] < kSteadyCoherence * p ||
            std::abs(BinHz(i) - m_keyedHz) < kFlipLobeHz) {
            continue;  // not a steady carrier, or the flipping one's own
        }
        constexpr int kMost = kChoiceCandidates - 1;  // as many as the canceller takes out
        if (count == kMost && power[kMost - 1] >= p) continue;
        int at = std::min(count, kMost - 1);
        while (at > 0 && power[at - 1] < p) {
            power[at] = power[at - 1];
            hz[at] = hz[at - 1];
            --at;
        }
        const double l = std::log(m_shortPower[i - 1]), c = std::log(p),
                     r = std::log(m_shortPower[i + 1]);
        const double den = l - 2.0 * c + r;
        const double frac = den < 0.0 ? std::clamp(0.5 * (l - r) / den, -0.5, 0.5) : 0.0;
        power[at] = p;
        hz[at] = BinHz(i + frac);
        count = std::min(count + 1, kMost);
    }
    return count;
}

void CCarrierTracker::Acquire(double hz) {
    m_found = true;
    ++m_acquisitions;
    m_carrierKeying = 0.0;
    m_omega = kTwoPi * hz / kBasebandRate;
    m_ncoStep = std::polar(1.0, m_omega);
    m_haveLastSecond = false;
    m_switchSeconds = 0;
    m_coherent = false;
}

void CCarrierTracker::FollowSpans(std::complex<double> y) {
    // A span is about a second; one that lasts far longer is closed anyway,
    // so that every sample leaving the window lies in a closed span.
    constexpr std::int64_t kLongestSpan = kBasebandRate + kBasebandRate / 2;
    if (!m_spanKnown) {
        m_coherent = false;
        return;
    }
    if (!m_coherent) {
        m_coherent = true;
        m_coherentSince = m_spanStart = m_count;
        m_span = m_nextSpan;
        m_fixed = m_open = {};
        m_haveLastSpan = false;
    } else if (m_nextSpan != m_span || m_count - m_spanStart >= kLongestSpan) {
        CloseSpan();
        m_span = m_nextSpan;
        m_spanStart = m_count;
        m_open = {};
    }
    m_open += y;
    const std::int64_t leaving = m_count - kWindowLength;
    if (leaving >= m_coherentSince) m_fixed -= m_turned[leaving % kPhaseRing];
}

double CCarrierTracker::SpanSign(std::complex<double> sum) const {
    return m_haveLastSpan && (sum * std::conj(m_spanRef)).real() < 0.0 ? -1.0 : 1.0;
}

void CCarrierTracker::CloseSpan() {
    const double sign = SpanSign(m_open);
    for (std::int64_t j = m_spanStart; j < m_count; ++j) {
        m_turned[j % kPhaseRing] = sign * m_ring[j % kPhaseRing];
    }
    // Rounding must not build up in the window's sum.
    m_fixed = {};
    for (std::int64_t j = std::max(m_coherentSince, m_count - kWindowLength); j < m_count; ++j) {
        m_fixed += m_turned[j % kPhaseRing];
    }
    const std::complex<double> turned = sign * m_open;
    const double centre = 0.5 * static_cast<double>(m_spanStart + m_count - 1);
    const bool whole = m_count - m_spanStart >= kBasebandRate / 2;
    if (m_haveLastSpan && m_lastWhole && whole && m_found && !m_hold) {
        // The phase advance from one span to the next is the residual
        // frequency, without the doubling's noise; over spans cut short (the
        // first) it would be mostly noise, and with the sign resolved a
        // frequency half a hertz off would hold as well as the right one.
        const double advance = std::arg(turned * std::conj(m_lastSpan));
        m_omega += kFrequencyLoopGain * advance / (centre - m_lastCentre);
        m_ncoStep = std::polar(1.0, m_omega);
    }
    m_spanRef = turned + m_lastSpan;
    m_lastSpan = turned;
    m_lastCentre = centre;
    m_lastWhole = whole;
    m_haveLastSpan = true;
}

void CCarrierTracker::FrequencyStep() {
    const std::complex<double> sum = m_secondSum;
    m_secondSum = {};
    m_secondFill = 0;
    m_tones.Second();
    if (!m_found || m_hold) {
        m_haveLastSecond = false;
        return;
    }
    m_pastOmega[static_cast<std::size_t>(m_seconds++ % kHoldBackSeconds)] = m_omega;
    if (m_haveLastSecond && !m_coherent) {
        // The phase advance between two seconds' sums is the residual
        // frequency; weak seconds move it less through their noise anyway.
        const double advance = std::arg(sum * std::conj(m_lastSecondSum)) / m_scale;
        m_omega += kFrequencyLoopGain * advance / kBasebandRate;
        m_ncoStep = std::polar(1.0, m_omega);
    }
    m_lastSecondSum = sum;
    m_haveLastSecond = true;
}

}  // namespace velto
