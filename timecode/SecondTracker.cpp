#include "timecode/SecondTracker.h"

#include <algorithm>
#include <cmath>

namespace velto {
namespace {

using namespace timecode;

constexpr double kFrom[4] = {kHighFrom, kW1From, kW2From, kLowFrom};
constexpr double kTo[4] = {kHighTo, kW1To, kW2To, kLowTo};
enum { kHigh, kW1, kW2, kLow };

}  // namespace

// Weighted least squares of mean = c * level(t) over the windows within
// `span` seconds, level(t) a line over one second on either side and a
// parabola over more (which follows a fade's turn without the bias a line
// would carry there, the same at the same second of every minute when the
// fade keeps step with it), c the share of the full carrier that
// `hypothesis` (0, 1 or marker) gives each window; `model` is the level's
// uncertainty beyond the noise. Without the second's own high part, if
// `blind`.
CSecondTracker::LevelFit CSecondTracker::FitLevel(const Term* terms, int count, int span,
                                                  double model, int hypothesis, bool blind) {
    const int order = span >= 2 ? 3 : 2;  // coefficients of level(t)
    double a[3][3] = {}, b[3] = {}, syy = 0.0;
    LevelFit f;
    for (int i = 0; i < count; ++i) {
        const Term& e = terms[i];
        if (e.distance > span || (blind && e.distance == 0 && e.window == kHigh)) continue;
        bool high = e.window == kHigh;
        if (e.window == kW1) high = hypothesis != 2;
        if (e.window == kW2) high = hypothesis == 0;
        const double c = high ? 1.0 : kLowShare;
        const double variance = e.variance + c * c * model * model;
        const double weight = 1.0 / variance;
        f.logVariance += std::log(variance);
        ++f.used;
        const double x[3] = {c, c * e.t, c * e.t * e.t};
        for (int r = 0; r < order; ++r) {
            for (int k = 0; k < order; ++k) a[r][k] += weight * x[r] * x[k];
            b[r] += weight * x[r] * e.mean;
        }
        syy += weight * e.mean * e.mean;
    }
    // Solve the normal equations by elimination; a coefficient the windows
    // cannot tell (too few of them) is left at 0.
    const double rhs[3] = {b[0], b[1], b[2]};
    double coef[3] = {};
    int solved = order;
    for (int r = 0; r < order; ++r) {
        if (!(a[r][r] > 1e-12 * std::max(a[0][0], 1e-300))) {
            solved = r;
            break;
        }
        for (int k = r + 1; k < order; ++k) {
            const double m = a[k][r] / a[r][r];
            for (int c = r; c < order; ++c) a[k][c] -= m * a[r][c];
            b[k] -= m * b[r];
        }
    }
    for (int r = solved - 1; r >= 0; --r) {
        double v = b[r];
        for (int k = r + 1; k < solved; ++k) v -= a[r][k] * coef[k];
        coef[r] = v / a[r][r];
    }
    f.level = {coef[0], coef[1], coef[2]};
    // The misfit: the weighted sum of squares less what the fit explains.
    double explained = 0.0;
    for (int r = 0; r < solved; ++r) explained += coef[r] * rhs[r];
    f.misfit = syy - explained;
    return f;
}

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
    m_nextRisen = 0;
    m_windows.fill(Windows{});
    m_level = 0.0;
    m_holdFold = false;
    m_channels.fill(Channel{});
    m_watch.Reset();
    m_splices = 0;
    m_spliceFrom = 0;
}

void CSecondTracker::Process(const DetectedSample& s, double samplesPerSecond, double noiseVariance,
                             bool carrierFound, IScoredSink& sink) {
    const double step = double{kBlock} / samplesPerSecond;
    if (!s.blanked) {
        const double u = m_phase * kFoldBins;
        const int b0 = std::min(static_cast<int>(u), kFoldBins - 1);
        const double f = u - b0;
        const int b1 = (b0 + 1) % kFoldBins;
        if (!m_holdFold) {
            m_foldI[b0] += (1.0 - f) * s.inPhase;
            m_foldQ[b0] += (1.0 - f) * s.quadrature;
            m_foldW[b0] += 1.0 - f;
            m_foldI[b1] += f * s.inPhase;
            m_foldQ[b1] += f * s.quadrature;
            m_foldW[b1] += f;
        }
        m_watch.Add(b0, b1, f, s.inPhase);
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
        NewFoldSecond(carrierFound, samplesPerSecond, noiseVariance, sink);
    }
}

void CSecondTracker::Measure(double& position, double& z) const {
    Fold fi{}, fq{};
    for (int b = 0; b < kFoldBins; ++b) {
        if (m_foldW[b] > 0.0) {
            fi[b] = m_foldI[b] / m_foldW[b];
            fq[b] = m_foldQ[b] / m_foldW[b];
        }
    }
    // The quadrature's contrasts are noise alone: their RMS is the noise of
    // the in-phase ones.
    Fold noise{}, wide{};
    const Rise rise = FindRise(fi, Contrasts(fq, kEdgeWideHalfWidth, noise), wide);
    position = rise.position;
    z = rise.z;
}

void CSecondTracker::Rephase(double jump, double samplesPerSecond) {
    // The long fold moves with the rise and keeps little of what it held:
    // what follows is measured afresh.
    const int shift = static_cast<int>(std::lround(jump));
    Fold i{}, q{}, w{};
    for (int b = 0; b < kFoldBins; ++b) {
        i[b] = kRephaseKeep * m_foldI[FoldBin(b - shift)];
        q[b] = kRephaseKeep * m_foldQ[FoldBin(b - shift)];
        w[b] = kRephaseKeep * m_foldW[FoldBin(b - shift)];
    }
    m_foldI = i;
    m_foldQ = q;
    m_foldW = w;
    m_edge += jump;
    m_slipSeconds = 0;
    // The seconds that may hold signal from either side of the jump start
    // their windows over, at the new phase, and are marked.
    const std::int64_t now = static_cast<std::int64_t>(
        std::floor(static_cast<double>(m_phaseSecond) + m_phase - m_edge / kFoldBins));
    const std::int64_t from = m_watch.Moved(now);
    const double moved = jump / kFoldBins * samplesPerSecond;
    for (Windows& win : m_windows) {
        if (win.second < from) continue;
        const std::int64_t second = win.second;
        const double onTime = win.onTime + moved;
        win = Windows{};
        win.second = second;
        win.onTime = onTime;
        win.spliced = true;
    }
    ++m_splices;
    m_spliceFrom = from;
}

void CSecondTracker::NewFoldSecond(bool carrierFound, double samplesPerSecond, double noiseVariance,
                                   IScoredSink& sink) {
    // The second just folded is looked at apart, held or not.
    const double end = static_cast<double>(m_phaseSecond) - m_edge / kFoldBins;
    const double jump =
        m_watch.Look(end, static_cast<double>(m_phaseSecond) + m_phase - m_edge / kFoldBins,
                     m_locked, m_edge, m_foldI, m_foldW, noiseVariance);
    if (jump != 0.0) Rephase(jump, samplesPerSecond);
    if (m_locked) {
        // The seconds whose rise and what follows it the last look took in.
        for (; m_nextRisen + kRiseDelaySeconds <= end; ++m_nextRisen) {
            const Windows& w = Slot(m_nextRisen);
            if (w.second != m_nextRisen) continue;
            sink.OnRisen({m_nextRisen, m_epoch, w.onTime, RiseSeen(m_nextRisen, w),
                          w.spliced || m_watch.Doubted(m_nextRisen)});
        }
    }
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
            m_nextRisen = m_firstSecond;
            m_windows.fill(Windows{});
            m_splices = 0;
            m_watch.Restart(m_firstSecond);
        }
        return;
    }
    if (m_edgeZ < kEdgeTrackZ) {
        return;  // hold the last rise through a fade
    }
    const double diff = WrapBins(position - m_edge);
    if (std::abs(diff) < kSlipMs) {
        m_edge += kEdgeGain * diff;
        m_slipSeconds = 0;
    } else if (++m_slipSeconds >= kSlipSeconds && m_edgeZ >= kSecondLockZ) {
        // The rise is elsewhere now: start the count of seconds over.
        m_locked = false;
        m_slipSeconds = 0;
    }
}

double CSecondTracker::Channel::Variance(double amplitude) const {
    // What the high parts show beyond the noise is the level moving.
    const double excess = highCount > 0.0 ? (highResidual - highNoise) / highCount : 0.0;
    const double floor = kLevelUncertainty * amplitude;
    return std::max(excess, floor * floor);
}

int CSecondTracker::Span() const {
    // A shorter fit follows faster fading; a longer one averages more noise
    // away. Whichever lately foretold the high parts best is used; two
    // seconds on either side until the channel has been seen.
    int best = 2;
    for (int span = 1; span <= kLevelSpan; ++span) {
        if (m_channels[span].predictionError < m_channels[best].predictionError) best = span;
    }
    return best;
}

void CSecondTracker::Learn(const Term* terms, int count, int hypothesis, double amplitude) {
    const double keep = std::exp(-1.0 / kLevelUncertaintySeconds);
    for (int span = 1; span <= kLevelSpan; ++span) {
        Channel& ch = m_channels[span];
        ch.highResidual *= keep;
        ch.highNoise *= keep;
        ch.highCount *= keep;
        ch.predictionError *= keep;
        const double model = std::sqrt(ch.Variance(amplitude));
        const LevelFit all = FitLevel(terms, count, span, model, hypothesis, false);
        const LevelFit blind = FitLevel(terms, count, span, model, hypothesis, true);
        for (int i = 0; i < count; ++i) {
            const Term& e = terms[i];
            if (e.distance != 0 || e.window != kHigh) continue;
            const double r = e.mean - all.Level(e.t);
            const double foretold = e.mean - blind.Level(e.t);
            ch.highResidual += r * r;
            ch.highNoise += e.variance;
            ch.highCount += 1.0;
            ch.predictionError += foretold * foretold;
        }
    }
}

bool CSecondTracker::RiseSeen(std::int64_t n, const Windows& w) const {
    return Heard(w) && !w.spliced && m_watch.Seen(n);
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
    out.spliced = w.spliced;
    out.heard = Heard(w);
    out.riseDoubted = m_watch.Doubted(n);
    out.riseSeen = RiseSeen(n, w);
    out.contrastSecond = n + kLevelSpan;
    out.contrast = out.contrastSigma = 0.0;
    const Windows& newest = Slot(out.contrastSecond);
    if (newest.second == out.contrastSecond && newest.count[kHigh] > 0 && newest.count[kLow] > 0) {
        out.contrast =
            newest.sum[kHigh] / newest.count[kHigh] - newest.sum[kLow] / newest.count[kLow];
        out.contrastSigma = std::sqrt(kBasebandCorrelation * noiseVariance *
                                      (1.0 / newest.count[kHigh] + 1.0 / newest.count[kLow]));
    }
    m_level = hc;
    // Nothing fits: each symbol as likely as the others.
    auto erase = [&] {
        out.logZero = out.logOne = out.logMarker = static_cast<float>(-std::log(3.0));
        out.erasure = true;
        out.quality = 0.0f;
        sink.OnScored(out);
    };
    const bool usable = !w.spliced && w.count[kW1] > 0 && w.count[kW2] > 0 && hTotal > 0 &&
                        lTotal > 0 && noiseVariance > 0.0 &&
                        w.blanked <= kErasureBlanked * std::max(w.total, 1);
    if (!usable) {
        erase();
        return;
    }
    // Each hypothesis says which windows of second n are at the full
    // carrier and which at the 10 % part; the neighbours' first and last
    // windows are known either way. The full carrier's amplitude is fitted
    // over the seconds around n under each hypothesis (so that it follows
    // fading within the second, and the 10 % windows weigh in at their known
    // share), and the fit's misfit scores the hypothesis. How many seconds on
    // either side is learnt from the channel.
    std::array<Term, 4 * (2 * kLevelSpan + 1)> terms{};
    int count = 0;
    const double amplitude = std::abs(hc);
    for (int j = -kLevelSpan; j <= kLevelSpan; ++j) {
        const Windows& o = Slot(n + j);
        if (o.second != n + j) continue;
        for (int k = 0; k < 4; ++k) {
            if (o.count[k] == 0 || (j != 0 && (k == kW1 || k == kW2))) continue;
            const double mid = 0.5 * (kFrom[k] + kTo[k]);
            terms[count++] = {o.sum[k] / o.count[k], j + mid - 0.5,
                              kBasebandCorrelation * noiseVariance / o.count[k], k, std::abs(j)};
        }
    }
    int span = Span();
    auto fitAll = [&](std::array<LevelFit, 3>& f) {
        const double model = std::sqrt(m_channels[span].Variance(amplitude));
        for (int h = 0; h < 3; ++h) f[h] = FitLevel(terms.data(), count, span, model, h, false);
    };
    std::array<LevelFit, 3> f{};
    fitAll(f);
    auto bestOf = [](const std::array<LevelFit, 3>& fits) {
        return std::min({fits[0].misfit, fits[1].misfit, fits[2].misfit});
    };
    double best = bestOf(f);
    // The misfit of the best has f.used less two or three (a line or a
    // parabola) degrees of freedom. A neighbour that fits none (a crash, the
    // call sign's keying) is left out.
    const double misfit = kErasureChi2 + 3.0 * std::max(f[0].used - 4, 0);
    if (best > misfit) {
        span = 0;
        fitAll(f);
        best = bestOf(f);
    }
    if (best > (span > 0 ? misfit : kErasureChi2)) {
        erase();
        return;
    }
    // -2 log-likelihood of each hypothesis.
    const double c0 = f[0].misfit + f[0].logVariance, c1 = f[1].misfit + f[1].logVariance,
                 cm = f[2].misfit + f[2].logVariance;
    best = std::min({c0, c1, cm});
    if (span > 0) Learn(terms.data(), count, best == c0 ? 0 : best == c1 ? 1 : 2, amplitude);
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
