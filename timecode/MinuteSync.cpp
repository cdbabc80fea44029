#include "timecode/MinuteSync.h"

#include <algorithm>
#include <cmath>

#include "timecode/Constants.h"

namespace velto {
namespace {

int Mod60(std::int64_t v) { return static_cast<int>(((v % 60) + 60) % 60); }

}  // namespace

CMinuteSync::CMinuteSync(const Station& station) {
    // A second may send either symbol of its role in any of the station's
    // layouts; the call sign's seconds send Morse, no symbol.
    for (int s = 0; s < 60; ++s) {
        unsigned may = 0;
        bool morse = false;
        for (const FrameLayout* layout : {&station.layout, &station.callSignLayout}) {
            if (layout == &station.callSignLayout && !station.callSignMinutes) continue;
            const SecondRole& role = layout->seconds[s];
            morse = morse || role.field == Field::CallSign;
            may |= 1u << static_cast<unsigned>(role.ifZero);
            may |= 1u << static_cast<unsigned>(role.ifOne);
        }
        m_may[s] = morse ? 0 : may;
    }
    Reset();
}

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
    // The second's score at each second of the minute: the mean likelihood
    // of the symbols it may send there.
    std::array<double, 60> score{};
    for (int k = 0; k < 60; ++k) {
        double sum = 0.0;
        int count = 0, only = 0;
        for (int symbol = 0; symbol < kSymbolCount; ++symbol) {
            if ((m_may[k] >> symbol & 1u) == 0) continue;
            sum += std::exp(static_cast<double>(s.log[static_cast<std::size_t>(symbol)]));
            only = symbol;
            ++count;
        }
        score[k] = count == 0   ? 0.0
                   : count == 1 ? static_cast<double>(s.log[static_cast<std::size_t>(only)])
                                : std::log(sum / count);
    }
    for (int p = 0; p < 60; ++p) {
        m_evidence[p] = m_evidence[p] * keep + score[Mod60(s.second + p)];
    }
    const auto best = std::max_element(m_evidence.begin(), m_evidence.end());
    for (double& e : m_evidence) e = std::max(e, *best - timecode::kMinuteLeadNats);
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
