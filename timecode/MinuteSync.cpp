#include "timecode/MinuteSync.h"

#include <algorithm>
#include <cmath>

#include "timecode/Constants.h"

namespace velto {
namespace {

// What the time code holds at each second of an ordinary minute, as far as
// it is fixed. Seconds 40..48 carry the call sign in minutes 15 and 45 and
// are left out.
enum class Fixed { Marker, Zero, Data, Skip };

constexpr std::array<Fixed, 60> kLayout = [] {
    std::array<Fixed, 60> a{};
    a.fill(Fixed::Data);
    for (int s : {0, 9, 19, 29, 39, 49, 59}) a[s] = Fixed::Marker;
    for (int s : {4, 10, 11, 14, 20, 21, 24, 34, 35, 38, 56, 57, 58}) a[s] = Fixed::Zero;
    for (int s = 40; s <= 48; ++s) a[s] = Fixed::Skip;
    return a;
}();

int Mod60(std::int64_t v) { return static_cast<int>(((v % 60) + 60) % 60); }

}  // namespace

CMinuteSync::CMinuteSync() { Reset(); }

void CMinuteSync::Reset() {
    m_evidence.fill(0.0);
    m_phase = 0;
    m_locked = false;
}

int CMinuteSync::SecondInMinute(std::int64_t second) const { return Mod60(second + m_phase); }

void CMinuteSync::Shift(int delta) {
    std::array<double, 60> moved{};
    for (int p = 0; p < 60; ++p) {
        moved[Mod60(p + delta)] = m_evidence[p];
    }
    m_evidence = moved;
    m_phase = Mod60(m_phase + delta);
}

void CMinuteSync::Weaken(double share) {
    for (double& e : m_evidence) e *= share;
}

void CMinuteSync::Add(const ScoredSecond& s) {
    const double keep = std::exp(-1.0 / timecode::kMinuteTimeConstantSeconds);
    const double data = std::log(0.5 * (std::exp(s.logZero) + std::exp(s.logOne)));
    for (int p = 0; p < 60; ++p) {
        double add = 0.0;
        switch (kLayout[Mod60(s.second + p)]) {
            case Fixed::Marker:
                add = s.logMarker;
                break;
            case Fixed::Zero:
                add = s.logZero;
                break;
            case Fixed::Data:
                add = data;
                break;
            case Fixed::Skip:
                add = 0.0;
                break;
        }
        m_evidence[p] = m_evidence[p] * keep + add;
    }
    const auto best = std::max_element(m_evidence.begin(), m_evidence.end());
    const int phase = static_cast<int>(best - m_evidence.begin());
    double others = 0.0;
    for (int p = 0; p < 60; ++p) {
        if (p != phase) others += std::exp(m_evidence[p] - *best);
    }
    // Posterior of the best phase against all others, in nats.
    const double margin = -std::log(others);
    if (margin >= timecode::kMinuteLockNats && (!m_locked || phase != m_phase)) {
        m_locked = true;
        m_phase = phase;
        ++m_generation;
    }
}

}  // namespace velto
