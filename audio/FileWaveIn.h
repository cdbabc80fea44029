#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "audio/SoundFileReader.h"
#include "audio/WaveInQueue.h"
#include "audio/WaveService.h"

namespace velto {

// A recording as capture device: its samples are delivered in 100 ms
// buffers paced by the steady clock, as a sound card would deliver them.
// At the end of the file the last part-buffer is filled up with silence and
// then nothing more comes.
class CFileWaveIn : public IWaveIn {
public:
    static int Open(std::unique_ptr<IWaveIn>* handle, const std::string& path,
                    const WaveFormat& format, WaveInProc callback, void* instance);
    ~CFileWaveIn() override;

    int AddBuffer(WaveHeader* header) override;
    int Start() override;
    int Reset() override;
    int Close() override;
    std::uint64_t DroppedSamples() const override { return m_queue.Dropped(); }

private:
    CFileWaveIn(WaveInProc callback, void* instance);

    void Run(std::chrono::steady_clock::time_point start);
    void Halt();

    CWaveInQueue m_queue;
    CSoundFileReader m_reader;
    std::unique_ptr<std::int16_t[]> m_samples;
    bool m_open = true;
    bool m_running = false;
    std::thread m_thread;
    std::mutex m_wakeMutex;
    std::condition_variable m_wake;
    bool m_stop = false;
};

}  // namespace velto
