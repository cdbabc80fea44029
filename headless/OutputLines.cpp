#include "headless/OutputLines.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <system_error>

// Shared by the two threads, and kept alive by the writing thread for as long
// as it runs: a live run may end while it still waits on a stalled reader.
struct COutputLines::Shared {
    Shared(int f, std::size_t most, std::function<void()> g,
           std::function<std::string(std::uint64_t)> l, std::function<void(int)> t)
        : fd(f),
          mostBytes(most),
          gone(std::move(g)),
          leftOut(std::move(l)),
          trouble(std::move(t)) {}

    int fd;
    std::size_t mostBytes;
    std::function<void()> gone;
    std::function<std::string(std::uint64_t)> leftOut;
    std::function<void(int)> trouble;

    std::mutex mutex;
    std::condition_variable changed;
    // Each line with the count of lines it stands for, should it be left
    // out: 1, or for a line telling of lines left out, their number.
    std::deque<std::pair<std::string, std::uint64_t>> lines;
    std::size_t queuedBytes = 0;
    std::uint64_t leftOutLines = 0;  // not yet told
    bool stop = false;
    bool done = false;
    bool detached = false;  // the owner has gone on without the thread
    bool failed = false;
    int error = 0;     // what ended the output
    bool cut = false;  // a line was written in part; only the writing side knows

    // All of `line` through partial writes: 0, or the errno of the failure.
    // An interrupted write is a stop. A descriptor set not to block waits
    // for its reader as any other does. A line cut short by a failure is
    // ended before the next, so that it spoils nothing but itself.
    int WriteAll(const std::string& text) {
        const std::string line = cut ? '\n' + text : text;
        for (std::size_t at = 0; at < line.size();) {
            const ssize_t n = ::write(fd, line.data() + at, line.size() - at);
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                pollfd ready{fd, POLLOUT, 0};
                if (::poll(&ready, 1, -1) < 0) {
                    return errno;
                }
                continue;
            }
            if (n <= 0) {
                cut = cut || at > 0;
                return n < 0 && errno != 0 ? errno : EIO;
            }
            at += static_cast<std::size_t>(n);
        }
        cut = false;
        return 0;
    }

    // Called with the lock held; tells `gone` without it.
    void Fail(std::unique_lock<std::mutex>& lock, int why) {
        failed = true;
        error = why;
        lines.clear();
        queuedBytes = 0;
        lock.unlock();
        if (gone) {
            gone();
        }
        lock.lock();
    }

    void Queue(std::string line, std::uint64_t standsFor = 1) {
        queuedBytes += line.size();
        lines.emplace_back(std::move(line), standsFor);
    }
};

COutputLines::COutputLines(int fd, bool live, std::function<void()> gone,
                           std::function<std::string(std::uint64_t)> leftOut, std::size_t mostBytes,
                           std::function<void(int)> trouble)
    : m_shared(std::make_shared<Shared>(fd, mostBytes, std::move(gone), std::move(leftOut),
                                        std::move(trouble))) {
    if (!live) {
        return;
    }
    try {
        m_thread = std::thread(&COutputLines::Run, m_shared);
    } catch (const std::system_error&) {
        // Without a thread of its own each line is written where it is made.
    }
}

COutputLines::~COutputLines() {
    if (!m_thread.joinable()) {
        return;
    }
    Shared& s = *m_shared;
    std::unique_lock lock(s.mutex);
    s.stop = true;
    s.changed.notify_all();
    const bool finished =
        s.changed.wait_for(lock, std::chrono::milliseconds(kPatienceMs), [&] { return s.done; });
    s.detached = !finished;
    lock.unlock();
    if (finished) {
        m_thread.join();
    } else {
        m_thread.detach();
    }
}

void COutputLines::Write(std::string line) {
    Shared& s = *m_shared;
    std::unique_lock lock(s.mutex);
    if (s.failed) {
        return;
    }
    if (!m_thread.joinable()) {
        if (const int error = s.WriteAll(line)) {
            s.Fail(lock, error);
        }
        return;
    }
    if (s.queuedBytes + line.size() > s.mostBytes) {
        ++s.leftOutLines;
        return;
    }
    try {
        if (s.leftOutLines > 0 && s.leftOut) {
            s.Queue(s.leftOut(s.leftOutLines), s.leftOutLines);
        }
        s.leftOutLines = 0;
        s.Queue(std::move(line));
    } catch (const std::bad_alloc&) {
        ++s.leftOutLines;
        return;
    }
    s.changed.notify_all();
}

bool COutputLines::Gone() const {
    std::lock_guard lock(m_shared->mutex);
    return m_shared->failed;
}

int COutputLines::Error() const {
    std::lock_guard lock(m_shared->mutex);
    return m_shared->error;
}

void COutputLines::Run(std::shared_ptr<Shared> shared) {
    Shared& s = *shared;
    std::uint64_t lost = 0;  // lines that could not be written, not yet told
    bool troubled = false;   // the last write failed
    std::unique_lock lock(s.mutex);
    for (;;) {
        s.changed.wait(lock, [&] { return s.stop || !s.lines.empty(); });
        if (s.lines.empty() || s.failed) {
            break;  // told to stop, with nothing left to write
        }
        auto [line, standsFor] = std::move(s.lines.front());
        s.lines.pop_front();
        s.queuedBytes -= line.size();
        lock.unlock();
        // Lines that could not be written are told where they are missing,
        // before the next line that gets through.
        int error = lost > 0 && s.leftOut ? s.WriteAll(s.leftOut(lost)) : 0;
        if (error == 0) {
            lost = 0;
            error = s.WriteAll(line);
        }
        lock.lock();
        if (error != 0 && error != EPIPE && error != EINTR) {
            lost += standsFor;
            // Under the lock, so that an owner that has stopped waiting (and
            // whatever `trouble` refers to) cannot go meanwhile.
            if (!troubled && s.trouble && !s.detached) {
                s.trouble(error);
            }
        }
        troubled = error != 0;
        if (error == EPIPE || error == EINTR) {
            s.Fail(lock, error);
            break;
        }
    }
    s.done = true;
    s.changed.notify_all();
}
