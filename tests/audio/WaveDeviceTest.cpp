#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <numeric>
#include <thread>
#include <tuple>

#include "audio/SampleRing.h"
#include "audio/WaveDevice.h"
#include "audio/WaveInQueue.h"
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

// Three buffers of ten samples, each re-queued by the callback as the ring does.
struct Requeuer {
    std::vector<std::int16_t> block = std::vector<std::int16_t>(30);
    std::vector<WaveHeader> headers = std::vector<WaveHeader>(3);
    std::vector<int> returned;
    CWaveInQueue queue{&Requeuer::Callback, this};

    Requeuer() {
        for (int k = 0; k < 3; ++k) {
            headers[k].data = block.data() + 10 * k;
            headers[k].bufferLength = 10 * sizeof(std::int16_t);
        }
    }
    static void Callback(void* instance, WaveHeader* header) {
        auto* self = static_cast<Requeuer*>(instance);
        const int k = static_cast<int>(header - self->headers.data());
        self->returned.push_back(k);
        if (k + 1 < 3) self->queue.Add(&self->headers[k + 1]);
    }
};

TEST(WaveInQueue, FillsBuffersAcrossDeliveriesAndDropsWhatFindsNoBuffer) {
    Requeuer r;
    std::vector<std::int16_t> samples(40);
    std::iota(samples.begin(), samples.end(), std::int16_t{1});
    r.queue.Deliver(samples.data(), 4);  // nothing queued yet
    EXPECT_EQ(r.queue.Dropped(), 4u);

    ASSERT_EQ(r.queue.Add(&r.headers[0]), kWaveOk);
    EXPECT_NE(r.queue.Add(&r.headers[1]), kWaveOk);  // one at a time
    r.queue.Deliver(samples.data(), 7);
    r.queue.Deliver(samples.data() + 7, 18);  // completes buffer 0, straddles into 1, then 2
    EXPECT_EQ(r.returned, (std::vector{0, 1}));
    std::vector<std::int16_t> expected(samples.begin(), samples.begin() + 25);
    expected.resize(30);
    EXPECT_EQ(r.block, expected);

    r.queue.ReturnQueued();  // a reset hands back the partial buffer
    EXPECT_EQ(r.returned, (std::vector{0, 1, 2}));
    EXPECT_EQ(r.headers[2].bytesRecorded, 10u);
    EXPECT_TRUE(r.headers[2].flags & kWaveHdrDone);
    r.queue.Deliver(samples.data(), 3);
    EXPECT_EQ(r.queue.Dropped(), 7u);
}

TEST(SampleRing, CarriesASequenceBetweenTwoThreadsInOrder) {
    CSampleRing ring(1000);
    ASSERT_TRUE(ring.Valid());
    std::vector<std::int16_t> chunk(1500, 7);
    EXPECT_EQ(ring.Push(chunk.data(), chunk.size()), 1024u);  // full at its capacity
    ring.Clear();

    constexpr int kTotal = 300000;
    std::thread producer([&] {
        std::vector<std::int16_t> out(97);
        for (int next = 0; next < kTotal;) {
            const int n = std::min<int>(97, kTotal - next);
            for (int i = 0; i < n; ++i) out[i] = static_cast<std::int16_t>(next + i);
            next += static_cast<int>(ring.Push(out.data(), n));
        }
    });
    std::vector<std::int16_t> in(200);
    int wrong = 0;
    for (int received = 0; received < kTotal;) {
        const std::size_t n = ring.Pop(in.data(), in.size());
        for (std::size_t i = 0; i < n; ++i) {
            wrong += in[i] != static_cast<std::int16_t>(received + static_cast<int>(i));
        }
        received += static_cast<int>(n);
    }
    producer.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(ring.Pop(in.data(), in.size()), 0u);
}

}  // namespace
}  // namespace velto
