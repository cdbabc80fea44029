#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "dsp/JjySignal.h"
#include "dsp/Pipeline.h"

namespace velto {
namespace {

constexpr std::int64_t kStart = 1796610180 + 20;  // 2026-12-07 11:23:20 JST
constexpr std::int64_t kOffset = 12345;           // not on a second or slot boundary

JjySymbol SymbolAt(std::int64_t unixSecond) {
    int second = 0;
    JjyTimeFromUnix(unixSecond, &second);
    return EncodeJjyFrame(JjyTimeFromUnix(unixSecond - second))[second];
}

TEST(JjySignal, IsTheKeyedCarrierAndRepeatsForASeed) {
    JjySignalOptions options;
    options.carrierAmplitude = 8000.0;
    CJjySignal signal(kStart, options);
    std::vector<std::int16_t> s(96000);
    signal.Generate(s.data(), s.size());
    // Second 20 of a minute is a binary 0: 0.8 s of full carrier, then 10 %.
    // The carrier repeats every 12 samples.
    ASSERT_EQ(SymbolAt(kStart), JjySymbol::Zero);
    EXPECT_EQ(s[12 * 100 + 3], s[12 * 200 + 3]);
    auto peak = [&](int from, int to) {
        int m = 0;
        for (int i = from; i < to; ++i) m = std::max(m, std::abs(static_cast<int>(s[i])));
        return m;
    };
    EXPECT_NEAR(peak(0, 76800), 8000, 2);
    EXPECT_NEAR(peak(76800, 96000), 800, 2);

    options.noiseSigma = 300.0;
    options.interferenceHz = 39000.0;
    options.interferenceAmplitude = 500.0;
    std::vector<std::int16_t> a(20000), b(20000);
    CJjySignal(kStart, options).Generate(a.data(), a.size());
    CJjySignal(kStart, options).Generate(b.data(), b.size());
    EXPECT_EQ(a, b);
    options.seed = 2;
    CJjySignal(kStart, options).Generate(b.data(), b.size());
    EXPECT_NE(a, b);
}

TEST(JjySignal, StartOffsetShiftsTheSecondBoundary) {
    JjySignalOptions options;
    options.startOffsetSamples = 96000 - 100;  // 100 samples before the next second
    CJjySignal signal(kStart, options);
    EXPECT_EQ(signal.NextSecond(), kStart);
    EXPECT_EQ(signal.NextSampleInSecond(), 95900);
    std::vector<std::int16_t> s(200);
    signal.Generate(s.data(), s.size());
    EXPECT_EQ(signal.NextSecond(), kStart + 1);
    EXPECT_EQ(signal.NextSampleInSecond(), 100);
}

// Two ring passes of simulated JJY through the chain in reception order.
TEST(ReceptionChain, SlicesTheSimulatedTimeCodeIntoItsPulses) {
    JjySignalOptions options;
    options.carrierAmplitude = 6000.0;
    options.noiseSigma = 600.0;
    options.startOffsetSamples = kOffset;
    CJjySignal signal(kStart, options);
    CPipeline p;
    std::vector<std::int16_t> ring(kRingSamples);

    for (int pass = 0; pass < 2; ++pass) {
        for (int b = 0; b < kRingBuffers; ++b) {
            std::int16_t* buffer = ring.data() + b * kBufferSamples;
            signal.Generate(buffer, kBufferSamples);
            p.ProcessBuffer(buffer, b);
            if (pass == 0 && b < kSliceEstimateBuffer) {
                ASSERT_EQ(p.m_sliceLevel, kSliceLevelUnset);
                ASSERT_EQ(p.m_correctedRow, p.m_rawRow);
            }
            if (pass == 0 && b >= kSliceEstimateBuffer) {
                ASSERT_GT(p.m_sliceLevel, 0.0);
                for (int s = kSliceEstimateSlots; s < 10 * b + 10; ++s) {
                    ASSERT_TRUE(p.m_correctedRow[s] == 0.0 || p.m_correctedRow[s] == p.m_sliceLevel)
                        << "buffer " << b << " slot " << s;
                }
            }
        }
    }
    EXPECT_NEAR(p.m_sliceLevel, 6000.0 * 1.1685, 6000.0 * 0.15);

    // Slot s of the second pass starts at sample 768000 + 960 s after sample 0,
    // which lies kOffset samples into the start second.
    auto secondStartSlot = [](std::int64_t q) {  // slot where second kStart + q begins
        const double sample = static_cast<double>(q * kSampleRate - kOffset - kRingSamples);
        return sample / kSlotSamples;
    };
    int checked = 0;
    for (std::int64_t q = 8; q <= 16; ++q) {
        const double begin = secondStartSlot(q);
        const int onSlots = JjyOnSlots(SymbolAt(kStart + q));
        if (begin < 1.0 || begin + onSlots + 2.0 > kRowSlots - 1) {
            continue;  // the run crosses the edge of the pass
        }
        const int first = static_cast<int>(std::ceil(begin));
        // Find the run that covers the slot just after the second began.
        int a = first + 1;
        ASSERT_NE(p.m_correctedRow[a], 0.0) << "second " << q;
        while (a > 0 && p.m_correctedRow[a - 1] != 0.0) --a;
        int e = a;
        while (e < kRowSlots && p.m_correctedRow[e] != 0.0) ++e;
        EXPECT_NEAR(a, begin, 1.5) << "second " << q;
        EXPECT_NEAR(e - a, onSlots, 1) << "second " << q;
        // Off until the next second begins.
        const double next = secondStartSlot(q + 1);
        for (int s = e; s < std::min<double>(next - 1.0, kRowSlots - 1); ++s) {
            ASSERT_EQ(p.m_correctedRow[s], 0.0) << "second " << q << " slot " << s;
        }
        ++checked;
    }
    EXPECT_GE(checked, 6);
}

}  // namespace
}  // namespace velto
