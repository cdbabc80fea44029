#include "clock/ChronySock.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velto {
namespace {

// chronyd's SOCK sample, as its refclock driver reads it. A datagram of any
// other size is dropped by chronyd.
struct SockSample {
    timeval tv;
    double offset;
    int pulse;
    int leap;
    int pad;
    int magic;
};
static_assert(sizeof(SockSample) == 40);
constexpr int kSockMagic = 0x534f434b;

}  // namespace

std::unique_ptr<CChronySock> CChronySock::Open(std::string path, std::string* problem) {
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *problem = std::string("cannot open a socket for chronyd: ") + std::strerror(errno);
        return nullptr;
    }
    return std::unique_ptr<CChronySock>(new CChronySock(std::move(path), fd));
}

CChronySock::CChronySock(std::string path, int fd) : m_path(std::move(path)), m_fd(fd) {}

CChronySock::~CChronySock() { ::close(m_fd); }

bool CChronySock::PathFits(const std::string& path) {
    return !path.empty() && path.size() < sizeof(sockaddr_un::sun_path);
}

std::optional<Warning> CChronySock::Send(const ClockSample& sample) {
    if (!PathFits(m_path)) {
        return std::nullopt;
    }
    SockSample datagram{};
    datagram.tv.tv_sec = static_cast<time_t>(sample.system.sec);
    datagram.tv.tv_usec = static_cast<suseconds_t>(sample.system.nsec / 1000);
    // The microseconds cut from tv belong to the offset, so that tv + offset
    // stays the true time.
    datagram.offset = sample.offset + static_cast<double>(sample.system.nsec % 1000) * 1e-9;
    datagram.pulse = 0;
    datagram.leap = static_cast<int>(sample.leap);
    datagram.magic = kSockMagic;

    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, m_path.c_str(), m_path.size() + 1);
    const ssize_t sent = ::sendto(m_fd, &datagram, sizeof datagram, MSG_DONTWAIT | MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&address), sizeof address);
    if (sent == static_cast<ssize_t>(sizeof datagram)) {
        ++m_delivered;
        if (m_complained) {
            m_complained = false;
            return Warning{WarningCode::ClockFeed,
                           "chronyd takes the samples at " + m_path + " now"};
        }
        return std::nullopt;
    }
    return Complain(sent < 0 ? errno : EMSGSIZE);
}

std::optional<Warning> CChronySock::Check() {
    if (!PathFits(m_path) || ::access(m_path.c_str(), W_OK) == 0) {
        return std::nullopt;
    }
    return Complain(errno);
}

// Said once, until samples get through again: chronyd may well start after
// Velto, and a message a second would drown the log.
std::optional<Warning> CChronySock::Complain(int error) {
    if (error == EAGAIN || error == EWOULDBLOCK || error == ENOBUFS) {
        return std::nullopt;  // chronyd is behind; this sample is simply lost
    }
    if (m_complained) {
        return std::nullopt;
    }
    m_complained = true;
    if (error == ENOENT || error == ECONNREFUSED) {
        return Warning{WarningCode::ClockFeed,
                       "no chronyd listens at " + m_path + " yet (is a \"refclock SOCK " + m_path +
                           "\" line in chrony.conf?); trying again with every sample"};
    }
    return Warning{WarningCode::ClockFeed, "cannot send to chronyd at " + m_path + ": " +
                                               std::strerror(error) + "; trying again"};
}

}  // namespace velto
