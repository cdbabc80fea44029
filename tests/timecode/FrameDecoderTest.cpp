// The frame search on its own: minute records of soft scores made from the
// frames the station sends, through noise of known strength.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "SoftScores.h"
#include "station/Calendar.h"
#include "station/CivilTime.h"
#include "timecode/FrameDecoder.h"

namespace velto {
namespace {

// `count` minutes ending with the one that began at UTC `newest`, newest
// first.
std::vector<MinuteRecord> Minutes(std::int64_t newest, int count, SoftScores& channel) {
    std::vector<MinuteRecord> records;
    for (int a = 0; a < count; ++a) records.push_back(channel.Record(newest - 60 * a));
    return records;
}

FrameResult Decode(const std::vector<MinuteRecord>& records) {
    std::vector<const MinuteRecord*> run;
    for (const MinuteRecord& r : records) run.push_back(&r);
    return CFrameDecoder{GetStation(StationId::Jjy40)}.Decode(run.data(),
                                                              static_cast<int>(run.size()));
}

// The newest minute's time and date, however few or weak the minutes, and
// across the day's, the year's and a leap year's end and a call-sign minute.
TEST(FrameDecoder, FindsTheNewestMinutesTimeAndDate) {
    struct Case {
        const char* name;
        struct {
            int year, month, day, hour, minute;
        } newest;  // JST
        int count;
        double sigma;
    };
    const Case cases[] = {
        {"one clean minute", {2026, 12, 7, 11, 23}, 1, 0.15},
        {"weak minutes together", {2026, 12, 7, 11, 23}, 20, 0.6},
        {"after midnight", {2026, 3, 1, 0, 4}, 10, 0.4},
        {"after the new year", {2025, 1, 1, 0, 2}, 8, 0.4},
        {"the leap day's last minute", {2024, 12, 31, 23, 59}, 8, 0.4},
        {"a call-sign minute newest", {2026, 6, 10, 12, 45}, 6, 0.4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SoftScores channel(c.sigma, 5);
        const FrameResult r =
            Decode(Minutes(UtcFromCivil(CivilZone::Japan, c.newest.year, c.newest.month,
                                        c.newest.day, c.newest.hour, c.newest.minute, false),
                           c.count, channel));
        EXPECT_TRUE(r.decisive) << r.marginTime << " " << r.marginDate;
        EXPECT_EQ(r.minuteOfDay, c.newest.hour * 60 + c.newest.minute);
        EXPECT_EQ(r.year, c.newest.year);
        EXPECT_EQ(r.dayOfYear, DayOfYear(c.newest.year, c.newest.month, c.newest.day));
        EXPECT_GT(r.confidence, 0.999);
        EXPECT_LT(r.ls1Evidence, 0.0);
    }
}

// What cannot be told is not decisive: one weak minute, half an hour of
// scores of noise, minutes with nothing present.
TEST(FrameDecoder, UndecidedWithoutEvidence) {
    enum Kind { kWeak, kNoise, kAbsent };
    for (const Kind kind : {kWeak, kNoise, kAbsent}) {
        SCOPED_TRACE(kind);
        SoftScores channel(kind == kWeak ? 0.8 : 0.5, 9);
        std::vector<MinuteRecord> records =
            Minutes(UtcFromCivil(CivilZone::Japan, 2026, 12, 7, 11, 23, false),
                    kind == kWeak ? 1 : 30, channel);
        for (MinuteRecord& r : records) {
            for (int s = 0; s < 60; ++s) {
                if (kind == kNoise) channel.Into(r.log[s], -1);
                r.present[s] = kind != kAbsent;
            }
        }
        const FrameResult result = Decode(records);
        EXPECT_FALSE(result.decisive) << result.marginTime << " " << result.marginDate;
        EXPECT_LT(result.marginTime, 6.0);
    }
}

}  // namespace
}  // namespace velto
