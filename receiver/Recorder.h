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
// the disk is left to finish on its own. Samples the input lost become
// silence in the file, so that a replay keeps every sample's place in time.
class CRecorder {
public:
    // Room for this many seconds of input between the two threads.
    static constexpr int kRingSeconds = 4;
    // A longer loss is written as this much silence (an hour would be 1.4 GB
    // at 192 kHz); the replay then sees the rest of it as a splice.
    static constexpr int kMostSilenceSeconds = 60;

    CRecorder();
    ~CRecorder();
    CRecorder(const CRecorder&) = delete;
    CRecorder& operator=(const CRecorder&) = delete;

    // Starts writing to `writer` input that comes at `rate` samples/s; false
    // if the ring or the thread could not be had.
    bool Start(std::unique_ptr<ISampleWriter> writer, int rate);
    bool Active() const { return m_session != nullptr; }

    // Hands samples to the writer; `first` is the input's running index of
    // the first of them, so that a jump past the last one is a loss. With
    // `wait` set (input that can be held back, a file or a pipe) a full ring
    // is waited for; otherwise a full ring ends the recording.
    void Push(std::int64_t first, const std::int16_t* samples, std::size_t n, bool wait);
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
    std::int64_t m_next = -1;  // the index the next sample should have; -1: none yet
};

}  // namespace velto
