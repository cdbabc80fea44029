#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "dsp/Pipeline.h"
#include "simulator/StationSignal.h"
#include "station/JjyTimeCode.h"

namespace velto {
namespace {

// Two ring passes of noisy simulated JJY through the chain in reception order.
TEST(ReceptionChain, SlicesTheSimulatedTimeCodeIntoItsPulses) {
    constexpr std::int64_t kStart = 1796610180 + 20;  // 2026-12-07 11:23:20 JST
    constexpr int kOffset = 12345;                    // not on a second or slot boundary
    StationSignalOptions options;
    options.carrierAmplitude = 6000.0;
    options.noiseSigma = 600.0;
    options.startOffsetSamples = kOffset;
    CStationSignal signal(kStart, options);
    CPipeline p;
    std::vector<std::int16_t> buffer(kBufferSamples);
    for (int pass = 0; pass < 2; ++pass) {
        for (int b = 0; b < kRingBuffers; ++b) {
            signal.Generate(buffer.data(), buffer.size());
            p.ProcessBuffer(buffer.data(), b);
            if (pass == 0 && b < kSliceEstimateBuffer) {
                ASSERT_EQ(p.SliceLevel(), kSliceLevelUnset);
                ASSERT_EQ(p.CorrectedRow(), p.RawRow());
            }
            for (int s = kSliceEstimateSlots; pass == 0 && s < kSlotsPerBuffer * (b + 1); ++s) {
                const double v = p.CorrectedRow()[s];
                ASSERT_TRUE(v == 0.0 || v == p.SliceLevel()) << "buffer " << b << " slot " << s;
            }
        }
    }
    EXPECT_NEAR(p.SliceLevel(), 6000.0 * 1.1685, 6000.0 * 0.15);

    // Second kStart + q begins at sample 96000 q - kOffset; slot s of the
    // second pass begins at sample 768000 + 960 s. Seconds 9..15 lie wholly
    // inside the second pass.
    const JjyFrame frame = EncodeJjyFrame({2026, 12, 7, 11, 23});
    constexpr int kSlotsPerSecond = kSampleRate / kSlotSamples;
    for (int q = 9; q <= 15; ++q) {
        const double begin =
            (q * kSampleRate - kOffset - kRingSamples) / static_cast<double>(kSlotSamples);
        int a = static_cast<int>(std::ceil(begin)) + 1;  // the run just after the second begins
        ASSERT_NE(p.CorrectedRow()[a], 0.0) << "second " << q;
        while (a > 0 && p.CorrectedRow()[a - 1] != 0.0) --a;
        int e = a;
        while (e < kRowSlots && p.CorrectedRow()[e] != 0.0) ++e;
        EXPECT_NEAR(a, begin, 1.5) << "second " << q;
        EXPECT_NEAR(e - a, JjyOnSlots(frame[20 + q]), 1) << "second " << q;
        for (int s = e; s < begin + kSlotsPerSecond - 1.0; ++s) {  // off until the next second
            ASSERT_EQ(p.CorrectedRow()[s], 0.0) << "second " << q << " slot " << s;
        }
    }
}

}  // namespace
}  // namespace velto
