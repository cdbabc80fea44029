#pragma once

#include <array>
#include <climits>
#include <cstdint>

#include "timecode/Constants.h"
#include "timecode/RiseFinder.h"

namespace velto {

// Watches the rise of the station's second in the last seconds of signal
// alone, folded apart from the long fold and never held: whether it is
// where it is tracked, has left it while the carrier stayed, or has moved
// beyond doubt (a splice: samples dropped or silence put in without a word),
// and by how much. Says for each second whether the signal showed its rise
// where it is tracked.
class CRiseWatch {
public:
    // wideHalf: as FindRise takes it, for the station's keying.
    explicit CRiseWatch(int wideHalf) : m_wideHalf(wideHalf) { Reset(); }
    void Reset();
    // A count of seconds begins at running second `first`.
    void Restart(std::int64_t first);
    // A detected sample, folded with weights 1 - f and f into bins b0, b1.
    void Add(int b0, int b1, double f, double inPhase);
    // Running seconds whose rise is not watched: the call sign's Morse keys
    // the carrier anywhere in its seconds.
    void Quiet(std::int64_t from, std::int64_t to) {
        m_quietFrom = from;
        m_quietTo = to;
    }
    // The second folded last ended at running second `end` (at the tracked
    // phase), `now` the running second going on; the rise is tracked at
    // `edge` (bins), if `tracked`, and the long fold holds `foldI` over
    // `foldW`. Returns a jump (bins) that the signal showed twice in a row,
    // 0 when none.
    double Look(double end, double now, bool tracked, double edge, const Fold& foldI,
                const Fold& foldW, double noiseVariance);
    // The tracking moved by a jump at running second `now`: what was folded
    // lies before it. Returns the first running second that may lie after it.
    std::int64_t Moved(std::int64_t now);
    // Whether the signal showed second n's rise where it is tracked, in that
    // second and in the last seconds since, nothing suggests it has left, and
    // one second's rise tells its presence from its absence well enough.
    bool Seen(std::int64_t n) const;
    // Whether the signal lately showed the rise elsewhere, from before n.
    bool Doubted(std::int64_t n) const { return n >= m_doubtFrom; }
    // Whether the signal since second n's rise leans to the rise having left
    // the tracked place: too little to doubt the phase, enough to withhold
    // n's time.
    bool Unsure(std::int64_t n) const;

private:
    void WatchRise(std::int64_t second, double end, double edge, const Fold& foldI,
                   const Fold& foldW, double noiseVariance);
    double WatchPhase(std::int64_t second, double edge, double noiseVariance);

    // The last seconds folded one by one, newest at m_recentHead - 1; the one
    // being folded.
    std::array<Fold, timecode::kRecentSeconds> m_recentI{}, m_recentW{};
    int m_recentHead = 0, m_recentFill = 0;
    Fold m_currentI{}, m_currentW{};
    std::int64_t m_quietFrom = 0, m_quietTo = -1;
    // A jump seen in the last look (bins; 0: none), and the running second
    // when the last look found the rise where it is tracked.
    double m_seenJump = 0.0;
    std::int64_t m_heldSecond = 0;
    // The first running second the signal lately cast doubt on.
    static constexpr std::int64_t kNoDoubt = INT64_MAX;
    std::int64_t m_doubtFrom = kNoDoubt;
    // Evidence, in nats, that the rise left the tracked place while the
    // carrier stayed, summed since running second m_riseGoneFrom.
    double m_riseGone = 0.0;
    std::int64_t m_riseGoneFrom = 0;
    // The last two seconds' own ratios, and what one second's ratio is worth.
    std::array<double, 2> m_riseRatios{};
    double m_riseStrength = 0.0;
    // The ratio of each of the last seconds folded, by where it ended (in
    // running seconds, at the current phase), and what a rise that is there
    // gives it on average (its level the second's own).
    struct RatioAt {
        double end = 0.0, ratio = 0.0, here = 0.0;
    };
    std::array<RatioAt, timecode::kRecentSeconds> m_ratioAt{};
    int m_ratioHead = 0;
    int m_wideHalf;
};

}  // namespace velto
