#include "audio/SampleRing.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

namespace velto {

CSampleRing::CSampleRing(std::size_t minCapacity) {
    const std::size_t capacity = std::bit_ceil(std::max<std::size_t>(minCapacity, 2));
    m_data.reset(new (std::nothrow) std::int16_t[capacity]);
    m_mask = m_data ? capacity - 1 : 0;
}

std::size_t CSampleRing::Push(const std::int16_t* samples, std::size_t count) {
    if (!m_data) {
        return 0;
    }
    const std::size_t written = m_written.load(std::memory_order_relaxed);
    const std::size_t read = m_read.load(std::memory_order_acquire);
    const std::size_t n = std::min(count, m_mask + 1 - (written - read));
    const std::size_t at = written & m_mask;
    const std::size_t first = std::min(n, m_mask + 1 - at);
    std::memcpy(m_data.get() + at, samples, first * sizeof(std::int16_t));
    std::memcpy(m_data.get(), samples + first, (n - first) * sizeof(std::int16_t));
    m_written.store(written + n, std::memory_order_release);
    return n;
}

std::size_t CSampleRing::Pop(std::int16_t* out, std::size_t maxCount) {
    if (!m_data) {
        return 0;
    }
    const std::size_t read = m_read.load(std::memory_order_relaxed);
    const std::size_t written = m_written.load(std::memory_order_acquire);
    const std::size_t n = std::min(maxCount, written - read);
    const std::size_t at = read & m_mask;
    const std::size_t first = std::min(n, m_mask + 1 - at);
    std::memcpy(out, m_data.get() + at, first * sizeof(std::int16_t));
    std::memcpy(out + first, m_data.get(), (n - first) * sizeof(std::int16_t));
    m_read.store(read + n, std::memory_order_release);
    return n;
}

void CSampleRing::Clear() {
    m_read.store(m_written.load(std::memory_order_acquire), std::memory_order_release);
}

}  // namespace velto
