#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "audio/SampleWriter.h"

namespace velto {

// Writes the input to a file on a thread of its own. The receiver's thread
// hands samples over through a lock-free ring and never waits for the disk:
// when the ring is full (the disk cannot keep up) or the writer fails (the
// disk is full), recording ends and Poll says why. A writer that hangs in
// the disk is left to finish on its own.
class CRecorder {
public:
    // Room for this many seconds of input between the two threads.
    static constexpr int kRingSeconds = 4;

    CRecorder();
    ~CRecorder();
    CRecorder(const CRecorder&) = delete;
    CRecorder& operator=(const CRecorder&) = delete;

    // Starts writing to `writer` input that comes at `rate` samples/s; false
    // if the ring or the thread could not be had.
    bool Start(std::unique_ptr<ISampleWriter> writer, int rate);
    bool Active() const { return m_session != nullptr; }

    // Hands samples to the writer. With `wait` set (input that can be held
    // back, a file or a pipe) a full ring is waited for; otherwise a full
    // ring ends the recording.
    void Push(const std::int16_t* samples, std::size_t n, bool wait);
    // After a failure: ends the recording without waiting for the writer
    // and returns why; else empty.
    std::string Poll();
    // Writes what is still in the ring and closes the file.
    void Stop();

private:
    struct Session;
    static void Run(std::shared_ptr<Session> session);

    std::shared_ptr<Session> m_session;
    std::thread m_thread;
};

}  // namespace velto
