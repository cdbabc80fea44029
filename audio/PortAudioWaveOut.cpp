#include "audio/PortAudioWaveOut.h"

#include <algorithm>
#include <new>

#include "audio/PortAudioResult.h"

namespace velto {

int CPortAudioWaveOut::Open(std::unique_ptr<IWaveOut>* handle, PaDeviceIndex device,
                            const WaveFormat& format) {
    if (format.channels != 1 || format.bitsPerSample != 16) {
        return kWaveBadFormat;
    }
    const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
    if (info == nullptr) {
        return kWaveBadDeviceId;
    }
    std::unique_ptr<CPortAudioWaveOut> stream(new (std::nothrow) CPortAudioWaveOut);
    if (!stream) {
        return kWaveNoMemory;
    }
    const PaStreamParameters output{device, 1, paInt16, info->defaultHighOutputLatency, nullptr};
    const PaError error = Pa_OpenStream(&stream->m_stream, nullptr, &output, format.samplesPerSec,
                                        paFramesPerBufferUnspecified, paNoFlag,
                                        &CPortAudioWaveOut::OnAudio, stream.get());
    if (error != paNoError) {
        stream->m_stream = nullptr;
        return WaveResultFromPortAudio(error);
    }
    CountStreamOpened();
    *handle = std::move(stream);
    return kWaveOk;
}

CPortAudioWaveOut::~CPortAudioWaveOut() {
    if (m_stream != nullptr) {
        Close();
    }
}

int CPortAudioWaveOut::OnAudio(const void*, void* output, unsigned long frames,
                               const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags, void* self) {
    static_cast<CPortAudioWaveOut*>(self)->Play(static_cast<std::int16_t*>(output), frames);
    return paContinue;
}

void CPortAudioWaveOut::Play(std::int16_t* out, std::size_t frames) {
    if (m_rewind.exchange(false, std::memory_order_acquire)) {
        m_position = 0;
    }
    const WaveHeader* header = m_header.load(std::memory_order_acquire);
    const std::size_t length = header != nullptr && header->data != nullptr
                                   ? header->bufferLength / sizeof(std::int16_t)
                                   : 0;
    if (length == 0) {
        std::fill(out, out + frames, std::int16_t{0});
        return;
    }
    for (std::size_t i = 0; i < frames; ++i) {
        out[i] =
            std::atomic_ref<std::int16_t>(header->data[m_position]).load(std::memory_order_relaxed);
        if (++m_position == length) {
            m_position = 0;
        }
    }
    m_played.store(static_cast<std::int64_t>(m_position), std::memory_order_relaxed);
}

int CPortAudioWaveOut::Write(WaveHeader* header) {
    if (m_stream == nullptr) {
        return kWaveInvalidHandle;
    }
    if (header == nullptr || Pa_IsStreamActive(m_stream) == 1) {
        return kWaveError;
    }
    m_header.store(header, std::memory_order_release);
    m_rewind.store(true, std::memory_order_release);
    m_played.store(0, std::memory_order_relaxed);
    return WaveResultFromPortAudio(Pa_StartStream(m_stream));
}

int CPortAudioWaveOut::Reset() {
    if (m_stream == nullptr) {
        return kWaveInvalidHandle;
    }
    const PaError error = Pa_IsStreamActive(m_stream) == 1 ? Pa_AbortStream(m_stream) : paNoError;
    m_header.store(nullptr, std::memory_order_release);
    m_played.store(-1, std::memory_order_relaxed);
    return WaveResultFromPortAudio(error);
}

int CPortAudioWaveOut::Close() {
    if (m_stream == nullptr) {
        return kWaveInvalidHandle;
    }
    Reset();
    const PaError error = Pa_CloseStream(m_stream);
    m_stream = nullptr;
    CountStreamClosed();
    return WaveResultFromPortAudio(error);
}

}  // namespace velto
