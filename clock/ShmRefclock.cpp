#include "clock/ShmRefclock.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <string>

namespace velto {
namespace {

static_assert(sizeof(ShmTime) == 96);
static_assert(offsetof(ShmTime, receiveTimeStampSec) == 24);
static_assert(offsetof(ShmTime, valid) == 48);
static_assert(offsetof(ShmTime, receiveTimeStampNSec) == 56);

}  // namespace

std::unique_ptr<CShmRefclock> CShmRefclock::Attach(int unit, int mode, std::string* problem) {
    const std::string name = "unit " + std::to_string(unit);
    if (unit < 0 || unit > kMaxUnit) {
        *problem = "shared-memory " + name + " is not in 0.." + std::to_string(kMaxUnit);
        return nullptr;
    }
    const key_t key = static_cast<key_t>(kKeyBase + unit);
    const int id = ::shmget(key, sizeof(ShmTime), IPC_CREAT | (mode & 0666));
    if (id < 0) {
        *problem =
            "cannot get the NTP shared-memory segment of " + name + ": " + std::strerror(errno);
        return nullptr;
    }
    void* address = ::shmat(id, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
        *problem =
            "cannot attach the NTP shared-memory segment of " + name + ": " + std::strerror(errno);
        return nullptr;
    }
    return std::unique_ptr<CShmRefclock>(new CShmRefclock(static_cast<ShmTime*>(address), unit));
}

// The segment stays: ntpd or chronyd may hold it, and the next run reuses it.
CShmRefclock::~CShmRefclock() { ::shmdt(m_shm); }

std::optional<Warning> CShmRefclock::Send(const ClockSample& sample) {
    const SystemTime truth = sample.system.Plus(sample.offset);

    std::atomic_ref<int> valid(m_shm->valid);
    std::atomic_ref<int> count(m_shm->count);
    std::optional<Warning> news;
    if (m_countAfter && count.load() != *m_countAfter && !m_toldOtherWriter) {
        m_toldOtherWriter = true;
        news =
            Warning{WarningCode::ClockFeed,
                    "another program writes to NTP shared-memory unit " + std::to_string(m_unit) +
                        " too, and the daemon takes its samples as well (a second Velto "
                        "with --shm " +
                        std::to_string(m_unit) + "?)"};
    }
    m_shm->mode = 1;
    valid.store(0);
    // The increments are sequentially consistent read-modify-writes: the field
    // stores below can move neither before the first nor after the second.
    count.fetch_add(1);
    m_shm->clockTimeStampSec = static_cast<std::time_t>(truth.sec);
    m_shm->clockTimeStampUSec = static_cast<int>(truth.nsec / 1000);
    m_shm->clockTimeStampNSec = static_cast<unsigned>(truth.nsec);
    m_shm->receiveTimeStampSec = static_cast<std::time_t>(sample.system.sec);
    m_shm->receiveTimeStampUSec = static_cast<int>(sample.system.nsec / 1000);
    m_shm->receiveTimeStampNSec = static_cast<unsigned>(sample.system.nsec);
    m_shm->leap = static_cast<int>(sample.leap);
    m_shm->precision = kPrecision;
    m_shm->nsamples = 0;
    m_countAfter = count.fetch_add(1) + 1;
    valid.store(1);
    ++m_written;
    return news;
}

}  // namespace velto
