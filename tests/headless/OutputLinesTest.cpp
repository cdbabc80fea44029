#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "headless/EventPrinter.h"
#include "headless/OutputLines.h"
#include "tests/support/Files.h"

namespace {

using support::Lines;

// A pipe whose reader reads only when asked.
struct Pipe {
    Pipe() {
        EXPECT_EQ(::pipe2(fd, O_CLOEXEC), 0);
        ::fcntl(fd[1], F_SETPIPE_SZ, 4096);  // the smallest: it fills at once
        ::fcntl(fd[0], F_SETFL, O_NONBLOCK);
    }
    ~Pipe() {
        for (int f : fd) {
            if (f >= 0) ::close(f);
        }
    }
    std::string ReadAll() {
        std::string text;
        char buffer[65536];
        for (ssize_t n; (n = ::read(fd[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
        return text;
    }
    // Fills the pipe to the last byte, so that the next write blocks; how many.
    std::size_t Fill() {
        ::fcntl(fd[1], F_SETFL, O_NONBLOCK);
        std::size_t filled = 0;
        for (std::size_t chunk : {256, 1}) {
            const std::string bytes(chunk, '-');
            while (::write(fd[1], bytes.data(), chunk) == static_cast<ssize_t>(chunk)) {
                filled += chunk;
            }
        }
        ::fcntl(fd[1], F_SETFL, 0);
        return filled;
    }
    int fd[2] = {-1, -1};
};

// Every line is either written, in order, or counted where it is missing.
TEST(OutputLines, AReaderThatStopsReadingHoldsUpNothingAndIsToldWhatItMissed) {
    Pipe pipe;
    const std::size_t filled = pipe.Fill();
    constexpr int kLines = 3000;  // 300 kB against 16 kB of queue
    int told = 0;
    std::string text;
    {
        COutputLines out(
            pipe.fd[1], true, [] { ADD_FAILURE() << "gone"; },
            [&](std::uint64_t n) {
                ++told;
                return CEventPrinter::LeftOutLine(true, n);
            },
            16384);
        for (int i = 0; i < kLines; ++i) {
            out.Write("line " + std::to_string(i) + std::string(90, '.') + "\n");
        }
        // The reader is back, and the queue has room again.
        while (text.size() < filled + 2000) text += pipe.ReadAll();
        out.Write("the last line\n");
        while (!text.ends_with("the last line\n")) text += pipe.ReadAll();
    }
    const std::vector<std::string> lines = Lines(text.substr(filled));
    const std::string word = "{\"type\":\"warning\",\"code\":\"output-left-out\",\"text\":\"";
    int next = 0, words = 0;
    for (std::size_t k = 0; k + 1 < lines.size(); ++k) {
        if (lines[k].starts_with("line ")) {
            ASSERT_TRUE(lines[k].starts_with("line " + std::to_string(next++) + ".")) << lines[k];
            continue;
        }
        ASSERT_TRUE(lines[k].starts_with(word)) << lines[k];
        const int n = std::stoi(lines[k].substr(lines[k].find_first_of("0123456789")));
        EXPECT_EQ(lines[k], word + velto::OutputLeftOutText(n) + "\"}");
        next += n;
        ++words;
    }
    EXPECT_EQ(next, kLines);
    EXPECT_EQ(words, told);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_TRUE(lines[lines.size() - 2].starts_with(word));
    EXPECT_EQ(lines.back(), "the last line");
}

// The writing thread is left blocked in the pipe, which stays open for it.
TEST(OutputLines, TheEndOfALiveRunDoesNotWaitForAReaderForGood) {
    static int stalled[2];  // never closed: a thread still writes into it
    ASSERT_EQ(::pipe2(stalled, O_CLOEXEC), 0);
    COutputLines out(stalled[1], true);
    for (int i = 0; i < 1000; ++i) out.Write(std::string(100, 'x') + "\n");
}

TEST(OutputLines, AnOutputThatCannotBeWrittenIsToldOnce) {
    std::signal(SIGPIPE, SIG_IGN);
    for (const bool live : {false, true}) {
        SCOPED_TRACE(live);
        Pipe pipe;
        ::close(std::exchange(pipe.fd[0], -1));
        std::atomic<int> told{0};
        {
            COutputLines out(pipe.fd[1], live, [&] { ++told; });
            CEventPrinter printer(out, true);
            velto::DecoderStatus status{};
            printer.OnStatus(status);
            printer.OnWarning({velto::WarningCode::Silence, "x"});
        }
        EXPECT_EQ(told, 1);
    }
}

TEST(OutputLines, AFullDiskEndsARecordingsOutputButOnlyCountsALiveRunsLines) {
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    {
        COutputLines out(full, false);
        out.Write("a\n");
        EXPECT_TRUE(out.Gone());
        EXPECT_EQ(out.Error(), ENOSPC);
    }
    ::close(full);
    // A file size limit stands in for a disk that fills mid-line and has room again later.
    std::signal(SIGXFSZ, SIG_IGN);
    char name[] = "/tmp/velto-output-XXXXXX";
    const int file = ::mkstemp(name);
    ASSERT_GE(file, 0);
    ::unlink(name);
    rlimit before{};
    ::getrlimit(RLIMIT_FSIZE, &before);
    const auto line = [](int i) {
        return "line " + std::to_string(1000000 + i) + std::string(26, '.');
    };
    std::atomic<int> gone{0}, troubles{0};
    constexpr int kLines = 50;
    {
        COutputLines out(
            file, true, [&] { ++gone; },
            [](std::uint64_t n) { return "left " + std::to_string(n) + "\n"; },
            COutputLines::kMostBytes, [&](int error) { troubles += error == EFBIG ? 1 : 100; });
        rlimit small = before;
        small.rlim_cur = 25 * 40 + 10;  // 25 lines and a part of the next
        ::setrlimit(RLIMIT_FSIZE, &small);
        for (int i = 0; i < kLines; ++i) out.Write(line(i) + "\n");
        while (troubles == 0) std::this_thread::yield();
        ::setrlimit(RLIMIT_FSIZE, &before);
        out.Write("last\n");
        EXPECT_FALSE(out.Gone());
    }
    // The line cut short is ended and spoils no other.
    std::string text(4096, '\0');
    text.resize(static_cast<std::size_t>(::pread(file, text.data(), text.size(), 0)));
    ::close(file);
    const std::vector<std::string> lines = Lines(text);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "last");
    int next = 0, cut = 0;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i].starts_with("left ")) {
            next += std::stoi(lines[i].substr(5));
        } else if (lines[i] != line(next)) {
            EXPECT_TRUE(line(next).starts_with(lines[i])) << lines[i];
            ++cut;
        } else {
            ++next;
        }
    }
    EXPECT_EQ(next, kLines);
    EXPECT_EQ(cut, 1);
    EXPECT_EQ(troubles, 1);
    EXPECT_EQ(gone, 0);
}

// EAGAIN is no failure.
TEST(OutputLines, AnOutputThatDoesNotBlockWaitsForItsReader) {
    Pipe pipe;
    pipe.Fill();
    ::fcntl(pipe.fd[1], F_SETFL, O_NONBLOCK);
    std::atomic<bool> done{false};
    std::string read;
    std::thread reader([&] {
        while (!done) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            read += pipe.ReadAll();
        }
        read += pipe.ReadAll();
    });
    std::string written;
    {
        COutputLines out(pipe.fd[1], false);
        for (int i = 0; i < 200; ++i) {
            written += std::string(100, 'a' + i % 26) + "\n";
            out.Write(std::string(100, 'a' + i % 26) + "\n");
        }
        EXPECT_EQ(out.Error(), 0);
    }
    done = true;
    reader.join();
    EXPECT_EQ(read.substr(read.find_first_not_of('-')), written);
}

}  // namespace
