#include "audio/PortAudioWaveIn.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <system_error>

#include "audio/PortAudioResult.h"
#include "base/Geometry.h"

namespace velto {
namespace {

// The ring holds a second of samples at the stream's rate: far more than a
// poll period, so the real-time side never finds it full while the stream's
// thread runs.
constexpr auto kPollPeriod = std::chrono::milliseconds(5);
// A device that delivered nothing for this long is gone. Sound servers may
// take more than a second to deliver the first samples of a stream.
constexpr auto kStallLimit = std::chrono::seconds(1);
constexpr auto kFirstSamplesLimit = std::chrono::seconds(3);
// Of the time between two looks at the device, at most this much counts as
// the device's silence: a watcher that was itself held up (a loaded machine,
// a stopped process) has not seen the device fail, and after such a pause
// PortAudio's thread needs its turn to catch up.
constexpr auto kLongestCountedPoll = std::chrono::milliseconds(50);

}  // namespace

CPortAudioWaveIn::CPortAudioWaveIn(WaveInProc callback, void* instance, double sampleRate)
    : m_queue(callback, instance),
      m_ring(static_cast<std::size_t>(sampleRate)),
      m_sampleRate(sampleRate) {}

int CPortAudioWaveIn::Open(std::unique_ptr<IWaveIn>* handle, PaDeviceIndex device,
                           const WaveFormat& format, WaveInProc callback, void* instance) {
    if (format.channels != 1 || format.bitsPerSample != 16) {
        return kWaveBadFormat;
    }
    const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
    if (info == nullptr) {
        return kWaveBadDeviceId;
    }
    std::unique_ptr<CPortAudioWaveIn> stream(
        new (std::nothrow) CPortAudioWaveIn(callback, instance, format.samplesPerSec));
    if (!stream || !stream->m_ring.Valid()) {
        return kWaveNoMemory;
    }
    const PaStreamParameters input{device, 1, paInt16, info->defaultHighInputLatency, nullptr};
    const PaError error = Pa_OpenStream(&stream->m_stream, &input, nullptr, format.samplesPerSec,
                                        paFramesPerBufferUnspecified, paNoFlag,
                                        &CPortAudioWaveIn::OnAudio, stream.get());
    if (error != paNoError) {
        stream->m_stream = nullptr;
        return WaveResultFromPortAudio(error);
    }
    Pa_SetStreamFinishedCallback(stream->m_stream, &CPortAudioWaveIn::OnFinished);
    CountStreamOpened();
    *handle = std::move(stream);
    return kWaveOk;
}

CPortAudioWaveIn::~CPortAudioWaveIn() {
    if (m_stream != nullptr) {
        Close();
    }
}

int CPortAudioWaveIn::OnAudio(const void* input, void*, unsigned long frames,
                              const PaStreamCallbackTimeInfo* time, PaStreamCallbackFlags flags,
                              void* self) {
    auto* stream = static_cast<CPortAudioWaveIn*>(self);
    // PortAudio flags an overrun but does not say how much was lost; the
    // card's clock tells how far this buffer starts after the last one ended.
    const double adcTime = time != nullptr ? time->inputBufferAdcTime : 0.0;
    if ((flags & paInputOverflow) != 0 && adcTime > 0.0 && stream->m_nextAdcTime > 0.0) {
        const double lost = (adcTime - stream->m_nextAdcTime) * stream->m_sampleRate;
        if (lost >= 1.0) {
            stream->RecordLoss(stream->m_pushed, static_cast<std::uint64_t>(lost + 0.5));
        }
    }
    stream->m_nextAdcTime =
        adcTime > 0.0 ? adcTime + static_cast<double>(frames) / stream->m_sampleRate : 0.0;
    stream->m_framesIn.fetch_add(frames, std::memory_order_relaxed);
    if (input != nullptr) {
        const std::size_t pushed =
            stream->m_ring.Push(static_cast<const std::int16_t*>(input), frames);
        stream->m_pushed += pushed;
        if (pushed < frames) {
            stream->RecordLoss(stream->m_pushed, frames - pushed);
        }
    }
    return paContinue;
}

int CPortAudioWaveIn::AddBuffer(WaveHeader* header) {
    if (m_stream == nullptr) {
        return kWaveInvalidHandle;
    }
    return m_queue.Add(header);
}

int CPortAudioWaveIn::Start() {
    if (m_stream == nullptr) {
        return kWaveInvalidHandle;
    }
    if (m_running) {
        return kWaveOk;
    }
    m_ring.Clear();
    m_stop = false;
    m_halting = false;
    m_finished = false;
    m_nextAdcTime = 0.0;
    m_pushed = 0;
    m_popped = 0;
    m_lossesWritten = 0;
    m_lossesRead = 0;
    m_lossesReadSeen = 0;
    m_framesIn = 0;
    m_framesSeen = 0;
    m_quiet = std::chrono::steady_clock::duration::zero();
    m_lastPoll = std::chrono::steady_clock::now();
    try {
        m_thread = std::thread(&CPortAudioWaveIn::Run, this);
    } catch (const std::system_error&) {
        return kWaveNoMemory;
    }
    m_running = true;
    const PaError error = Pa_StartStream(m_stream);
    if (error != paNoError) {
        Halt();
        return WaveResultFromPortAudio(error);
    }
    return kWaveOk;
}

void CPortAudioWaveIn::OnFinished(void* self) {
    static_cast<CPortAudioWaveIn*>(self)->m_finished = true;
}

void CPortAudioWaveIn::Run() {
    bool watching = true;
    std::unique_lock lock(m_wakeMutex);
    while (!m_stop) {
        lock.unlock();
        Drain();
        if (watching && Lost(std::chrono::steady_clock::now())) {
            watching = false;
            m_queue.ReturnQueued(kWaveHdrLost);
        }
        lock.lock();
        m_wake.wait_for(lock, kPollPeriod, [this] { return m_stop; });
    }
}

// A loss that finds the ring of records full joins the newest record: its
// place is then a little early, its count still exact.
void CPortAudioWaveIn::RecordLoss(std::uint64_t position, std::uint64_t count) {
    const std::uint64_t written = m_lossesWritten.load(std::memory_order_relaxed);
    if (written - m_lossesReadSeen.load(std::memory_order_acquire) >= m_losses.size()) {
        m_losses[(written - 1) % m_losses.size()].count.fetch_add(count, std::memory_order_relaxed);
        return;
    }
    Loss& loss = m_losses[written % m_losses.size()];
    loss.position.store(position, std::memory_order_relaxed);
    loss.count.store(count, std::memory_order_relaxed);
    m_lossesWritten.store(written + 1, std::memory_order_release);
}

// The samples go to the queue in order, each loss told where it happened.
void CPortAudioWaveIn::Drain() {
    for (;;) {
        std::size_t room = m_chunk.size();
        const bool lossDue = m_lossesRead < m_lossesWritten.load(std::memory_order_acquire);
        if (lossDue) {
            Loss& loss = m_losses[m_lossesRead % m_losses.size()];
            const std::uint64_t position = loss.position.load(std::memory_order_relaxed);
            if (position <= m_popped) {
                m_queue.Lose(loss.count.load(std::memory_order_relaxed));
                m_lossesReadSeen.store(++m_lossesRead, std::memory_order_release);
                continue;
            }
            room = static_cast<std::size_t>(std::min<std::uint64_t>(room, position - m_popped));
        }
        const std::size_t n = m_ring.Pop(m_chunk.data(), room);
        if (n == 0) {
            return;
        }
        m_popped += n;
        m_queue.Deliver(m_chunk.data(), n);
    }
}

bool CPortAudioWaveIn::Lost(std::chrono::steady_clock::time_point now) {
    if (m_halting) {
        return false;
    }
    m_quiet += std::min<std::chrono::steady_clock::duration>(now - m_lastPoll, kLongestCountedPoll);
    m_lastPoll = now;
    const std::uint64_t frames = m_framesIn.load(std::memory_order_relaxed);
    if (frames != m_framesSeen) {
        m_framesSeen = frames;
        m_quiet = std::chrono::steady_clock::duration::zero();
    }
    const auto limit = frames == 0 ? kFirstSamplesLimit : kStallLimit;
    return m_finished || m_quiet > limit;
}

// Stops PortAudio's callback and the stream's thread; when it returns no
// completion is running.
int CPortAudioWaveIn::Halt() {
    if (!m_running) {
        return paNoError;
    }
    m_halting = true;
    const PaError error = Pa_IsStreamActive(m_stream) == 1 ? Pa_AbortStream(m_stream) : paNoError;
    {
        const std::lock_guard lock(m_wakeMutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
    m_running = false;
    return error;
}

int CPortAudioWaveIn::Reset() {
    if (m_stream == nullptr) {
        return kWaveInvalidHandle;
    }
    const PaError error = Halt();
    m_queue.ReturnQueued();
    return WaveResultFromPortAudio(error);
}

int CPortAudioWaveIn::Close() {
    if (m_stream == nullptr) {
        return kWaveInvalidHandle;
    }
    Halt();
    const PaError error = Pa_CloseStream(m_stream);
    m_stream = nullptr;
    CountStreamClosed();
    return WaveResultFromPortAudio(error);
}

}  // namespace velto
