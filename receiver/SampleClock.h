#pragma once

#include <array>
#include <cstdint>

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
class CSampleClock {
public:
    explicit CSampleClock(double nominalRate);

    // From the thread that handles the captured buffers, in order of n.
    void AddStamp(std::int64_t sampleIndex, const SystemTime& arrival);
    // Forgets every stamp (a gap in the samples, a new run).
    void Reset();

    // True once enough stamps have come for TimeOf to be meaningful.
    bool Ready() const;
    // System time of a (fractional) sample index; only when Ready().
    SystemTime TimeOf(double sampleIndex) const;
    // Samples per second of system time, as fitted.
    double Rate() const { return 1.0 / m_secondsPerSample; }

    // Stamps kept for the fit: 25.6 s of 100 ms buffers, in segments whose
    // earliest stamps carry the line.
    static constexpr int kWindow = 256;
    static constexpr int kSegment = 32;

private:
    struct Stamp {
        double x;  // samples after m_refSample
        double y;  // seconds after m_refTime
    };

    void Fit();
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
};

}  // namespace velto
