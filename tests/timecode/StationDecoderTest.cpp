// One decoder for every station, each from the simulator's truth: a row per
// case, the station's signal at its rate.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "DecoderTestSupport.h"

namespace velto {
namespace {

struct Case {
    std::string name;
    StationId station;
    int rate;  // 0: the station's own
    std::int64_t start;
    double cn0;     // dB-Hz
    double fading;  // depth of a 30 s fade
    bool callSign;
    double seconds;       // of input
    std::int64_t within;  // the first right time within so many seconds
};

// 2026-12-07 02:23:20 UTC, a Monday.
constexpr std::int64_t kMonday = 1796610200;

class StationDecoder : public testing::TestWithParam<Case> {};

TEST_P(StationDecoder, RightTimeNeverAWrongOne) {
    const Case& c = GetParam();
    JjySignalOptions o = Noisy(c.cn0, 23, c.station);
    if (c.rate > 0) {
        o.sampleRate = c.rate;
        o.cn0DbHz = c.cn0;  // the amplitude stays, the noise follows the rate
    }
    o.fadingDepth = c.fading;
    o.callSignMinutes = c.callSign;
    Reception r(c.start, o);
    r.Run(c.seconds);
    EXPECT_EQ(r.Wrong(2.0), 0);
    EXPECT_GT(r.FirstValid(), 0);
    EXPECT_LE(r.FirstValid(), c.within);
    EXPECT_EQ(r.decoder.Status().state, ReceptionState::TimeValid);
    for (const DecoderMinute& m : r.rec.minutes) {
        EXPECT_EQ(m.callSignMinute, c.callSign && (m.minute == 15 || m.minute == 45));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Stations, StationDecoder,
    testing::Values(
        Case{"jjy40_at_192k", StationId::Jjy40, 192000, kMonday, 30.0, 0.0, false, 200.0, 180},
        Case{"jjy60_strong", StationId::Jjy60, 0, kMonday, 40.0, 0.0, false, 200.0, 180},
        Case{"jjy60_weak_fading", StationId::Jjy60, 0, kMonday, 20.0, 0.5, false, 330.0, 300},
        Case{"dcf77_strong", StationId::Dcf77, 0, kMonday, 40.0, 0.0, false, 200.0, 180},
        // 16:13:20 JST: the call sign at 16:15.
        Case{"jjy60_call_sign", StationId::Jjy60, 0, 1735715600, 35.0, 0.0, true, 260.0, 180}),
    [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

// What the decoder does not read yet (DCF77, MSF and WWVB; a carrier above
// half the rate) it says so, and a strong signal of it gives no report.
TEST(StationDecoderNoise, WhatItDoesNotReadGivesNothing) {
    EXPECT_TRUE(CDecoder::Reads(GetStation(StationId::Jjy40)));
    EXPECT_TRUE(CDecoder::Reads(GetStation(StationId::Jjy40), 192000));
    EXPECT_TRUE(CDecoder::Reads(GetStation(StationId::Jjy60)));
    EXPECT_FALSE(CDecoder::Reads(GetStation(StationId::Jjy60), 96000));
    for (StationId station : {StationId::Dcf77, StationId::Msf, StationId::Wwvb}) {
        EXPECT_FALSE(CDecoder::Reads(GetStation(station)));
        Reception r(kMonday, Noisy(40.0, 31, station));
        r.Run(150.0);
        EXPECT_TRUE(r.rec.seconds.empty() && r.rec.minutes.empty() && r.rec.statuses.empty());
    }
}

// Noise and crashes at 192 kHz, where the noise reaches 96 kHz: no station's
// decoder takes a time from them.
TEST(StationDecoderNoise, NothingAt192k) {
    for (StationId station : {StationId::Jjy60}) {
        SCOPED_TRACE(GetStation(station).name);
        JjySignalOptions o;
        o.station = station;
        o.carrierAmplitude = 0.0;
        o.noiseSigma = 2000.0;
        o.fastNoise = true;
        o.impulseRate = 1.0;
        o.seed = 29;
        Reception r(kMonday, o);
        r.Run(600.0);
        EXPECT_TRUE(r.rec.minutes.empty());
        for (const DecoderEvaluation& e : r.rec.evaluations) ASSERT_FALSE(e.decisive);
        EXPECT_NE(r.decoder.Status().state, ReceptionState::TimeValid);
    }
}

}  // namespace
}  // namespace velto
