#include "audio/PacedWaveIn.h"

#include <algorithm>
#include <new>
#include <system_error>

#include "base/CaptureFormat.h"

namespace velto {
namespace {

constexpr std::chrono::milliseconds kBufferPeriod(kBufferMs);

}  // namespace

CPacedWaveIn::CPacedWaveIn(WaveInProc callback, void* instance, int rate)
    : m_queue(callback, instance),
      m_bufferSamples(static_cast<std::size_t>(CaptureFormat{rate}.BufferSamples())),
      m_samples(new (std::nothrow) std::int16_t[m_bufferSamples]) {}

bool CPacedWaveIn::FormatFits(const WaveFormat& format) {
    return format.channels == 1 && format.bitsPerSample == kBitsPerSample &&
           CaptureFormat::ForRate(format.samplesPerSec).has_value();
}

int CPacedWaveIn::AddBuffer(WaveHeader* header) {
    return m_open ? m_queue.Add(header) : kWaveInvalidHandle;
}

int CPacedWaveIn::Start() {
    if (!m_open) {
        return kWaveInvalidHandle;
    }
    if (m_running) {
        return kWaveOk;
    }
    OnStart();
    m_stop = false;
    try {
        m_thread = std::thread(&CPacedWaveIn::Run, this, std::chrono::steady_clock::now());
    } catch (const std::system_error&) {
        return kWaveNoMemory;
    }
    m_running = true;
    return kWaveOk;
}

// Buffer k is filled ahead and delivered once the k-th 100 ms after the start
// are over; a part-buffer at the end is filled up with silence, and the
// queued buffer then goes back marked as the end.
void CPacedWaveIn::Run(std::chrono::steady_clock::time_point start) {
    for (std::int64_t k = 1;; ++k) {
        std::size_t n = 0;
        while (n < m_bufferSamples) {
            const std::size_t got = Fill(m_samples.get() + n, m_bufferSamples - n);
            if (got == 0) {
                break;
            }
            n += got;
        }
        if (n == 0) {
            m_queue.ReturnQueued(kWaveHdrEnd);
            return;
        }
        std::fill(m_samples.get() + n, m_samples.get() + m_bufferSamples, std::int16_t{0});
        {
            std::unique_lock lock(m_wakeMutex);
            if (m_wake.wait_until(lock, start + k * kBufferPeriod, [this] { return m_stop; })) {
                return;
            }
        }
        m_queue.Deliver(m_samples.get(), m_bufferSamples);
    }
}

void CPacedWaveIn::Halt() {
    if (!m_running) {
        return;
    }
    {
        const std::lock_guard lock(m_wakeMutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
    m_running = false;
}

int CPacedWaveIn::Reset() {
    if (!m_open) {
        return kWaveInvalidHandle;
    }
    Halt();
    m_queue.ReturnQueued();
    return kWaveOk;
}

int CPacedWaveIn::Close() {
    if (!m_open) {
        return kWaveInvalidHandle;
    }
    Halt();
    OnClose();
    m_open = false;
    return kWaveOk;
}

}  // namespace velto
