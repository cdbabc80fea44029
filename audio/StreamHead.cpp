#include "audio/StreamHead.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string_view>

namespace velto {
namespace {

// Enough bytes to tell every header below.
constexpr std::size_t kHeadBytes = 12;

struct Magic {
    std::size_t at;
    std::string_view bytes;
    const char* format;
};

// The headers of the formats libsndfile reads, by their first bytes.
constexpr std::array<Magic, 14> kMagics{{
    {0, "RIFF", "WAV"},
    {0, "RIFX", "WAV"},
    {0, "RF64", "RF64"},
    {0, "FORM", "AIFF"},
    {0, ".snd", "AU"},
    {0, "dns.", "AU"},
    {0, "fLaC", "FLAC"},
    {0, "OggS", "Ogg"},
    {0, "caff", "CAF"},
    {0, "Creative Voice", "VOC"},
    {0, "NIST_1A", "NIST SPHERE"},
    {0, "MATLAB", "MAT"},
    {0, "wvpk", "WavPack"},
    {0, "ID3", "MP3"},
}};

StreamHead Unreadable(int error) {
    StreamHead head;
    head.content =
        error == EINTR ? StreamHead::Content::Interrupted : StreamHead::Content::Unreadable;
    head.problem = std::strerror(error);
    return head;
}

StreamHead FromBytes(const unsigned char* bytes, std::size_t n) {
    StreamHead head;
    if (n == 0) {
        head.content = StreamHead::Content::Empty;
        return head;
    }
    head.format = StreamHead::FormatOf(bytes, n);
    head.content = head.format.empty() ? StreamHead::Content::Raw : StreamHead::Content::SoundFile;
    return head;
}

// A pipe's bytes are copied into a pipe of our own with tee(), which leaves
// them in the original. A writer that has sent fewer bytes than a header is
// waited for until it sends more or closes.
StreamHead PeekPipe(int fd) {
    int copy[2];
    if (::pipe2(copy, O_CLOEXEC | O_NONBLOCK) != 0) {
        return Unreadable(errno);
    }
    std::array<unsigned char, kHeadBytes> bytes{};
    StreamHead head;
    for (;;) {
        const ssize_t n = ::tee(fd, copy[1], kHeadBytes, SPLICE_F_NONBLOCK);
        if (n < 0 && errno != EAGAIN) {
            head = Unreadable(errno);
            break;
        }
        std::size_t have = 0;
        if (n > 0) {
            const ssize_t got = ::read(copy[0], bytes.data(), bytes.size());
            have = got > 0 ? static_cast<std::size_t>(got) : 0;
        }
        // tee() gives 0 for an empty pipe without writers.
        if (n == 0 || have >= kHeadBytes) {
            head = FromBytes(bytes.data(), have);
            break;
        }
        pollfd wait{fd, POLLIN, 0};
        if (n < 0) {
            // Nothing yet: wait for bytes or for the writer's end.
            if (::poll(&wait, 1, -1) < 0) {
                head = Unreadable(errno);
                break;
            }
            continue;
        }
        if (::poll(&wait, 1, 0) >= 0 && (wait.revents & POLLHUP) != 0) {
            head = FromBytes(bytes.data(), have);  // the writer has gone: that is all
            break;
        }
        if (::usleep(10000) != 0 && errno == EINTR) {
            head = Unreadable(EINTR);
            break;
        }
    }
    ::close(copy[0]);
    ::close(copy[1]);
    return head;
}

}  // namespace

std::string StreamHead::FormatOf(const unsigned char* bytes, std::size_t n) {
    const std::string_view text(reinterpret_cast<const char*>(bytes), n);
    for (const Magic& m : kMagics) {
        if (text.size() >= m.at + m.bytes.size() && text.substr(m.at, m.bytes.size()) == m.bytes) {
            return m.format;
        }
    }
    return {};
}

StreamHead StreamHead::Peek(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return Unreadable(errno);
    }
    std::array<unsigned char, kHeadBytes> bytes{};
    if (S_ISFIFO(st.st_mode)) {
        return PeekPipe(fd);
    }
    if (S_ISREG(st.st_mode)) {
        const off_t at = ::lseek(fd, 0, SEEK_CUR);
        const ssize_t n = ::pread(fd, bytes.data(), bytes.size(), at < 0 ? 0 : at);
        return n < 0 ? Unreadable(errno) : FromBytes(bytes.data(), static_cast<std::size_t>(n));
    }
    if (S_ISSOCK(st.st_mode)) {
        const ssize_t n = ::recv(fd, bytes.data(), bytes.size(), MSG_PEEK | MSG_WAITALL);
        return n < 0 ? Unreadable(errno) : FromBytes(bytes.data(), static_cast<std::size_t>(n));
    }
    return StreamHead{};
}

}  // namespace velto
