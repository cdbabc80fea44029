#include "receiver/ChronySock.h"

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

CChronySock::CChronySock(std::string path, std::FILE* log) : m_path(std::move(path)), m_log(log) {
    m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        std::fprintf(m_log, "velto: cannot open a socket for chronyd: %s\n", std::strerror(errno));
    }
}

CChronySock::~CChronySock() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool CChronySock::PathFits(const std::string& path) {
    return !path.empty() && path.size() < sizeof(sockaddr_un::sun_path);
}

void CChronySock::Send(const ClockSample& sample) {
    if (m_fd < 0 || !PathFits(m_path)) {
        return;
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
        if (m_complained) {
            std::fprintf(m_log, "velto: chronyd takes the samples at %s now\n", m_path.c_str());
            m_complained = false;
        }
        ++m_delivered;
        return;
    }
    Complain(sent < 0 ? errno : EMSGSIZE);
}

// Said once, until samples get through again: chronyd may well start after
// Velto, and a message a second would drown the log.
void CChronySock::Complain(int error) {
    if (error == EAGAIN || error == EWOULDBLOCK || error == ENOBUFS) {
        return;  // chronyd is behind; this sample is simply lost
    }
    if (m_complained) {
        return;
    }
    m_complained = true;
    if (error == ENOENT || error == ECONNREFUSED) {
        std::fprintf(m_log,
                     "velto: no chronyd listens at %s yet (is a \"refclock SOCK %s\" line in "
                     "chrony.conf?); trying again with every sample\n",
                     m_path.c_str(), m_path.c_str());
    } else {
        std::fprintf(m_log, "velto: cannot send to chronyd at %s: %s; trying again\n",
                     m_path.c_str(), std::strerror(error));
    }
}

}  // namespace velto
