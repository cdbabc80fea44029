#include "receiver/Recorder.h"

#include <atomic>
#include <chrono>
#include <new>
#include <system_error>
#include <vector>

#include "audio/SampleRing.h"
#include "base/Geometry.h"

namespace velto {
namespace {

constexpr std::size_t kChunk = kBufferSamples;
constexpr auto kIdle = std::chrono::milliseconds(10);

}  // namespace

// Shared by the two threads, and kept alive by the writer's thread for as
// long as it runs.
struct CRecorder::Session {
    Session(std::unique_ptr<ISampleWriter> w, int rate)
        : ring(std::size_t{kRingSeconds} * static_cast<std::size_t>(rate)), writer(std::move(w)) {}

    // The first failure wins; its text is written before `failed` is set.
    void Fail(const std::string& why) {
        if (!claimed.exchange(true)) {
            failure = why;
            failed.store(true, std::memory_order_release);
        }
    }

    CSampleRing ring;
    std::unique_ptr<ISampleWriter> writer;
    std::atomic<bool> stop{false};
    std::atomic<bool> claimed{false};
    std::atomic<bool> failed{false};
    std::string failure;
};

CRecorder::CRecorder() = default;

CRecorder::~CRecorder() { Stop(); }

bool CRecorder::Start(std::unique_ptr<ISampleWriter> writer, int rate) {
    Stop();
    if (!writer) {
        return false;
    }
    std::shared_ptr<Session> session;
    try {
        session = std::make_shared<Session>(std::move(writer), rate);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!session->ring.Valid()) {
        return false;
    }
    try {
        m_thread = std::thread(&CRecorder::Run, session);
    } catch (const std::system_error&) {
        return false;
    }
    m_session = std::move(session);
    return true;
}

void CRecorder::Push(const std::int16_t* samples, std::size_t n, bool wait) {
    Session* s = m_session.get();
    if (s == nullptr || s->failed.load(std::memory_order_acquire)) {
        return;
    }
    std::size_t done = s->ring.Push(samples, n);
    while (done < n && wait && !s->failed.load(std::memory_order_acquire)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        done += s->ring.Push(samples + done, n - done);
    }
    if (done < n && !wait) {
        s->Fail("the disk could not keep up with the signal.");
    }
}

// Runs until told to stop, then writes what the ring still holds. After a
// failure it closes the file as it was after the last good write.
void CRecorder::Run(std::shared_ptr<Session> session) {
    Session& s = *session;
    std::vector<std::int16_t> chunk(kChunk);
    for (;;) {
        const bool stopping = s.stop.load(std::memory_order_acquire);
        if (s.failed.load(std::memory_order_acquire)) {
            break;
        }
        const std::size_t n = s.ring.Pop(chunk.data(), chunk.size());
        if (n > 0) {
            std::string error;
            if (!s.writer->Write(chunk.data(), n, &error)) {
                s.Fail(error);
                break;
            }
            continue;
        }
        if (stopping) {
            break;
        }
        std::this_thread::sleep_for(kIdle);
    }
    s.writer->Close();
}

std::string CRecorder::Poll() {
    if (!m_session || !m_session->failed.load(std::memory_order_acquire)) {
        return {};
    }
    const std::string why = m_session->failure;
    m_session->stop.store(true, std::memory_order_release);
    m_thread.detach();
    m_session.reset();
    return why;
}

void CRecorder::Stop() {
    if (!m_session) {
        return;
    }
    m_session->stop.store(true, std::memory_order_release);
    m_thread.join();
    m_session.reset();
}

}  // namespace velto
