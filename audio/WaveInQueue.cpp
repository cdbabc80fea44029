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
    m_queued = header;
    return kWaveOk;
}

void CWaveInQueue::Deliver(const std::int16_t* samples, std::size_t count) {
    while (count > 0) {
        WaveHeader* full = nullptr;
        {
            const std::lock_guard lock(m_mutex);
            if (m_queued == nullptr) {
                CountDropped(count);
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
