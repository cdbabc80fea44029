#pragma once

#include <array>
#include <cstdint>

#include "timecode/SecondTracker.h"

namespace velto {

// Which second of the minute each scored second is: evidence for each of the
// 60 phases from the markers (every 10 s, two in a row at the minute) and the
// seconds that are always 0, kept with a slow leak.
class CMinuteSync {
public:
    CMinuteSync();
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
    std::array<double, 60> m_evidence{};
    int m_phase = 0;
    bool m_locked = false;
    int m_generation = 0;
};

}  // namespace velto
