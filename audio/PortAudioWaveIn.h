#pragma once

#include <portaudio.h>

#include <array>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "audio/SampleRing.h"
#include "audio/WaveInQueue.h"
#include "audio/WaveService.h"

namespace velto {

// A capture stream on a PortAudio device, 16-bit mono. PortAudio's callback
// runs on a real-time thread, so it only pushes the samples into a lock-free
// ring; a thread of the stream moves them into the queued buffer and runs the
// completion callback from there.
class CPortAudioWaveIn : public IWaveIn {
public:
    static int Open(std::unique_ptr<IWaveIn>* handle, PaDeviceIndex device,
                    const WaveFormat& format, WaveInProc callback, void* instance);
    ~CPortAudioWaveIn() override;

    int AddBuffer(WaveHeader* header) override;
    int Start() override;
    int Reset() override;
    int Close() override;
    std::uint64_t DroppedSamples() const override { return m_queue.Dropped(); }

private:
    CPortAudioWaveIn(WaveInProc callback, void* instance);

    static int OnAudio(const void* input, void* output, unsigned long frames,
                       const PaStreamCallbackTimeInfo* time, PaStreamCallbackFlags flags,
                       void* self);
    void Run();
    void Drain();
    int Halt();

    CWaveInQueue m_queue;
    CSampleRing m_ring;
    PaStream* m_stream = nullptr;
    bool m_running = false;
    std::thread m_thread;
    std::mutex m_wakeMutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::array<std::int16_t, 4096> m_chunk{};
};

}  // namespace velto
