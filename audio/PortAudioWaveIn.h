#pragma once

#include <portaudio.h>

#include <array>
#include <atomic>
#include <chrono>
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
// completion callback from there. That thread also watches the device: when
// PortAudio ends the stream by itself, or no sample comes for too long, it
// hands the queued buffer back flagged kWaveHdrLost.
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
    CPortAudioWaveIn(WaveInProc callback, void* instance, double sampleRate);

    static int OnAudio(const void* input, void* output, unsigned long frames,
                       const PaStreamCallbackTimeInfo* time, PaStreamCallbackFlags flags,
                       void* self);
    static void OnFinished(void* self);
    void Run();
    void Drain();
    // From PortAudio's callback: `count` samples lost after the first
    // `position` samples pushed into the ring.
    void RecordLoss(std::uint64_t position, std::uint64_t count);
    // True once the device is taken for lost.
    bool Lost(std::chrono::steady_clock::time_point now);
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

    double m_sampleRate;
    // Written by PortAudio's threads, read by the stream's thread.
    std::atomic<std::uint64_t> m_framesIn{0};
    std::atomic<bool> m_finished{false};
    // Set while Halt ends the stream, which is then no loss.
    std::atomic<bool> m_halting{false};
    // The callback's own: when the next buffer should start by the card's clock,
    // and the samples pushed into the ring so far.
    double m_nextAdcTime = 0.0;
    std::uint64_t m_pushed = 0;
    // Losses on their way from the callback to the stream's thread, which
    // tells the queue of each at its place among the samples: a ring of
    // (position, count) pairs, written by the callback only.
    struct Loss {
        std::atomic<std::uint64_t> position{0};
        std::atomic<std::uint64_t> count{0};
    };
    std::array<Loss, 64> m_losses{};
    std::atomic<std::uint64_t> m_lossesWritten{0};
    // The stream's thread's own: losses told and samples taken from the ring.
    std::uint64_t m_lossesRead = 0;
    std::atomic<std::uint64_t> m_lossesReadSeen{0};  // m_lossesRead, for the callback
    std::uint64_t m_popped = 0;
    // The stream's thread's own.
    std::uint64_t m_framesSeen = 0;
    // How long the device has been seen to deliver nothing.
    std::chrono::steady_clock::duration m_quiet{};
    std::chrono::steady_clock::time_point m_lastPoll;
};

}  // namespace velto
