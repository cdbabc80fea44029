#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <tuple>

#include "audio/WaveDevice.h"
#include "tests/audio/AudioTestSupport.h"
#include "tests/support/FakeWaveService.h"

namespace velto {
namespace {

using namespace std::chrono_literals;

bool AllZero(const std::int16_t* block) {
    return std::all_of(block, block + kRingSamples, [](std::int16_t s) { return s == 0; });
}

class WaveDevice : public ::testing::Test {
protected:
    WaveDevice() { SetWaveService(&m_service); }
    ~WaveDevice() override { SetWaveService(nullptr); }

    // n buffers, the k-th filled with firstValue + k, on a driver thread.
    void Complete(int n, int firstValue = 1) {
        for (int k = 0; k < n; ++k) {
            ASSERT_TRUE(m_service.CompleteOnDriver(static_cast<std::int16_t>(firstValue + k)));
        }
    }
    std::int16_t Sample(int slot) const { return m_device.BufferSamples(slot)[0]; }
    std::tuple<int, bool, std::int64_t> Ring() const {
        return {m_device.LastBuffer(), m_device.Wrapped(), m_device.CompletedBuffers()};
    }
    std::vector<std::string> Told() {
        std::vector<std::string> told;
        for (const Warning& w : m_told) told.push_back(WarningCodeName(w.code) + (" " + w.text));
        m_told.clear();
        return told;
    }

    CFakeWaveService m_service;
    Warnings m_told;
    CWaveDevice m_device;
    CNotifyRecorder m_frame{m_device};
};

// Each completed slot carries the system time it came back at, none before.
TEST_F(WaveDevice, CaptureFillsAndStampsTheSlotsInOrderWrapsAfterEightyAndRestartsClean) {
    ASSERT_EQ(m_device.StartCapture(DeviceSpec{}, &m_frame, m_told), 1);
    EXPECT_EQ(m_service.Calls(),
              (std::vector{FakeCall::InOpen, FakeCall::InAddBuffer, FakeCall::InStart}));
    EXPECT_EQ(m_device.LastBuffer(), -1);
    const SystemTime before = SystemTime::Now();
    Complete(1);
    const SystemTime between = SystemTime::Now();
    EXPECT_EQ(m_device.LastBuffer(), 0);
    EXPECT_EQ(m_frame.Count(), 1);
    Complete(2, 2);
    const SystemTime after = SystemTime::Now();
    EXPECT_GE(m_device.BufferStamp(0), before);
    EXPECT_LE(m_device.BufferStamp(0), between);
    EXPECT_GE(m_device.BufferStamp(1), between);
    EXPECT_LE(m_device.BufferStamp(1), m_device.BufferStamp(2));
    EXPECT_LE(m_device.BufferStamp(2), after);
    EXPECT_EQ(m_device.BufferStamp(3), SystemTime{});
    Complete(kRingBuffers - 4, 4);
    EXPECT_EQ(Ring(), std::tuple(78, false, 79));
    Complete(6, kRingBuffers);  // the 80th wraps
    EXPECT_EQ(Ring(), std::tuple(4, true, 85));

    const auto posts = m_frame.Posts();
    ASSERT_EQ(posts.size(), 85u);
    for (int k = 0; k < 85; ++k) EXPECT_EQ(posts[k].lastSlot, k % kRingBuffers) << "post " << k;
    for (int slot = 0; slot < kRingBuffers; ++slot) {
        EXPECT_EQ(Sample(slot), slot < 5 ? slot + 81 : slot + 1) << "slot " << slot;
    }

    m_device.StopCapture(m_told);  // the reset hands back the queued buffer
    EXPECT_FALSE(m_device.IsCaptureOpen());
    EXPECT_EQ(m_frame.Count(), 85);
    EXPECT_EQ(m_device.LastBuffer(), 4);
    EXPECT_EQ(Sample(4), 85);
    const auto calls = m_service.Calls();
    EXPECT_EQ(std::vector(calls.end() - 2, calls.end()),
              (std::vector{FakeCall::InReset, FakeCall::InClose}));
    m_device.StopCapture(m_told);
    EXPECT_EQ(m_service.Calls().size(), calls.size());

    const std::int16_t* const block = m_device.BufferSamples(0);
    ASSERT_EQ(m_device.StartCapture(DeviceSpec{}, &m_frame, m_told), 1);
    EXPECT_EQ(m_device.BufferSamples(0), block);
    EXPECT_EQ(Ring(), std::tuple(-1, false, 0));
    EXPECT_TRUE(AllZero(block));
    Complete(1, 7);
    EXPECT_EQ(m_device.CompletedBuffers(), 1);
    EXPECT_EQ(Sample(0), 7);
    EXPECT_TRUE(m_told.empty());
}

TEST_F(WaveDevice, CaptureFailuresLeaveNothingOpenAndOnlyTheNamedErrorsShow) {
    m_device.StopCapture(m_told);
    EXPECT_TRUE(m_service.Calls().empty());
    const struct {
        FakeCall call;
        int result;
        std::vector<std::string> told;
    } cases[] = {
        {FakeCall::InOpen,
         kWaveNoDriver,
         {"capture-open-failed 録音デバイスがオープンできません。"}},
        {FakeCall::InStart, kWaveNoDriver, {"audio-error MMSYSERR_NODRIVER"}},
        {FakeCall::InStart, 11, {}},
    };
    for (const auto& c : cases) {
        m_service.SetResult(c.call, c.result);
        EXPECT_EQ(m_device.StartCapture(DeviceSpec{}, &m_frame, m_told), 0);
        EXPECT_EQ(Told(), c.told);
        EXPECT_FALSE(m_device.IsCaptureOpen());
        EXPECT_EQ(m_service.Calls().back(),
                  c.call == FakeCall::InOpen ? FakeCall::InOpen : FakeCall::InClose);
        m_service.SetResult(c.call, kWaveOk);
    }
    EXPECT_EQ(m_frame.Count(), 0);

    ASSERT_EQ(m_device.StartCapture(DeviceSpec{}, &m_frame, m_told), 1);
    Complete(1, 7);
    EXPECT_EQ(m_frame.Count(), 1);
    EXPECT_EQ(Sample(0), 7);
}

// A driver completing as fast as it can while capture starts and stops.
TEST_F(WaveDevice, NoCompletionOutlivesStopCapture) {
    std::atomic<bool> done{false};
    std::thread driver([&] {
        for (std::int16_t value = 1; !done; ++value) {
            if (!m_service.CompleteBuffer(value)) std::this_thread::yield();
        }
    });
    constexpr int kCycles = 300;
    const auto state = [&] {
        return std::tuple(m_frame.Count(), m_device.LastBuffer(), m_device.CompletedBuffers());
    };
    int late = 0;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        ASSERT_EQ(m_device.StartCapture(DeviceSpec{}, &m_frame, m_told), 1);
        m_frame.WaitFor(m_frame.Count() + 1 + cycle % 3, 50ms);
        m_device.StopCapture(m_told);
        const auto stopped = state();
        std::this_thread::sleep_for(200us);
        late += state() != stopped;
    }
    done = true;
    driver.join();
    EXPECT_EQ(late, 0);
    EXPECT_GT(m_frame.Count(), kCycles);  // completions did race the stops
    EXPECT_TRUE(m_told.empty());
}

TEST_F(WaveDevice, PlaybackBlockIsWritableWithoutADeviceAndClearedAtStart) {
    EXPECT_EQ(m_device.PlaybackBlock(), nullptr);
    ASSERT_EQ(m_device.EnsurePlaybackBlock(), 1);
    std::int16_t* const block = m_device.PlaybackBlock();
    ASSERT_NE(block, nullptr);
    std::fill(block, block + kRingSamples, std::int16_t{1234});
    ASSERT_EQ(m_device.EnsurePlaybackBlock(), 1);
    EXPECT_EQ(m_device.PlaybackBlock(), block);
    EXPECT_TRUE(m_service.Calls().empty());

    m_service.SetResult(FakeCall::OutOpen, kWaveBadDeviceId);
    EXPECT_EQ(m_device.StartPlayback(DeviceSpec{}, &m_frame, m_told), 0);
    EXPECT_EQ(Told(),
              std::vector<std::string>{"playback-open-failed 再生デバイスがオープンできません。"});
    m_device.StopPlayback(m_told);
    EXPECT_EQ(m_service.Calls(), std::vector{FakeCall::OutOpen});
    EXPECT_EQ(block[kRingSamples - 1], 1234);

    m_service.SetResult(FakeCall::OutOpen, kWaveOk);
    ASSERT_EQ(m_device.StartPlayback(DeviceSpec{}, &m_frame, m_told), 1);
    EXPECT_TRUE(m_device.IsPlaybackOpen());
    EXPECT_TRUE(AllZero(block));
    m_device.StopPlayback(m_told);
    m_device.StopPlayback(m_told);
    EXPECT_FALSE(m_device.IsPlaybackOpen());
    EXPECT_EQ(m_service.Calls(),
              (std::vector{FakeCall::OutOpen, FakeCall::OutOpen, FakeCall::OutWrite,
                           FakeCall::OutReset, FakeCall::OutClose}));
    EXPECT_EQ(m_device.PlaybackBlock(), block);
    EXPECT_TRUE(m_told.empty());
}

}  // namespace
}  // namespace velto
