#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "timecode/DecoderEvents.h"

namespace velto {

// What the time-code window shows, kept from the decoder's events so that it
// survives while the window is hidden: the symbols of the minute now and the
// five before, the last decoded minute, the on-time point's offset against
// the sample clock over 10 minutes and C/N0 over an hour. Fixed-size rings:
// nothing is allocated once it exists.
class CTimeCodeHistory {
public:
    static constexpr int kRows = 6;            // the minute now and five before
    static constexpr int kCells = 61;          // a minute with a leap second has 61
    static constexpr int kOffsetPoints = 600;  // one a second over 10 minutes
    static constexpr int kCn0Bin = 10;         // seconds averaged into one C/N0 point
    static constexpr int kCn0Points = 360;     // an hour of 10-second points

    struct Row {
        std::array<std::optional<TimeSymbol>, kCells> cells{};
        int last = -1;            // the highest second placed, -1 for an empty row
        double lastOnTime = 0.0;  // on-time sample of that second
        bool located = false;     // placed by the decoder's second in the minute
        // UTC seconds of second 0 while the time is valid.
        std::optional<std::int64_t> minuteUtc;
        bool callSign = false;
    };

    // A point of a chart: its on-time or status sample index and its value.
    struct Point {
        double sample = 0.0;
        double value = 0.0;
    };

    void AddSecond(const DecoderSecond& s);
    void AddMinute(const DecoderMinute& m);
    void AddStatus(const DecoderStatus& s);
    // Forgets everything, for a new run whose sample indices start again.
    void Clear();

    // age 0 is the minute now, 5 the oldest kept.
    const Row& RowAt(int age) const;
    // The second last placed in the minute now, -1 before any.
    int Now() const { return RowAt(0).last; }
    const std::optional<DecoderMinute>& LastMinute() const { return m_lastMinute; }
    const std::optional<DecoderStatus>& LastStatus() const { return m_lastStatus; }

    // Points oldest first; i from 0 to the count - 1.
    int OffsetCount() const { return m_offsetCount; }
    Point OffsetAt(int i) const;
    int Cn0Count() const { return m_cn0Count; }
    Point Cn0At(int i) const;

private:
    Row& NewRow();
    void PlaceHeardSeconds(const DecoderSecond& located);
    void NameEarlierMinutes(double minuteStartSample);
    void AddOffset(double onTimeSample);

    std::array<Row, kRows> m_rows{};
    int m_rowHead = 0;  // index of the minute now in m_rows
    std::optional<DecoderMinute> m_lastMinute;
    std::optional<DecoderStatus> m_lastStatus;

    std::array<Point, kOffsetPoints> m_offsets{};
    int m_offsetHead = 0;  // next slot to write
    int m_offsetCount = 0;
    std::optional<double> m_lastOnTime;
    double m_lastOffsetMs = 0.0;

    std::array<Point, kCn0Points> m_cn0{};
    int m_cn0Head = 0;
    int m_cn0Count = 0;
    double m_cn0Sum = 0.0;
    int m_cn0Samples = 0;
    std::int64_t m_cn0BinStart = 0;
};

}  // namespace velto
