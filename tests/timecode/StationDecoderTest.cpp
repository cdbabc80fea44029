// One decoder for every station, judged in the station's own civil time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "DecoderTestSupport.h"
#include "station/FrameEncoder.h"

namespace velto {
namespace {

struct Case {
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
    double clockPpm = 0.0;  // the sound card's clock, fast
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// 2026-03-29 and 2026-10-25 at 00:55 UTC: the EU's changes at 01:00 UTC.
constexpr std::int64_t kSpring = 1774745700, kAutumn = 1792889700;

using enum StationId;
const Case kCases[] = {
    {"jjy40_at_192k", Jjy40, kMonday, 30, 0, 200, 180, 2, {}, 192000},
    {"jjy60_strong", Jjy60, kMonday, 40, 0, 200, 180, 2, {}},
    {"jjy60_weak_fading", Jjy60, kMonday, 20, 0.5, 330, 300, 5, {}},
    // 16:13:20 JST: the call sign at 16:15.
    {"jjy60_call_sign", Jjy60, 1735715600, 35, 0, 260, 180, 2, {1735715700}, 0, true},
    {"dcf77_strong", Dcf77, kMonday, 40, 0, 200, 180, 2, {}},
    {"dcf77_weak_fading", Dcf77, kMonday, 20, 0.5, 450, 420, 5, {}},
    // 01:59 CET and 03:00 CEST; in autumn 02:59 CEST and 02:00 CET.
    {"dcf77_spring", Dcf77, kSpring, 35, 0, 480, 180, 2, {kSpring + 240, kSpring + 300}},
    {"dcf77_autumn", Dcf77, kAutumn, 35, 0, 480, 180, 2, {kAutumn + 240, kAutumn + 300}},
    // The frame sent at 23:59 CET on 31 December names 00:00 of the new year.
    {"dcf77_year_end", Dcf77, 1798757700, 35, 0, 480, 180, 2, {1798757940, 1798758000}},
    {"msf_strong", Msf, kMonday, 40, 0, 200, 180, 2, {}},
    {"msf_weak", Msf, kMonday, 20, 0, 330, 300, 5, {}},
    {"msf_spring", Msf, kSpring, 35, 0, 480, 180, 2, {kSpring + 240, kSpring + 300}},
    {"msf_autumn", Msf, kAutumn, 35, 0, 480, 180, 2, {kAutumn + 240, kAutumn + 300}},
    {"msf_year_end", Msf, 1798761300, 35, 0, 480, 180, 2, {1798761540, 1798761600}},
    {"wwvb_strong", Wwvb, kMonday, 40, 0, 200, 180, 2, {}},
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

class StationDecoder : public testing::TestWithParam<Case> {};

TEST_P(StationDecoder, RightTimeNeverAWrongOne) {
    const Case& c = GetParam();
    StationSignalOptions o = Noisy(c.cn0, 23, c.station);
    o.sampleRate = c.rate;  // the amplitude stays, the noise follows the rate
    o.fadingDepth = c.fading;
    o.callSignMinutes = c.callSign;
    o.steadyCarrierOffsetHz = c.steadyHz;
    o.steadyCarrierAmplitude = c.steadyShare * o.carrierAmplitude;
    o.clockPpm = c.clockPpm;
    Reception r(c.start, o);
    r.Run(c.seconds);
    EXPECT_EQ(r.Wrong(c.toleranceMs), 0);
    EXPECT_GT(r.FirstValid(), 0);
    EXPECT_LE(r.FirstValid(), c.within);
    EXPECT_EQ(r.decoder.Status().state, ReceptionState::TimeValid);
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

INSTANTIATE_TEST_SUITE_P(Stations, StationDecoder, testing::ValuesIn(kCases), ByName());

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
    CStationSignal signal(kMonday, o);
    Recorder rec;
    CDecoder decoder(rec, GetStation(StationId::Jjy60), 96000);
    Simulate(signal, decoder, rec, 150.0);
    EXPECT_TRUE(rec.seconds.empty() && rec.minutes.empty() && rec.statuses.empty());
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
    StationSignalOptions o;
    o.station = GetParam().station;
    o.carrierAmplitude = 0.0;
    o.noiseSigma = 2000.0;
    o.fastNoise = true;
    o.impulseRate = 1.0;
    o.seed = GetParam().seed;
    Reception r(kMonday, o);
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
                         [](const testing::TestParamInfo<NoiseRun>& info) {
                             return std::string(GetStation(info.param.station).name);
                         });

}  // namespace
}  // namespace velto
