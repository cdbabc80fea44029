#pragma once

#include <array>
#include <cstdint>

#include "station/Station.h"
#include "timecode/SecondTracker.h"

namespace velto {

// Which second of the minute each scored second is: evidence for each of the
// 60 phases from what the station's layout fixes at each second (JJY's
// markers every 10 s and its seconds that are always 0, DCF77's second
// without a drop, MSF's minute mark and identifier), and from which symbols
// a bit's second may send, kept with a slow leak and no phase trailing the
// best by more than a cap.
class CMinuteSync {
public:
    explicit CMinuteSync(const Station& station);
    void Reset();
    void Add(const ScoredSecond& s);
    bool Locked() const { return m_locked; }
    // Second of the minute of `second` (0..59) under the locked phase.
    int SecondInMinute(std::int64_t second) const;
    // The locked phase changes by `delta` seconds (a leap second went by).
    void Shift(int delta);
    // Keeps `share` of the evidence, and the lock: after a splice the seconds
    // may be counted a whole second off, and what follows must be able to
    // move the phase soon.
    void Weaken(double share);
    // Changes whenever the locked phase does.
    int Generation() const { return m_generation; }

private:
    // The symbols each second of the minute may send, as a bit set by
    // Symbol; 0: anything (JJY's call sign).
    std::array<unsigned, 60> m_may{};
    std::array<double, 60> m_evidence{};
    int m_phase = 0;
    bool m_locked = false;
    int m_generation = 0;
};

}  // namespace velto
