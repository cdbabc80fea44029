#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "audio/WaveInQueue.h"
#include "audio/WaveService.h"
#include "dsp/JjySignal.h"

namespace velto {

inline constexpr char kSimulatorName[] = "JJY シミュレーター (内蔵)";

// The built-in capture device: the JJY signal of the current time with some
// noise, one 100 ms buffer per 100 ms of the steady clock. Needs no sound card.
class CSimulatedWaveIn : public IWaveIn {
public:
    static int Open(std::unique_ptr<IWaveIn>* handle, const WaveFormat& format, WaveInProc callback,
                    void* instance);
    ~CSimulatedWaveIn() override;

    int AddBuffer(WaveHeader* header) override;
    int Start() override;
    int Reset() override;
    int Close() override;
    std::uint64_t DroppedSamples() const override { return m_queue.Dropped(); }

private:
    CSimulatedWaveIn(WaveInProc callback, void* instance);

    void Run(std::chrono::steady_clock::time_point start);
    void Halt();

    CWaveInQueue m_queue;
    std::unique_ptr<std::int16_t[]> m_samples;
    std::optional<CJjySignal> m_signal;
    bool m_open = true;
    bool m_running = false;
    std::thread m_thread;
    std::mutex m_wakeMutex;
    std::condition_variable m_wake;
    bool m_stop = false;
};

}  // namespace velto
