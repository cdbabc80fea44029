#pragma once

#include <array>
#include <cstdint>

#include "timecode/Constants.h"

namespace velto {

// The soft symbols of one received minute, indexed by second of the minute.
struct MinuteRecord {
    std::int64_t number = -1;      // consecutive minute count
    std::int64_t firstSecond = 0;  // running second count of its second 0
    int length = 60;               // 61 or 59 in a leap-second minute
    double onTime0 = 0.0;          // input index of second 0's on-time point
    bool haveOnTime0 = false;
    std::array<float, 61> logZero{}, logOne{}, logMarker{};
    std::array<bool, 61> present{};
};

// The most likely date and time of the newest of a run of consecutive minute
// records, and how decisive that is.
struct FrameResult {
    bool decisive = false;
    int minuteOfDay = 0;  // JST, of the newest record
    int year = 2000;      // 2000..2099
    int dayOfYear = 1;
    double marginTime = 0.0;  // nats: best against all other candidates
    double marginDate = 0.0;
    double ls1Evidence = 0.0;  // nats for LS1 = 1 (negative: for 0)
    double ls2Evidence = 0.0;
    double confidence = 0.0;  // posterior of the result
};

// Maximum likelihood over all times: first (hour, minute) of the newest
// record with every older record one minute earlier, then (year, day of
// year) with the weekday as a check, each weighed against all other
// candidates.
class CFrameDecoder {
public:
    // records[0] is the newest; count records, consecutive minutes.
    FrameResult Decode(const MinuteRecord* const* records, int count) const;

private:
    // Evidence for each (hour, minute) of the newest record, every older
    // record one minute earlier.
    static std::array<double, 1440> TimeScores(const MinuteRecord* const* records, int count);
    // Sums each date field's evidence over the records of the newest day
    // (m_groups[0]) and of the day before (m_groups[1], when the run crosses
    // midnight), the newest at `minuteOfDay`.
    void DateFields(const MinuteRecord* const* records, int count, int minuteOfDay) const;
    // Evidence for each (year, day of year) of the newest record, in m_date,
    // the weekday a check.
    void DateScores() const;
    // Evidence for LS1 and LS2 from the records of the newest record's UTC
    // month, under the result's time and date.
    static void LeapEvidence(const MinuteRecord* const* records, int count, FrameResult& result);

    struct Tables {
        std::array<double, 60> minute{};
        std::array<double, 24> hour{};
        std::array<double, 367> day{};
        std::array<double, 100> year{};
        std::array<double, 7> weekday{};
    };
    mutable std::array<Tables, 2> m_groups{};
    mutable std::array<double, 100 * 366>
        m_date{};  // date evidence of the newest day and the one before
};

}  // namespace velto
