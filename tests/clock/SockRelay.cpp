// Stands between Velto and chronyd in the chrony test: takes the datagrams
// Velto sends to LISTEN, writes what each says to LOG, one line per sample
// ("tv_sec tv_usec offset leap"), and passes it on to chronyd's socket at
// FORWARD unchanged. A datagram that is not chronyd's sample is logged as
// "bad SIZE" and not passed on. Runs until SIGTERM or SIGINT.
//   velto_sock_relay LISTEN FORWARD LOG
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

struct SockSample {
    timeval tv;
    double offset;
    int pulse;
    int leap;
    int pad;
    int magic;
};
constexpr int kSockMagic = 0x534f434b;

volatile std::sig_atomic_t g_stop = 0;
void Stop(int) { g_stop = 1; }

bool AddressOf(const char* path, sockaddr_un* address) {
    *address = sockaddr_un{};
    address->sun_family = AF_UNIX;
    if (std::strlen(path) >= sizeof address->sun_path) {
        return false;
    }
    std::strcpy(address->sun_path, path);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s LISTEN FORWARD LOG\n", argv[0]);
        return 2;
    }
    sockaddr_un listen{};
    sockaddr_un forward{};
    if (!AddressOf(argv[1], &listen) || !AddressOf(argv[2], &forward)) {
        std::fprintf(stderr, "velto_sock_relay: socket path too long\n");
        return 2;
    }
    std::FILE* log = std::fopen(argv[3], "w");
    if (log == nullptr) {
        std::perror(argv[3]);
        return 1;
    }
    const int in = ::socket(AF_UNIX, SOCK_DGRAM, 0);
    const int out = ::socket(AF_UNIX, SOCK_DGRAM, 0);
    ::unlink(argv[1]);
    if (in < 0 || out < 0 || ::bind(in, reinterpret_cast<sockaddr*>(&listen), sizeof listen) != 0) {
        std::perror("velto_sock_relay");
        return 1;
    }
    struct sigaction action {};
    action.sa_handler = Stop;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);

    unsigned char bytes[256];
    while (g_stop == 0) {
        const ssize_t n = ::recv(in, bytes, sizeof bytes, 0);
        if (n < 0) {
            continue;  // interrupted by the signal, or nothing
        }
        SockSample sample{};
        if (n != sizeof sample) {
            std::fprintf(log, "bad %zd\n", n);
            std::fflush(log);
            continue;
        }
        std::memcpy(&sample, bytes, sizeof sample);
        if (sample.magic != kSockMagic || sample.pulse != 0) {
            std::fprintf(log, "bad magic\n");
            std::fflush(log);
            continue;
        }
        std::fprintf(log, "%lld %ld %.9f %d\n", static_cast<long long>(sample.tv.tv_sec),
                     static_cast<long>(sample.tv.tv_usec), sample.offset, sample.leap);
        std::fflush(log);
        ::sendto(out, bytes, sizeof sample, MSG_DONTWAIT,
                 reinterpret_cast<const sockaddr*>(&forward), sizeof forward);
    }
    ::unlink(argv[1]);
    std::fclose(log);
    return 0;
}
