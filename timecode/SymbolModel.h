#pragma once

#include <array>

#include "station/Station.h"
#include "timecode/Constants.h"

// What the decoder takes of a station's keying: the parts of the second it
// measures (windows between the keying's edges, a margin inside each), each
// symbol's share of the full carrier in each, and which windows every symbol
// keys alike (they tell the carrier's level whatever the second sends).
namespace velto {

// Log-probabilities of the station's symbols for one second, by Symbol.
using SymbolLogs = std::array<float, kSymbolCount>;

inline float LogOf(const SymbolLogs& logs, Symbol symbol) {
    return logs[static_cast<std::size_t>(symbol)];
}

class CSymbolModel {
public:
    static constexpr int kMaxWindows = 8;
    // A symbol the station never sends.
    static constexpr float kNever = -1e30f;

    explicit CSymbolModel(const Station& station);

    int Windows() const { return m_windows; }
    double From(int window) const { return m_from[window]; }
    double To(int window) const { return m_to[window]; }
    // The symbol's share of the full carrier in a window.
    double Share(Symbol symbol, int window) const {
        return m_share[static_cast<std::size_t>(symbol)][window];
    }
    // Whether every symbol (the minute's marks aside) keys the window alike,
    // and at what share.
    bool Known(int window) const { return m_known[window]; }
    double KnownShare(int window) const { return m_knownShare[window]; }
    // The longest window every symbol sends at the full carrier, and the
    // longest at the reduced level: the second's carrier level and contrast.
    int High() const { return m_high; }
    int Low() const { return m_low; }
    double ReducedShare() const { return m_reduced; }
    // The symbols the station sends, in Symbol order.
    int SymbolCount() const { return m_symbolCount; }
    Symbol SymbolAt(int i) const { return m_symbols[i]; }
    // Every symbol as likely as the others.
    SymbolLogs Erased() const;
    // The carrier's phase flips by 180 degrees this long after the on-time
    // point (WWVB), or never (a negative value).
    double FlipAt() const { return m_flipAt; }
    // +1 where the on-time point is a rise of the carrier, -1 a drop.
    double EdgeSign() const { return m_edgeSign; }
    // Fold bins on either side of the on-time edge that every symbol keeps
    // at one level, a margin left (JJY: 0.2 s, kEdgeWideHalfWidth at most).
    int EdgeSpan() const { return m_edgeSpan; }

private:
    int m_windows = 0;
    std::array<double, kMaxWindows> m_from{}, m_to{};
    std::array<std::array<double, kMaxWindows>, kSymbolCount> m_share{};
    std::array<bool, kMaxWindows> m_known{};
    std::array<double, kMaxWindows> m_knownShare{};
    int m_high = 0, m_low = 0;
    double m_reduced = 0.0;
    int m_symbolCount = 0;
    std::array<Symbol, kSymbolCount> m_symbols{};
    double m_flipAt = -1.0;
    double m_edgeSign = 1.0;
    int m_edgeSpan = 0;
};

}  // namespace velto
