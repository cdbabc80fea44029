// velto_shm_reader UNIT SECONDS: reads the unit as ntpd's driver 28, five times a second,
// printing "ok" (received within 5 s) or "stale", receive time and offset; last, on standard
// error, "clock moved S": the system clock against the monotonic one (a VM resumed moves it).
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "clock/ShmRefclock.h"
#include "tests/support/ShmCopy.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s UNIT SECONDS\n", argv[0]);
        return 2;
    }
    const int unit = std::atoi(argv[1]);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(std::atoi(argv[2]));
    velto::ShmTime* shm = nullptr;
    while (shm == nullptr && std::chrono::steady_clock::now() < end) {
        const int id = ::shmget(velto::CShmRefclock::kKeyBase + unit, sizeof(velto::ShmTime), 0);
        void* at = id >= 0 ? ::shmat(id, nullptr, 0) : reinterpret_cast<void*>(-1);
        if (at != reinterpret_cast<void*>(-1)) {
            shm = static_cast<velto::ShmTime*>(at);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    }
    if (shm == nullptr) {
        std::fprintf(stderr, "no shared-memory unit %d\n", unit);
        return 1;
    }
    // The system clock's lead over the monotonic clock, in seconds, read
    // between two monotonic readings close together, so that being scheduled
    // out between the reads does not pass for a move.
    const auto lead = [] {
        using namespace std::chrono;
        double best = 0.0, bracket = 1e9;
        for (int i = 0; i < 20 && bracket > 50e-6; ++i) {
            const double before = duration<double>(steady_clock::now().time_since_epoch()).count();
            const double system = duration<double>(system_clock::now().time_since_epoch()).count();
            const double after = duration<double>(steady_clock::now().time_since_epoch()).count();
            if (after - before < bracket) {
                bracket = after - before;
                best = system - 0.5 * (before + after);
            }
        }
        return best;
    };
    const double firstLead = lead();
    double moved = 0.0;
    while (std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        moved = std::max(moved, std::abs(lead() - firstLead));
        support::ShmCopy c{};
        if (support::LookAtShm(*shm, c) != support::ShmLook::Whole) {
            continue;  // none, or written under the copy: read again next time
        }
        std::atomic_ref<int>(shm->valid).store(0);
        const double now =
            std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
                .count();
        const double receive = static_cast<double>(c.receiveSec) + c.receiveNsec * 1e-9;
        const double offset =
            static_cast<double>(c.clockSec - c.receiveSec) + (c.clockNsec - c.receiveNsec) * 1e-9;
        std::printf("%s %.6f %.6f\n", now - receive <= 5.0 ? "ok" : "stale", receive, offset);
        std::fflush(stdout);
    }
    ::shmdt(shm);
    std::fprintf(stderr, "clock moved %.6f\n", moved);
    return 0;
}
