#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "audio/WaveService.h"

namespace velto {

// The one queued buffer of a capture stream: samples delivered by the stream
// fill it, a full buffer goes back through the stream's callback (which may
// queue the next one at once), and samples that find no buffer are dropped.
// Each buffer tells where samples were lost in it and how many, so that the
// running index of every sample after a loss stays exact.
class CWaveInQueue {
public:
    CWaveInQueue(WaveInProc callback, void* instance);

    // From any thread, also from within the callback.
    int Add(WaveHeader* header);
    // From the stream's one delivering thread.
    void Deliver(const std::int16_t* samples, std::size_t count);
    // Hands the queued buffer back as it is (a reset, or with kWaveHdrLost a
    // lost device); nothing if none.
    void ReturnQueued(std::uint32_t flags = 0);

    // From the delivering thread: `count` samples were lost at this point of
    // the stream. The queued buffer (or the next one) marks the place.
    void Lose(std::uint64_t count);

    std::uint64_t Dropped() const { return m_dropped.load(std::memory_order_relaxed); }

private:
    void LoseLocked(std::uint64_t count);

    WaveInProc m_callback;
    void* m_instance;
    std::mutex m_mutex;
    WaveHeader* m_queued = nullptr;
    // Lost while no buffer was queued: before the next one's first sample.
    std::uint64_t m_lostBeforeNext = 0;
    std::atomic<std::uint64_t> m_dropped{0};
};

}  // namespace velto
