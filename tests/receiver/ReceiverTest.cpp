#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <semaphore>
#include <string>
#include <thread>
#include <vector>

#include "receiver/Receiver.h"
#include "tests/audio/FakeWaveService.h"

namespace {

using velto::kBufferSamples;

struct NoPost : velto::INotifyTarget {
    void PostCaptureData() override {}
};

// Keeps what the receiver tells: the input in order, the warnings, the
// buffers the chain processed.
struct Log : velto::IReceiverObserver {
    void OnBufferProcessed(int b, int) override { processed.push_back(b); }
    void OnInput(std::int64_t first, const std::int16_t* samples, std::size_t n) override {
        const std::lock_guard lock(mutex);
        for (std::size_t i = 0; i < n; ++i) {
            if (first + static_cast<std::int64_t>(i) != next) {
                jumps.emplace_back(next, first + static_cast<std::int64_t>(i));
            }
            next = first + static_cast<std::int64_t>(i) + 1;
            if (i == 0 || samples[i] != samples[i - 1]) values.push_back(samples[i]);
        }
    }
    void OnWarning(const velto::ReceiverWarning& w) override { warnings.push_back(w.code); }
    void OnRecordingChanged(bool on) override { recording.push_back(on); }

    std::mutex mutex;
    std::int64_t next = 0;
    std::vector<std::pair<std::int64_t, std::int64_t>> jumps;  // expected, got
    std::vector<std::int16_t> values;  // each buffer is one value: one entry per buffer
    std::vector<int> processed;
    std::vector<std::string> warnings;
    std::vector<bool> recording;
};

class ReceiverTest : public ::testing::Test {
protected:
    ReceiverTest() {
        velto::SetWaveService(&m_service);
        m_receiver.AddObserver(&m_log);
        m_receiver.SetAutoMonitor(false);  // the monitor's own test turns it on
    }
    ~ReceiverTest() override {
        m_receiver.Stop();
        velto::SetWaveService(nullptr);
    }
    // Buffers completed on a driver thread, with no cycle in between.
    void Complete(int from, int to) {
        std::thread([&] {
            for (int k = from; k < to; ++k) ASSERT_TRUE(m_service.CompleteBuffer(Value(k)));
        }).join();
    }
    static std::int16_t Value(int k) { return static_cast<std::int16_t>(k + 1); }

    velto::CFakeWaveService m_service;
    NoPost m_post;
    velto::CReceiver m_receiver{m_post};
    Log m_log;
};

TEST_F(ReceiverTest, APileUpOfNotificationsSkipsBuffersForTheChainButNotForTheDecoder) {
    ASSERT_EQ(m_receiver.Start({}, {}), 1);
    Complete(0, 10);
    m_receiver.OnCaptureData();  // ten notifications piled up: one handled
    Complete(10, 12);
    m_receiver.OnCaptureData();
    m_receiver.OnCaptureData();  // the second one finds nothing new for the decoder
    EXPECT_EQ(m_log.processed, (std::vector<int>{9, 11, 11}));
    std::vector<std::int16_t> expected;
    for (int k = 0; k < 12; ++k) expected.push_back(Value(k));
    EXPECT_EQ(m_log.values, expected);
    EXPECT_TRUE(m_log.jumps.empty());
    EXPECT_EQ(m_log.next, 12 * kBufferSamples);
    EXPECT_TRUE(m_log.warnings.empty());
}

// The player reads buffer b's block about 100 ms after the cycle wrote it. A
// cycle that comes after the player reached the block, or that skipped the
// buffer, lets it sound what the block held 8 s before: reported, since the
// ear cannot tell.
TEST_F(ReceiverTest, AToneWrittenAfterThePlayerReachedItsBlockIsReportedLate) {
    using velto::kRingSamples;
    m_receiver.SetAutoMonitor(true);
    ASSERT_EQ(m_receiver.Start({}, {}), 1);
    Complete(0, 2);
    m_receiver.OnCaptureData();  // buffer 1 opens the monitor
    ASSERT_TRUE(m_receiver.m_wave.IsPlaybackOpen());
    // Where the player is when buffer b is handled, from the block's start.
    const std::int64_t offsets[] = {-4800, -1, 0, 9599, 25000, -kRingSamples / 2 + 1};
    const bool late[] = {false, false, true, true, true, false};
    std::size_t expected = 0;
    for (int k = 2; k < 2 + 84; ++k) {  // through the ring's wrap
        const std::size_t i = static_cast<std::size_t>(k) % std::size(offsets);
        const std::int64_t start = std::int64_t{k % velto::kRingBuffers} * kBufferSamples;
        m_service.m_outPosition = (start + offsets[i] + kRingSamples) % kRingSamples;
        Complete(k, k + 1);
        m_receiver.OnCaptureData();
        expected += late[i] ? 1 : 0;
        ASSERT_EQ(m_log.warnings.size(), expected) << "buffer " << k << ", offset " << offsets[i];
    }
    // Two buffers in one cycle: the first one's tone is never written.
    m_service.m_outPosition = -1;
    Complete(86, 88);
    m_receiver.OnCaptureData();
    EXPECT_EQ(m_log.warnings.size(), expected + 1);
    EXPECT_EQ(m_log.warnings.back(), "monitor_late");
    // A monitor switched on by hand plays at any distance from the capture.
    m_receiver.ToggleMonitor({});
    m_receiver.ToggleMonitor({});
    m_service.m_outPosition = 0;
    Complete(88, 90);
    m_receiver.OnCaptureData();
    EXPECT_EQ(m_log.warnings.size(), expected + 1);
}

TEST_F(ReceiverTest, FallingMoreThanSeventyNineBuffersBehindIsAGapTheDecoderIsTold) {
    ASSERT_EQ(m_receiver.Start({}, {}), 1);
    Complete(0, 79);
    m_receiver.OnCaptureData();  // exactly 79 behind: all still in the ring
    EXPECT_TRUE(m_log.jumps.empty());
    Complete(79, 79 + 85);
    m_receiver.OnCaptureData();
    ASSERT_EQ(m_log.jumps.size(), 1U);
    // Buffers 79..84 were overwritten; 85..163 are read, in order.
    EXPECT_EQ(m_log.jumps[0],
              std::make_pair(std::int64_t{79} * kBufferSamples, std::int64_t{85} * kBufferSamples));
    EXPECT_EQ(m_log.values.back(), Value(163));
    EXPECT_EQ(m_log.values[79], Value(85));
    EXPECT_EQ(m_log.warnings, std::vector<std::string>{"decoder_gap"});
    // A new run counts from 0 again.
    m_receiver.Stop();
    ASSERT_EQ(m_receiver.Start({}, {}), 1);
    m_log.next = 0;
    m_log.jumps.clear();
    Complete(0, 1);
    m_receiver.OnCaptureData();
    EXPECT_TRUE(m_log.jumps.empty());
    EXPECT_EQ(m_log.next, kBufferSamples);
}

// A writer that takes `room` samples and then reports a full disk, or that
// hangs in its first write until `release` is given.
class CFakeWriter : public velto::ISampleWriter {
public:
    CFakeWriter(std::size_t room, std::shared_ptr<std::binary_semaphore> release = {})
        : m_room(room), m_release(std::move(release)) {}
    bool Write(const std::int16_t*, std::size_t n, std::string* error) override {
        if (m_release) m_release->acquire();
        m_release.reset();
        if (n > m_room) {
            *error = "writing x.wav failed (No space left on device).";
            return false;
        }
        m_room -= n;
        return true;
    }
    void Close() override {}

private:
    std::size_t m_room;
    std::shared_ptr<std::binary_semaphore> m_release;
};

TEST_F(ReceiverTest, AFullDiskEndsTheRecordingWithAWarningAndReceptionGoesOn) {
    std::string error;
    ASSERT_TRUE(
        m_receiver.StartRecording(std::make_unique<CFakeWriter>(5 * kBufferSamples), &error));
    ASSERT_EQ(m_receiver.Start({}, {}), 1);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int k = 0;
    while (m_receiver.IsRecording() && std::chrono::steady_clock::now() < deadline) {
        Complete(k, k + 1);
        m_receiver.OnCaptureData();
        ++k;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_FALSE(m_receiver.IsRecording());
    EXPECT_GT(k, 5);
    EXPECT_EQ(m_log.warnings, std::vector<std::string>{"recording_stopped"});
    EXPECT_EQ(m_log.recording, (std::vector<bool>{true, false}));
    Complete(k, k + 3);
    m_receiver.OnCaptureData();
    EXPECT_EQ(m_log.next, (k + 3) * kBufferSamples);
    EXPECT_EQ(m_receiver.m_bReceiving, 1);
}

TEST_F(ReceiverTest, AWriterThatHangsNeverHoldsUpCapture) {
    const auto release = std::make_shared<std::binary_semaphore>(0);
    std::string error;
    ASSERT_TRUE(
        m_receiver.StartRecording(std::make_unique<CFakeWriter>(~std::size_t{0}, release), &error));
    ASSERT_EQ(m_receiver.Start({}, {}), 1);
    // The ring holds at least 4 s and less than twice that.
    const int buffers = velto::CRecorder::kRingSeconds * 10 * 2 + 10;
    for (int k = 0; k < buffers; ++k) {
        Complete(k, k + 1);
        m_receiver.OnCaptureData();
    }
    EXPECT_FALSE(m_receiver.IsRecording());
    EXPECT_EQ(m_log.warnings, std::vector<std::string>{"recording_stopped"});
    EXPECT_EQ(m_log.next, std::int64_t{buffers} * kBufferSamples);
    release->release();
}

}  // namespace
