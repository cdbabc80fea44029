#include "audio/WaveInQueue.h"

#include <algorithm>
#include <cstring>

namespace velto {

CWaveInQueue::CWaveInQueue(WaveInProc callback, void* instance)
    : m_callback(callback), m_instance(instance) {}

int CWaveInQueue::Add(WaveHeader* header) {
    if (header == nullptr || header->data == nullptr) {
        return kWaveError;
    }
    const std::lock_guard lock(m_mutex);
    if (m_queued != nullptr) {
        return kWaveError;
    }
    header->bytesRecorded = 0;
    header->flags &= ~kWaveHdrDone;
    header->lostAt = 0;
    header->lost = m_lostBeforeNext;
    m_lostBeforeNext = 0;
    m_queued = header;
    return kWaveOk;
}

void CWaveInQueue::Deliver(const std::int16_t* samples, std::size_t count) {
    while (count > 0) {
        WaveHeader* full = nullptr;
        {
            const std::lock_guard lock(m_mutex);
            if (m_queued == nullptr) {
                LoseLocked(count);
                return;
            }
            WaveHeader& h = *m_queued;
            const std::size_t capacity = h.bufferLength / sizeof(std::int16_t);
            const std::size_t filled =
                std::min<std::size_t>(h.bytesRecorded / sizeof(std::int16_t), capacity);
            const std::size_t n = std::min(count, capacity - filled);
            std::memcpy(h.data + filled, samples, n * sizeof(std::int16_t));
            h.bytesRecorded = static_cast<std::uint32_t>((filled + n) * sizeof(std::int16_t));
            samples += n;
            count -= n;
            if (filled + n == capacity) {
                h.flags |= kWaveHdrDone;
                full = m_queued;
                m_queued = nullptr;
            }
        }
        if (full != nullptr) {
            m_callback(m_instance, full);
        }
    }
}

void CWaveInQueue::Lose(std::uint64_t count) {
    const std::lock_guard lock(m_mutex);
    LoseLocked(count);
}

// A buffer holds one place of loss. A second loss in the same buffer takes
// the samples between the two with it, counted as lost too: the count stays
// exact at the price of a few good samples.
void CWaveInQueue::LoseLocked(std::uint64_t count) {
    if (count == 0) {
        return;
    }
    m_dropped.fetch_add(count, std::memory_order_relaxed);
    if (m_queued == nullptr) {
        m_lostBeforeNext += count;
        return;
    }
    WaveHeader& h = *m_queued;
    const std::uint32_t filled = h.bytesRecorded / sizeof(std::int16_t);
    if (h.lost == 0) {
        h.lostAt = filled;
    } else {
        h.lost += filled - h.lostAt;
        h.bytesRecorded = h.lostAt * sizeof(std::int16_t);
    }
    h.lost += count;
}

void CWaveInQueue::ReturnQueued(std::uint32_t flags) {
    WaveHeader* returned = nullptr;
    {
        const std::lock_guard lock(m_mutex);
        returned = m_queued;
        m_queued = nullptr;
    }
    if (returned != nullptr) {
        returned->flags |= kWaveHdrDone | flags;
        m_callback(m_instance, returned);
    }
}

}  // namespace velto
