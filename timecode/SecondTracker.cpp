#include "timecode/SecondTracker.h"

#include <algorithm>
#include <cmath>

namespace velto {
namespace {

using namespace timecode;

// Noise on a mean of m consecutive baseband samples is this many times the
// noise of m independent ones: the triangular windows overlap.
constexpr double kCorrelation = 1.5;

constexpr double kFrom[4] = {kHighFrom, kW1From, kW2From, kLowFrom};
constexpr double kTo[4] = {kHighTo, kW1To, kW2To, kLowTo};
enum { kHigh, kW1, kW2, kLow };

double Wrap(double bins) {
    bins = std::fmod(bins, double{kFoldBins});
    if (bins > kFoldBins / 2) bins -= kFoldBins;
    if (bins <= -kFoldBins / 2) bins += kFoldBins;
    return bins;
}

int Bin(int b) { return ((b % kFoldBins) + kFoldBins) % kFoldBins; }

}  // namespace

CSecondTracker::CSecondTracker() { Reset(); }

void CSecondTracker::Reset() {
    m_foldI.fill(0.0);
    m_foldQ.fill(0.0);
    m_foldW.fill(0.0);
    m_phaseSecond = 0;
    m_phase = 0.0;
    m_locked = false;
    m_edge = 0.0;
    m_edgeZ = 0.0;
    m_slipSeconds = 0;
    m_foldSeconds = 0;
    m_firstSecond = 0;
    m_nextFinal = 0;
    m_windows.fill(Windows{});
    m_level = 0.0;
    m_holdFold = false;
}

void CSecondTracker::Process(const DetectedSample& s, double samplesPerSecond, double noiseVariance,
                             bool carrierFound, IScoredSink& sink) {
    const double step = double{kBlock} / samplesPerSecond;
    if (!s.blanked && !m_holdFold) {
        const double u = m_phase * kFoldBins;
        const int b0 = std::min(static_cast<int>(u), kFoldBins - 1);
        const double f = u - b0;
        const int b1 = (b0 + 1) % kFoldBins;
        m_foldI[b0] += (1.0 - f) * s.inPhase;
        m_foldQ[b0] += (1.0 - f) * s.quadrature;
        m_foldW[b0] += 1.0 - f;
        m_foldI[b1] += f * s.inPhase;
        m_foldQ[b1] += f * s.quadrature;
        m_foldW[b1] += f;
    }

    if (m_locked) {
        // Position within the second that starts at its on-time point.
        const double v = static_cast<double>(m_phaseSecond) + m_phase - m_edge / kFoldBins;
        const std::int64_t n = static_cast<std::int64_t>(std::floor(v));
        const double inSecond = v - static_cast<double>(n);
        Windows& w = Slot(n);
        if (w.second != n) {
            w = Windows{};
            w.second = n;
            const double center = double{kBlock} * static_cast<double>(s.index) - kBasebandDelay;
            w.onTime = center - inSecond * samplesPerSecond;
        }
        ++w.total;
        if (s.blanked) {
            ++w.blanked;
        } else {
            for (int k = 0; k < 4; ++k) {
                if (inSecond >= kFrom[k] && inSecond < kTo[k]) {
                    w.sum[k] += s.inPhase;
                    ++w.count[k];
                }
            }
        }
        // Second n is judged once the low part of n + kLevelSpan is in.
        while (m_nextFinal + kLevelSpan < n ||
               (m_nextFinal + kLevelSpan == n && inSecond >= kLowTo)) {
            Finalize(m_nextFinal, noiseVariance, sink);
            ++m_nextFinal;
        }
    }

    m_phase += step;
    if (m_phase >= 1.0) {
        m_phase -= 1.0;
        ++m_phaseSecond;
        NewFoldSecond(carrierFound);
    }
}

void CSecondTracker::Measure(double& position, double& z) const {
    std::array<double, kFoldBins> fi{}, fq{};
    for (int b = 0; b < kFoldBins; ++b) {
        if (m_foldW[b] > 0.0) {
            fi[b] = m_foldI[b] / m_foldW[b];
            fq[b] = m_foldQ[b] / m_foldW[b];
        }
    }
    // Contrast of a rise at b: the sum after it minus the sum before it over
    // `half` bins each; the same on the quadrature gives its noise. Wide, it
    // takes in all of the 0.15 s after the rise that is high in every symbol
    // and the 0.15 s before it that is low: that tells whether there is a
    // rise at all. Narrow, it places the rise.
    auto contrasts = [&](int half, std::array<double, kFoldBins>& out) {
        double di = 0.0, dq = 0.0;
        for (int i = 0; i < half; ++i) {
            di += fi[Bin(i)] - fi[Bin(-1 - i)];
            dq += fq[Bin(i)] - fq[Bin(-1 - i)];
        }
        double noise = 0.0;
        for (int b = 0; b < kFoldBins; ++b) {
            out[b] = di;
            noise += dq * dq;
            // Moving from b to b + 1: bin b leaves "after" and joins "before".
            di += fi[Bin(b + half)] - 2.0 * fi[b] + fi[Bin(b - half)];
            dq += fq[Bin(b + half)] - 2.0 * fq[b] + fq[Bin(b - half)];
        }
        return std::sqrt(noise / kFoldBins);
    };
    std::array<double, kFoldBins> wide{}, narrow{};
    const double wideNoise = contrasts(kEdgeWideHalfWidth, wide);
    const auto widest = std::max_element(wide.begin(), wide.end());
    z = wideNoise > 0.0 ? *widest / wideNoise : 0.0;
    contrasts(kEdgeHalfWidth, narrow);
    const int wideBin = static_cast<int>(widest - wide.begin());
    int bestBin = wideBin;
    for (int b = wideBin - kEdgeHalfWidth; b <= wideBin + kEdgeHalfWidth; ++b) {
        if (narrow[Bin(b)] > narrow[Bin(bestBin)]) bestBin = Bin(b);
    }

    // Sub-bin position from the area above the low level around the rise:
    // for a step at s, the bins b0..b0+2K-1 above it hold (b0+2K-1 - s + 1/2)
    // steps' worth.
    double low = 0.0, high = 0.0;
    constexpr int kNear = 15, kFar = 150;
    for (int i = kNear; i < kFar; ++i) {
        low += fi[Bin(bestBin - i)];
        high += fi[Bin(bestBin + i)];
    }
    low /= kFar - kNear;
    high /= kFar - kNear;
    double area = 0.0;
    for (int b = bestBin - kEdgeAreaHalf; b < bestBin + kEdgeAreaHalf; ++b) {
        area += fi[Bin(b)] - low;
    }
    const double steps = high > low ? area / (high - low) : kEdgeAreaHalf;
    const double offset =
        std::clamp(kEdgeAreaHalf - 0.5 - steps, -double{kEdgeAreaHalf}, double{kEdgeAreaHalf});
    position = bestBin + offset;
}

void CSecondTracker::NewFoldSecond(bool carrierFound) {
    if (m_holdFold) return;
    const double keep = std::exp(-1.0 / kFoldTimeConstantSeconds);
    for (int b = 0; b < kFoldBins; ++b) {
        m_foldI[b] *= keep;
        m_foldQ[b] *= keep;
        m_foldW[b] *= keep;
    }
    ++m_foldSeconds;
    if (!carrierFound || m_foldSeconds < 5) {
        m_edgeZ = 0.0;
        return;
    }
    double position = 0.0;
    Measure(position, m_edgeZ);
    if (!m_locked) {
        if (m_edgeZ >= kSecondLockZ) {
            m_locked = true;
            ++m_epoch;
            m_edge = position;
            m_slipSeconds = 0;
            // Count seconds from the first one that is wholly ahead.
            const double v = static_cast<double>(m_phaseSecond) + m_phase - m_edge / kFoldBins;
            m_firstSecond = static_cast<std::int64_t>(std::floor(v)) + 1;
            m_nextFinal = m_firstSecond;
            m_windows.fill(Windows{});
        }
        return;
    }
    if (m_edgeZ < kEdgeTrackZ) {
        return;  // hold the last rise through a fade
    }
    const double diff = Wrap(position - m_edge);
    if (std::abs(diff) < kSlipMs) {
        m_edge += kEdgeGain * diff;
        m_slipSeconds = 0;
    } else if (++m_slipSeconds >= kSlipSeconds && m_edgeZ >= kSecondLockZ) {
        // The rise is elsewhere now: start the count of seconds over.
        m_locked = false;
        m_slipSeconds = 0;
    }
}

void CSecondTracker::Finalize(std::int64_t n, double noiseVariance, IScoredSink& sink) {
    const Windows& w = Slot(n);
    if (w.second != n || n < m_firstSecond) {
        return;
    }
    // Mean levels of the high and low parts of seconds n-1..n+1.
    double hSum = 0, lSum = 0;
    int hTotal = 0, lTotal = 0;
    for (int j = 0; j < 3; ++j) {
        const Windows& o = Slot(n - 1 + j);
        if (o.second == n - 1 + j) {
            hSum += o.sum[kHigh];
            hTotal += o.count[kHigh];
            lSum += o.sum[kLow];
            lTotal += o.count[kLow];
        }
    }
    const double hc = hTotal > 0 ? hSum / hTotal : 0.0;
    const double lc = lTotal > 0 ? lSum / lTotal : 0.0;

    ScoredSecond out;
    out.second = n;
    out.epoch = m_epoch;
    out.onTimeSample = w.onTime;
    out.high = hc;
    out.low = lc;
    out.contrast = out.contrastSigma = 0.0;
    if (w.count[kHigh] > 0 && w.count[kLow] > 0) {
        out.contrast = w.sum[kHigh] / w.count[kHigh] - w.sum[kLow] / w.count[kLow];
        out.contrastSigma =
            std::sqrt(kCorrelation * noiseVariance * (1.0 / w.count[kHigh] + 1.0 / w.count[kLow]));
    }
    m_level = hc;
    const bool usable = w.count[kW1] > 0 && w.count[kW2] > 0 && hTotal > 0 && lTotal > 0 &&
                        noiseVariance > 0.0 && w.blanked <= kErasureBlanked * std::max(w.total, 1);
    if (!usable) {
        out.logZero = out.logOne = out.logMarker = static_cast<float>(-std::log(3.0));
        out.erasure = true;
        out.quality = 0.0f;
        sink.OnScored(out);
        return;
    }
    // Each hypothesis says which windows of second n are at the full
    // carrier and which at the 10 % part; the neighbours' first and last
    // windows are known either way. The full carrier's amplitude is fitted
    // as a line over the 2 kLevelSpan + 1 seconds under each hypothesis (so that it
    // follows fading within the second, and the 10 % windows weigh in at
    // their known share), and the fit's misfit scores the hypothesis.
    struct Term {
        double mean, t, variance;
        int window;  // kHigh .. kLow
        bool current;
    };
    std::array<Term, 4 * (2 * kLevelSpan + 1)> terms{};
    int count = 0;
    const double amplitude = std::abs(hc);
    for (int j = -kLevelSpan; j <= kLevelSpan; ++j) {
        const Windows& o = Slot(n + j);
        if (o.second != n + j) continue;
        const bool current = j == 0;
        for (int k = 0; k < 4; ++k) {
            if (o.count[k] == 0 || (!current && (k == kW1 || k == kW2))) continue;
            const double mid = 0.5 * (kFrom[k] + kTo[k]);
            terms[count++] = {o.sum[k] / o.count[k], j + mid - 0.5,
                              kCorrelation * noiseVariance / o.count[k], k, current};
        }
    }
    // Besides noise, the amplitude is known only so well: fading moves it
    // beyond what a line follows.
    const double model = kLevelUncertainty * amplitude;
    bool withNeighbours = true;
    // Misfit of the fit under a hypothesis, and the sum of the logarithms of
    // its variances: the windows at the 10 % part vary less.
    struct Fit {
        double misfit = 0.0, logVariance = 0.0;
    };
    auto fit = [&](bool w1High, bool w2High) {
        double sxx = 0, sxy = 0, syy = 0, sx = 0, sy = 0, sw = 0;
        Fit f;
        // Weighted least squares of mean = c * (alpha + beta * t).
        for (int i = 0; i < count; ++i) {
            const Term& e = terms[i];
            if (!withNeighbours && !e.current) continue;
            bool high = e.window == kHigh;
            if (e.current && e.window == kW1) high = w1High;
            if (e.current && e.window == kW2) high = w2High;
            const double c = high ? 1.0 : kLowShare;
            const double variance = e.variance + c * c * model * model;
            const double weight = 1.0 / variance;
            f.logVariance += std::log(variance);
            const double x0 = c, x1 = c * e.t;
            sw += weight * x0 * x0;
            sx += weight * x0 * x1;
            sxx += weight * x1 * x1;
            sy += weight * x0 * e.mean;
            sxy += weight * x1 * e.mean;
            syy += weight * e.mean * e.mean;
        }
        const double det = sw * sxx - sx * sx;
        if (det <= 1e-12 * sw * sxx) {
            f.misfit = syy - sy * sy / sw;  // no slope to fit
            return f;
        }
        const double alpha = (sxx * sy - sx * sxy) / det;
        const double beta = (sw * sxy - sx * sy) / det;
        f.misfit = syy - alpha * sy - beta * sxy;
        return f;
    };
    Fit f0 = fit(true, true), f1 = fit(true, false), fm = fit(false, false);
    double best = std::min({f0.misfit, f1.misfit, fm.misfit});
    // The misfit of the best has count - 2 degrees of freedom. A neighbour
    // that fits none (a crash, the call sign's keying) is left out.
    const double misfit = kErasureChi2 + 3.0 * std::max(count - 4, 0);
    if (best > misfit) {
        withNeighbours = false;
        f0 = fit(true, true);
        f1 = fit(true, false);
        fm = fit(false, false);
        best = std::min({f0.misfit, f1.misfit, fm.misfit});
    }
    if (best > (withNeighbours ? misfit : kErasureChi2)) {
        out.logZero = out.logOne = out.logMarker = static_cast<float>(-std::log(3.0));
        out.erasure = true;
        out.quality = 0.0f;
        sink.OnScored(out);
        return;
    }
    // -2 log-likelihood of each hypothesis.
    const double c0 = f0.misfit + f0.logVariance, c1 = f1.misfit + f1.logVariance,
                 cm = fm.misfit + fm.logVariance;
    best = std::min({c0, c1, cm});
    const double a0 = -0.5 * (c0 - best), a1 = -0.5 * (c1 - best), am = -0.5 * (cm - best);
    const double norm = std::log(std::exp(a0) + std::exp(a1) + std::exp(am));
    auto clip = [](double x) { return std::max(static_cast<float>(x), kMinLogProbability); };
    out.logZero = clip(a0 - norm);
    out.logOne = clip(a1 - norm);
    out.logMarker = clip(am - norm);
    out.erasure = false;
    out.quality = static_cast<float>(std::exp(-norm));
    sink.OnScored(out);
}

}  // namespace velto
