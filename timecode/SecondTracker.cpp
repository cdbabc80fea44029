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
}

void CSecondTracker::Process(const DetectedSample& s, double samplesPerSecond, double noiseVariance,
                             bool carrierFound, IScoredSink& sink) {
    const double step = double{kBlock} / samplesPerSecond;
    if (!s.blanked) {
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
        // Second n is judged once the low part of n + 1 is in.
        while (m_nextFinal + 1 < n || (m_nextFinal + 1 == n && inSecond >= kLowTo)) {
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
    // Contrast of a rise at b: the mean after it minus the mean before it,
    // over kEdgeHalfWidth bins each; the same on the quadrature gives its noise.
    auto contrast = [](const std::array<double, kFoldBins>& f, int b) {
        double d = 0.0;
        for (int i = 0; i < kEdgeHalfWidth; ++i) {
            d += f[Bin(b + i)] - f[Bin(b - 1 - i)];
        }
        return d;
    };
    // Running form of the same sums.
    double di = contrast(fi, 0), dq = contrast(fq, 0);
    double best = -1e300;
    int bestBin = 0;
    double noise = 0.0;
    for (int b = 0; b < kFoldBins; ++b) {
        if (di > best) {
            best = di;
            bestBin = b;
        }
        noise += dq * dq;
        // Moving from b to b + 1: bin b leaves "after" and joins "before".
        di += fi[Bin(b + kEdgeHalfWidth)] - 2.0 * fi[b] + fi[Bin(b - kEdgeHalfWidth)];
        dq += fq[Bin(b + kEdgeHalfWidth)] - 2.0 * fq[b] + fq[Bin(b - kEdgeHalfWidth)];
    }
    noise = std::sqrt(noise / kFoldBins);
    z = noise > 0.0 ? best / noise : 0.0;

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
    // Levels from seconds n-1..n+1: a line through their high parts (at
    // 0.1 s) and one through their low parts (at 0.9 s), so that a fade
    // within the span does not bias them.
    double hSum[3] = {0, 0, 0}, lSum[3] = {0, 0, 0};
    int hCount[3] = {0, 0, 0}, lCount[3] = {0, 0, 0};
    for (int j = 0; j < 3; ++j) {
        const Windows& o = Slot(n - 1 + j);
        if (o.second == n - 1 + j) {
            hSum[j] = o.sum[kHigh];
            hCount[j] = o.count[kHigh];
            lSum[j] = o.sum[kLow];
            lCount[j] = o.count[kLow];
        }
    }
    auto line = [](const double* sum, const int* count, double& center, double& slope) {
        const int total = count[0] + count[1] + count[2];
        center = total > 0 ? (sum[0] + sum[1] + sum[2]) / total : 0.0;
        slope = count[0] > 0 && count[2] > 0 ? (sum[2] / count[2] - sum[0] / count[0]) / 2.0 : 0.0;
        return total;
    };
    double hc = 0, hs = 0, lc = 0, ls = 0;
    const int hTotal = line(hSum, hCount, hc, hs);
    const int lTotal = line(lSum, lCount, lc, ls);
    const double mid1 = 0.5 * (kW1From + kW1To), mid2 = 0.5 * (kW2From + kW2To);
    const double highMid = 0.5 * (kHighFrom + kHighTo), lowMid = 0.5 * (kLowFrom + kLowTo);
    const double h1 = hc + hs * (mid1 - highMid), h2 = hc + hs * (mid2 - highMid);
    const double l1 = lc + ls * (mid1 - lowMid), l2 = lc + ls * (mid2 - lowMid);

    ScoredSecond out;
    out.second = n;
    out.epoch = m_epoch;
    out.onTimeSample = w.onTime;
    out.high = hc;
    out.low = lc;
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
    const double m1 = w.sum[kW1] / w.count[kW1], m2 = w.sum[kW2] / w.count[kW2];
    // Besides noise, the levels are known only so well: fading moves them
    // within the second beyond what the lines follow.
    const double model = kLevelUncertainty * std::abs(hc - lc);
    const double levelVar =
        kCorrelation * noiseVariance * (1.0 / hTotal + 1.0 / lTotal) + model * model;
    const double v1 = kCorrelation * noiseVariance / w.count[kW1] + levelVar;
    const double v2 = kCorrelation * noiseVariance / w.count[kW2] + levelVar;
    auto chi2 = [&](double a, double b) {
        return (m1 - a) * (m1 - a) / v1 + (m2 - b) * (m2 - b) / v2;
    };
    const double c0 = chi2(h1, h2), c1 = chi2(h1, l2), cm = chi2(l1, l2);
    const double best = std::min({c0, c1, cm});
    if (best > kErasureChi2) {
        out.logZero = out.logOne = out.logMarker = static_cast<float>(-std::log(3.0));
        out.erasure = true;
        out.quality = 0.0f;
        sink.OnScored(out);
        return;
    }
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
