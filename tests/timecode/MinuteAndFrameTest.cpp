// Minute sync and the frame search on their own, over soft scores of the seconds and
// minutes the station sends.
#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <vector>

#include "DecoderTestSupport.h"
#include "station/Calendar.h"
#include "station/CivilTime.h"
#include "timecode/FrameDecoder.h"
#include "timecode/MinuteSync.h"

namespace velto {
namespace {

constexpr std::int64_t kStart = 1796610180 + 23;  // 11:23:23 JST

// Running second n sent at UTC from + n + `slip`; returns the first second from which
// the sync stayed on the right phase, -1: never.
std::int64_t FeedSeconds(CMinuteSync& sync, SoftScores& channel, std::int64_t from, int seconds,
                         int slip = 0, std::int64_t firstSecond = 0) {
    std::int64_t right = -1;
    for (std::int64_t n = firstSecond; n < firstSecond + seconds; ++n) {
        const std::int64_t utc = from + n + slip;
        const int inMinute = static_cast<int>(utc - FloorDiv(utc, 60) * 60);
        ScoredSecond s{};
        s.second = n;
        channel.Into(s.log, static_cast<int>(Jjy40SentAt(utc)));
        sync.Add(s);
        const bool onPhase = sync.Locked() && sync.SecondInMinute(n) == inMinute;
        if (onPhase && right < 0) right = n;
        if (!onPhase) right = -1;
    }
    return right;
}

// Locks the sooner the stronger the signal; a few nats a minute still lock (with a long leak).
TEST(MinuteSync, LocksOnTheMinutesPhase) {
    for (const auto& [sigma, seconds, within] :
         {std::tuple(0.2, 150, 70), std::tuple(0.5, 400, 240), std::tuple(0.7, 900, 600),
          std::tuple(1.3, 1200, 900)}) {
        SCOPED_TRACE(sigma);
        CMinuteSync sync(GetStation(StationId::Jjy40));
        SoftScores channel(sigma, 3);
        const std::int64_t right = FeedSeconds(sync, channel, kStart, seconds);
        EXPECT_GE(right, 0);
        EXPECT_LT(right, within);
    }
}

// A leap second shifts the phase; an unseen slip wins within two minutes (the old lead
// is capped), as does a splice that weakens the old evidence.
TEST(MinuteSync, FollowsAShiftAndASlip) {
    CMinuteSync sync(GetStation(StationId::Jjy40));
    SoftScores channel(0.4, 6);
    ASSERT_GE(FeedSeconds(sync, channel, kStart, 200), 0);
    const int generation = sync.Generation();
    sync.Shift(1);
    EXPECT_EQ(FeedSeconds(sync, channel, kStart, 30, 1, 200), 200);  // on phase throughout
    EXPECT_EQ(sync.Generation(), generation);
    EXPECT_GE(FeedSeconds(sync, channel, kStart, 100, 1, 230), 0);

    for (bool weaken : {false, true}) {
        SCOPED_TRACE(weaken);
        CMinuteSync slipped(GetStation(StationId::Jjy40));
        SoftScores again(0.4, 7);
        ASSERT_GE(FeedSeconds(slipped, again, kStart, 600), 0);
        if (weaken) slipped.Weaken(0.1);
        EXPECT_GE(FeedSeconds(slipped, again, kStart, 120, -1, 600), 600);
    }
}

// `count` minutes ending with the one that began at UTC `newest`, newest first.
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

// The newest minute's time and date, however few or weak the minutes.
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

// One weak minute, scores of noise, or nothing present: never decisive.
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
