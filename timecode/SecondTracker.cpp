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
    m_recentHead = m_recentFill = 0;
    m_currentI.fill(0.0);
    m_currentW.fill(0.0);
    m_seenJump = 0.0;
    m_heldSecond = 0;
    m_doubtFrom = kNoDoubt;
    m_riseGone = 0.0;
    m_riseGoneFrom = 0;
    m_riseRatios = {kRiseQuietNats, kRiseQuietNats};
    m_ratioAt.fill(RatioAt{});
    m_ratioHead = 0;
    m_riseStrength = 0.0;
    m_quietFrom = 0;
    m_quietTo = -1;
    m_splices = 0;
    m_spliceFrom = 0;
    m_spliceMs = 0.0;
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
        m_currentI[b0] += (1.0 - f) * s.inPhase;
        m_currentW[b0] += 1.0 - f;
        m_currentI[b1] += f * s.inPhase;
        m_currentW[b1] += f;
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

namespace {

// Contrast of a rise at each bin b: the sum of `half` bins after it minus
// the sum of `half` bins before it. Returns the RMS over all bins.
double Contrasts(const std::array<double, kFoldBins>& f, int half,
                 std::array<double, kFoldBins>& out) {
    double d = 0.0;
    for (int i = 0; i < half; ++i) d += f[Bin(i)] - f[Bin(-1 - i)];
    double square = 0.0;
    for (int b = 0; b < kFoldBins; ++b) {
        out[b] = d;
        square += d * d;
        // Moving from b to b + 1: bin b leaves "after" and joins "before".
        const int ahead = b + half < kFoldBins ? b + half : b + half - kFoldBins;
        const int behind = b >= half ? b - half : b - half + kFoldBins;
        d += f[ahead] - 2.0 * f[b] + f[behind];
    }
    return std::sqrt(square / kFoldBins);
}

}  // namespace

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

CSecondTracker::Rise CSecondTracker::FindRise(const Fold& fi, double wideNoise, Fold& wide) {
    // Wide, the contrast takes in all of the 0.15 s after the rise that is
    // high in every symbol and the 0.15 s before it that is low: that tells
    // whether there is a rise at all. Narrow, it places the rise.
    Fold narrow{};
    Contrasts(fi, kEdgeWideHalfWidth, wide);
    const auto widest = std::max_element(wide.begin(), wide.end());
    Rise rise;
    rise.z = wideNoise > 0.0 ? *widest / wideNoise : 0.0;
    Contrasts(fi, kEdgeHalfWidth, narrow);
    const int wideBin = static_cast<int>(widest - wide.begin());
    int bestBin = wideBin;
    for (int b = wideBin - kEdgeHalfWidth; b <= wideBin + kEdgeHalfWidth; ++b) {
        if (narrow[Bin(b)] > narrow[Bin(bestBin)]) bestBin = Bin(b);
    }

    rise.position = AreaPosition(fi, bestBin, rise.height);
    return rise;
}

double CSecondTracker::AreaPosition(const Fold& fi, int bin, double& height) {
    // Sub-bin position from the area above the low level around the rise:
    // for a step at s, the bins b0..b0+2K-1 above it hold (b0+2K-1 - s + 1/2)
    // steps' worth.
    double low = 0.0, high = 0.0;
    constexpr int kNear = 15, kFar = 150;
    for (int i = kNear; i < kFar; ++i) {
        low += fi[Bin(bin - i)];
        high += fi[Bin(bin + i)];
    }
    low /= kFar - kNear;
    high /= kFar - kNear;
    double area = 0.0;
    for (int b = bin - kEdgeAreaHalf; b < bin + kEdgeAreaHalf; ++b) {
        area += fi[Bin(b)] - low;
    }
    const double steps = high > low ? area / (high - low) : kEdgeAreaHalf;
    const double offset =
        std::clamp(kEdgeAreaHalf - 0.5 - steps, -double{kEdgeAreaHalf}, double{kEdgeAreaHalf});
    height = high - low;
    return bin + offset;
}

void CSecondTracker::WatchPhase(double samplesPerSecond, double noiseVariance) {
    // The rise in the last 2, 4 and 8 seconds: where it is tracked (held),
    // elsewhere beyond doubt (a jump), or neither.
    Fold sumI{}, sumW{}, mean{}, wide{};
    int added = 0;
    // What the shortest span in which a rise shows says, and how long it is.
    enum class Seen { Nothing, Held, Elsewhere };
    Seen recent = Seen::Nothing;
    int recentSeconds = 0;
    double jump = 0.0;
    const int edgeBin = Bin(static_cast<int>(std::lround(m_edge)));
    for (int seconds : {2, 4, 8}) {
        if (seconds > m_recentFill) break;
        for (; added < seconds; ++added) {
            const int k = (m_recentHead - 1 - added + kRecentSeconds) % kRecentSeconds;
            for (int b = 0; b < kFoldBins; ++b) {
                sumI[b] += m_recentI[k][b];
                sumW[b] += m_recentW[k][b];
            }
        }
        double weight = 0.0;
        for (int b = 0; b < kFoldBins; ++b) {
            mean[b] = sumW[b] > 0.0 ? sumI[b] / sumW[b] : 0.0;
            weight += sumW[b];
        }
        weight /= kFoldBins;
        if (!(weight > 0.0)) break;
        // The noise of one bin's mean, and of the wide contrast.
        const double binVariance = kCorrelation * noiseVariance / weight;
        const Rise rise = FindRise(mean, std::sqrt(2.0 * kEdgeWideHalfWidth * binVariance), wide);
        if (rise.z < kPhaseZ || !(rise.height > 0.0)) continue;
        // Near the tracked rise its area places it; further away, the wide
        // contrast there against that at the tracked rise tells whether it
        // moved (moving the rise by d bins changes the contrast by d steps,
        // with the noise of 9 d bins).
        double height = 0.0;
        const double near = Wrap(AreaPosition(mean, edgeBin, height) - m_edge);
        const double sigma = height > 0.0 ? std::sqrt(2.0 * kEdgeAreaHalf * binVariance) / height
                                          : double{kFoldBins};
        const double far = Wrap(rise.position - m_edge);
        const double bins = std::min(std::abs(far), double{kEdgeWideHalfWidth});
        const double gain = wide[Bin(static_cast<int>(std::lround(rise.position)))] - wide[edgeBin];
        // An area that reaches its bound places nothing, unless the noise
        // could not have taken it there.
        const bool saturated = std::abs(near) >= kEdgeAreaHalf - 1.0;
        const bool placed = !saturated || kDoubtSigmas * sigma < kEdgeAreaHalf;
        const double moved = gain / std::sqrt(9.0 * bins * binVariance);  // in sigmas
        const bool farther = std::abs(far) > kEdgeAreaHalf;
        Seen seen = Seen::Nothing;
        if (!saturated && std::abs(near) <= std::max(kPhaseHeldMs, kPhaseHeldSigmas * sigma)) {
            seen = Seen::Held;
        } else if ((farther && moved > kDoubtSigmas) ||
                   (placed && std::abs(near) > std::max(kSpliceMinMs, kDoubtSigmas * sigma))) {
            seen = Seen::Elsewhere;
        }
        // The shortest span that shows a jump holds the least from before it.
        if (jump == 0.0 && rise.z >= kSpliceZ && farther && moved > kSpliceSigmas) {
            jump = far;
        } else if (jump == 0.0 && !saturated &&
                   std::abs(near) > std::max(kSpliceMinMs, kSpliceSigmas * sigma)) {
            jump = near;
        }
        if (recent == Seen::Nothing) {
            recent = seen;
            recentSeconds = seconds;
        }
    }
    // The latest seconds show the rise where it is tracked, or cast doubt on
    // it from the start of the span that shows it elsewhere.
    const std::int64_t second = static_cast<std::int64_t>(
        std::floor(static_cast<double>(m_phaseSecond) + m_phase - m_edge / kFoldBins));
    if (recent == Seen::Held && m_riseGone < kRiseGoneNats) {
        m_heldSecond = second;
        m_doubtFrom = kNoDoubt;
    } else if (recent == Seen::Elsewhere) {
        m_doubtFrom = std::min(m_doubtFrom, second - recentSeconds);
    }
    const bool again =
        jump != 0.0 && m_seenJump != 0.0 &&
        std::abs(Wrap(jump - m_seenJump)) <= std::max(kSpliceMinMs, 0.25 * std::abs(jump));
    m_seenJump = jump;
    if (again) Rephase(jump, samplesPerSecond);
}

void CSecondTracker::WatchRise(std::int64_t second, double noiseVariance) {
    // The rise's narrow contrast at the tracked place in the second just
    // folded, against what the long fold shows there, scaled by the carrier's
    // mean level in that second against the fold's: a fade lowers both, a
    // jump of the rise only the contrast.
    const int edge = static_cast<int>(std::lround(m_edge));
    auto contrast = [edge](const Fold& sum, const Fold& weight) {
        auto at = [&](int b) {
            const int k = Bin(b);
            return weight[k] > 0.0 ? sum[k] / weight[k] : 0.0;
        };
        double c = 0.0;
        for (int i = 0; i < kEdgeHalfWidth; ++i) c += at(edge + i) - at(edge - 1 - i);
        return c;
    };
    double level = 0.0, weight = 0.0, foldLevel = 0.0, foldWeight = 0.0;
    for (int b = 0; b < kFoldBins; ++b) {
        level += m_currentI[b];
        weight += m_currentW[b];
        foldLevel += m_foldI[b];
        foldWeight += m_foldW[b];
    }
    if (!(weight > 0.0) || !(foldWeight > 0.0) || !(foldLevel > 0.0)) return;
    const double rise = contrast(m_foldI, m_foldW);
    const double expected =
        rise * std::clamp((level / weight) / (foldLevel / foldWeight), 0.0, 1.5);
    const double variance = 2.0 * kEdgeHalfWidth * kCorrelation * noiseVariance;
    // Log-likelihood ratio of "no rise here" against "the rise", summed while
    // positive, each second bounded so that one (a crash) never decides
    // alone; and how much one second of the fold's rise tells the two apart
    // (the second's own level, which its symbol moves, plays no part there).
    const double ratio = expected * (0.5 * expected - contrast(m_currentI, m_currentW)) / variance;
    m_riseStrength = 0.5 * rise * rise / variance;
    m_riseRatios[1] = m_riseRatios[0];
    m_riseRatios[0] = ratio;
    m_ratioAt[m_ratioHead] = {static_cast<double>(m_phaseSecond) - m_edge / kFoldBins, ratio};
    m_ratioHead = (m_ratioHead + 1) % kRecentSeconds;
    if (m_riseGone <= 0.0) m_riseGoneFrom = second;
    m_riseGone =
        std::max(0.0, m_riseGone + std::clamp(ratio, -kPresenceSecondNats, kPresenceSecondNats));
    if (m_riseGone >= kRiseGoneNats) m_doubtFrom = std::min(m_doubtFrom, m_riseGoneFrom);
}

void CSecondTracker::Rephase(double jump, double samplesPerSecond) {
    // The long fold moves with the rise and keeps little of what it held:
    // what follows is measured afresh.
    const int shift = static_cast<int>(std::lround(jump));
    Fold i{}, q{}, w{};
    for (int b = 0; b < kFoldBins; ++b) {
        i[b] = kRephaseKeep * m_foldI[Bin(b - shift)];
        q[b] = kRephaseKeep * m_foldQ[Bin(b - shift)];
        w[b] = kRephaseKeep * m_foldW[Bin(b - shift)];
    }
    m_foldI = i;
    m_foldQ = q;
    m_foldW = w;
    m_edge += jump;
    m_slipSeconds = 0;
    m_seenJump = 0.0;
    // The seconds folded so far lie before the jump, or partly.
    m_recentFill = 0;
    m_currentI.fill(0.0);
    m_currentW.fill(0.0);
    // Every second since the rise was last seen where it was tracked may hold
    // signal from either side of the jump: its windows start over, at the
    // new phase, and it is marked.
    const std::int64_t now = static_cast<std::int64_t>(
        std::floor(static_cast<double>(m_phaseSecond) + m_phase - m_edge / kFoldBins));
    std::int64_t from = std::min(m_heldSecond - 1, now);
    if (m_riseGone > 0.0) from = std::min(from, m_riseGoneFrom - 1);
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
    m_spliceMs = jump;
    m_heldSecond = now;
    m_doubtFrom = kNoDoubt;
    m_riseGone = 0.0;
}

void CSecondTracker::NewFoldSecond(bool carrierFound, double samplesPerSecond, double noiseVariance,
                                   IScoredSink& sink) {
    // The second just folded joins the recent ones, held or not, unless it
    // touched a quiet second.
    const double end = static_cast<double>(m_phaseSecond) - m_edge / kFoldBins;
    const auto first = static_cast<std::int64_t>(std::floor(end - 1.0));
    const auto last = static_cast<std::int64_t>(std::floor(end));
    if (!m_locked || last < m_quietFrom || first > m_quietTo) {
        m_recentI[m_recentHead] = m_currentI;
        m_recentW[m_recentHead] = m_currentW;
        m_recentHead = (m_recentHead + 1) % kRecentSeconds;
        m_recentFill = std::min(m_recentFill + 1, kRecentSeconds);
        if (m_locked && noiseVariance > 0.0) {
            WatchRise(last, noiseVariance);
            WatchPhase(samplesPerSecond, noiseVariance);
        }
    }
    m_currentI.fill(0.0);
    m_currentW.fill(0.0);
    if (m_locked) {
        // The seconds whose rise and what follows it the last look took in.
        for (; m_nextRisen + kRiseDelaySeconds <= end; ++m_nextRisen) {
            const Windows& w = Slot(m_nextRisen);
            if (w.second != m_nextRisen) continue;
            sink.OnRisen({m_nextRisen, m_epoch, w.onTime, RiseSeen(m_nextRisen, w),
                          w.spliced || m_nextRisen >= m_doubtFrom});
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
            m_seenJump = 0.0;
            m_heldSecond = m_firstSecond;
            m_doubtFrom = kNoDoubt;
            m_riseGone = 0.0;
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
    // A second's own rise must tell "here" from "gone" well enough (a strong
    // enough signal), and neither of the last two seconds (the newest rise is
    // in one of them) nor their sum may lean to "gone".
    const bool leaving = (m_riseGone >= kRiseQuietNats && m_riseGoneFrom <= n) ||
                         std::max(m_riseRatios[0], m_riseRatios[1]) >= kRiseQuietNats;
    // The second folded with n's rise in it showed the rise.
    const double rise = static_cast<double>(n) + kHighFrom;
    const auto own = std::find_if(m_ratioAt.begin(), m_ratioAt.end(), [&](const RatioAt& r) {
        return r.end - 1.0 <= rise && rise < r.end;
    });
    const bool shown = own != m_ratioAt.end() && own->ratio <= -kRiseSeenNats;
    return shown && Heard(w) && !w.spliced && n < m_doubtFrom && n <= m_heldSecond && !leaving &&
           m_riseStrength >= kVouchNats;
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
    out.riseDoubted = n >= m_doubtFrom;
    out.riseSeen = RiseSeen(n, w);
    out.contrastSecond = n + kLevelSpan;
    out.contrast = out.contrastSigma = 0.0;
    const Windows& newest = Slot(out.contrastSecond);
    if (newest.second == out.contrastSecond && newest.count[kHigh] > 0 && newest.count[kLow] > 0) {
        out.contrast =
            newest.sum[kHigh] / newest.count[kHigh] - newest.sum[kLow] / newest.count[kLow];
        out.contrastSigma = std::sqrt(kCorrelation * noiseVariance *
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
                              kCorrelation * noiseVariance / o.count[k], k, std::abs(j)};
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
