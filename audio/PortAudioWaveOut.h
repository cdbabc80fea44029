#pragma once

#include <portaudio.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "audio/WaveService.h"

namespace velto {

// A playback stream on a PortAudio device, 16-bit mono, that loops over the
// one block handed to it. The real-time callback reads the block with relaxed
// atomic loads, neither locking nor allocating.
class CPortAudioWaveOut : public IWaveOut {
public:
    static int Open(std::unique_ptr<IWaveOut>* handle, PaDeviceIndex device,
                    const WaveFormat& format);
    ~CPortAudioWaveOut() override;

    int Write(WaveHeader* header) override;
    int Reset() override;
    int Close() override;
    std::int64_t Position() const override { return m_played.load(std::memory_order_relaxed); }

private:
    CPortAudioWaveOut() = default;

    static int OnAudio(const void* input, void* output, unsigned long frames,
                       const PaStreamCallbackTimeInfo* time, PaStreamCallbackFlags flags,
                       void* self);
    void Play(std::int16_t* out, std::size_t frames);

    PaStream* m_stream = nullptr;
    std::atomic<WaveHeader*> m_header{nullptr};
    std::atomic<bool> m_rewind{false};
    // Owned by the callback.
    std::size_t m_position = 0;
    // m_position as the callback left it, for the window thread.
    std::atomic<std::int64_t> m_played{-1};
};

}  // namespace velto
