#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "DecoderTestSupport.h"
#include "SoftScores.h"

namespace velto {
namespace {

constexpr std::int64_t kStart = 1796610180 + 20;  // 2026-12-07 11:23:20 JST, a Monday
constexpr double kMs = 96.0;                      // samples per millisecond

// A strong carrier with noise, and a nearly clean one whose input begins in
// the 10 % part of a second (the blanker must not take the full carrier for a
// burst ever after): the time within three minutes, every symbol right.
TEST(Decoder, StrongSignals) {
    StationSignalOptions clean;
    clean.carrierAmplitude = 10000.0;
    clean.noiseSigma = 300.0;
    clean.startOffsetSamples = 85 * 960;  // 0.85 s into a second: low whatever the symbol
    for (const StationSignalOptions& o : {Noisy(45.0, 1), clean}) {
        SCOPED_TRACE(o.carrierAmplitude);
        Reception r(kStart, o);
        r.Run(200.0);
        EXPECT_EQ(r.Wrong(0.25), 0);
        ASSERT_GE(r.rec.minutes.size(), 1u);
        EXPECT_GT(r.FirstValid(), 0);
        EXPECT_LT(r.FirstValid(), 160);
        const DecoderMinute& m = r.rec.minutes.back();
        EXPECT_FALSE(m.flywheel);
        EXPECT_TRUE(m.pa1Ok && m.pa2Ok);
        EXPECT_GT(m.confidence, 0.999);
        EXPECT_EQ(m.secondsInMinute, 60);
        // Every second after the minute lock carries its symbol of the frame.
        const Truth truth{kStart, r.signal};
        int checked = 0;
        for (const DecoderSecond& s : r.rec.seconds) {
            if (s.secondInMinute < 0) continue;
            const std::int64_t unix = truth.Unix(s.onTimeSample);
            const CivilTime t = CivilTimeAt(CivilZone::Japan, unix);
            ASSERT_EQ(s.secondInMinute, t.second);
            EXPECT_EQ(s.symbol, AsRead(Jjy40SentAt(unix)))
                << t.hour << ":" << t.minute << ":" << t.second;
            ++checked;
        }
        EXPECT_GT(checked, 100);
        const DecoderStatus st = r.decoder.Status();
        EXPECT_EQ(st.state, ReceptionState::TimeValid);
        const double sigma = r.signal.NoiseSigma();
        EXPECT_NEAR(st.cn0DbHz,
                    10.0 * std::log10(o.carrierAmplitude * o.carrierAmplitude * 96000.0 /
                                      (4.0 * sigma * sigma)),
                    1.0);
        EXPECT_NEAR(st.carrierLevel, o.carrierAmplitude, 0.05 * o.carrierAmplitude);
    }
}

// Slow fading and Rician fading with lightning, and a sound card 150 ppm
// fast, over the end of a leap year (day 366 of 2024 becomes day 1 of 2025):
// still the right time, on-time within a millisecond, read from the signal
// on either side of midnight.
TEST(Decoder, FadingCrashesAndAnOffClock) {
    struct Case {
        const char* name;
        double cn0;
        bool rician;
        double ppm;
    };
    for (const Case& c : {Case{"fading", 30.0, false, -40.0}, Case{"Rician", 35.0, true, 150.0}}) {
        SCOPED_TRACE(c.name);
        StationSignalOptions o = Noisy(c.cn0, 7);
        o.clockPpm = c.ppm;
        if (c.rician) {
            o.ricianK = 2.0;
            o.impulseRate = 0.5;
        } else {
            o.fadingDepth = 0.6;
        }
        const std::int64_t newYear = UtcFromCivil(CivilZone::Japan, 2025, 1, 1, 0, 0, false);
        Reception r(newYear - 4 * 60, o);
        r.Run(330.0);
        EXPECT_EQ(r.Wrong(1.0), 0);
        EXPECT_GT(r.FirstValid(), 0);
        int decoded = 0;
        for (const DecoderMinute& m : r.rec.minutes) {
            decoded += !m.flywheel && (m.utcUnix == newYear - 60 || m.utcUnix == newYear);
        }
        EXPECT_EQ(decoded, 2);
        EXPECT_NEAR(r.decoder.Status().driftPpm, c.ppm, 0.5);
    }
}

// Weak fading of +-60 % in step with the minute: the same bits meet the same
// error in the fitted level every minute, and such errors add up as noise
// does not (a 5 s fade outruns the level line, a 20 s one turns inside it).
// Each case once made a wrong time decisive.
TEST(Decoder, FadesInStepWithTheMinuteNeverGiveAWrongTime) {
    struct Case {
        double period;
        std::uint64_t seed;
        std::int64_t start, offset;
        double ppm, seconds;
    };
    for (const Case& c : {Case{5.0, 1794176634336871385u, 1796963129, 2432, -87.0, 720.0},
                          Case{20.0, 7766622548592194114u, 1772896141, 8051, -62.0, 870.0}}) {
        SCOPED_TRACE(c.period);
        StationSignalOptions o = Noisy(15.0, c.seed);
        o.startOffsetSamples = c.offset;
        o.clockPpm = c.ppm;
        o.callSignMinutes = true;
        o.fadingDepth = 0.6;
        o.fadingPeriodSeconds = c.period;
        Reception r(c.start, o);
        r.Run(c.seconds);
        EXPECT_EQ(r.Wrong(30.0), 0);
    }
}

// At 14 dB-Hz only several minutes together give the time: the first valid
// second comes soon after the first decisive evaluation, which follows
// indecisive ones and names the right time.
TEST(Decoder, WeakSignalNeedsSeveralMinutes) {
    Reception r(kStart, Noisy(14.0, 3));
    r.Run(480.0);
    // The on-time point wanders by milliseconds here; the time must be right.
    EXPECT_EQ(r.Wrong(20.0), 0);
    const Truth truth{kStart, r.signal};
    const auto firstValid = std::find_if(r.rec.seconds.begin(), r.rec.seconds.end(),
                                         [](const DecoderSecond& s) { return s.timeValid; });
    ASSERT_NE(firstValid, r.rec.seconds.end());
    const auto firstDecisive = std::find_if(r.rec.evaluations.begin(), r.rec.evaluations.end(),
                                            [](const DecoderEvaluation& e) { return e.decisive; });
    ASSERT_NE(firstDecisive, r.rec.evaluations.end());
    EXPECT_GT(firstDecisive - r.rec.evaluations.begin(), 3);
    EXPECT_LT(firstDecisive->onTimeSample, firstValid->onTimeSample);
    EXPECT_LT(firstValid->onTimeSample - firstDecisive->onTimeSample, 10.0 * 96000.0);
    EXPECT_EQ(firstDecisive->utcUnix, truth.Unix(firstDecisive->onTimeSample));
    double sumSquare = 0.0;
    int count = 0;
    for (const DecoderSecond& s : r.rec.seconds) {
        if (!s.timeValid) continue;
        const double err = s.onTimeSample - truth.OnTime(s.onTimeSample);
        sumSquare += err * err;
        ++count;
    }
    ASSERT_GT(count, 0);
    EXPECT_LT(std::sqrt(sumSquare / count), 3.0 * kMs);
    EXPECT_GT(r.FirstValid(), 120);  // more than two minutes of input
    EXPECT_GE(r.rec.minutes.size(), 1u);
}

// Minute 45 carries the call sign in 40..48 and a service notice in 50..55
// instead of the year, weekday and leap bits.
TEST(Decoder, CallSignMinute) {
    StationSignalOptions o = Noisy(35.0, 5);
    o.callSignMinutes = true;
    o.serviceBits = 0x2d;
    Reception r(1796610180 + 19 * 60, o);  // 11:42:00
    r.Run(290.0);
    EXPECT_EQ(r.Wrong(1.0), 0);
    bool sawCallSignMinute = false;
    for (const DecoderMinute& m : r.rec.minutes) {
        EXPECT_EQ(m.callSignMinute, m.minute == 45);
        if (m.minute == 45) sawCallSignMinute = !m.flywheel;
    }
    EXPECT_TRUE(sawCallSignMinute);
    int morse = 0;
    for (const DecoderSecond& s : r.rec.seconds) {
        if (s.timeValid && CivilTimeAt(CivilZone::Japan, s.utcUnix).minute == 45 &&
            s.secondInMinute >= 40 && s.secondInMinute <= 48) {
            EXPECT_EQ(s.symbol, TimeSymbol::CallSign);
            ++morse;
        }
    }
    EXPECT_EQ(morse, 9);
}

// An announced leap second: 61 seconds in 08:59 JST on 1 January (23:59 UTC),
// P0 in second 60; the next minute's second 0 where the station sent it.
TEST(Decoder, AnnouncedLeapSecond) {
    const std::int64_t leap = UtcFromCivil(CivilZone::Japan, 2027, 1, 1, 9, 0, false);  // 00:00 UTC
    const std::int64_t start = leap - 5 * 60;
    StationSignalOptions o = Noisy(35.0, 13);
    o.leapUtc = leap;
    o.leapKind = 1;
    Reception r(start, o);
    r.Run(400.0);
    bool leapMinute = false, nextMinute = false;
    for (const DecoderMinute& m : r.rec.minutes) {
        const double expected = r.signal.OnTimeSample(m.utcUnix - start + (m.utcUnix >= leap));
        EXPECT_NEAR(m.onTimeSample, expected, 1.0 * kMs) << m.hour << ":" << m.minute;
        EXPECT_EQ(m.utcUnix < leap, m.ls1 && m.ls2) << m.hour << ":" << m.minute;
        if (m.utcUnix == leap - 60) leapMinute = m.secondsInMinute == 61;
        if (m.utcUnix == leap) nextMinute = m.hour == 9 && m.minute == 0 && m.secondsInMinute == 60;
    }
    EXPECT_TRUE(leapMinute);
    EXPECT_TRUE(nextMinute);
    bool sawSixty = false;
    for (const DecoderSecond& s : r.rec.seconds) {
        if (!s.timeValid) continue;
        const std::int64_t k = s.utcUnix - start + (s.utcUnix >= leap && s.secondInMinute != 60);
        EXPECT_NEAR(s.onTimeSample, r.signal.OnTimeSample(k), 1.0 * kMs);
        if (s.secondInMinute == 60) {
            sawSixty = s.utcUnix == leap && s.symbol == TimeSymbol::Marker;
        }
    }
    EXPECT_TRUE(sawSixty);
}

// The carrier vanishes for two minutes, or fades to nothing: within seconds
// the time is carried on the flywheel, counting right on the sample clock,
// and valid again only once the returned signal has confirmed it.
TEST(Decoder, FlywheelWhileTheSignalIsGone) {
    struct Case {
        const char* name;
        double fadingDepth;
        double lossFrom, lossTo;  // seconds of input without carrier
    };
    for (const Case& c :
         {Case{"no carrier", 0.0, 200.0, 320.0}, Case{"deep fade", 1.0, 0.0, 0.0}}) {
        SCOPED_TRACE(c.name);
        StationSignalOptions o = Noisy(35.0, 29);
        o.clockPpm = 90.0;
        o.fadingDepth = c.fadingDepth;
        o.fadingPeriodSeconds = 300.0;  // below a quarter from about 190 s to 260 s
        Reception r(kStart, o);
        StationSignalOptions quiet = o;
        quiet.carrierAmplitude = 0.0;
        quiet.seed = 31;
        CStationSignal noise(kStart, quiet);
        std::vector<std::int16_t> buffer(9600), other(9600);
        for (int b = 0; b < 4200; ++b) {
            const double t = b * 0.1;
            r.signal.Generate(buffer.data(), buffer.size());
            const bool gone = t >= c.lossFrom && t < c.lossTo;
            if (gone) noise.Generate(other.data(), other.size());
            if (b == static_cast<int>(c.lossFrom * 10.0) && gone) {
                ASSERT_EQ(r.decoder.Status().state, ReceptionState::TimeValid);
            }
            r.decoder.Feed(r.rec.fed, gone ? other.data() : buffer.data(), buffer.size());
            r.rec.fed += static_cast<std::int64_t>(buffer.size());
        }
        EXPECT_EQ(r.Wrong(1.0), 0);
        EXPECT_EQ(r.decoder.Status().state, ReceptionState::TimeValid);
        // Where the signal is gone (or faded below a tenth), never TimeValid
        // after a few seconds; and the flywheel carries the time throughout.
        auto absent = [&](double t) {
            if (c.fadingDepth == 0.0) return t >= c.lossFrom + 8.0 && t < c.lossTo;
            return 1.0 + c.fadingDepth * std::sin(2.0 * M_PI * (t - 8.0) / 300.0) < 0.1 &&
                   1.0 + c.fadingDepth * std::sin(2.0 * M_PI * t / 300.0) < 0.1;
        };
        int absentStatuses = 0;
        for (const DecoderStatus& st : r.rec.statuses) {
            const double t = double(st.sample) / 96000.0;
            if (!absent(t)) continue;
            ++absentStatuses;
            EXPECT_EQ(st.state, ReceptionState::Flywheel) << t;
            EXPECT_EQ(st.cn0DbHz, 0.0) << t;  // no estimate of a carrier that is gone
        }
        EXPECT_GT(absentStatuses, 20);
        int carried = 0;
        for (const DecoderSecond& s : r.rec.seconds) {
            if (absent(s.onTimeSample / 96000.0)) carried += s.timeValid && s.flywheel;
        }
        EXPECT_GT(carried, 20);
        bool validAfter = false;
        for (const DecoderMinute& m : r.rec.minutes) {
            validAfter = validAfter || (!m.flywheel && m.onTimeSample > 330.0 * 96000.0);
        }
        EXPECT_TRUE(validAfter);
    }
}

// The signal is gone for two and a half minutes and comes back with another
// time (a replayed recording, a switched input): reports carry the held time
// (on the flywheel once it is back) or the new one, never a mix, and the new
// time is confirmed after a while.
constexpr std::int64_t kYearEnd = 1798728900;  // 2026-12-31 23:55:00 JST
struct TimeJump {
    const char* name;
    std::int64_t returnUnix;  // at input second 450
};
// Named in test listings by its name rather than its bytes.
void PrintTo(const TimeJump& c, std::ostream* os) { *os << c.name; }
class DecoderJump : public testing::TestWithParam<TimeJump> {};

TEST_P(DecoderJump, TimeJumpsAfterAGap) {
    const TimeJump& c = GetParam();
    Reception r(kYearEnd, Noisy(35.0, 41));
    StationSignalOptions quiet = Noisy(35.0, 43);
    quiet.carrierAmplitude = 0.0;
    CStationSignal noise(kYearEnd, quiet);
    CStationSignal back(c.returnUnix, Noisy(35.0, 47));
    r.Run(300.0);
    ASSERT_EQ(r.decoder.Status().state, ReceptionState::TimeValid);
    Simulate(noise, r.decoder, r.rec, 150.0);
    Simulate(back, r.decoder, r.rec, 540.0);

    constexpr double kReturn = 450.0 * 96000.0;
    const Truth held{kYearEnd, r.signal};
    const Truth now{c.returnUnix, back};
    // Whether a report of `unix` at `onTime` is the held time counted on
    // (after the return only as flywheel), or the returned signal's (and
    // then also its on-time point).
    auto heldTime = [&](double onTime, std::int64_t unix, bool flywheel) {
        return unix == held.Unix(onTime) && (onTime < kReturn || flywheel);
    };
    auto newTime = [&](double onTime, std::int64_t unix) {
        return onTime > kReturn && unix == now.Unix(onTime - kReturn) &&
               std::abs(onTime - kReturn - now.OnTime(onTime - kReturn)) < kMs;
    };
    int wrong = 0, confirmed = 0;
    bool newSeen = false;
    for (const DecoderMinute& m : r.rec.minutes) {
        const bool isNew = newTime(m.onTimeSample, m.utcUnix);
        const CivilTime t = CivilTimeAt(CivilZone::Japan, m.utcUnix);
        const bool fields = t.year == m.year && t.month == m.month && t.day == m.day &&
                            t.hour == m.hour && t.minute == m.minute;
        if (!fields || !(isNew || (!newSeen && heldTime(m.onTimeSample, m.utcUnix, m.flywheel)))) {
            ++wrong;
            ADD_FAILURE() << "minute " << m.hour << ":" << m.minute << " flywheel " << m.flywheel
                          << " at " << m.onTimeSample / 96000.0;
        }
        newSeen = newSeen || isNew;
        confirmed += isNew && !m.flywheel;
    }
    for (const DecoderSecond& s : r.rec.seconds) {
        if (!s.timeValid) continue;
        const bool isNew = newTime(s.onTimeSample, s.utcUnix);
        if (!isNew && !heldTime(s.onTimeSample, s.utcUnix, s.flywheel)) ++wrong;
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_GE(confirmed, 2);
    EXPECT_EQ(r.decoder.Status().state, ReceptionState::TimeValid);
}

// A row each, so that each runs (and is timed) on its own.
INSTANTIATE_TEST_SUITE_P(Decoder, DecoderJump,
                         testing::Values(TimeJump{"back_other_minute_phase", kYearEnd},
                                         TimeJump{"back_same_minute_phase", kYearEnd + 30},
                                         TimeJump{"forward", kYearEnd + 3 * 3600 + 7 * 60}),
                         ByName());

}  // namespace
}  // namespace velto
