#pragma once

#include <array>
#include <cstdint>

#include "timecode/CarrierTracker.h"
#include "timecode/Constants.h"

namespace velto {

// One second's soft decision.
struct ScoredSecond {
    std::int64_t second;               // running count of station seconds within one epoch
    int epoch;                         // changes when the second sync starts over
    double onTimeSample;               // input index of the on-time point
    float logZero, logOne, logMarker;  // log-probabilities, the largest near 0
    bool erasure;
    float quality;
    double high, low;  // the levels the second was judged against
    // Its own first part's mean amplitude minus its last part's, and the
    // noise's standard deviation on that (0: not measured).
    double contrast, contrastSigma;
};

class IScoredSink {
public:
    virtual ~IScoredSink() = default;
    virtual void OnScored(const ScoredSecond& s) = 0;
};

// Finds the phase of the station's second by folding the detected amplitude
// over many seconds and locating the rise from 10 % to 100 %; the length of a
// second on the sample clock comes from the carrier's frequency (the station
// derives both from one clock). Then scores each second as 0, 1 or marker.
class CSecondTracker {
public:
    CSecondTracker();
    void Reset();
    // samplesPerSecond: the sound card's samples per station second.
    void Process(const DetectedSample& s, double samplesPerSecond, double noiseVariance,
                 bool carrierFound, IScoredSink& sink);

    // While the signal is gone the fold keeps what it holds, unchanged, and
    // the rise stays where it was: noise would only blur it.
    void HoldFold(bool hold) { m_holdFold = hold; }
    bool Locked() const { return m_locked; }
    double EdgeZ() const { return m_edgeZ; }
    // Full-carrier amplitude of the last scored second.
    double Level() const { return m_level; }

private:
    struct Windows {
        std::int64_t second = -1;
        double onTime = 0.0;
        double sum[4] = {0, 0, 0, 0};
        int count[4] = {0, 0, 0, 0};
        int blanked = 0;
        int total = 0;
    };
    void NewFoldSecond(bool carrierFound);
    void Measure(double& position, double& z) const;
    void Finalize(std::int64_t n, double noiseVariance, IScoredSink& sink);
    Windows& Slot(std::int64_t n) { return m_windows[static_cast<std::size_t>(n & 7)]; }

    std::array<double, timecode::kFoldBins> m_foldI{}, m_foldQ{}, m_foldW{};
    std::int64_t m_phaseSecond = 0;
    double m_phase = 0.0;  // fraction of the station second, [0, 1)
    bool m_locked = false;
    double m_edge = 0.0;  // fold position of the rise, in bins, continuous
    double m_edgeZ = 0.0;
    int m_slipSeconds = 0;
    int m_epoch = 0;
    int m_foldSeconds = 0;
    std::int64_t m_firstSecond = 0;
    std::int64_t m_nextFinal = 0;
    std::array<Windows, 8> m_windows{};
    // Seconds n - kLevelSpan .. n + kLevelSpan, and the one begun meanwhile.
    static_assert(2 * timecode::kLevelSpan + 2 <= 8);
    double m_level = 0.0;
    bool m_holdFold = false;
};

}  // namespace velto
