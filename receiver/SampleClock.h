#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "base/SystemTime.h"

namespace velto {

// Maps the running sample index of the capture to the system clock.
//
// Each stamp says "every sample before index n had been captured by system
// time t": the time a buffer arrived, taken in the capture callback. Arrival
// is always late by the audio stack's buffering, by a varying amount, so the
// mapping is a line fitted to the lower envelope of the recent stamps: the
// earliest arrivals in each few seconds carry the least delay. The constant
// part of the delay is not visible here; the owner's latency calibration
// takes care of it.
//
// A stamp far above the line is a buffer handed over late (the process was
// held up, the machine swapped): it is left out, and the line stays. Only
// when stamps stay late for seconds on end does the line give way, and a
// stamp far below it (the system clock set back) ends it at once. Each of
// these, and a step of the system clock the owner reports, is an upset:
// SteadyFrom tells since when the line has held without one.
//
// Stamps that come late at the samples' own pace, by an amount that does not
// shrink as a hold-up's catching up would, mean samples went missing unsaid
// (a suspended machine, a sound server that dropped them): TakeUnsaidLoss
// tells of it within a second, long before the line gives way.
class CSampleClock {
public:
    explicit CSampleClock(double nominalRate);

    // From the thread that handles the captured buffers, in order of n.
    void AddStamp(std::int64_t sampleIndex, const SystemTime& arrival);
    // Forgets every stamp (a new run).
    void Reset();
    // The system clock was stepped by `seconds` (positive: forward) after the
    // stamps so far were taken: the line moves with it.
    void Shift(double seconds);
    // The first sample index after the last upset (a late or early stamp, a
    // step, a reset); from there on every stamp has kept to the line.
    std::int64_t SteadyFrom() const { return m_steadyFrom; }
    // The line held, without an upset, from kSteadySeconds before this sample
    // up to the newest stamp.
    bool Steady(double sampleIndex) const;

    // True once enough stamps have come for TimeOf to be meaningful.
    bool Ready() const;
    // System time of a (fractional) sample index; only when Ready().
    SystemTime TimeOf(double sampleIndex) const;
    // Samples per second of system time, as fitted.
    double Rate() const { return 1.0 / m_secondsPerSample; }

    struct UnsaidLoss {
        std::int64_t after;  // the samples went missing after this index
        double seconds;      // about this much of them
    };
    // A loss of samples found since the last call, once each.
    std::optional<UnsaidLoss> TakeUnsaidLoss();

    // Stamps kept for the fit: 25.6 s of 100 ms buffers, in segments whose
    // earliest stamps carry the line.
    static constexpr int kWindow = 256;
    static constexpr int kSegment = 32;
    // A stamp this much above the line is late; below it, the clock was set back.
    static constexpr double kLateSeconds = 0.25;
    static constexpr double kStepSeconds = 0.5;
    // Late stamps in a row that arrived over this long (not in one burst):
    // the line itself has moved (the system clock set forward, samples lost
    // unsaid).
    static constexpr double kLateRunSeconds = 5.0;
    static constexpr double kSteadySeconds = 10.0;
    // Late stamps whose lateness has not fallen by kCatchUpSeconds for this
    // long of arrivals are a loss: a hold-up's burst falls a buffer's length
    // at each stamp, jitter by a few milliseconds now and then.
    static constexpr double kLossSeconds = 1.0;
    static constexpr double kCatchUpSeconds = 0.02;
    // A row that starts less than this later than the stamp before it is a
    // stream falling behind by degrees, not a loss.
    static constexpr double kLateJumpSeconds = 0.2;
    // Segment minima this far above the envelope's line were delayed by a
    // load, not by the stack's usual jitter, and do not tilt the line.
    static constexpr double kEnvelopeSeconds = 0.001;

private:
    struct Stamp {
        double x;  // samples after m_refSample
        double y;  // seconds after m_refTime
    };

    void Fit();
    // The slope of the line under `n` segment minima, in order of x.
    static std::optional<double> EnvelopeSlope(const Stamp* minima, int n);
    // A stamp `above` seconds over the line: part of a row of late ones.
    void WatchLateness(double above, const SystemTime& arrival);
    void Restart(std::int64_t sampleIndex, const SystemTime& arrival);
    double Line(double x) const { return m_intercept + m_secondsPerSample * x; }

    double m_nominalSecondsPerSample;
    std::array<Stamp, kWindow> m_stamps{};
    int m_count = 0;  // stamps held, up to kWindow
    int m_next = 0;   // where the next one goes
    bool m_haveRef = false;
    std::int64_t m_refSample = 0;
    SystemTime m_refTime;
    double m_intercept = 0.0;
    double m_secondsPerSample;
    std::optional<SystemTime> m_lateSince;  // arrival of the first late stamp in a row
    double m_lastAbove = 0.0;               // lateness of the last stamp on the line
    // Of that row: the last good index before it, its least lateness so far
    // and when that came, and whether its loss was found (or ruled out).
    std::int64_t m_lateAfter = 0;
    double m_leastLate = 0.0;
    SystemTime m_leastLateAt;
    bool m_lossFound = false;
    std::optional<UnsaidLoss> m_unsaidLoss;
    std::int64_t m_lastIndex = 0;
    std::int64_t m_steadyFrom = 0;
};

}  // namespace velto
