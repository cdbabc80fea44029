#include <gtest/gtest.h>

#include <numeric>
#include <thread>
#include <vector>

#include "audio/SampleRing.h"
#include "audio/WaveInQueue.h"

namespace velto {
namespace {

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
