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

    std::uint64_t Dropped() const { return m_dropped.load(std::memory_order_relaxed); }
    void CountDropped(std::size_t count) { m_dropped.fetch_add(count, std::memory_order_relaxed); }

private:
    WaveInProc m_callback;
    void* m_instance;
    std::mutex m_mutex;
    WaveHeader* m_queued = nullptr;
    std::atomic<std::uint64_t> m_dropped{0};
};

}  // namespace velto
