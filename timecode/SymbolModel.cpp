#include "timecode/SymbolModel.h"

#include <algorithm>
#include <cmath>

namespace velto {
namespace {

// Margins inside a window: a common part's start and the second's end leave
// room for the on-time point's jitter and the keying's slopes (JJY: 0.02 s).
constexpr double kNarrowMargin = 0.01, kWideMargin = 0.02;
// WWVB's phase flips come this long after the on-time point.
constexpr double kPhaseFlipSeconds = 0.1;

}  // namespace

CSymbolModel::CSymbolModel(const Station& station)
    : m_reduced(station.reducedLevel),
      m_flipAt(station.phaseFlips ? kPhaseFlipSeconds : -1.0),
      m_edgeSign(station.edge == OnTimeEdge::Rise ? 1.0 : -1.0) {
    // The common parts just after the on-time edge and just before the next.
    const CommonParts common = CommonKeying(station);
    double after = 0.0, before = 0.0;
    for (int i = 0; i < common.count; ++i) {
        if (common.parts[i].from <= 0.0) after = common.parts[i].to;
        if (common.parts[i].to >= 1.0) before = 1.0 - common.parts[i].from;
    }
    constexpr double kSpanMargin = 0.01;
    m_edgeSpan = std::clamp(static_cast<int>(std::lround((std::min(after, before) - kSpanMargin) *
                                                         timecode::kFoldBins)),
                            timecode::kEdgeHalfWidth, timecode::kEdgeWideHalfWidth);
    std::array<double, 2 + 4 * kSymbolCount + 1> ends{0.0, 1.0};
    int count = 2;
    for (int s = 0; s < kSymbolCount; ++s) {
        const SymbolKeying& k = station.symbols[s];
        if (!k.used) continue;
        m_symbols[m_symbolCount++] = static_cast<Symbol>(s);
        for (int p = 0; p < k.parts; ++p) {
            ends[count++] = k.reduced[p].from;
            ends[count++] = k.reduced[p].to;
        }
    }
    if (m_flipAt > 0.0) ends[count++] = m_flipAt;
    std::sort(ends.begin(), ends.begin() + count);
    const auto last = std::unique(ends.begin(), ends.begin() + count);
    double bestHigh = 0.0, bestLow = 0.0;
    for (auto at = ends.begin(); at + 1 < last && m_windows < kMaxWindows; ++at) {
        const double from = at[0], to = at[1];
        if (to - from < 0.05) continue;  // too short to measure
        const int w = m_windows++;
        const double mid = 0.5 * (from + to);
        bool known = true;
        double share = -1.0;
        for (int s = 0; s < kSymbolCount; ++s) {
            const SymbolKeying& k = station.symbols[s];
            const double level = k.used ? KeyedLevel(station, static_cast<Symbol>(s), mid) : 0.0;
            m_share[s][w] = level;
            if (!k.used || k.minuteMarkOnly) continue;
            known = known && (share < 0.0 || level == share);
            share = level;
        }
        m_known[w] = known;
        m_knownShare[w] = share;
        // In whole milliseconds, as the fold's bins are.
        m_from[w] = std::round(1000.0 * (from + (known ? kWideMargin : kNarrowMargin))) / 1000.0;
        m_to[w] = std::round(1000.0 * (to - (to >= 1.0 ? kWideMargin : kNarrowMargin))) / 1000.0;
        if (known && share >= 1.0 && to - from > bestHigh) {
            bestHigh = to - from;
            m_high = w;
        }
        if (known && share < 1.0 && to - from > bestLow) {
            bestLow = to - from;
            m_low = w;
        }
    }
}

SymbolLogs CSymbolModel::Erased() const {
    SymbolLogs logs;
    logs.fill(kNever);
    for (int i = 0; i < m_symbolCount; ++i) {
        logs[static_cast<std::size_t>(m_symbols[i])] =
            static_cast<float>(-std::log(static_cast<double>(m_symbolCount)));
    }
    return logs;
}

}  // namespace velto
