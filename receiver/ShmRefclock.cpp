#include "receiver/ShmRefclock.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstring>

namespace velto {
namespace {

static_assert(sizeof(ShmTime) == 96);
static_assert(offsetof(ShmTime, receiveTimeStampSec) == 24);
static_assert(offsetof(ShmTime, valid) == 48);
static_assert(offsetof(ShmTime, receiveTimeStampNSec) == 56);

// Units 0 and 1 are root's by the drivers' convention; the others are open to
// every local user.
int PermissionsOf(int unit) { return unit <= 1 ? 0600 : 0666; }

}  // namespace

CShmRefclock::CShmRefclock(int unit, std::FILE* log) {
    if (unit < 0 || unit > kMaxUnit) {
        std::fprintf(log, "velto: shared-memory unit %d is not in 0..%d\n", unit, kMaxUnit);
        return;
    }
    const key_t key = static_cast<key_t>(kKeyBase + unit);
    const int id = ::shmget(key, sizeof(ShmTime), IPC_CREAT | PermissionsOf(unit));
    if (id < 0) {
        std::fprintf(log, "velto: cannot get the NTP shared-memory segment of unit %d: %s\n", unit,
                     std::strerror(errno));
        return;
    }
    void* address = ::shmat(id, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
        std::fprintf(log, "velto: cannot attach the NTP shared-memory segment of unit %d: %s\n",
                     unit, std::strerror(errno));
        return;
    }
    m_shm = static_cast<ShmTime*>(address);
}

// The segment stays: ntpd or chronyd may hold it, and the next run reuses it.
CShmRefclock::~CShmRefclock() {
    if (m_shm != nullptr) {
        ::shmdt(m_shm);
    }
}

void CShmRefclock::Send(const ClockSample& sample) {
    if (m_shm == nullptr) {
        return;
    }
    // The true time of the sample, split like the system time.
    const double offsetFloor = std::floor(sample.offset);
    std::int64_t trueSec = sample.system.sec + static_cast<std::int64_t>(offsetFloor);
    std::int64_t trueNsec = sample.system.nsec + std::llround((sample.offset - offsetFloor) * 1e9);
    while (trueNsec >= 1000000000) {
        trueNsec -= 1000000000;
        ++trueSec;
    }

    std::atomic_ref<int> valid(m_shm->valid);
    std::atomic_ref<int> count(m_shm->count);
    m_shm->mode = 1;
    valid.store(0);
    // The increments are sequentially consistent read-modify-writes: the field
    // stores below can move neither before the first nor after the second.
    count.fetch_add(1);
    m_shm->clockTimeStampSec = static_cast<std::time_t>(trueSec);
    m_shm->clockTimeStampUSec = static_cast<int>(trueNsec / 1000);
    m_shm->clockTimeStampNSec = static_cast<unsigned>(trueNsec);
    m_shm->receiveTimeStampSec = static_cast<std::time_t>(sample.system.sec);
    m_shm->receiveTimeStampUSec = static_cast<int>(sample.system.nsec / 1000);
    m_shm->receiveTimeStampNSec = static_cast<unsigned>(sample.system.nsec);
    m_shm->leap = static_cast<int>(sample.leap);
    m_shm->precision = kPrecision;
    m_shm->nsamples = 0;
    count.fetch_add(1);
    valid.store(1);
}

}  // namespace velto
