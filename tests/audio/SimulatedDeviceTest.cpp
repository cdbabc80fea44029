#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

#include "audio/SystemWaveService.h"
#include "audio/WaveDevice.h"
#include "base/SystemTime.h"
#include "dsp/Pipeline.h"
#include "station/FrameEncoder.h"
#include "tests/audio/AudioTestSupport.h"

namespace velto {
namespace {

using namespace std::chrono_literals;

// JJY 40 kHz at full strength at Unix time t, as the simulator sends it.
bool FullCarrierAt(double t) {
    const Station& jjy40 = GetStation(StationId::Jjy40);
    const auto second = static_cast<std::int64_t>(std::floor(t));
    const std::int64_t minute = second - (second % 60 + 60) % 60;
    const Symbol symbol =
        EncodeFrame(jjy40, minute, {.leap = {}, .callSignMinutes = false}).symbols[second - minute];
    return KeyedLevel(jjy40, symbol, t - static_cast<double>(second)) == 1.0;
}

TEST(SimulatedDevice, DeliversTheTimeCodeInRealTimeAndInSlotOrder) {
    CSystemWaveService service;
    ASSERT_EQ(service.InSimulatorId(), service.InGetNumDevs() - 1);

    SetWaveService(&service);
    Warnings told;
    CWaveDevice device;
    CNotifyRecorder frame(device);
    DeviceSpec spec;
    spec.deviceId = service.InSimulatorId();
    constexpr int kBuffers = 40;
    // The signal starts somewhere inside StartCapture: bracket it.
    const auto steadyBefore = std::chrono::steady_clock::now();
    const double before = SystemTime::Now().SecondsAfter({});
    ASSERT_EQ(device.StartCapture(spec, &frame, told), 1);
    const double after = SystemTime::Now().SecondsAfter({});
    ASSERT_TRUE(frame.WaitFor(kBuffers, 10s)) << frame.Count() << " buffers";
    device.StopCapture(told);
    SetWaveService(nullptr);
    EXPECT_TRUE(told.empty());

    const auto posts = frame.Posts();
    for (int k = 0; k < kBuffers; ++k) {
        ASSERT_EQ(posts[k].lastSlot, k);
        EXPECT_GE(posts[k].time, steadyBefore + (k + 1) * 100ms) << k;
    }

    CPipeline pipeline;
    for (int b = 0; b < kBuffers; ++b) pipeline.ProcessBuffer(device.BufferSamples(b), b);
    ASSERT_NE(pipeline.SliceLevel(), kSliceLevelUnset);
    // Slots wrong and checked for a start instant: those within the filter's
    // 5 ms smear of a change are left out, those before the level judged raw.
    auto wrongAt = [&](double start) {
        std::pair<int, int> wrongChecked{0, 0};
        for (int s = 0; s < kSlotsPerBuffer * (kBuffers - 1); ++s) {
            const int measured = s % kSlotsPerBuffer == 0 ? s + 1 : s;
            const double t = start + measured * 0.010;
            const bool full = FullCarrierAt(t);
            if (FullCarrierAt(t - 0.005) != full || FullCarrierAt(t + 0.005) != full) continue;
            const bool on = s < kSliceEstimateSlots
                                ? pipeline.RawRow()[s] >= 0.5 * pipeline.SliceLevel()
                                : pipeline.CorrectedRow()[s] != 0.0;
            wrongChecked.first += on != full;
            ++wrongChecked.second;
        }
        return wrongChecked;
    };
    std::pair<int, int> best{-1, 0};
    for (double start = before - 0.001; start <= after + 0.001; start += 0.001) {
        const auto tried = wrongAt(start);
        if (best.first < 0 || tried.first < best.first) best = tried;
    }
    EXPECT_EQ(best.first, 0) << "start bracketed by " << (after - before) * 1000 << " ms";
    EXPECT_GT(best.second, 300);
}

}  // namespace
}  // namespace velto
