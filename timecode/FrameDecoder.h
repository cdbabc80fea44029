#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "station/Station.h"
#include "timecode/Constants.h"
#include "timecode/SymbolModel.h"

namespace velto {

// The soft symbols of one received minute, indexed by second of the minute.
struct MinuteRecord {
    std::int64_t number = -1;      // consecutive minute count
    std::int64_t firstSecond = 0;  // running second count of its second 0
    int length = 60;               // 61 or 59 in a leap-second minute
    double onTime0 = 0.0;          // input index of second 0's on-time point
    double edge0 = 0.0;            // ... where the rise was tracked then (fold bins)
    bool haveOnTime0 = false;
    std::array<SymbolLogs, 61> log{};
    std::array<bool, 61> present{};
};

// The most likely time the newest of a run of consecutive minute records
// names, and how decisive that is.
struct FrameResult {
    bool decisive = false;
    int minuteOfDay = 0;  // the station's civil time the newest record names
    int year = 2000;      // 2000..2099
    int dayOfYear = 1;
    bool summer = false;      // that civil time is summer time (CEST, BST)
    double marginTime = 0.0;  // nats: best against all other candidates
    double marginDate = 0.0;
    double ls1Evidence = 0.0;  // nats for a leap second announced (negative: for none)
    double ls2Evidence = 0.0;  // ... for its insertion (negative: deletion)
    double confidence = 0.0;   // posterior of the result
};

// Maximum likelihood over all times, from the station's layout: first the
// time of day the newest record names (hour, minute, and where the station's
// civil time has summer time, standard or summer time or a change between
// them within the run), every older record one minute earlier, then the date
// (year, day of year, with the month, day, weekday and the like that follow
// from it), each weighed against all other candidates.
class CFrameDecoder {
public:
    explicit CFrameDecoder(const Station& station);
    // records[0] is the newest; count records, consecutive minutes.
    FrameResult Decode(const MinuteRecord* const* records, int count) const;

private:
    // How the records of a run stand to summer time: all standard, all
    // summer, or the run crosses spring's or autumn's change (01:00 UTC).
    enum State { kStandard, kSummer, kSpring, kAutumn, kStates };
    // A field's score for each of its values, summed over records.
    struct FieldTable {
        Field field = Field::Fixed;
        std::array<double, 367> score{};
    };
    struct Group {
        std::array<FieldTable, 8> fields{};
        int count = 0;
        // A parity rule over several fields: its second's score as 0 and 1.
        std::array<std::array<double, 2>, 4> parity{};
    };
    // The named civil minute of record a under a candidate, minutes from
    // the newest record's midnight (negative: the day before), and whether
    // it is summer time; false: the candidate cannot be.
    bool Named(int candidate, int a, int count, int& minute, bool& summer) const;
    // The score of `value` in a field's seconds of a record.
    double FieldScore(const MinuteRecord& r, const FrameLayout& layout, Field field,
                      int value) const;
    void ScoreDate(const MinuteRecord& r, const FrameLayout& layout, Group& g) const;
    double DateScore(const Group& g, int year, int dayOfYear) const;
    // Adds record a's evidence to every time-of-day candidate (m_time).
    void AddTimeScores(const MinuteRecord& r, int a, int count) const;
    // Every date's score (m_date) under the time candidate bestTime.
    void ScoreDates(const MinuteRecord* const* records, int count, int bestTime) const;
    // Whether the station names each record's minute as the result has it:
    // newest is the newest record's frame start in UTC.
    bool StationNames(const FrameResult& result, int bestTime, int count,
                      std::int64_t newest) const;
    void AddLeapNotice(const MinuteRecord* const* records, int count, int bestTime,
                       std::int64_t newest, FrameResult& result) const;

    const Station& m_station;
    // The seconds of each field in the layout and the call-sign layout.
    struct FieldSeconds {
        std::array<std::int8_t, 16> second{};
        int count = 0;
    };
    std::array<std::array<FieldSeconds, kFieldCount>, 2> m_index{};
    int m_states = 1;
    int m_standardOffset = 0, m_summerOffset = 0;  // minutes, civil time less UTC
    // The number of ones of each value of each field, as the layout sends it.
    std::array<std::array<int, 367>, kFieldCount> m_ones{};
    // Per year of the century: WWVB's DST bits of each day of the year.
    std::vector<std::array<std::uint8_t, 367>> m_usDst;
    mutable std::vector<double> m_time, m_date;
    mutable std::array<Group, 2> m_groups{};
};

}  // namespace velto
