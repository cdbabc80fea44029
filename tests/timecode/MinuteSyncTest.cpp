// Minute sync on its own: soft scores of the seconds the station sends, in
// noise of known strength, from a start part-way into a minute.
#include <gtest/gtest.h>

#include <cstdint>

#include "SoftScores.h"
#include "timecode/MinuteSync.h"

namespace velto {
namespace {

constexpr std::int64_t kStart = 1796610180 + 23;  // 11:23:23 JST

// Feeds the seconds sent from UTC `from` for `seconds`, running second n
// being UTC from + n + `slip`; returns the first running second after which
// the sync was locked on the right phase, -1: never.
std::int64_t FeedSeconds(CMinuteSync& sync, SoftScores& channel, std::int64_t from, int seconds,
                         int slip = 0, std::int64_t firstSecond = 0) {
    std::int64_t right = -1;
    for (std::int64_t n = firstSecond; n < firstSecond + seconds; ++n) {
        const std::int64_t utc = from + n + slip;
        const int inMinute = static_cast<int>(utc - FloorDiv(utc, 60) * 60);
        sync.Add(channel.Second(n, Jjy40Frame(utc - inMinute), inMinute));
        const bool onPhase = sync.Locked() && sync.SecondInMinute(n) == inMinute;
        if (onPhase && right < 0) right = n;
        if (!onPhase) right = -1;
    }
    return right;
}

// A clean signal locks within a minute and a half, a weak one within a few,
// one that tells a few nats a minute within a quarter of an hour (too short
// a leak never reaches the lock); the phase holds once found.
TEST(MinuteSync, LocksOnTheMinutesPhase) {
    struct Case {
        double sigma;
        int seconds, within;
    };
    for (const Case& c :
         {Case{0.2, 150, 70}, Case{0.5, 400, 240}, Case{0.7, 900, 600}, Case{1.3, 1200, 900}}) {
        SCOPED_TRACE(c.sigma);
        CMinuteSync sync(GetStation(StationId::Jjy40));
        SoftScores channel(c.sigma, 3);
        const std::int64_t right = FeedSeconds(sync, channel, kStart, c.seconds);
        EXPECT_GE(right, 0);
        EXPECT_LT(right, c.within);
    }
}

// A leap second shifts the phase by one. When the seconds slip a whole one,
// unseen, after ten minutes of a strong signal, the old phase's lead is
// capped, so the new one wins within two minutes, as it does after a splice,
// which the decoder sees and weakens the old evidence for.
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

}  // namespace
}  // namespace velto
