#include "audio/FileWaveIn.h"

#include <algorithm>
#include <new>
#include <system_error>

#include "dsp/Constants.h"

namespace velto {
namespace {

constexpr std::chrono::milliseconds kBufferPeriod(kBufferMs);

}  // namespace

CFileWaveIn::CFileWaveIn(WaveInProc callback, void* instance)
    : m_queue(callback, instance), m_samples(new (std::nothrow) std::int16_t[kBufferSamples]) {}

int CFileWaveIn::Open(std::unique_ptr<IWaveIn>* handle, const std::string& path,
                      const WaveFormat& format, WaveInProc callback, void* instance) {
    if (format.channels != 1 || format.bitsPerSample != kBitsPerSample ||
        format.samplesPerSec != static_cast<std::uint32_t>(kSampleRate)) {
        return kWaveBadFormat;
    }
    std::unique_ptr<CFileWaveIn> stream(new (std::nothrow) CFileWaveIn(callback, instance));
    if (!stream || !stream->m_samples) {
        return kWaveNoMemory;
    }
    std::string error;
    if (!stream->m_reader.Open(path, &error)) {
        return kWaveError;
    }
    *handle = std::move(stream);
    return kWaveOk;
}

CFileWaveIn::~CFileWaveIn() { Halt(); }

int CFileWaveIn::AddBuffer(WaveHeader* header) {
    return m_open ? m_queue.Add(header) : kWaveInvalidHandle;
}

int CFileWaveIn::Start() {
    if (!m_open) {
        return kWaveInvalidHandle;
    }
    if (m_running) {
        return kWaveOk;
    }
    m_stop = false;
    try {
        m_thread = std::thread(&CFileWaveIn::Run, this, std::chrono::steady_clock::now());
    } catch (const std::system_error&) {
        return kWaveNoMemory;
    }
    m_running = true;
    return kWaveOk;
}

// Buffer k is read ahead and delivered when its 100 ms are over; a late
// wake-up catches up rather than drifting.
void CFileWaveIn::Run(std::chrono::steady_clock::time_point start) {
    for (std::int64_t k = 1;; ++k) {
        std::size_t n = 0;
        while (n < static_cast<std::size_t>(kBufferSamples)) {
            const std::size_t got = m_reader.Read(m_samples.get() + n, kBufferSamples - n);
            if (got == 0) {
                break;
            }
            n += got;
        }
        if (n == 0) {
            return;
        }
        std::fill(m_samples.get() + n, m_samples.get() + kBufferSamples, std::int16_t{0});
        {
            std::unique_lock lock(m_wakeMutex);
            if (m_wake.wait_until(lock, start + k * kBufferPeriod, [this] { return m_stop; })) {
                return;
            }
        }
        m_queue.Deliver(m_samples.get(), kBufferSamples);
    }
}

void CFileWaveIn::Halt() {
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

int CFileWaveIn::Reset() {
    if (!m_open) {
        return kWaveInvalidHandle;
    }
    Halt();
    m_queue.ReturnQueued();
    return kWaveOk;
}

int CFileWaveIn::Close() {
    if (!m_open) {
        return kWaveInvalidHandle;
    }
    Halt();
    m_reader.Close();
    m_open = false;
    return kWaveOk;
}

}  // namespace velto
