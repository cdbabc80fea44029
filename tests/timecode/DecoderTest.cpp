// The decoder end to end, every report judged by the simulator's truth: JJY 40 kHz in
// trials of the signal and of the input, and every station.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <tuple>
#include <vector>

#include "DecoderTestSupport.h"
#include "station/FrameEncoder.h"

namespace velto {
namespace {

// The clean input begins in a low part: the blanker must not take the carrier for a burst.
TEST(Decoder, StrongSignals) {
    // 0.85 s into a second: low whatever the symbol.
    const StationSignalOptions clean{
        .carrierAmplitude = 10000.0, .noiseSigma = 300.0, .startOffsetSamples = 85 * 960};
    for (const StationSignalOptions& o : {Noisy(45.0, 1), clean}) {
        SCOPED_TRACE(o.carrierAmplitude);
        Reception r(kMonday, o);
        r.Run(200.0);
        EXPECT_EQ(r.Wrong(0.25), 0);
        ASSERT_GE(r.rec.minutes.size(), 1u);
        EXPECT_GT(r.FirstValid(), 0);
        EXPECT_LT(r.FirstValid(), 160);
        const DecoderMinute& m = r.rec.minutes.back();
        EXPECT_FALSE(m.flywheel);
        EXPECT_TRUE(m.pa1Ok && m.pa2Ok);
        EXPECT_GT(m.confidence, 0.999);
        const Truth truth{kMonday, r.signal};
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
        // Rises are vouched for, within 0.5 ms, and none before the time is held.
        ExpectVouchedRight(r, 0.5, 30);
        const auto valid = std::ranges::find(r.rec.seconds, true, &DecoderSecond::timeValid);
        const auto vouched = std::ranges::find(r.rec.rises, true, &DecoderRise::vouched);
        ASSERT_TRUE(valid != r.rec.seconds.end() && vouched != r.rec.rises.end());
        EXPECT_GE(vouched->utcUnix, valid->utcUnix - 1);
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

// Fades in step with the minute repeat their level errors each minute, unlike
// noise; each case once made a wrong time decisive.
TEST(Decoder, FadesInStepWithTheMinuteNeverGiveAWrongTime) {
    for (const auto& [period, seed, start, offset, ppm, seconds] :
         {std::tuple(5.0, 1794176634336871385u, 1796963129, 2432, -87.0, 720.0),
          std::tuple(20.0, 7766622548592194114u, 1772896141, 8051, -62.0, 870.0)}) {
        SCOPED_TRACE(period);
        StationSignalOptions o = Noisy(15.0, seed);
        o.startOffsetSamples = offset;
        o.clockPpm = ppm;
        o.callSignMinutes = true;
        o.fadingDepth = 0.6;
        o.fadingPeriodSeconds = period;
        Reception r(start, o);
        r.Run(seconds);
        EXPECT_EQ(r.Wrong(30.0), 0);
    }
}

// At 14 dB-Hz only several minutes together give the time, soon after the first decisive one.
TEST(Decoder, WeakSignalNeedsSeveralMinutes) {
    Reception r(kMonday, Noisy(14.0, 3));
    r.Run(480.0);
    EXPECT_EQ(r.Wrong(20.0), 0);  // the on-time point wanders by milliseconds here
    const Truth truth{kMonday, r.signal};
    const auto firstValid = std::ranges::find(r.rec.seconds, true, &DecoderSecond::timeValid);
    ASSERT_NE(firstValid, r.rec.seconds.end());
    const auto firstDecisive =
        std::ranges::find(r.rec.evaluations, true, &DecoderEvaluation::decisive);
    ASSERT_NE(firstDecisive, r.rec.evaluations.end());
    EXPECT_GT(firstDecisive - r.rec.evaluations.begin(), 3);
    EXPECT_LT(firstDecisive->onTimeSample, firstValid->onTimeSample);
    EXPECT_LT(firstValid->onTimeSample - firstDecisive->onTimeSample, 10.0 * 96000.0);
    double sumSquare = 0.0;
    int count = 0;
    for (const DecoderSecond& s : r.rec.seconds) {
        if (!s.timeValid) continue;
        const double err = s.onTimeSample - truth.OnTime(s.onTimeSample);
        sumSquare += err * err;
        ++count;
    }
    EXPECT_LT(std::sqrt(sumSquare / count), 3.0 * kMs);
    EXPECT_GT(r.FirstValid(), 120);  // more than two minutes of input
    EXPECT_GE(r.rec.minutes.size(), 1u);
}

// 61 seconds in 08:59 JST, a marker in second 60, and the next minute where it was sent.
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

// The carrier gone or faded away: the flywheel carries the time until the signal confirms it.
TEST(Decoder, FlywheelWhileTheSignalIsGone) {
    // A fade's depth, or the seconds of input without carrier.
    for (const auto& [fadingDepth, lossFrom, lossTo] :
         {std::tuple(0.0, 200.0, 320.0), std::tuple(1.0, 0.0, 0.0)}) {
        SCOPED_TRACE(fadingDepth);
        StationSignalOptions o = Noisy(35.0, 29);
        o.clockPpm = 90.0;
        o.fadingDepth = fadingDepth;
        o.fadingPeriodSeconds = 300.0;  // below a quarter from about 190 s to 260 s
        Reception r(kMonday, o);
        StationSignalOptions quiet = o;
        quiet.carrierAmplitude = 0.0;
        quiet.seed = 31;
        CStationSignal noise(kMonday, quiet);
        r.Run(lossFrom);
        if (lossTo > lossFrom) {  // the station's samples go on unheard, noise in their place
            ASSERT_EQ(r.decoder.Status().state, ReceptionState::TimeValid);
            std::vector<std::int16_t> unheard(
                static_cast<std::size_t>((lossTo - lossFrom) * 96000));
            r.signal.Generate(unheard.data(), unheard.size());
            Simulate(noise, r.decoder, r.rec, lossTo - lossFrom);
        }
        r.Run(420.0 - lossTo);
        EXPECT_EQ(r.Wrong(1.0), 0);
        EXPECT_EQ(r.decoder.Status().state, ReceptionState::TimeValid);
        auto absent = [&](double t) {
            if (fadingDepth == 0.0) return t >= lossFrom + 8.0 && t < lossTo;
            return 1.0 + fadingDepth * std::sin(2.0 * M_PI * (t - 8.0) / 300.0) < 0.1 &&
                   1.0 + fadingDepth * std::sin(2.0 * M_PI * t / 300.0) < 0.1;
        };
        int absentStatuses = 0;
        for (const DecoderStatus& st : r.rec.statuses) {
            const double t = double(st.sample) / 96000.0;
            if (!absent(t)) continue;
            ++absentStatuses;
            EXPECT_EQ(st.state, ReceptionState::Flywheel) << t;
            EXPECT_EQ(st.cn0DbHz, 0.0) << t;
        }
        EXPECT_GT(absentStatuses, 20);
        int carried = 0;
        for (const DecoderSecond& s : r.rec.seconds) {
            if (absent(s.onTimeSample / 96000.0)) carried += s.timeValid && s.flywheel;
        }
        EXPECT_GT(carried, 20);
        // A clock feed sends only vouched seconds: none from the moment the carrier is gone.
        for (const DecoderRise& e : r.rec.rises) {
            const double t = e.onTimeSample / 96000.0;
            const bool gone = fadingDepth == 0.0 ? t >= lossFrom && t < lossTo : absent(t);
            EXPECT_FALSE(e.vouched && gone) << t;
        }
        EXPECT_TRUE(std::any_of(r.rec.minutes.begin(), r.rec.minutes.end(), [](const auto& m) {
            return !m.flywheel && m.onTimeSample > 330.0 * 96000.0;  // confirmed after the loss
        }));
    }
}

// After a gap the signal returns with another time: reports carry the held time
// (flywheel) or the new one, never a mix.
constexpr std::int64_t kYearEnd = 1798728900;  // 2026-12-31 23:55:00 JST
struct TimeJump {
    const char* name;
    std::int64_t returnUnix;  // at input second 450
};
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

INSTANTIATE_TEST_SUITE_P(Decoder, DecoderJump,
                         testing::Values(TimeJump{"back_other_minute_phase", kYearEnd},
                                         TimeJump{"back_same_minute_phase", kYearEnd + 30},
                                         TimeJump{"forward", kYearEnd + 3 * 3600 + 7 * 60}),
                         testing::PrintToStringParamName());

// Input that is not what it seems.
constexpr double kSecond = 96000.0;

// The first right second after `from`, confirmed by the signal, comes within `within` s of input.
void ExpectRightAgain(const Reception& r, double from, double within = 180.0) {
    const Truth truth{r.start, r.signal};
    for (std::size_t i = 0; i < r.rec.seconds.size(); ++i) {
        const DecoderSecond& s = r.rec.seconds[i];
        if (s.onTimeSample > from && s.timeValid && !s.flywheel &&
            s.utcUnix == truth.Unix(s.onTimeSample) &&
            std::abs(s.onTimeSample - truth.OnTime(s.onTimeSample)) <= kMs) {
            EXPECT_LT(static_cast<double>(r.rec.secondFed[i]) - from, within * kSecond);
            return;
        }
    }
    ADD_FAILURE() << "never right again after sample " << from;
}

// Splices nobody reports, once the time is held: 10 ms dropped (what was vouched
// for before the jump shows may be that far off), 0.35 s dropped, 1.7 s of silence.
TEST(DecoderRobustness, SplicesNobodyReports) {
    for (const auto& [samples, seed, vouchedToleranceMs] :
         {std::tuple(960, 51u, 11.0), std::tuple(33600, 53u, 2.0), std::tuple(-163200, 52u, 2.0)}) {
        SCOPED_TRACE(samples);
        StationSignalOptions o = Noisy(30.0, seed);
        o.clockPpm = -70.0;
        o.spliceAt = 200 * 96000 + 12480;
        o.spliceSamples = samples;
        Reception r(kMonday, o);
        r.Run(380.0);
        EXPECT_GT(r.FirstValid(), 0);
        EXPECT_LT(r.FirstValid(), 200);
        EXPECT_EQ(r.Wrong(2.0), 0);
        EXPECT_GE(r.rec.minutes.size(), 4u);
        ExpectRightAgain(r, static_cast<double>(o.spliceAt));
        ExpectVouchedRight(r, vouchedToleranceMs, 60);
    }
}

// Whole seconds lost leave the rise where it was; the capture's clock tells of
// them before any later second is judged or its rise told.
TEST(DecoderRobustness, WholeSecondsLostThatTheCaptureClockShows) {
    for (const std::int64_t seconds : {1, 60}) {
        SCOPED_TRACE(seconds);
        StationSignalOptions o = Noisy(30.0, 71 + static_cast<std::uint64_t>(seconds));
        o.spliceAt = 200 * 96000 + 12480;
        o.spliceSamples = seconds * 96000;
        Reception r(kMonday, o);
        r.Run(202.2);
        ASSERT_EQ(r.decoder.Status().state, ReceptionState::TimeValid);
        const std::int64_t told = r.rec.fed;
        r.decoder.LoseUnsaid(o.spliceAt - 1);
        r.Run(240.0);
        EXPECT_EQ(r.Wrong(2.0), 0);
        const Truth truth{r.start, r.signal};
        for (const DecoderRise& e : r.rec.rises) {
            EXPECT_TRUE(!e.timeValid || e.utcUnix == truth.Unix(e.onTimeSample));
        }
        ExpectRightAgain(r, static_cast<double>(told));
    }
}

// A minute dropped unsaid shows only in the minute's bits: no minute is labelled a minute off.
TEST(DecoderRobustness, AMinuteDroppedUnsaidIsFoundFromTheMinutesBits) {
    for (const std::uint64_t seed : {85u, 86u}) {
        SCOPED_TRACE(seed);
        StationSignalOptions o = Noisy(30.0, seed);
        o.spliceAt = (300 + static_cast<std::int64_t>(seed - 80) * 9) * 96000 + 4321;
        o.spliceSamples = 60 * 96000;
        Reception r(kMonday, o);
        r.Run(600.0);
        const Truth truth{r.start, r.signal};
        int wrong = 0;
        for (const DecoderSecond& s : r.rec.seconds) {
            wrong += s.timeValid && s.utcUnix != truth.Unix(s.onTimeSample) ? 1 : 0;
        }
        EXPECT_LE(wrong, 70);
        for (const DecoderMinute& m : r.rec.minutes) {
            EXPECT_EQ(m.utcUnix, truth.Unix(m.onTimeSample));
        }
        ExpectRightAgain(r, static_cast<double>(o.spliceAt));
    }
}

// Splices at 20 dB-Hz, where a jump of the rise shows only over seconds; each
// case once gave minutes 5 ms to 350 ms off, or seconds a second off.
struct WeakSplice {
    const char* name;
    StationId station;
    std::uint64_t seed;
    std::int64_t start, offset;
    double ppm;
    std::int64_t at, samples;
    double seconds;
};
const WeakSplice kWeakSplices[] = {
    {"dcf77_silence_350ms", StationId::Dcf77, 2131486703883736663u, 1790533161, 191058, 131.0,
     66464686, -67200, 540},
    {"jjy40_drop_900ms", StationId::Jjy40, 14485994537092139728u, 1795749164, 68849, -33.0,
     34318984, 86400, 380},
    {"dcf77_drop_900ms", StationId::Dcf77, 13842993962878629095u, 1793062972, 123034, -77.0,
     59716687, 172800, 380},
    {"msf_drop_900ms", StationId::Msf, 13842993962878629095u, 1793062972, 123034, -77.0, 59716687,
     172800, 380},
    {"jjy40_silence_10ms", StationId::Jjy40, 15068122611803979507u, 1788147765, 41677, 97.0,
     34289962, -960, 450},
    {"dcf77_silence_10ms", StationId::Dcf77, 16935759272877831299u, 1773574707, 130715, 101.0,
     61811943, -1920, 600},
    {"dcf77_drop_10ms", StationId::Dcf77, 10848815689723676098u, 1778901544, 109472, -104.0,
     59510516, 1920, 430},
};

void PrintTo(const WeakSplice& c, std::ostream* os) { *os << c.name; }

class WeakSplices : public testing::TestWithParam<WeakSplice> {};

TEST_P(WeakSplices, NoWrongTime) {
    const WeakSplice& c = GetParam();
    StationSignalOptions o = Noisy(20.0, c.seed, c.station);
    o.callSignMinutes = true;
    o.startOffsetSamples = c.offset;
    o.clockPpm = c.ppm;
    o.spliceAt = c.at;
    o.spliceSamples = c.samples;
    Reception r(c.start, o);
    r.Run(c.seconds);
    const Truth truth{r.start, r.signal};
    int labelled = 0;
    for (const DecoderSecond& s : r.rec.seconds) {
        if (!s.timeValid) continue;
        EXPECT_EQ(s.utcUnix, truth.Unix(s.onTimeSample));
        ++labelled;
    }
    EXPECT_GT(labelled, 60);
    EXPECT_GE(r.rec.minutes.size(), 2u);
    for (const DecoderMinute& m : r.rec.minutes) {
        EXPECT_EQ(m.utcUnix, truth.Unix(m.onTimeSample));
        EXPECT_NEAR(m.onTimeSample, truth.OnTime(m.onTimeSample),
                    5.0 * r.signal.SampleRate() / 1000.0);
    }
}

INSTANTIATE_TEST_SUITE_P(DecoderRobustness, WeakSplices, testing::ValuesIn(kWeakSplices),
                         testing::PrintToStringParamName());

// Samples known lost: carried on the flywheel, never vouched for, confirmed again within
// seconds. An index that goes back starts over.
TEST(DecoderRobustness, ReportedGap) {
    Reception r(kMonday, Noisy(35.0, 19));
    r.Run(170.0);
    ASSERT_EQ(r.decoder.Status().state, ReceptionState::TimeValid);
    const double gapFrom = static_cast<double>(r.rec.fed);
    std::vector<std::int16_t> lost(45 * 96000 + 4321);
    r.signal.Generate(lost.data(), lost.size());
    r.rec.fed += static_cast<std::int64_t>(lost.size());
    const double gapTo = static_cast<double>(r.rec.fed);
    r.Run(100.0);
    EXPECT_EQ(r.Wrong(1.0), 0);
    int inGap = 0;
    for (const DecoderStatus& st : r.rec.statuses) {
        if (st.sample < gapFrom || st.sample >= gapTo) continue;
        EXPECT_EQ(st.state, ReceptionState::Flywheel);
        ++inGap;
    }
    EXPECT_GT(inGap, 30);
    int carried = 0;
    for (const DecoderSecond& s : r.rec.seconds) {
        if (s.onTimeSample < gapFrom || s.onTimeSample + kSecond > gapTo) continue;
        EXPECT_TRUE(s.timeValid && s.flywheel && !s.vouched);
        ++carried;
    }
    EXPECT_GE(carried, 43);
    EXPECT_EQ(r.decoder.Status().state, ReceptionState::TimeValid);
    ExpectRightAgain(r, gapTo, 15.0);
    ExpectVouchedRight(r, 1.0, 60);

    std::vector<std::int16_t> buffer(9600);
    r.signal.Generate(buffer.data(), buffer.size());
    r.decoder.Feed(0, buffer.data(), buffer.size());
    EXPECT_EQ(r.decoder.Status().state, ReceptionState::NoSignal);
}

// One decoder for every station, judged in the station's own civil time.
struct StationRun {
    const char* name;
    StationId station;
    std::int64_t start;   // UTC
    double cn0;           // dB-Hz
    double fading;        // depth of a 30 s fade
    double seconds;       // of input
    std::int64_t within;  // the first right time within so many seconds
    double toleranceMs;   // on-time points farther off count as wrong
    // UTC minutes that must be reported, confirmed by the signal.
    std::vector<std::int64_t> minutes;
    int rate = 0;  // 0: the station's own
    bool callSign = false;
    // A steady carrier beside the station's, and its share of the full carrier.
    double steadyHz = 0.0, steadyShare = 0.0;
    double clockPpm = 0.0;                     // the sound card's clock, fast
    double ricianK = -1.0, impulseRate = 0.0;  // random fading; crashes a second
};

void PrintTo(const StationRun& c, std::ostream* os) { *os << c.name; }

// 2026-03-29 and 2026-10-25 at 00:55 UTC: the EU's changes at 01:00 UTC.
constexpr std::int64_t kSpring = 1774745700, kAutumn = 1792889700;
// 2024-12-31 23:59 and 2025-01-01 00:00 JST, sent from 23:56.
const std::vector<std::int64_t> kJstNewYear = {1735657140, 1735657200};

using enum StationId;
const StationRun kCases[] = {
    {"jjy40_at_192k", Jjy40, kMonday, 30, 0, 200, 180, 2, {}, 192000},
    // Fading, crashes and an off clock across a leap year's end (JST): both minutes read.
    {"jjy40_year_end_fading", Jjy40, 1735656960, 30, 0.6, 330, 330, 1, kJstNewYear, 0, false, 0, 0,
     -40},
    {"jjy40_year_end_crashes", Jjy40, 1735656960, 35, 0, 330, 330, 1, kJstNewYear, 0, false, 0, 0,
     150, 2, 0.5},
    // A steady carrier beside JJY, twice as strong, is not taken for the station.
    {"jjy40_steady_above", Jjy40, kMonday, 40, 0, 240, 179, 1, {}, 0, false, 3, 2, 100},
    {"jjy40_steady_below", Jjy40, kMonday, 40, 0, 240, 179, 1, {}, 0, false, -3, 2, 100},
    {"jjy60_weak_fading", Jjy60, kMonday, 20, 0.5, 330, 300, 5, {}},
    // 16:13:20 JST: the call sign at 16:15.
    {"jjy60_call_sign", Jjy60, 1735715600, 35, 0, 260, 180, 2, {1735715700}, 0, true},
    {"dcf77_weak_fading", Dcf77, kMonday, 20, 0.5, 450, 420, 5, {}},
    // 01:59 CET and 03:00 CEST; in autumn 02:59 CEST and 02:00 CET.
    {"dcf77_spring", Dcf77, kSpring, 35, 0, 480, 180, 2, {kSpring + 240, kSpring + 300}},
    {"dcf77_autumn", Dcf77, kAutumn, 35, 0, 480, 180, 2, {kAutumn + 240, kAutumn + 300}},
    // The frame sent at 23:59 CET on 31 December names 00:00 of the new year.
    {"dcf77_year_end", Dcf77, 1798757700, 35, 0, 480, 180, 2, {1798757940, 1798758000}},
    {"msf_weak", Msf, kMonday, 20, 0, 330, 300, 5, {}},
    {"msf_spring", Msf, kSpring, 35, 0, 480, 180, 2, {kSpring + 240, kSpring + 300}},
    {"msf_autumn", Msf, kAutumn, 35, 0, 480, 180, 2, {kAutumn + 240, kAutumn + 300}},
    {"msf_year_end", Msf, 1798761300, 35, 0, 480, 180, 2, {1798761540, 1798761600}},
    // Followed on the doubled phase alone, this one took no time in 330 s.
    {"wwvb_weak_fading", Wwvb, kMonday + 3818, 20, 0.6, 330, 300, 5, {}},
    // Doubled with the flipping phase, a steady carrier mixes into lines that look keyed.
    {"wwvb_steady_carrier", Wwvb, kMonday, 30, 0, 240, 240, 2, {}, 0, false, 3, 1},
    // 12 Hz off, 24 Hz on the doubled phase the search looks at.
    {"wwvb_clock_fast", Wwvb, kMonday, 40, 0, 200, 180, 2, {}, 0, false, 0, 0, 200},
    {"wwvb_clock_slow", Wwvb, kMonday, 40, 0, 200, 180, 2, {}, 0, false, 0, 0, -195},
    // Day 366 of 2024, then day 1 of 2025.
    {"wwvb_leap_year_end", Wwvb, 1735689300, 35, 0, 480, 180, 2, {1735689540, 1735689600}},
    // The UTC days US daylight saving time begins (DST bits 10) and ends (01).
    {"wwvb_dst_begins", Wwvb, 1772971200, 35, 0, 240, 180, 2, {}},
    {"wwvb_dst_ends", Wwvb, 1793534400, 35, 0, 240, 180, 2, {}},
};

class StationDecoder : public testing::TestWithParam<StationRun> {};

TEST_P(StationDecoder, RightTimeNeverAWrongOne) {
    const StationRun& c = GetParam();
    StationSignalOptions o = Noisy(c.cn0, 23, c.station);
    o.sampleRate = c.rate;  // the amplitude stays, the noise follows the rate
    o.fadingDepth = c.fading;
    o.callSignMinutes = c.callSign;
    o.steadyCarrierOffsetHz = c.steadyHz;
    o.steadyCarrierAmplitude = c.steadyShare * o.carrierAmplitude;
    o.clockPpm = c.clockPpm;
    o.ricianK = c.ricianK;
    o.impulseRate = c.impulseRate;
    Reception r(c.start, o);
    r.Run(c.seconds);
    EXPECT_EQ(r.Wrong(c.toleranceMs), 0);
    EXPECT_GT(r.FirstValid(), 0);
    EXPECT_LE(r.FirstValid(), c.within);
    EXPECT_EQ(r.decoder.Status().state, ReceptionState::TimeValid);
    if (c.clockPpm != 0.0) {
        EXPECT_NEAR(r.decoder.Status().driftPpm, c.clockPpm, 0.5);
    }
    for (const DecoderMinute& m : r.rec.minutes) {
        EXPECT_EQ(m.callSignMinute, c.callSign && (m.minute == 15 || m.minute == 45));
    }
    int morse = 0;  // seconds 40..48 of a call-sign minute
    for (const DecoderSecond& s : r.rec.seconds) {
        const int minute = CivilTimeOf(r.signal.GetStationSent(), s.utcUnix).minute;
        if (c.callSign && s.timeValid && (minute == 15 || minute == 45) && s.secondInMinute >= 40 &&
            s.secondInMinute <= 48) {
            EXPECT_EQ(s.symbol, TimeSymbol::CallSign);
            ++morse;
        }
    }
    EXPECT_EQ(morse, c.callSign ? 9 : 0);
    // A strong signal vouches for its seconds whichever edge marks them.
    ExpectVouchedRight(r, c.toleranceMs, c.cn0 >= 35.0 && c.steadyHz == 0.0 ? 31 : 0);
    for (std::int64_t utc : c.minutes) {
        const bool reported =
            std::any_of(r.rec.minutes.begin(), r.rec.minutes.end(),
                        [&](const DecoderMinute& m) { return m.utcUnix == utc && !m.flywheel; });
        EXPECT_TRUE(reported) << utc;
    }
}

INSTANTIATE_TEST_SUITE_P(Stations, StationDecoder, testing::ValuesIn(kCases),
                         testing::PrintToStringParamName());

// Alternating flips put WWVB's own power in steady lines; taken out, they took the keying.
TEST(StationDecoderFlips, TheStationsOwnLinesAreNeverTakenOut) {
    StationSignalOptions o = Noisy(25.0, 537933997127126407u, StationId::Wwvb);
    o.startOffsetSamples = 184815;
    Reception r(1797696371, o);
    r.Run(120.0);
    const Truth truth{r.start, r.signal};
    int sure = 0;
    for (const DecoderSecond& s : r.rec.seconds) {
        if (s.quality < 0.9f || s.symbol == TimeSymbol::Erasure) continue;
        ++sure;
        const std::int64_t unix = truth.Unix(s.onTimeSample);
        const std::int64_t minute = unix - unix % 60;
        const Symbol sent = EncodeFrame(r.signal.GetStationSent(), minute).symbols[unix - minute];
        EXPECT_EQ(s.symbol, AsRead(sent)) << "second " << unix - minute << " of " << minute;
    }
    EXPECT_GT(sure, 90);
    EXPECT_EQ(r.Wrong(2.0), 0);
}

// A carrier above half the rate, or another rate than 96 or 192 kHz, gives no report.
TEST(StationDecoderInput, WhatItCannotReadGivesNothing) {
    EXPECT_FALSE(CDecoder::Reads(GetStation(StationId::Jjy40), 48000));
    EXPECT_FALSE(CDecoder::Reads(GetStation(StationId::Dcf77), 96000));
    StationSignalOptions o = Noisy(40.0, 31, StationId::Jjy60);
    o.sampleRate = 96000;
    Reception r(kMonday, o);
    r.Run(150.0);
    EXPECT_TRUE(r.rec.seconds.empty() && r.rec.minutes.empty() && r.rec.statuses.empty());
}

// Noise and crashes alone give no time, at 96 kHz and at 192 kHz.
struct NoiseRun {
    StationId station;
    std::uint64_t seed;
    double seconds;
};
void PrintTo(const NoiseRun& c, std::ostream* os) { *os << GetStation(c.station).name; }
class StationNoise : public testing::TestWithParam<NoiseRun> {};

TEST_P(StationNoise, GivesNoTime) {
    Reception r(kMonday, {.station = GetParam().station,
                          .carrierAmplitude = 0.0,
                          .noiseSigma = 2000.0,
                          .seed = GetParam().seed,
                          .fastNoise = true,
                          .impulseRate = 1.0});
    r.Run(GetParam().seconds);
    EXPECT_TRUE(r.rec.minutes.empty());
    for (const DecoderSecond& s : r.rec.seconds) ASSERT_FALSE(s.timeValid);
    for (const DecoderEvaluation& e : r.rec.evaluations) ASSERT_FALSE(e.decisive);
    EXPECT_NE(r.decoder.Status().state, ReceptionState::TimeValid);
}

INSTANTIATE_TEST_SUITE_P(Stations, StationNoise,
                         testing::Values(NoiseRun{Jjy40, 17, 1800}, NoiseRun{Jjy60, 29, 300},
                                         NoiseRun{Dcf77, 29, 300}, NoiseRun{Msf, 29, 300},
                                         NoiseRun{Wwvb, 29, 300}),
                         testing::PrintToStringParamName());

}  // namespace
}  // namespace velto
