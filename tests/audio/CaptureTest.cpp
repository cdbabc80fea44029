#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "audio/WaveDevice.h"
#include "tests/audio/AudioTestSupport.h"
#include "tests/audio/FakeWaveService.h"

namespace velto {
namespace {

using namespace std::chrono_literals;

class CaptureRing : public ::testing::Test {
protected:
    CaptureRing() { SetWaveService(&m_service); }
    ~CaptureRing() override { SetWaveService(nullptr); }

    // Completes n buffers, the k-th filled with firstValue + k, on a thread of
    // its own as the driver would.
    void Complete(int n, int firstValue = 1) {
        std::thread driver([&] {
            for (int k = 0; k < n; ++k) {
                ASSERT_TRUE(m_service.CompleteBuffer(static_cast<std::int16_t>(firstValue + k)));
            }
        });
        driver.join();
    }

    std::int16_t Sample(int slot, int i = 0) const {
        return m_device.m_inData[slot * kBufferSamples + i];
    }

    CFakeWaveService m_service;
    CWarningRecorder m_warnings;
    CWaveDevice m_device;
    CNotifyRecorder m_frame{&m_device};
};

TEST_F(CaptureRing, FirstCompletionQueuesTheNextSlotThenPostsOnce) {
    ASSERT_EQ(m_device.StartCapture(DeviceSpec{}, &m_frame), 1);
    EXPECT_EQ(m_service.Calls(),
              (std::vector{FakeCall::InOpen, FakeCall::InAddBuffer, FakeCall::InStart}));
    ASSERT_NE(m_device.m_inData, nullptr);
    EXPECT_EQ(m_service.Queued(), std::vector{m_device.m_inData});
    EXPECT_EQ(m_device.m_inIndex, 0);
    EXPECT_EQ(m_device.m_inCount, 0);

    Complete(1);
    EXPECT_EQ(m_device.m_inIndex, 1);
    EXPECT_EQ(m_device.m_inCount, 1);
    EXPECT_EQ(m_device.m_inWrapped, 0);
    ASSERT_EQ(m_frame.Count(), 1);
    // Told after the successor was queued, with slot 0 as the last completed.
    EXPECT_EQ(m_frame.Posts()[0].lastSlot, 0);
    EXPECT_EQ(m_service.Queued().back(), m_device.m_inData + kBufferSamples);
    EXPECT_EQ(Sample(0, 0), 1);
    EXPECT_EQ(Sample(0, kBufferSamples - 1), 1);
    EXPECT_EQ(Sample(1, 0), 0);
    EXPECT_TRUE(m_warnings.m_shown.empty());
}

TEST_F(CaptureRing, FillsTheSlotsInOrderAndWrapsAfterEighty) {
    ASSERT_EQ(m_device.StartCapture(DeviceSpec{}, &m_frame), 1);
    Complete(kRingBuffers - 1);
    EXPECT_EQ(m_device.m_inIndex, 79);
    EXPECT_EQ(m_device.m_inCount, 79);
    EXPECT_EQ(m_device.m_inWrapped, 0);

    Complete(1, kRingBuffers);
    EXPECT_EQ(m_device.m_inIndex, 0);
    EXPECT_EQ(m_device.m_inWrapped, 1);
    EXPECT_EQ(m_device.m_inCount, 79);
    EXPECT_EQ(m_frame.Posts().back().lastSlot, 79);

    Complete(5, kRingBuffers + 1);
    EXPECT_EQ(m_device.m_inIndex, 5);
    EXPECT_EQ(m_device.m_inCount, 79);
    EXPECT_EQ(m_device.m_inWrapped, 1);

    const auto posts = m_frame.Posts();
    ASSERT_EQ(posts.size(), 85u);
    for (int k = 0; k < 85; ++k) {
        EXPECT_EQ(posts[k].lastSlot, k % kRingBuffers) << "post " << k;
    }
    for (int slot = 0; slot < kRingBuffers; ++slot) {
        const int expected = slot < 5 ? slot + 81 : slot + 1;
        EXPECT_EQ(Sample(slot), expected) << "slot " << slot;
    }
}

TEST_F(CaptureRing, StopPostsNothingForTheReturnedBufferAndKeepsTheRingReadable) {
    ASSERT_EQ(m_device.StartCapture(DeviceSpec{}, &m_frame), 1);
    Complete(3);
    m_device.StopCapture();
    EXPECT_FALSE(m_device.IsCaptureOpen());
    EXPECT_EQ(m_frame.Count(), 3);
    EXPECT_EQ(m_device.m_inIndex, 3);
    EXPECT_EQ(m_device.m_inCount, 3);
    EXPECT_EQ(Sample(2), 3);
    // Nothing re-queued after the reset: the last queue call was the one
    // that followed the third completion.
    EXPECT_EQ(m_service.Queued().size(), 4u);
    EXPECT_FALSE(m_service.CompleteBuffer(9));

    const auto calls = m_service.Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2], FakeCall::InReset);
    EXPECT_EQ(calls.back(), FakeCall::InClose);
    m_device.StopCapture();
    EXPECT_EQ(m_service.Calls().size(), calls.size());
    EXPECT_TRUE(m_warnings.m_shown.empty());
}

TEST_F(CaptureRing, StopThenStartResetsTheCountersAndClearsTheSameBlock) {
    ASSERT_EQ(m_device.StartCapture(DeviceSpec{}, &m_frame), 1);
    Complete(kRingBuffers + 2);
    m_device.StopCapture();
    std::int16_t* const block = m_device.m_inData;

    ASSERT_EQ(m_device.StartCapture(DeviceSpec{}, &m_frame), 1);
    EXPECT_EQ(m_device.m_inData, block);
    EXPECT_EQ(m_device.m_inIndex, 0);
    EXPECT_EQ(m_device.m_inWrapped, 0);
    EXPECT_EQ(m_device.m_inCount, 0);
    EXPECT_TRUE(std::all_of(block, block + kRingSamples, [](std::int16_t s) { return s == 0; }));
    EXPECT_EQ(m_service.Queued().back(), block);
    Complete(1);
    EXPECT_EQ(m_device.m_inCount, 1);
    m_device.StopCapture();
}

TEST_F(CaptureRing, StopWithNothingOpenDoesNothing) {
    m_device.StopCapture();
    EXPECT_TRUE(m_service.Calls().empty());
    EXPECT_TRUE(m_warnings.m_shown.empty());
    EXPECT_EQ(m_device.m_inData, nullptr);
}

TEST_F(CaptureRing, OpenFailureTellsTheUserAndLeavesNothingOpen) {
    m_service.SetResult(FakeCall::InOpen, kWaveNoDriver);
    EXPECT_EQ(m_device.StartCapture(DeviceSpec{}, &m_frame), 0);
    EXPECT_EQ(m_warnings.m_shown, (Warnings{{"録音デバイスがオープンできません。", "Orvik"}}));
    EXPECT_FALSE(m_device.IsCaptureOpen());
    m_device.StopCapture();
    EXPECT_EQ(m_service.Calls(), std::vector{FakeCall::InOpen});
}

TEST_F(CaptureRing, StartFailureIsReportedForTheNamedErrorsOnlyAndClosesTheDevice) {
    m_service.SetResult(FakeCall::InStart, kWaveNoDriver);
    EXPECT_EQ(m_device.StartCapture(DeviceSpec{}, &m_frame), 0);
    EXPECT_EQ(m_warnings.m_shown, (Warnings{{"MMSYSERR_NODRIVER", "Quelmo"}}));
    EXPECT_FALSE(m_device.IsCaptureOpen());
    EXPECT_EQ(m_service.Calls().back(), FakeCall::InClose);

    m_warnings.m_shown.clear();
    m_service.SetResult(FakeCall::InStart, 11);
    EXPECT_EQ(m_device.StartCapture(DeviceSpec{}, &m_frame), 0);
    EXPECT_TRUE(m_warnings.m_shown.empty());
    EXPECT_FALSE(m_device.IsCaptureOpen());
    EXPECT_FALSE(m_service.CompleteBuffer(1));
    EXPECT_EQ(m_frame.Count(), 0);
}

TEST_F(CaptureRing, FailingResetAndCloseAreReportedAndTheDeviceIsStillClosed) {
    ASSERT_EQ(m_device.StartCapture(DeviceSpec{}, &m_frame), 1);
    m_service.SetResult(FakeCall::InReset, kWaveInvalidHandle);
    m_service.SetResult(FakeCall::InClose, kWaveNoMemory);
    m_device.StopCapture();
    EXPECT_EQ(m_warnings.m_shown,
              (Warnings{{"MMSYSERR_INVALHANDLE", "Quelmo"}, {"MMSYSERR_NOMEM", "Quelmo"}}));
    EXPECT_FALSE(m_device.IsCaptureOpen());
}

TEST(ReportWaveError, ShowsTheThreeNamedErrorsUnderQuelmoAndNothingElse) {
    CWarningRecorder warnings;
    for (int result : {0, 1, 2, 4, 5, 6, 7, 8, 32}) {
        CWaveDevice::ReportWaveError(result);
    }
    EXPECT_EQ(warnings.m_shown, (Warnings{{"MMSYSERR_INVALHANDLE", "Quelmo"},
                                          {"MMSYSERR_NODRIVER", "Quelmo"},
                                          {"MMSYSERR_NOMEM", "Quelmo"}}));
}

// A driver completing buffers as fast as it can while the window thread starts
// and stops capture: once StopCapture has returned, nothing of the old stream
// may reach the device or the frame.
TEST_F(CaptureRing, NoCompletionOutlivesStopCapture) {
    std::atomic<bool> done{false};
    std::thread driver([&] {
        std::int16_t value = 1;
        while (!done) {
            if (!m_service.CompleteBuffer(value++)) {
                std::this_thread::yield();
            }
        }
    });
    constexpr int kCycles = 300;
    int late = 0;
    int postsSeen = 0;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        const int before = m_frame.Count();
        ASSERT_EQ(m_device.StartCapture(DeviceSpec{}, &m_frame), 1);
        // Let at least one completion through on most cycles.
        m_frame.WaitFor(before + 1 + cycle % 3, 50ms);
        m_device.StopCapture();
        const int posts = m_frame.Count();
        const int index = m_device.m_inIndex;
        const int count = m_device.m_inCount;
        postsSeen += posts - before;
        for (int spin = 0; spin < 20; ++spin) {
            std::this_thread::yield();
        }
        if (m_frame.Count() != posts || m_device.m_inIndex != index ||
            m_device.m_inCount != count) {
            ++late;
        }
    }
    done = true;
    driver.join();
    EXPECT_EQ(late, 0);
    EXPECT_GT(postsSeen, kCycles);
    EXPECT_TRUE(m_warnings.m_shown.empty());
}

}  // namespace
}  // namespace velto
