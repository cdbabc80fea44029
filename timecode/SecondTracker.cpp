#include "timecode/SecondTracker.h"

#include <algorithm>
#include <cmath>

namespace velto {

using namespace timecode;

CSecondTracker::CSecondTracker(const Station& station, int block)
    : m_model(station), m_block(block), m_levelFit(m_model), m_watch(m_model.EdgeSpan()) {
    Reset();
}

void CSecondTracker::Reset() {
    m_foldI.fill(0.0);
    m_foldQ.fill(0.0);
    m_foldW.fill(0.0);
    m_recentI.fill(0.0);
    m_recentW.fill(0.0);
    m_noiseVariance = 0.0;
    m_phaseSecond = 0;
    m_phase = 0.0;
    m_locked = false;
    m_edge = 0.0;
    m_slipSeconds = 0;
    m_foldSeconds = 0;
    m_firstSecond = 0;
    m_nextFinal = 0;
    m_nextRisen = 0;
    m_windows.fill(Windows{});
    m_level = 0.0;
    m_holdFold = false;
    m_levelFit.Reset();
    m_watch.Reset();
    m_pendingCount = 0;
    m_pendingSum = 0.0;
    m_span = 0;
    m_near.fill({});
    m_nearCount = 0;
    m_nearI = m_nearQ = 0.0;
    m_splices = 0;
    m_spliceFrom = 0;
    m_lastV = 0.0;
    m_lastIndex = 0;
}

bool CSecondTracker::FlipSpan(std::int64_t index, double samplesPerSecond,
                              std::int64_t& span) const {
    if (!m_locked || m_model.FlipAt() <= 0.0) return false;
    const double v =
        m_lastV + static_cast<double>(index - m_lastIndex) * m_block / samplesPerSecond;
    span = static_cast<std::int64_t>(std::floor(v - m_model.FlipAt()));
    return true;
}

void CSecondTracker::Process(const DetectedSample& s, double samplesPerSecond, double noiseVariance,
                             bool carrierFound, IScoredSink& sink) {
    const double step = m_block / samplesPerSecond;
    m_noiseVariance = noiseVariance;
    const bool flips = m_model.FlipAt() > 0.0;
    m_lastV = static_cast<double>(m_phaseSecond) + m_phase - m_edge / kFoldBins;
    m_lastIndex = s.index;
    if (flips && m_locked) {
        // Where the carrier's phase flips, each span between flips is folded
        // once it is whole, at the sign of its sum.
        const double v = m_lastV;
        const auto span = static_cast<std::int64_t>(std::floor(v - m_model.FlipAt()));
        if (span != m_span) FlushSpan(span);
    }
    if (!s.blanked) {
        const double u = m_phase * kFoldBins;
        const int b0 = std::min(static_cast<int>(u), kFoldBins - 1);
        const double f = u - b0;
        if (flips && m_locked && m_pendingCount < static_cast<int>(m_pending.size())) {
            m_pending[m_pendingCount++] = {b0, f, s.inPhase, s.quadrature};
            m_pendingSum += s.inPhase;
        } else if (flips) {
            // Before the second is found, the magnitude where the phase
            // flips, of a mean centred on the sample: above the noise, the
            // magnitude keeps more of the signal.
            const int at = m_nearCount % kNear;
            m_nearI += s.inPhase - m_near[at].inPhase;
            m_nearQ += s.quadrature - m_near[at].quadrature;
            m_near[at] = {b0, f, s.inPhase, s.quadrature};
            if (++m_nearCount >= kNear) {
                const Pending& mid = m_near[(m_nearCount - kNear / 2 - 1) % kNear];
                AddToFold(mid.bin, mid.f, std::abs(m_nearI) / kNear, m_nearQ / kNear);
            }
        } else {
            AddToFold(b0, f, s.inPhase, s.quadrature);
        }
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
            w.edge = m_edge;
            const double center =
                static_cast<double>(m_block) * static_cast<double>(s.index) - kBasebandDelay;
            w.onTime = center - inSecond * samplesPerSecond;
        }
        ++w.total;
        if (s.blanked) {
            ++w.blanked;
        } else {
            for (int k = 0; k < m_model.Windows(); ++k) {
                if (inSecond >= m_model.From(k) && inSecond < m_model.To(k)) {
                    w.sum[k] += s.inPhase;
                    ++w.count[k];
                }
            }
        }
        // Second n is judged once the low part of n + kLevelSpan is in.
        while (m_nextFinal + kLevelSpan < n ||
               (m_nextFinal + kLevelSpan == n && inSecond >= m_model.To(m_model.Windows() - 1))) {
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

void CSecondTracker::AddToFold(int b0, double f, double amplitude, double quadrature) {
    // The fold sees the on-time edge as a rise.
    const double x = m_model.EdgeSign() * amplitude;
    const int b1 = (b0 + 1) % kFoldBins;
    if (!m_holdFold) {
        m_foldI[b0] += (1.0 - f) * x;
        m_foldQ[b0] += (1.0 - f) * quadrature;
        m_foldW[b0] += 1.0 - f;
        m_foldI[b1] += f * x;
        m_foldQ[b1] += f * quadrature;
        m_foldW[b1] += f;
        m_recentI[b0] += (1.0 - f) * x;
        m_recentW[b0] += 1.0 - f;
        m_recentI[b1] += f * x;
        m_recentW[b1] += f;
    }
    m_watch.Add(b0, b1, f, x);
}

void CSecondTracker::FlushSpan(std::int64_t next) {
    const double sign = m_pendingSum < 0.0 ? -1.0 : 1.0;
    for (int i = 0; i < m_pendingCount; ++i) {
        const Pending& p = m_pending[i];
        AddToFold(p.bin, p.f, sign * p.inPhase, p.quadrature);
    }
    m_pendingCount = 0;
    m_pendingSum = 0.0;
    m_span = next;
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
    const Rise rise =
        FindRise(fi, Contrasts(fq, m_model.EdgeSpan(), noise), wide, m_model.EdgeSpan());
    position = rise.position;
    z = rise.z;
}

void CSecondTracker::Rephase(double jump, double samplesPerSecond) {
    FlushSpan(m_span);
    // The long fold moves with the rise and keeps little of what it held:
    // what follows is measured afresh.
    const int shift = static_cast<int>(std::lround(jump));
    const auto shifted = [shift](const Fold& f) {
        Fold out{};
        for (int b = 0; b < kFoldBins; ++b) out[b] = kRephaseKeep * f[FoldBin(b - shift)];
        return out;
    };
    m_foldI = shifted(m_foldI);
    m_foldQ = shifted(m_foldQ);
    m_foldW = shifted(m_foldW);
    m_recentI = shifted(m_recentI);
    m_recentW = shifted(m_recentW);
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
        win.edge = m_edge;
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
    const double recentKeep = std::exp(-1.0 / kRecentFoldSeconds);
    for (int b = 0; b < kFoldBins; ++b) {
        m_recentI[b] *= recentKeep;
        m_recentW[b] *= recentKeep;
    }
    ++m_foldSeconds;
    if (!carrierFound || m_foldSeconds < 5) return;
    double position = 0.0, z = 0.0;
    Measure(position, z);
    if (!m_locked) {
        if (z >= kSecondLockZ) {
            m_locked = true;
            m_pendingCount = 0;
            m_pendingSum = 0.0;
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
    if (z < kEdgeTrackZ) {
        return;  // hold the last rise through a fade
    }
    const double diff = WrapBins(position - m_edge);
    if (std::abs(diff) < kSlipMs) {
        m_edge += kEdgeGain * diff;
        m_slipSeconds = 0;
    } else if (++m_slipSeconds >= kSlipSeconds && z >= kSecondLockZ) {
        // The rise is elsewhere now: start the count of seconds over.
        m_locked = false;
        m_pendingCount = 0;
        m_pendingSum = 0.0;
        m_slipSeconds = 0;
    }
}

bool CSecondTracker::RecentRise(double edge, double& near, bool& elsewhere) const {
    Fold mean{}, wide{};
    double weight = 0.0;
    for (int b = 0; b < kFoldBins; ++b) {
        mean[b] = m_recentW[b] > 0.0 ? m_recentI[b] / m_recentW[b] : 0.0;
        weight += m_recentW[b];
    }
    weight /= kFoldBins;
    if (!(weight > 0.0) || !(m_noiseVariance > 0.0)) return false;
    // An exponential fold's mean has half the variance of as many samples'
    // plain mean.
    const double binVariance = 0.5 * kBasebandCorrelation * m_noiseVariance / weight;
    const int wideHalf = m_model.EdgeSpan();
    const Rise rise = FindRise(mean, std::sqrt(2.0 * wideHalf * binVariance), wide, wideHalf);
    double height = 0.0;
    const int bin = FoldBin(static_cast<int>(std::lround(edge)));
    near = WrapBins(StepPosition(mean, bin, height, wideHalf) - edge);
    if (rise.z < kPhaseZ || !(height > 0.0)) return false;
    // Far from `edge`, the wide contrast there against that at `edge` tells
    // whether the rise moved (as the rise watch weighs it).
    const double far = WrapBins(rise.position - edge);
    const double bins = std::min(std::abs(far), static_cast<double>(wideHalf));
    const double gain = wide[FoldBin(static_cast<int>(std::lround(rise.position)))] - wide[bin];
    elsewhere =
        std::abs(far) > kEdgeAreaHalf && gain > kDoubtSigmas * std::sqrt(9.0 * bins * binVariance);
    return true;
}

bool CSecondTracker::RecentlyAt(double edge) const {
    double near = 0.0;
    bool elsewhere = false;
    if (!RecentRise(edge, near, elsewhere)) return false;
    return !elsewhere && std::abs(near) <= kMinuteAgreeMs;
}

double CSecondTracker::FlipSign(std::int64_t j) const {
    // The windows from the flip point of second j to that of j + 1 share the
    // carrier's phase; most of them are at the full carrier.
    double sum = 0.0;
    const Windows& here = Slot(j);
    const Windows& next = Slot(j + 1);
    for (int k = 0; k < m_model.Windows(); ++k) {
        const bool after = m_model.From(k) >= m_model.FlipAt();
        if (after && here.second == j) sum += here.sum[k];
        if (!after && next.second == j + 1) sum += next.sum[k];
    }
    return sum < 0.0 ? -1.0 : 1.0;
}

double CSecondTracker::WindowSum(std::int64_t j, int window) const {
    const double sum = Slot(j).sum[window];
    if (m_model.FlipAt() <= 0.0) return sum;
    return sum * FlipSign(m_model.From(window) >= m_model.FlipAt() ? j : j - 1);
}

bool CSecondTracker::RiseSeen(std::int64_t n, const Windows& w) const {
    return Heard(w) && !w.spliced && m_watch.Seen(n);
}

CSecondTracker::Around CSecondTracker::LevelsAround(std::int64_t n) const {
    Around a;
    for (std::int64_t k = n - 1; k <= n + 1; ++k) {
        const Windows& o = Slot(k);
        if (o.second != k) continue;
        a.highSum += WindowSum(k, m_model.High());
        a.highCount += o.count[m_model.High()];
        a.lowSum += WindowSum(k, m_model.Low());
        a.lowCount += o.count[m_model.Low()];
    }
    return a;
}

ScoredSecond CSecondTracker::Describe(std::int64_t n, const Windows& w, const Around& around,
                                      double noiseVariance) const {
    ScoredSecond out;
    out.second = n;
    out.epoch = m_epoch;
    out.onTimeSample = w.onTime;
    out.edge = w.edge;
    out.high = around.High();
    out.low = around.Low();
    out.spliced = w.spliced;
    out.heard = Heard(w);
    out.riseDoubted = m_watch.Doubted(n);
    out.riseUnsure = m_watch.Unsure(n);
    out.riseSeen = RiseSeen(n, w);
    // The newest whole second's contrast, for telling at once whether the
    // signal is there.
    out.contrastSecond = n + kLevelSpan;
    out.contrast = out.contrastSigma = 0.0;
    const Windows& newest = Slot(out.contrastSecond);
    const int high = m_model.High(), low = m_model.Low();
    if (newest.second == out.contrastSecond && newest.count[high] > 0 && newest.count[low] > 0) {
        // The newest second's flip sign is not known yet: its magnitude.
        const double sign = m_model.FlipAt() > 0.0 && newest.sum[high] < 0.0 ? -1.0 : 1.0;
        out.contrast =
            sign * (newest.sum[high] / newest.count[high] - newest.sum[low] / newest.count[low]);
        out.contrastSigma = std::sqrt(kBasebandCorrelation * noiseVariance *
                                      (1.0 / newest.count[high] + 1.0 / newest.count[low]));
    }
    return out;
}

int CSecondTracker::CollectTerms(std::int64_t n, double noiseVariance, Terms& terms) const {
    // The second's windows; of its neighbours those every symbol keys alike
    // (JJY: the first and last, at the full carrier and at 10 %).
    int count = 0;
    for (int j = -kLevelSpan; j <= kLevelSpan; ++j) {
        const Windows& o = Slot(n + j);
        if (o.second != n + j) continue;
        for (int k = 0; k < m_model.Windows(); ++k) {
            if (o.count[k] == 0 || (j != 0 && !m_model.Known(k))) continue;
            const double mid = 0.5 * (m_model.From(k) + m_model.To(k));
            terms[count++] = {WindowSum(n + j, k) / o.count[k], j + mid - 0.5,
                              kBasebandCorrelation * noiseVariance / o.count[k], k, std::abs(j)};
        }
    }
    return count;
}

void CSecondTracker::Finalize(std::int64_t n, double noiseVariance, IScoredSink& sink) {
    const Windows& w = Slot(n);
    if (w.second != n || n < m_firstSecond) {
        return;
    }
    const Around around = LevelsAround(n);
    ScoredSecond out = Describe(n, w, around, noiseVariance);
    m_level = around.High();
    bool windows = true;
    for (int k = 0; k < m_model.Windows(); ++k) windows = windows && w.count[k] > 0;
    const bool usable = !w.spliced && windows && around.highCount > 0 && around.lowCount > 0 &&
                        noiseVariance > 0.0 && w.blanked <= kErasureBlanked * std::max(w.total, 1);
    SymbolScores scores;  // an erasure: nothing fits
    scores.log = m_model.Erased();
    if (usable) {
        Terms terms{};
        const int count = CollectTerms(n, noiseVariance, terms);
        scores = m_levelFit.Score(terms.data(), count, std::abs(around.High()));
    }
    out.log = scores.log;
    out.erasure = scores.erasure;
    out.quality = scores.quality;
    sink.OnScored(out);
}

}  // namespace velto
