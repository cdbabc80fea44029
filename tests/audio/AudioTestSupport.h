#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "audio/Warning.h"
#include "audio/WaveDevice.h"

namespace velto {

using Warnings = std::vector<std::pair<std::string, std::string>>;

// Records the warnings shown while it lives.
class CWarningRecorder {
public:
    CWarningRecorder() {
        SetWarningFunction([this](const std::string& text, const std::string& caption) {
            m_shown.emplace_back(text, caption);
        });
    }
    ~CWarningRecorder() { SetWarningFunction({}); }
    CWarningRecorder(const CWarningRecorder&) = delete;
    CWarningRecorder& operator=(const CWarningRecorder&) = delete;

    Warnings m_shown;
};

// Stands in for the frame: records each notification with the time it came and
// the ring's last completed slot at that moment (-1 before the first).
class CNotifyRecorder : public INotifyTarget {
public:
    struct Post {
        std::chrono::steady_clock::time_point time;
        int lastSlot;
    };

    explicit CNotifyRecorder(const CWaveDevice* device = nullptr) : m_device(device) {}

    void PostCaptureData() override {
        int last = -1;
        if (m_device != nullptr) {
            last = m_device->m_inIndex - 1;
            last = last < 0 && m_device->m_inWrapped != 0 ? kRingBuffers - 1 : last;
        }
        const std::lock_guard lock(m_mutex);
        m_posts.push_back({std::chrono::steady_clock::now(), last});
        m_changed.notify_all();
    }

    int Count() const { return static_cast<int>(Posts().size()); }
    std::vector<Post> Posts() const {
        const std::lock_guard lock(m_mutex);
        return m_posts;
    }
    // True once at least n notifications have come, false after the timeout.
    bool WaitFor(int n, std::chrono::milliseconds timeout) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout,
                                  [&] { return static_cast<int>(m_posts.size()) >= n; });
    }

private:
    const CWaveDevice* m_device;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Post> m_posts;
};

}  // namespace velto
