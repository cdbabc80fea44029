#include "timecode/CarrierChoice.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "base/Geometry.h"

namespace velto {
using namespace timecode;

double CCarrierChoice::SecondLength(double hz) const {
    return kBasebandRate * m_carrierHz / (m_carrierHz + hz);
}

void CCarrierChoice::Reset() {
    m_candidates.fill(Candidate{});
    m_keying.fill(0.0);
    m_count = 0;
    m_sum = {};
    m_fill = m_summed = 0;
}

void CCarrierChoice::Tune(Candidate& c, double hz) const {
    c.hz = hz;
    c.step = std::polar(1.0, -kTwoPi * hz * kChoiceDecimation / kBasebandRate);
    c.phaseStep = kChoiceDecimation / SecondLength(hz);
}

void CCarrierChoice::Process(std::complex<double> z, bool blanked) {
    // Sums of a few samples: a tenth of a fold's bin, and a carrier 16 Hz
    // off keeps nearly all of its amplitude over them.
    if (!blanked) {
        m_sum += z;
        ++m_summed;
    }
    if (++m_fill < kChoiceDecimation) return;
    const std::complex<double> sum = m_summed > 0 ? m_sum / double(m_summed) : m_sum;
    const double weight = double(m_summed) / kChoiceDecimation;
    m_sum = {};
    m_fill = m_summed = 0;
    for (int i = 0; i < m_count; ++i) {
        Candidate& c = m_candidates[i];
        const int bin = std::min(static_cast<int>(c.phase * kChoiceBins), kChoiceBins - 1);
        c.sum[bin] += weight * sum * c.rotor;
        c.weight[bin] += weight;
        c.rotor *= c.step;
        c.phase += c.phaseStep;
        if (c.phase >= 1.0) c.phase -= 1.0;
    }
}

int CCarrierChoice::Choose(const double* hz, int count) {
    // Candidates still found keep their folds; a carrier that moved a little
    // is followed.
    std::array<Candidate, kChoiceCandidates> next{};
    count = std::min(count, kChoiceCandidates);
    for (int k = 0; k < count; ++k) {
        const auto same = std::find_if(
            m_candidates.begin(), m_candidates.begin() + m_count,
            [&](const Candidate& c) { return std::abs(c.hz - hz[k]) < 0.5 * kChoiceSeparationHz; });
        if (same != m_candidates.begin() + m_count) {
            next[k] = *same;
            if (std::abs(same->hz - hz[k]) > kChoiceRetuneHz) Tune(next[k], hz[k]);
        } else {
            Tune(next[k], hz[k]);
        }
    }
    m_candidates = next;
    m_count = count;
    const double keep = std::exp(-1.0 / kChoiceSeconds);
    int best = -1;
    double bestKeying = kKeyedRatio;
    for (int k = 0; k < m_count; ++k) {
        Candidate& c = m_candidates[k];
        c.rotor /= std::abs(c.rotor);
        for (int b = 0; b < kChoiceBins; ++b) {
            c.sum[b] *= keep;
            c.weight[b] *= keep;
        }
        m_keying[k] = 0.0;
        if (++c.seconds < kChoiceMinSeconds) continue;
        const double keying = m_keying[k] = Weigh(k);
        if (keying > bestKeying) {
            bestKeying = keying;
            best = k;
        }
    }
    return best;
}

double CCarrierChoice::Weigh(int k) const {
    // Turned to the phase of its own mean (a keyed carrier's mean keeps the
    // keying's phase), a keyed carrier's fold varies along the real axis
    // alone. The other candidates turn through the second at their
    // difference frequencies: fitted to the imaginary part, which nothing of
    // the keying enters, they are taken out of both. What varies along, over
    // what is left across, is the keying's share.
    constexpr int kTerms = 2 * (kChoiceCandidates - 1);
    const Candidate& c = m_candidates[k];
    const double length = SecondLength(c.hz) / kBasebandRate;  // seconds
    std::array<std::complex<double>, kChoiceBins> fold{};
    std::complex<double> mean{};
    int bins = 0;
    for (int b = 0; b < kChoiceBins; ++b) {
        if (c.weight[b] <= 0.0) continue;
        fold[b] = c.sum[b] / c.weight[b];
        mean += fold[b];
        ++bins;
    }
    if (bins < kChoiceBins / 2 || std::abs(mean) <= 0.0) return 0.0;
    const std::complex<double> turn = std::conj(mean) / std::abs(mean);
    mean *= turn / double(bins);
    // Regressors: the cosine and sine of each other candidate's turn.
    std::array<std::array<double, kChoiceBins>, kTerms> term{};
    int terms = 0;
    for (int i = 0; i < m_count; ++i) {
        if (i == k) continue;
        const double difference = m_candidates[i].hz - c.hz;
        const double angle = kTwoPi * difference * length / kChoiceBins;
        std::complex<double> at = std::polar(1.0, 0.5 * angle);
        const std::complex<double> step = std::polar(1.0, angle);
        for (int b = 0; b < kChoiceBins; ++b, at *= step) {
            term[terms][b] = at.real();
            term[terms + 1][b] = at.imag();
        }
        terms += 2;
    }
    double a[kTerms][kTerms + 1] = {};
    for (int r = 0; r < terms; ++r) {
        for (int b = 0; b < kChoiceBins; ++b) {
            if (c.weight[b] <= 0.0) continue;
            for (int s = 0; s < terms; ++s) a[r][s] += term[r][b] * term[s][b];
            a[r][terms] += term[r][b] * (fold[b] * turn).imag();
        }
        a[r][r] += 1e-9 * bins;  // carriers too close to tell apart stay finite
    }
    for (int r = 0; r < terms; ++r) {
        for (int s = r + 1; s < terms; ++s) {
            const double m = a[s][r] / a[r][r];
            for (int t = r; t <= terms; ++t) a[s][t] -= m * a[r][t];
        }
    }
    double coef[kTerms] = {};
    for (int r = terms - 1; r >= 0; --r) {
        double v = a[r][terms];
        for (int s = r + 1; s < terms; ++s) v -= a[r][s] * coef[s];
        coef[r] = v / a[r][r];
    }
    // Imaginary part p cos + q sin is the carrier (q + j p) turning; its
    // real part is q cos - p sin.
    double along = 0.0, across = 0.0;
    for (int b = 0; b < kChoiceBins; ++b) {
        if (c.weight[b] <= 0.0) continue;
        const std::complex<double> v = fold[b] * turn - mean;
        double re = v.real(), im = v.imag();
        for (int s = 0; s < terms; s += 2) {
            re -= coef[s + 1] * term[s][b] - coef[s] * term[s + 1][b];
            im -= coef[s] * term[s][b] + coef[s + 1] * term[s + 1][b];
        }
        along += re * re;
        across += im * im;
    }
    along /= std::max(bins - 1 - terms / 2, 1);
    across /= std::max(bins - terms, 1);
    return across > 0.0 ? along / across : 0.0;
}

}  // namespace velto
