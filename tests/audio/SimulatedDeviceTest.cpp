#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

#include "audio/SimulatedWaveIn.h"
#include "audio/SystemWaveService.h"
#include "audio/WaveDevice.h"
#include "dsp/JjyTimeCode.h"
#include "dsp/Pipeline.h"
#include "tests/audio/AudioTestSupport.h"

namespace velto {
namespace {

using namespace std::chrono_literals;

// Whether the carrier is at full strength at Unix time t (seconds).
bool FullCarrierAt(double t) {
    const auto second = static_cast<std::int64_t>(std::floor(t));
    int inMinute = 0;
    JjyTimeFromUnix(second, &inMinute);
    const JjySymbol symbol = EncodeJjyFrame(JjyTimeFromUnix(second - inMinute))[inMinute];
    return t - static_cast<double>(second) < JjyOnSlots(symbol) * 0.010;
}

// Four seconds of the simulated station, captured through the ring in real
// time and run through the reception chain, give the time code's pulses.
TEST(SimulatedDevice, DeliversTheTimeCodeInRealTimeAndInSlotOrder) {
    testing::internal::CaptureStderr();
    CSystemWaveService service;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // the sound libraries keep quiet
    ASSERT_EQ(service.InSimulatorId(), service.InGetNumDevs() - 1);
    EXPECT_EQ(service.InGetDevName(service.InSimulatorId()), kSimulatorName);

    SetWaveService(&service);
    CWarningRecorder warnings;
    CWaveDevice device;
    CNotifyRecorder frame(&device);
    DeviceSpec spec;
    spec.deviceId = service.InSimulatorId();
    constexpr int kBuffers = 40;
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const double startTime = std::chrono::duration<double>(now).count();
    ASSERT_EQ(device.StartCapture(spec, &frame), 1);
    ASSERT_TRUE(frame.WaitFor(kBuffers, 10s)) << frame.Count() << " buffers";
    device.StopCapture();
    SetWaveService(nullptr);
    EXPECT_TRUE(warnings.m_shown.empty());

    const auto posts = frame.Posts();
    for (int k = 0; k < kBuffers; ++k) {
        ASSERT_EQ(posts[k].lastSlot, k);
    }
    const std::chrono::duration<double> span = posts[kBuffers - 1].time - posts[0].time;
    EXPECT_NEAR(span.count() / (kBuffers - 1), 0.100, 0.010);

    CPipeline pipeline;
    for (int b = 0; b < kBuffers; ++b) {
        pipeline.ProcessBuffer(device.m_inData + b * kBufferSamples, b);
    }
    ASSERT_NE(pipeline.m_sliceLevel, kSliceLevelUnset);
    // Slots before the level was set are judged from their raw amplitude,
    // later ones from the sliced train. Slots within 25 ms of a change of the
    // carrier are left out: the start instant is known only to a few
    // milliseconds. The carrier changes at most every 200 ms.
    int checked = 0;
    int wrong = 0;
    for (int s = 0; s < kSlotsPerBuffer * (kBuffers - 1); ++s) {
        const double t = startTime + (s + 0.5) * 0.010;
        const bool full = FullCarrierAt(t);
        if (FullCarrierAt(t - 0.025) != full || FullCarrierAt(t + 0.025) != full) {
            continue;
        }
        const bool on = s < kSliceEstimateSlots
                            ? pipeline.m_rawRow[s] >= 0.5 * pipeline.m_sliceLevel
                            : pipeline.m_correctedRow[s] != 0.0;
        wrong += on != full;
        ++checked;
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(checked, 250);
}

}  // namespace
}  // namespace velto
