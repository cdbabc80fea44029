#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "receiver/ChronySock.h"

namespace velto {
namespace {

// chronyd's side: a datagram socket bound at a path in a private directory.
class CChronyEnd {
public:
    CChronyEnd() {
        char tmpl[] = "/tmp/velto-sock-XXXXXX";
        m_dir = ::mkdtemp(tmpl);
        m_path = m_dir + "/jjy.sock";
    }
    ~CChronyEnd() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        ::unlink(m_path.c_str());
        ::rmdir(m_dir.c_str());
    }
    void Bind() {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, m_path.c_str());
        ASSERT_EQ(::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }
    // The size of the next datagram, which lands in `out`; -1 if none waits.
    ssize_t Receive(unsigned char (&out)[64]) {
        return ::recv(m_fd, out, sizeof out, MSG_DONTWAIT);
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_dir;
    std::string m_path;
    int m_fd = -1;
};

// A memory stream for the messages.
class CLog {
public:
    CLog() : m_file(::open_memstream(&m_text, &m_size)) {}
    ~CLog() {
        std::fclose(m_file);
        std::free(m_text);
    }
    std::FILE* File() { return m_file; }
    std::string Text() {
        std::fflush(m_file);
        return std::string(m_text, m_size);
    }

private:
    char* m_text = nullptr;
    std::size_t m_size = 0;
    std::FILE* m_file;
};

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

// The datagram is chronyd's 40-byte sample: tv plus offset is the true time
// to the nanosecond the double holds, the leap code and the magic number sit
// where chronyd reads them.
TEST(ChronySock, SendsChronydsSampleLayout) {
    CChronyEnd chronyd;
    chronyd.Bind();
    CLog log;
    CChronySock sock(chronyd.Path(), log.File());

    ClockSample sample;
    sample.system = SystemTime{1750000000, 123456789};
    sample.offset = -0.25;
    sample.leap = LeapWarning::Insert;
    sock.Send(sample);

    unsigned char bytes[64];
    ASSERT_EQ(chronyd.Receive(bytes), 40);
    timeval tv{};
    double offset = 0.0;
    int ints[4] = {};
    std::memcpy(&tv, bytes, sizeof tv);
    std::memcpy(&offset, bytes + 16, sizeof offset);
    std::memcpy(ints, bytes + 24, sizeof ints);
    EXPECT_EQ(tv.tv_sec, 1750000000);
    EXPECT_EQ(tv.tv_usec, 123456);
    EXPECT_NEAR(static_cast<double>(tv.tv_usec) * 1e-6 + offset, 0.123456789 - 0.25, 1e-12);
    EXPECT_EQ(ints[0], 0);           // pulse
    EXPECT_EQ(ints[1], 1);           // leap: insert
    EXPECT_EQ(ints[3], 0x534f434b);  // magic
    EXPECT_EQ(sock.Delivered(), 1);
    EXPECT_EQ(log.Text(), "");
}

// Velto may start before chronyd: it says so once, keeps trying, and the
// first sample after chronyd has come up gets through.
TEST(ChronySock, WaitsQuietlyForChronyd) {
    CChronyEnd chronyd;
    CLog log;
    CChronySock sock(chronyd.Path(), log.File());
    ClockSample sample;
    sample.system = SystemTime{1750000000, 0};
    for (int i = 0; i < 5; ++i) {
        sock.Send(sample);
    }
    EXPECT_EQ(sock.Delivered(), 0);
    EXPECT_EQ(Count(log.Text(), "velto: no chronyd listens at " + chronyd.Path()), 1);

    chronyd.Bind();
    sock.Send(sample);
    EXPECT_EQ(sock.Delivered(), 1);
    unsigned char bytes[64];
    EXPECT_EQ(chronyd.Receive(bytes), 40);
    EXPECT_EQ(Count(log.Text(), "takes the samples"), 1);
}

TEST(ChronySock, RejectsPathsNoSocketCanHave) {
    EXPECT_FALSE(CChronySock::PathFits(""));
    EXPECT_FALSE(CChronySock::PathFits(std::string(200, 'a')));
    EXPECT_TRUE(CChronySock::PathFits("/run/chrony.jjy.sock"));
}

}  // namespace
}  // namespace velto
