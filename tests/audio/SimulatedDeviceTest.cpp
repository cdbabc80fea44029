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

// Distance from t to the nearest change of the carrier, in seconds.
double DistanceToEdge(double t) {
    double d = 1.0;
    for (double probe = 0.001; probe < 0.05; probe += 0.001) {
        if (FullCarrierAt(t - probe) != FullCarrierAt(t) ||
            FullCarrierAt(t + probe) != FullCarrierAt(t)) {
            d = std::min(d, probe);
        }
    }
    return d;
}

TEST(SystemWaveService, ListsTheSimulatorLastAndStaysQuiet) {
    testing::internal::CaptureStderr();
    CSystemWaveService service;
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(printed, "");

    const int n = service.InGetNumDevs();
    ASSERT_GE(n, 1);
    EXPECT_EQ(service.InSimulatorId(), n - 1);
    EXPECT_EQ(service.InGetDevName(n - 1), kSimulatorName);
    EXPECT_EQ(service.InGetDevName(n), "");
    EXPECT_EQ(service.InGetDevName(-7), "");
    for (int d = 0; d < service.OutGetNumDevs(); ++d) {
        EXPECT_NE(service.OutGetDevName(d), kSimulatorName);
    }
}

TEST(SimulatedDevice, RefusesAnotherFormat) {
    CSystemWaveService service;
    SetWaveService(&service);
    CWarningRecorder warnings;
    CWaveDevice device;
    DeviceSpec spec;
    spec.deviceId = service.InSimulatorId();
    spec.sampleRate = 48000;
    EXPECT_EQ(device.StartCapture(spec, nullptr), 0);
    EXPECT_EQ(warnings.m_shown, (Warnings{{"録音デバイスがオープンできません。", "Orvik"}}));
    SetWaveService(nullptr);
}

// Four seconds of the simulated station, captured through the ring in real
// time and run through the reception chain, give the time code's pulses.
TEST(SimulatedDevice, DeliversTheTimeCodeInRealTimeAndInSlotOrder) {
    CSystemWaveService service;
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
    EXPECT_TRUE(warnings.m_shown.empty());
    SetWaveService(nullptr);

    const auto posts = frame.Posts();
    ASSERT_GE(posts.size(), static_cast<std::size_t>(kBuffers));
    for (int k = 0; k < kBuffers; ++k) {
        ASSERT_EQ(posts[k].lastSlot, k);
    }
    const double period =
        std::chrono::duration<double>(posts[kBuffers - 1].time - posts[0].time).count() /
        (kBuffers - 1);
    EXPECT_NEAR(period, 0.100, 0.010);

    CPipeline pipeline;
    for (int b = 0; b < kBuffers; ++b) {
        pipeline.ProcessBuffer(device.m_inData + b * kBufferSamples, b);
    }
    ASSERT_NE(pipeline.m_sliceLevel, kSliceLevelUnset);
    // Slots before the level was set are judged from their raw amplitude,
    // later ones from the sliced train. Slots next to a change of the carrier
    // are left out: the start instant is known only to a few milliseconds.
    int checked = 0;
    int wrong = 0;
    for (int s = 0; s < kSlotsPerBuffer * kBuffers - kSlotsPerBuffer; ++s) {
        const double t = startTime + (s + 0.5) * 0.010;
        if (DistanceToEdge(t) < 0.025) {
            continue;
        }
        const bool on = s < kSliceEstimateSlots
                            ? pipeline.m_rawRow[s] >= 0.5 * pipeline.m_sliceLevel
                            : pipeline.m_correctedRow[s] != 0.0;
        wrong += on != FullCarrierAt(t);
        ++checked;
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(checked, 250);
}

}  // namespace
}  // namespace velto
