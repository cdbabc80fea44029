#include "receiver/Recorder.h"

#include <algorithm>
#include <array>
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
// Losses noted and not yet written; the writer takes them within a pass of
// its loop, so more would take a loss every few milliseconds.
constexpr std::size_t kGapSlots = 64;

// Silence owed to the file where the input lost samples, placed by how many
// samples had been handed over before the loss.
struct Gap {
    std::uint64_t at = 0;
    std::uint64_t samples = 0;
};

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

    // The receiver's thread notes a gap before it pushes the samples after
    // it, so a writer that has popped those samples sees the gap too.
    bool NoteGap(const Gap& gap) {
        const std::size_t w = gapsWritten.load(std::memory_order_relaxed);
        if (w - gapsRead.load(std::memory_order_acquire) == kGapSlots) {
            return false;
        }
        gaps[w % kGapSlots] = gap;
        gapsWritten.store(w + 1, std::memory_order_release);
        return true;
    }
    // The oldest gap noted, if it lies at or before `end` popped samples.
    const Gap* GapBy(std::uint64_t end) const {
        const std::size_t r = gapsRead.load(std::memory_order_relaxed);
        if (r == gapsWritten.load(std::memory_order_acquire)) {
            return nullptr;
        }
        const Gap& gap = gaps[r % kGapSlots];
        return gap.at <= end ? &gap : nullptr;
    }
    void DropGap() { gapsRead.fetch_add(1, std::memory_order_release); }

    CSampleRing ring;
    std::array<Gap, kGapSlots> gaps{};
    std::atomic<std::size_t> gapsWritten{0};
    std::atomic<std::size_t> gapsRead{0};
    std::uint64_t pushed = 0;  // the receiver's thread's own
    std::uint64_t mostSilence = 0;
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
    session->mostSilence = std::uint64_t{kMostSilenceSeconds} * static_cast<std::uint64_t>(rate);
    try {
        m_thread = std::thread(&CRecorder::Run, session);
    } catch (const std::system_error&) {
        return false;
    }
    m_session = std::move(session);
    m_next = -1;
    return true;
}

void CRecorder::Push(std::int64_t first, const std::int16_t* samples, std::size_t n, bool wait) {
    Session* s = m_session.get();
    if (s == nullptr || s->failed.load(std::memory_order_acquire)) {
        return;
    }
    // With the slots all taken, the loss is left out as it was before silence
    // was owed for it; reception does not wait for the disk.
    if (m_next >= 0 && first > m_next) {
        s->NoteGap(
            {s->pushed, std::min(static_cast<std::uint64_t>(first - m_next), s->mostSilence)});
    }
    m_next = first + static_cast<std::int64_t>(n);
    std::size_t done = s->ring.Push(samples, n);
    while (done < n && wait && !s->failed.load(std::memory_order_acquire)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        done += s->ring.Push(samples + done, n - done);
    }
    s->pushed += done;
    if (done < n && !wait) {
        s->Fail("the disk could not keep up with the signal.");
    }
}

// Runs until told to stop, then writes what the ring still holds. After a
// failure it closes the file as it was after the last good write.
void CRecorder::Run(std::shared_ptr<Session> session) {
    Session& s = *session;
    std::vector<std::int16_t> chunk(kChunk);
    const std::vector<std::int16_t> silence(kChunk, 0);
    std::uint64_t popped = 0;
    std::string error;
    auto write = [&](const std::int16_t* samples, std::uint64_t n) {
        return n == 0 || s.writer->Write(samples, static_cast<std::size_t>(n), &error);
    };
    auto writeSilence = [&](std::uint64_t n) {
        for (std::uint64_t done = 0; done < n; done += kChunk) {
            if (!write(silence.data(), std::min<std::uint64_t>(kChunk, n - done))) {
                return false;
            }
        }
        return true;
    };
    for (;;) {
        const bool stopping = s.stop.load(std::memory_order_acquire);
        if (s.failed.load(std::memory_order_acquire)) {
            break;
        }
        const std::size_t n = s.ring.Pop(chunk.data(), chunk.size());
        // The chunk, with the silence of every gap noted within it.
        std::uint64_t done = 0;
        bool ok = true;
        while (const Gap* gap = ok ? s.GapBy(popped + n) : nullptr) {
            const std::uint64_t upTo = gap->at - popped;
            ok = write(chunk.data() + done, upTo - done) && writeSilence(gap->samples);
            done = upTo;
            s.DropGap();
        }
        ok = ok && write(chunk.data() + done, n - done);
        popped += n;
        if (!ok) {
            s.Fail(error);
            break;
        }
        if (n > 0) {
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
