#include "timecode/RiseWatch.h"

#include <algorithm>
#include <cmath>

namespace velto {

using namespace timecode;

void CRiseWatch::Reset() {
    m_recentHead = m_recentFill = 0;
    m_currentI.fill(0.0);
    m_currentW.fill(0.0);
    m_quietFrom = 0;
    m_quietTo = -1;
    m_riseRatios = {kRiseQuietNats, kRiseQuietNats};
    m_ratioAt.fill(RatioAt{});
    m_ratioHead = 0;
    m_riseStrength = 0.0;
    Restart(0);
}

void CRiseWatch::Restart(std::int64_t first) {
    m_seenJump = 0.0;
    m_heldSecond = first;
    m_doubtFrom = kNoDoubt;
    m_riseGone = 0.0;
    m_riseGoneFrom = 0;
}

void CRiseWatch::Add(int b0, int b1, double f, double inPhase) {
    m_currentI[b0] += (1.0 - f) * inPhase;
    m_currentW[b0] += 1.0 - f;
    m_currentI[b1] += f * inPhase;
    m_currentW[b1] += f;
}

double CRiseWatch::Look(double end, double now, bool tracked, double edge, const Fold& foldI,
                        const Fold& foldW, double noiseVariance) {
    // The second just folded joins the recent ones unless it touched a quiet
    // second.
    const auto first = static_cast<std::int64_t>(std::floor(end - 1.0));
    const auto last = static_cast<std::int64_t>(std::floor(end));
    double jump = 0.0;
    if (!tracked || last < m_quietFrom || first > m_quietTo) {
        m_recentI[m_recentHead] = m_currentI;
        m_recentW[m_recentHead] = m_currentW;
        m_recentHead = (m_recentHead + 1) % kRecentSeconds;
        m_recentFill = std::min(m_recentFill + 1, kRecentSeconds);
        if (tracked && noiseVariance > 0.0) {
            WatchRise(last, end, edge, foldI, foldW, noiseVariance);
            jump = WatchPhase(static_cast<std::int64_t>(std::floor(now)), edge, noiseVariance);
        }
    }
    m_currentI.fill(0.0);
    m_currentW.fill(0.0);
    return jump;
}

std::int64_t CRiseWatch::Moved(std::int64_t now) {
    // Every second since the rise was last seen where it was tracked may hold
    // signal from either side of the jump.
    std::int64_t from = std::min(m_heldSecond - 1, now);
    if (m_riseGone > 0.0) from = std::min(from, m_riseGoneFrom - 1);
    m_recentFill = 0;
    m_currentI.fill(0.0);
    m_currentW.fill(0.0);
    Restart(now);
    return from;
}

bool CRiseWatch::Seen(std::int64_t n) const {
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
    return shown && n < m_doubtFrom && n <= m_heldSecond && !leaving &&
           m_riseStrength >= kVouchNats;
}

bool CRiseWatch::Unsure(std::int64_t n) const {
    // The seconds folded with n's rise and after it, summed, may not lean to
    // "gone", and must lean to "here" by a share of what a rise that is
    // there gives them at their levels (nothing where the carrier is gone
    // and the flywheel carries the time); nor may the sum since the rise was
    // last plainly here lean to "gone". Both come before a doubt
    // (kRiseGoneNats) can: a rise that jumped by a whole second and a part
    // shows as one missing where it is tracked, while the count of seconds,
    // and so the time's label, is already off, and a weak signal gives few
    // nats a second.
    const double rise = static_cast<double>(n) + kHighFrom;
    double since = 0.0, here = 0.0;
    for (const RatioAt& r : m_ratioAt) {
        if (r.end > rise) {
            since += r.ratio;
            here += r.here;
        }
    }
    const double lean = std::min(kLabelHereNats, kLabelHereShare * here);
    return since >= kRiseSeenNats - lean || m_riseGone >= kLabelGoneNats;
}

double CRiseWatch::WatchPhase(std::int64_t second, double edge, double noiseVariance) {
    // The rise in the last 2, 4 and 8 seconds: where it is tracked (held),
    // elsewhere beyond doubt (a jump), or neither.
    Fold sumI{}, sumW{}, mean{}, wide{};
    int added = 0;
    // What the shortest span in which a rise shows says, and how long it is.
    enum class Seen { Nothing, Held, Elsewhere };
    Seen recent = Seen::Nothing;
    int recentSeconds = 0;
    double jump = 0.0;
    const int edgeBin = FoldBin(static_cast<int>(std::lround(edge)));
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
        const double binVariance = kBasebandCorrelation * noiseVariance / weight;
        const Rise rise =
            FindRise(mean, std::sqrt(2.0 * m_wideHalf * binVariance), wide, m_wideHalf);
        if (rise.z < kPhaseZ || !(rise.height > 0.0)) continue;
        // Near the tracked rise its area places it; further away, the wide
        // contrast there against that at the tracked rise tells whether it
        // moved (moving the rise by d bins changes the contrast by d steps,
        // with the noise of 9 d bins).
        double height = 0.0;
        const double near = WrapBins(AreaPosition(mean, edgeBin, height, m_wideHalf) - edge);
        const double sigma = height > 0.0 ? std::sqrt(2.0 * kEdgeAreaHalf * binVariance) / height
                                          : double{kFoldBins};
        const double far = WrapBins(rise.position - edge);
        const double bins = std::min(std::abs(far), static_cast<double>(m_wideHalf));
        const double gain =
            wide[FoldBin(static_cast<int>(std::lround(rise.position)))] - wide[edgeBin];
        // An area that reaches its bound places nothing, unless the noise
        // could not have taken it there.
        const bool saturated = std::abs(near) >= kEdgeAreaHalf - 1.0;
        const bool placed = !saturated || kDoubtSigmas * sigma < kEdgeAreaHalf;
        const double moved = gain / std::sqrt(9.0 * bins * binVariance);  // in sigmas
        const bool farther = std::abs(far) > kEdgeAreaHalf;
        Seen seen = Seen::Nothing;
        // Held only where the area places the rise within its reach: with
        // no step there (the rise has gone elsewhere), any position passes.
        if (!saturated && sigma < kEdgeAreaHalf &&
            std::abs(near) <= std::max(kPhaseHeldMs, kPhaseHeldSigmas * sigma)) {
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
    if (recent == Seen::Held && m_riseGone < kRiseGoneNats) {
        m_heldSecond = second;
        m_doubtFrom = kNoDoubt;
    } else if (recent == Seen::Elsewhere) {
        m_doubtFrom = std::min(m_doubtFrom, second - recentSeconds);
    }
    const bool again =
        jump != 0.0 && m_seenJump != 0.0 &&
        std::abs(WrapBins(jump - m_seenJump)) <= std::max(kSpliceMinMs, 0.25 * std::abs(jump));
    m_seenJump = jump;
    return again ? jump : 0.0;
}

void CRiseWatch::WatchRise(std::int64_t second, double end, double edge, const Fold& foldI,
                           const Fold& foldW, double noiseVariance) {
    // The rise's narrow contrast at the tracked place in the second just
    // folded, against what the long fold shows there, scaled by the carrier's
    // mean level in that second against the fold's: a fade lowers both, a
    // jump of the rise only the contrast.
    const int bin = static_cast<int>(std::lround(edge));
    auto contrast = [bin](const Fold& sum, const Fold& weight) {
        auto at = [&](int b) {
            const int k = FoldBin(b);
            return weight[k] > 0.0 ? sum[k] / weight[k] : 0.0;
        };
        double c = 0.0;
        for (int i = 0; i < kEdgeHalfWidth; ++i) c += at(bin + i) - at(bin - 1 - i);
        return c;
    };
    double level = 0.0, weight = 0.0, foldLevel = 0.0, foldWeight = 0.0;
    for (int b = 0; b < kFoldBins; ++b) {
        level += m_currentI[b];
        weight += m_currentW[b];
        foldLevel += foldI[b];
        foldWeight += foldW[b];
    }
    // The fold carries the on-time edge as a rise, so a station keyed by a
    // drop folds below zero: the level ratio is of like signs either way.
    if (!(weight > 0.0) || !(foldWeight > 0.0) || foldLevel == 0.0) return;
    const double rise = contrast(foldI, foldW);
    const double expected =
        rise * std::clamp((level / weight) / (foldLevel / foldWeight), 0.0, 1.5);
    const double variance = 2.0 * kEdgeHalfWidth * kBasebandCorrelation * noiseVariance;
    // Log-likelihood ratio of "no rise here" against "the rise", summed while
    // positive, each second bounded so that one (a crash) never decides
    // alone; and how much one second of the fold's rise tells the two apart
    // (the second's own level, which its symbol moves, plays no part there).
    const double ratio = expected * (0.5 * expected - contrast(m_currentI, m_currentW)) / variance;
    m_riseStrength = 0.5 * rise * rise / variance;
    m_riseRatios[1] = m_riseRatios[0];
    m_riseRatios[0] = ratio;
    m_ratioAt[m_ratioHead] = {end, ratio, 0.5 * expected * expected / variance};
    m_ratioHead = (m_ratioHead + 1) % kRecentSeconds;
    if (m_riseGone <= 0.0) m_riseGoneFrom = second;
    m_riseGone =
        std::max(0.0, m_riseGone + std::clamp(ratio, -kPresenceSecondNats, kPresenceSecondNats));
    if (m_riseGone >= kRiseGoneNats) m_doubtFrom = std::min(m_doubtFrom, m_riseGoneFrom);
}

}  // namespace velto
