#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/WaveDevice.h"

namespace velto {

// Stands in for the frame: logs each notification, copies its buffer, may stall once.
class CNotifyRecorder : public INotifyTarget {
public:
    struct Post {
        std::chrono::steady_clock::time_point time;
        int lastSlot;
        std::uint64_t dropped;
    };

    explicit CNotifyRecorder(const CWaveDevice& device, int stallAt = -1,
                             std::chrono::milliseconds stall = {})
        : m_device(device), m_stallAt(stallAt), m_stall(stall) {}

    void PostCaptureData() override {
        const int last = m_device.LastBuffer();
        std::unique_lock lock(m_mutex);
        m_posts.push_back({std::chrono::steady_clock::now(), last, m_device.DroppedSamples()});
        if (last >= 0) {
            const std::int16_t* buffer = m_device.BufferSamples(last);
            m_samples.insert(m_samples.end(), buffer, buffer + kBufferSamples);
        }
        m_changed.notify_all();
        if (static_cast<int>(m_posts.size()) == m_stallAt) {
            lock.unlock();
            std::this_thread::sleep_for(m_stall);
        }
    }
    void PostCaptureLost() override {
        const std::lock_guard lock(m_mutex);
        ++m_losses;
        m_changed.notify_all();
    }

    int Count() const { return static_cast<int>(Posts().size()); }
    std::vector<Post> Posts() const {
        const std::lock_guard lock(m_mutex);
        return m_posts;
    }
    std::vector<std::int16_t> Samples() const {
        const std::lock_guard lock(m_mutex);
        return m_samples;
    }
    int Losses() const {
        const std::lock_guard lock(m_mutex);
        return m_losses;
    }
    // Whether n notifications (n = 0: a loss) came before the timeout.
    bool WaitFor(int n, std::chrono::milliseconds timeout) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] {
            return n > 0 ? static_cast<int>(m_posts.size()) >= n : m_losses > 0;
        });
    }

private:
    const CWaveDevice& m_device;
    const int m_stallAt;
    const std::chrono::milliseconds m_stall;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Post> m_posts;
    std::vector<std::int16_t> m_samples;
    int m_losses = 0;
};

}  // namespace velto
