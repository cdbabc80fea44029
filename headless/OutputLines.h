#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

// The console's lines to standard output. A recording's are written where
// they are made: its reading waits for a reader that is slow, as it can. A
// live run's are written on a thread of their own, so that a reader that
// stops reading (a stalled pipe, a terminal stopped with Ctrl+S) never holds
// up reception and the clock feed behind it: a line that finds kMostBytes
// queued is left out and counted, and the next line queued is preceded by
// one made by `leftOut` that tells how many. When the reader has gone or a
// stop interrupted a write, nothing more is written and `gone` is told once.
// Any other failure to write (a full disk, an I/O error) ends a recording's
// output the same way, since its lines are what the run is for; a live run
// leaves those lines out and counts them, as for a reader that stops
// reading, and tells `trouble` at the first of a spell of failures (never
// once the owner has gone on without the thread), so that reception and the
// clock feed go on.
class COutputLines {
public:
    static constexpr std::size_t kMostBytes = std::size_t{1} << 20;
    // How long the end of a live run waits for a reader that does not read.
    static constexpr int kPatienceMs = 3000;

    COutputLines(int fd, bool live, std::function<void()> gone = {},
                 std::function<std::string(std::uint64_t)> leftOut = {},
                 std::size_t mostBytes = kMostBytes, std::function<void(int)> trouble = {});
    // A live run's queue is written as far as the reader takes it within
    // kPatienceMs; what is left is lost with the reader.
    ~COutputLines();
    COutputLines(const COutputLines&) = delete;
    COutputLines& operator=(const COutputLines&) = delete;

    // One whole line, its newline included.
    void Write(std::string line);
    bool Gone() const;
    // The errno of the failure that ended the output, 0 while it goes on.
    int Error() const;

private:
    struct Shared;
    static void Run(std::shared_ptr<Shared> shared);

    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};
