#include "views/TimeCodeHistory.h"

#include <algorithm>
#include <cmath>

#include "base/Geometry.h"

namespace velto {

namespace {

constexpr double kSamplesPerMs = kSampleRate / 1000.0;

// The shortest way from one phase of the sample clock's second to another.
double WrapMs(double ms) { return ms - 1000.0 * std::round(ms / 1000.0); }

}  // namespace

void CTimeCodeHistory::Clear() { *this = CTimeCodeHistory(); }

const CTimeCodeHistory::Row& CTimeCodeHistory::RowAt(int age) const {
    return m_rows[static_cast<std::size_t>((m_rowHead - age + kRows * 2) % kRows)];
}

CTimeCodeHistory::Row& CTimeCodeHistory::NewRow() {
    m_rowHead = (m_rowHead + 1) % kRows;
    Row& row = m_rows[static_cast<std::size_t>(m_rowHead)];
    row = Row();
    return row;
}

void CTimeCodeHistory::AddSecond(const DecoderSecond& s) {
    const bool located = s.secondInMinute >= 0 && s.secondInMinute < kCells;
    if (located && RowAt(0).last >= 0 && !RowAt(0).located) {
        PlaceHeardSeconds(s);
    }
    Row* row = &m_rows[static_cast<std::size_t>(m_rowHead)];
    const double elapsed = (s.onTimeSample - row->lastOnTime) / kSampleRate;
    // Before the minute is known, seconds lost still take their cells.
    int at = located ? s.secondInMinute
             : row->last < 0
                 ? 0
                 : row->last + std::clamp(static_cast<int>(std::lround(elapsed)), 1, 60);
    if (row->last >= 0) {
        // A second that does not follow in this row's minute begins the next
        // row: the minute turned, the minute became known, or seconds were
        // lost across a minute's end.
        const bool follows = at > row->last && elapsed < at - row->last + 0.5;
        if (!follows || located != row->located || (!located && at >= 60)) {
            row = &NewRow();
            at = located ? s.secondInMinute : 0;
        }
    }
    row->cells[static_cast<std::size_t>(at)] = s.symbol;
    row->last = at;
    row->lastOnTime = s.onTimeSample;
    row->located = located;
    if (s.symbol == TimeSymbol::CallSign) {
        row->callSign = true;
    }
    if (s.timeValid && s.secondInMinute >= 0 && s.secondInMinute < 60) {
        if (!row->minuteUtc) {
            row->minuteUtc = s.utcUnix - s.secondInMinute;
            NameEarlierMinutes(s.onTimeSample - s.secondInMinute * double{kSampleRate});
        }
    }
    AddOffset(s.onTimeSample);
}

// The first second whose place in the minute is known places the seconds
// heard before it too: each lies a whole number of seconds of samples before
// it. The rows of unknown place give way to rows of their minutes, the
// oldest first; seconds of this second's own minute stay in its row.
void CTimeCodeHistory::PlaceHeardSeconds(const DecoderSecond& located) {
    struct Heard {
        double sample;
        TimeSymbol symbol;
    };
    std::array<Heard, kRows * kCells> heard{};
    std::size_t count = 0;
    int rows = 0;
    while (rows < kRows && RowAt(rows).last >= 0 && !RowAt(rows).located) {
        ++rows;
    }
    for (int age = rows - 1; age >= 0; --age) {
        const Row& row = RowAt(age);
        for (int c = 0; c <= row.last; ++c) {
            if (const auto symbol = row.cells[static_cast<std::size_t>(c)]) {
                heard[count++] = {row.lastOnTime - (row.last - c) * double{kSampleRate}, *symbol};
            }
        }
    }
    for (int age = 0; age < rows; ++age) {
        m_rows[static_cast<std::size_t>(m_rowHead)] = Row();
        m_rowHead = (m_rowHead - 1 + kRows) % kRows;
    }
    std::optional<std::int64_t> minute;
    for (std::size_t i = 0; i < count; ++i) {
        const std::int64_t at =
            located.secondInMinute +
            std::llround((heard[i].sample - located.onTimeSample) / double{kSampleRate});
        const std::int64_t inMinute = ((at % 60) + 60) % 60;
        const std::int64_t thisMinute = (at - inMinute) / 60;
        if (thisMinute > 0 || at >= located.secondInMinute) {
            break;  // not before the located second
        }
        if (minute != thisMinute) {
            NewRow().located = true;
            minute = thisMinute;
        }
        Row& row = m_rows[static_cast<std::size_t>(m_rowHead)];
        row.cells[static_cast<std::size_t>(inMinute)] = heard[i].symbol;
        row.last = static_cast<int>(inMinute);
        row.lastOnTime = heard[i].sample;
        row.callSign = row.callSign || heard[i].symbol == TimeSymbol::CallSign;
    }
    if (minute != 0) {
        NewRow();  // the located second begins a row of its own
    }
}

// Minutes found before the time was known get their names once it is: each
// lies a whole number of minutes of samples before the minute now.
void CTimeCodeHistory::NameEarlierMinutes(double minuteStartSample) {
    const std::int64_t utc = *RowAt(0).minuteUtc;
    constexpr double minuteSamples = 60.0 * kSampleRate;
    for (int age = 1; age < kRows; ++age) {
        Row& row = m_rows[static_cast<std::size_t>((m_rowHead - age + kRows) % kRows)];
        if (!row.located || row.minuteUtc || row.last < 0) {
            continue;
        }
        const double start = row.lastOnTime - row.last * double{kSampleRate};
        const double minutes = (minuteStartSample - start) / minuteSamples;
        const double whole = std::round(minutes);
        if (whole >= 1.0 && std::abs(minutes - whole) * 60.0 < 2.0) {
            row.minuteUtc = utc - 60 * static_cast<std::int64_t>(whole);
        }
    }
}

void CTimeCodeHistory::AddMinute(const DecoderMinute& m) {
    m_lastMinute = m;
    // The minute may arrive before or after its row has given way to the next.
    for (int age = 0; age < kRows; ++age) {
        Row& row = m_rows[static_cast<std::size_t>((m_rowHead - age + kRows) % kRows)];
        if (row.minuteUtc == m.utcUnix) {
            row.callSign = row.callSign || m.callSignMinute;
            break;
        }
    }
}

void CTimeCodeHistory::AddOffset(double onTimeSample) {
    // Unwrapped from point to point, so that a drifting sample clock draws a
    // slope rather than a saw-tooth; the first point of a run is zero.
    if (m_lastOnTime) {
        m_lastOffsetMs += WrapMs((onTimeSample - *m_lastOnTime) / kSamplesPerMs);
    }
    m_lastOnTime = onTimeSample;
    m_offsets[static_cast<std::size_t>(m_offsetHead)] = {onTimeSample, m_lastOffsetMs};
    m_offsetHead = (m_offsetHead + 1) % kOffsetPoints;
    if (m_offsetCount < kOffsetPoints) {
        ++m_offsetCount;
    }
}

void CTimeCodeHistory::AddStatus(const DecoderStatus& s) {
    m_lastStatus = s;
    if (!std::isfinite(s.cn0DbHz) || s.cn0DbHz <= 0.0) {
        return;  // no estimate, which must not pull the mean down
    }
    // Bins on a fixed grid of the sample index, whatever statuses are missing.
    constexpr std::int64_t binSamples = std::int64_t{kCn0Bin} * kSampleRate;
    const std::int64_t binStart = s.sample - s.sample % binSamples;
    if (m_cn0Samples > 0 && binStart != m_cn0BinStart) {
        m_cn0[static_cast<std::size_t>(m_cn0Head)] = {static_cast<double>(m_cn0BinStart),
                                                      m_cn0Sum / m_cn0Samples};
        m_cn0Head = (m_cn0Head + 1) % kCn0Points;
        if (m_cn0Count < kCn0Points) {
            ++m_cn0Count;
        }
        m_cn0Samples = 0;
    }
    if (m_cn0Samples == 0) {
        m_cn0BinStart = binStart;
        m_cn0Sum = 0.0;
    }
    m_cn0Sum += s.cn0DbHz;
    ++m_cn0Samples;
}

CTimeCodeHistory::Point CTimeCodeHistory::OffsetAt(int i) const {
    return m_offsets[static_cast<std::size_t>((m_offsetHead - m_offsetCount + i + kOffsetPoints) %
                                              kOffsetPoints)];
}

CTimeCodeHistory::Point CTimeCodeHistory::Cn0At(int i) const {
    return m_cn0[static_cast<std::size_t>((m_cn0Head - m_cn0Count + i + kCn0Points) % kCn0Points)];
}

}  // namespace velto
