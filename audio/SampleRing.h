#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace velto {

// Lock-free ring of samples for one producer thread and one consumer thread.
// Neither side blocks or allocates, so the producer may be a real-time audio
// callback. Storage is allocated once, at construction.
class CSampleRing {
public:
    // Room for at least minCapacity samples.
    explicit CSampleRing(std::size_t minCapacity);

    bool Valid() const { return m_data != nullptr; }
    // Producer: stores as many of the samples as fit; returns how many.
    std::size_t Push(const std::int16_t* samples, std::size_t count);
    // Consumer: takes up to maxCount samples; returns how many.
    std::size_t Pop(std::int16_t* out, std::size_t maxCount);
    // Either side, while the other is not running.
    void Clear();

private:
    std::size_t m_mask = 0;
    std::unique_ptr<std::int16_t[]> m_data;
    alignas(64) std::atomic<std::size_t> m_written{0};
    alignas(64) std::atomic<std::size_t> m_read{0};
};

}  // namespace velto
