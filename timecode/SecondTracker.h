#pragma once

#include <array>
#include <climits>
#include <cstdint>

#include "timecode/CarrierTracker.h"
#include "timecode/Constants.h"
#include "timecode/LevelFit.h"
#include "timecode/RiseFinder.h"
#include "timecode/RiseWatch.h"
#include "timecode/SymbolModel.h"

namespace velto {

// One second's soft decision.
struct ScoredSecond {
    std::int64_t second;  // running count of station seconds within one epoch
    int epoch;            // changes when the second sync starts over
    double onTimeSample;  // input index of the on-time point
    double edge;          // where the rise was tracked (fold bins) when it was placed
    SymbolLogs log;       // log-probabilities of the station's symbols, the largest near 0
    bool erasure;
    float quality;
    double high, low;  // the levels the second was judged against
    // The rise jumped (a splice) while this second was open: its windows
    // were emptied and its on-time point may lie on either side of the jump.
    bool spliced;
    bool heard;  // its samples came, and few were blanked
    // Since this second, the signal showed the rise where it is tracked
    // (riseSeen), or elsewhere (riseDoubted: perhaps a splice not yet sure).
    bool riseSeen, riseDoubted;
    // The signal since its rise leans to the rise having left (riseUnsure):
    // its time is not shown, though its on-time point still counts.
    bool riseUnsure;
    // The newest whole second (kLevelSpan later, as each is judged that late),
    // its first part's mean amplitude minus its last part's, and the noise's
    // standard deviation on that (0: not measured): whether the signal is
    // there is told from it without waiting for a second to be judged.
    std::int64_t contrastSecond;
    double contrast, contrastSigma;
};

// A second whose rise has just been looked for in the signal, seconds before
// it is judged.
struct RisenSecond {
    std::int64_t second;
    int epoch;
    double onTimeSample;
    bool seen;     // the signal showed the rise where it is tracked (as ScoredSecond's riseSeen)
    bool doubted;  // ... or lately elsewhere, or the rise jumped while the second was open
};

class IScoredSink {
public:
    virtual ~IScoredSink() = default;
    virtual void OnScored(const ScoredSecond& s) = 0;
    virtual void OnRisen(const RisenSecond& s) = 0;
};

// Finds the phase of the station's second by folding the detected amplitude
// over many seconds and locating its on-time edge (JJY's rise from 10 % to
// 100 %, the others' drop; "the rise" below is that edge, the fold taken with
// the sign that makes it one); the length of a second on the sample clock
// comes from the carrier's frequency (the station derives both from one
// clock). Then scores each second as each of the station's symbols.
// When the rise jumps (CRiseWatch: a splice in the samples), the tracking
// moves by the jump and the seconds it may have touched are marked.
class CSecondTracker {
public:
    // block: input samples per baseband sample.
    CSecondTracker(const Station& station, int block);
    void Reset();
    // samplesPerSecond: the sound card's samples per station second.
    void Process(const DetectedSample& s, double samplesPerSecond, double noiseVariance,
                 bool carrierFound, IScoredSink& sink);

    // While the signal is gone the fold keeps what it holds, unchanged, and
    // the rise stays where it was: noise would only blur it.
    void HoldFold(bool hold) { m_holdFold = hold; }
    bool Locked() const { return m_locked; }
    // Jumps of the rise the signal showed (splices in the samples), counted
    // within the epoch, and the first running second that may lie after the
    // latest.
    int Splices() const { return m_splices; }
    std::int64_t SpliceFrom() const { return m_spliceFrom; }
    int Epoch() const { return m_epoch; }
    // Running seconds whose rise is not watched for a jump: the call sign's
    // Morse keys the carrier anywhere in its seconds.
    void QuietSeconds(std::int64_t from, std::int64_t to) { m_watch.Quiet(from, to); }
    // Full-carrier amplitude of the last scored second.
    double Level() const { return m_level; }
    // Whether the last half-minute or so of signal places the rise as near
    // where a second was placed at `edge` (ScoredSecond::edge) as a minute's
    // on-time point claims.
    bool RecentlyAt(double edge) const;
    // Where the carrier's phase flips (WWVB) and the second is found: the
    // span between flip points that baseband sample `index` (ahead of what
    // was detected) falls in, counted as this tracker counts its seconds.
    bool FlipSpan(std::int64_t index, double samplesPerSecond, std::int64_t& span) const;

private:
    struct Windows {
        std::int64_t second = -1;
        double onTime = 0.0;
        double edge = 0.0;
        std::array<double, CSymbolModel::kMaxWindows> sum{};
        std::array<int, CSymbolModel::kMaxWindows> count{};
        int blanked = 0;
        int total = 0;
        bool spliced = false;
    };
    // The high and low parts' sums over seconds n-1..n+1.
    struct Around {
        double highSum = 0.0, lowSum = 0.0;
        int highCount = 0, lowCount = 0;
        double High() const { return highCount > 0 ? highSum / highCount : 0.0; }
        double Low() const { return lowCount > 0 ? lowSum / lowCount : 0.0; }
    };
    using Terms = std::array<LevelTerm, CSymbolModel::kMaxWindows*(2 * timecode::kLevelSpan + 1)>;
    void NewFoldSecond(bool carrierFound, double samplesPerSecond, double noiseVariance,
                       IScoredSink& sink);
    // Whether the signal showed second n's rise where it is tracked, and
    // nothing since suggests it has left.
    bool RiseSeen(std::int64_t n, const Windows& w) const;
    static bool Heard(const Windows& w) {
        return w.total > 0 && w.blanked <= timecode::kErasureBlanked * w.total;
    }
    void Measure(double& position, double& z) const;
    // Where the recent fold places the rise near `edge` (bins from it), and
    // whether it shows the rise elsewhere beyond doubt; false where it shows
    // no rise.
    bool RecentRise(double edge, double& near, bool& elsewhere) const;
    // Adds a detected sample to the fold and the rise watch, at bins b0 and
    // b0 + 1 with weights 1 - f and f.
    void AddToFold(int b0, double f, double amplitude, double quadrature);
    // Folds the samples held since the last flip point, and starts the span
    // between flips `next`.
    void FlushSpan(std::int64_t next);
    // The sum over a window of second j, its sign made the full carrier's
    // where the carrier's phase flips (WWVB).
    double WindowSum(std::int64_t j, int window) const;
    // The sign of the carrier from second j's flip point to the next second's.
    double FlipSign(std::int64_t j) const;
    // The rise jumped: the tracking moves by it.
    void Rephase(double jump, double samplesPerSecond);
    // Scores second n once the seconds the level fit takes after it are in.
    void Finalize(std::int64_t n, double noiseVariance, IScoredSink& sink);
    Around LevelsAround(std::int64_t n) const;
    // Second n as reported, but for its scores.
    ScoredSecond Describe(std::int64_t n, const Windows& w, const Around& around,
                          double noiseVariance) const;
    // The parts' means that the level fit weighs for second n.
    int CollectTerms(std::int64_t n, double noiseVariance, Terms& terms) const;
    Windows& Slot(std::int64_t n) {
        return m_windows[static_cast<std::size_t>(n) % m_windows.size()];
    }
    const Windows& Slot(std::int64_t n) const {
        return m_windows[static_cast<std::size_t>(n) % m_windows.size()];
    }

    CSymbolModel m_model;
    int m_block;
    std::array<double, timecode::kFoldBins> m_foldI{}, m_foldQ{}, m_foldW{};
    // The same over a shorter time (kRecentFoldSeconds), which follows a
    // small jump of the rise sooner, and the noise's variance.
    Fold m_recentI{}, m_recentW{};
    double m_noiseVariance = 0.0;
    std::int64_t m_phaseSecond = 0;
    double m_phase = 0.0;  // fraction of the station second, [0, 1)
    bool m_locked = false;
    double m_edge = 0.0;  // fold position of the rise, in bins, continuous
    int m_slipSeconds = 0;
    int m_epoch = 0;
    int m_foldSeconds = 0;
    std::int64_t m_firstSecond = 0;
    std::int64_t m_nextFinal = 0;
    std::int64_t m_nextRisen = 0;  // the next second to announce once its rise is looked for
    std::array<Windows, 16> m_windows{};
    // Seconds n - kLevelSpan .. n + kLevelSpan, and the one begun meanwhile.
    static_assert(2 * timecode::kLevelSpan + 2 <= 16);
    double m_level = 0.0;
    bool m_holdFold = false;
    CLevelFit m_levelFit;

    CRiseWatch m_watch;
    // Where the carrier's phase flips (WWVB), once the second is found: the
    // samples since the last flip point, held until their sign is known.
    struct Pending {
        int bin;
        double f, inPhase, quadrature;
    };
    std::array<Pending, 1200> m_pending{};
    int m_pendingCount = 0;
    double m_pendingSum = 0.0;
    std::int64_t m_span = 0;
    // ... and before it is found, the last samples, for a mean about each.
    static constexpr int kNear = 11;
    std::array<Pending, kNear> m_near{};
    int m_nearCount = 0;
    double m_nearI = 0.0, m_nearQ = 0.0;
    int m_splices = 0;
    std::int64_t m_spliceFrom = 0;
    // The position in running seconds from the on-time point of the last
    // sample detected, and its baseband index.
    double m_lastV = 0.0;
    std::int64_t m_lastIndex = 0;
};

}  // namespace velto
