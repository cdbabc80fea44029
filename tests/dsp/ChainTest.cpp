#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "simulator/JjySignal.h"
#include "station/JjyTimeCode.h"
#include "dsp/Pipeline.h"

namespace velto {
namespace {

std::string Frame(const JjyTime& t) {
    std::string s;
    for (JjySymbol sym : EncodeJjyFrame(t)) {
        s += sym == JjySymbol::Marker ? 'M' : sym == JjySymbol::One ? '1' : '0';
    }
    return s;
}

TEST(JjyTimeCode, EncodesKnownMinutes) {
    // Monday, day 341, 11:23; hour parity even, minute parity odd.
    EXPECT_EQ(Frame({2026, 12, 7, 11, 23}),
              "M01000011M000100001M001100100M000100010M000100110M001000000M");
    // Leap year's last minute: day 366, Tuesday, 23:59; hour parity odd, minute even.
    EXPECT_EQ(Frame({2024, 12, 31, 23, 59}),
              "M10101001M001000011M001100110M011000100M000100100M010000000M");
    // New Year: day 1, Friday, midnight.
    EXPECT_EQ(Frame({2027, 1, 1, 0, 0}),
              "M00000000M000000000M000000000M000100000M000100111M101000000M");
    EXPECT_EQ(JjyDayOfYear(2100, 3, 1), 60);  // not a leap year
    EXPECT_EQ(std::make_tuple(JjyOnSlots(JjySymbol::Zero), JjyOnSlots(JjySymbol::One),
                              JjyOnSlots(JjySymbol::Marker)),
              std::make_tuple(80, 50, 20));
}

TEST(JjyTimeCode, JapanStandardTimeFromUnixTime) {
    int sec = -1;
    JjyTime t = JjyTimeFromUnix(1798729200, &sec);  // 15:00 UTC on 31 December is New Year in Japan
    EXPECT_EQ(std::tie(t.year, t.month, t.day, t.hour, t.minute, sec),
              std::make_tuple(2027, 1, 1, 0, 0, 0));
    t = JjyTimeFromUnix(-9 * 3600 - 1, &sec);  // before 1970 in Japan too
    EXPECT_EQ(std::tie(t.year, t.month, t.day, t.hour, t.minute, sec),
              std::make_tuple(1969, 12, 31, 23, 59, 59));
}

// Two ring passes of noisy simulated JJY through the chain in reception order.
TEST(ReceptionChain, SlicesTheSimulatedTimeCodeIntoItsPulses) {
    constexpr std::int64_t kStart = 1796610180 + 20;  // 2026-12-07 11:23:20 JST
    constexpr int kOffset = 12345;                    // not on a second or slot boundary
    JjySignalOptions options;
    options.carrierAmplitude = 6000.0;
    options.noiseSigma = 600.0;
    options.startOffsetSamples = kOffset;
    CJjySignal signal(kStart, options);
    CPipeline p;
    std::vector<std::int16_t> buffer(kBufferSamples);
    for (int pass = 0; pass < 2; ++pass) {
        for (int b = 0; b < kRingBuffers; ++b) {
            signal.Generate(buffer.data(), buffer.size());
            p.ProcessBuffer(buffer.data(), b);
            if (pass == 0 && b < kSliceEstimateBuffer) {
                ASSERT_EQ(p.m_sliceLevel, kSliceLevelUnset);
                ASSERT_EQ(p.m_correctedRow, p.m_rawRow);
            }
            for (int s = kSliceEstimateSlots; pass == 0 && s < kSlotsPerBuffer * (b + 1); ++s) {
                const double v = p.m_correctedRow[s];
                ASSERT_TRUE(v == 0.0 || v == p.m_sliceLevel) << "buffer " << b << " slot " << s;
            }
        }
    }
    EXPECT_NEAR(p.m_sliceLevel, 6000.0 * 1.1685, 6000.0 * 0.15);

    // Second kStart + q begins at sample 96000 q - kOffset; slot s of the
    // second pass begins at sample 768000 + 960 s. Seconds 9..15 lie wholly
    // inside the second pass.
    const JjyFrame frame = EncodeJjyFrame({2026, 12, 7, 11, 23});
    constexpr int kSlotsPerSecond = kSampleRate / kSlotSamples;
    for (int q = 9; q <= 15; ++q) {
        const double begin =
            (q * kSampleRate - kOffset - kRingSamples) / static_cast<double>(kSlotSamples);
        int a = static_cast<int>(std::ceil(begin)) + 1;  // the run just after the second begins
        ASSERT_NE(p.m_correctedRow[a], 0.0) << "second " << q;
        while (a > 0 && p.m_correctedRow[a - 1] != 0.0) --a;
        int e = a;
        while (e < kRowSlots && p.m_correctedRow[e] != 0.0) ++e;
        EXPECT_NEAR(a, begin, 1.5) << "second " << q;
        EXPECT_NEAR(e - a, JjyOnSlots(frame[20 + q]), 1) << "second " << q;
        for (int s = e; s < begin + kSlotsPerSecond - 1.0; ++s) {  // off until the next second
            ASSERT_EQ(p.m_correctedRow[s], 0.0) << "second " << q << " slot " << s;
        }
    }
}

}  // namespace
}  // namespace velto
