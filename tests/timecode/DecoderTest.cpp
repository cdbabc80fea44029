#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "DecoderTestSupport.h"
#include "dsp/JjyTimeCode.h"

namespace velto {
namespace {

constexpr std::int64_t kStart = 1796610180 + 20;  // 2026-12-07 11:23:20 JST

// Every minute reported matches the simulator's time, and every second's
// on-time point lies where the simulator put that second's rise.
void ExpectTruth(const Recorder& rec, std::int64_t start, std::int64_t offsetSamples,
                 double toleranceSamples) {
    for (const DecoderMinute& m : rec.minutes) {
        const double expected = double((m.utcUnix - start)) * 96000.0 - double(offsetSamples);
        EXPECT_NEAR(m.onTimeSample, expected, toleranceSamples) << m.hour << ":" << m.minute;
        const JjyTime t = JjyTimeFromUnix(m.utcUnix);
        EXPECT_EQ(t.hour, m.hour);
        EXPECT_EQ(t.minute, m.minute);
    }
    for (const DecoderSecond& s : rec.seconds) {
        if (!s.timeValid) continue;
        const double expected = double(s.utcUnix - start) * 96000.0 - double(offsetSamples);
        EXPECT_NEAR(s.onTimeSample, expected, toleranceSamples);
    }
}

TEST(Decoder, StrongSteadySignalGivesTheTime) {
    JjySignalOptions options;
    options.carrierAmplitude = 3000.0;
    options.noiseSigma = 300.0;
    options.startOffsetSamples = 12345;
    CJjySignal signal(kStart, options);
    Recorder rec;
    CDecoder decoder(rec);
    std::int64_t index = 0;
    Simulate(signal, decoder, 240.0, index);
    ASSERT_GE(rec.minutes.size(), 2u);
    ExpectTruth(rec, kStart, 12345, 48.0);
    const DecoderMinute& last = rec.minutes.back();
    EXPECT_FALSE(last.flywheel);
    EXPECT_TRUE(last.pa1Ok && last.pa2Ok);
    EXPECT_EQ(decoder.Status().state, ReceptionState::TimeValid);
    EXPECT_NEAR(decoder.Status().carrierLevel, 3000.0, 150.0);
}

}  // namespace
}  // namespace velto
