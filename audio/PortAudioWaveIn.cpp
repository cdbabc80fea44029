#include "audio/PortAudioWaveIn.h"

#include <chrono>
#include <new>
#include <system_error>

#include "audio/PortAudioResult.h"
#include "dsp/Constants.h"

namespace velto {
namespace {

// The ring holds a second of samples: far more than a poll period, so the
// real-time side never finds it full while the stream's thread runs.
constexpr std::size_t kRingCapacity = kSampleRate;
constexpr auto kPollPeriod = std::chrono::milliseconds(5);

}  // namespace

CPortAudioWaveIn::CPortAudioWaveIn(WaveInProc callback, void* instance)
    : m_queue(callback, instance), m_ring(kRingCapacity) {}

int CPortAudioWaveIn::Open(std::unique_ptr<IWaveIn>* handle, PaDeviceIndex device,
                           const WaveFormat& format, WaveInProc callback, void* instance) {
    if (format.channels != 1 || format.bitsPerSample != 16) {
        return kWaveBadFormat;
    }
    const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
    if (info == nullptr) {
        return kWaveBadDeviceId;
    }
    std::unique_ptr<CPortAudioWaveIn> stream(new (std::nothrow)
                                                 CPortAudioWaveIn(callback, instance));
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
    *handle = std::move(stream);
    return kWaveOk;
}

CPortAudioWaveIn::~CPortAudioWaveIn() {
    if (m_stream != nullptr) {
        Close();
    }
}

int CPortAudioWaveIn::OnAudio(const void* input, void*, unsigned long frames,
                              const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags, void* self) {
    auto* stream = static_cast<CPortAudioWaveIn*>(self);
    if (input != nullptr) {
        const std::size_t pushed =
            stream->m_ring.Push(static_cast<const std::int16_t*>(input), frames);
        if (pushed < frames) {
            stream->m_queue.CountDropped(frames - pushed);
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

void CPortAudioWaveIn::Run() {
    std::unique_lock lock(m_wakeMutex);
    while (!m_stop) {
        lock.unlock();
        Drain();
        lock.lock();
        m_wake.wait_for(lock, kPollPeriod, [this] { return m_stop; });
    }
}

void CPortAudioWaveIn::Drain() {
    std::size_t n = 0;
    while ((n = m_ring.Pop(m_chunk.data(), m_chunk.size())) > 0) {
        m_queue.Deliver(m_chunk.data(), n);
    }
}

// Stops PortAudio's callback and the stream's thread; when it returns no
// completion is running.
int CPortAudioWaveIn::Halt() {
    if (!m_running) {
        return paNoError;
    }
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
    return WaveResultFromPortAudio(error);
}

}  // namespace velto
