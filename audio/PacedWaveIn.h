#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "audio/WaveInQueue.h"
#include "audio/WaveService.h"

namespace velto {

// A capture device without a sound card behind it: a thread of its own takes
// 100 ms buffers from the derived class and delivers each when its 100 ms of
// the steady clock are over, as a sound card would. A late wake-up catches up
// rather than drifting. A derived class calls Halt in its destructor, so that
// the thread has ended before the derived class's members go.
class CPacedWaveIn : public IWaveIn {
public:
    int AddBuffer(WaveHeader* header) override;
    int Start() override;
    int Reset() override;
    int Close() override;
    std::uint64_t DroppedSamples() const override { return m_queue.Dropped(); }

protected:
    // Delivers buffers of 100 ms at `rate`.
    CPacedWaveIn(WaveInProc callback, void* instance, int rate);

    // The formats these devices deliver: 96 or 192 kHz, 16 bits, mono.
    static bool FormatFits(const WaveFormat& format);
    // The buffer could be allocated.
    bool Valid() const { return m_samples != nullptr; }
    void Halt();

    // On the window's thread, as the device starts.
    virtual void OnStart() {}
    // On the device's thread: fills up to a buffer of samples; 0 at the end.
    virtual std::size_t Fill(std::int16_t* samples, std::size_t count) = 0;
    // On the window's thread, once the thread has ended for good.
    virtual void OnClose() {}

private:
    void Run(std::chrono::steady_clock::time_point start);

    CWaveInQueue m_queue;
    std::size_t m_bufferSamples;
    std::unique_ptr<std::int16_t[]> m_samples;
    bool m_open = true;
    bool m_running = false;
    std::thread m_thread;
    std::mutex m_wakeMutex;
    std::condition_variable m_wake;
    bool m_stop = false;
};

}  // namespace velto
