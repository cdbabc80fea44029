#pragma once

#include <atomic>

#include "clock/ShmRefclock.h"

// One look at an NTP shared-memory unit as the daemons take it: a sample
// counts when `valid` and `count` is even and unchanged across the copy.
namespace support {

struct ShmCopy {
    long long clockSec, clockNsec, receiveSec, receiveNsec;
    int leap;
};
enum class ShmLook { Nothing, Torn, Whole };

inline ShmLook LookAtShm(velto::ShmTime& shm, ShmCopy& copy) {
    std::atomic_ref<int> count(shm.count);
    const int before = count.load(std::memory_order_acquire);
    if (std::atomic_ref<int>(shm.valid).load() == 0 || before % 2 != 0) return ShmLook::Nothing;
    const volatile velto::ShmTime& v = shm;
    copy = {v.clockTimeStampSec, v.clockTimeStampNSec, v.receiveTimeStampSec,
            v.receiveTimeStampNSec, v.leap};
    // A release read-modify-write keeps the copy above before the second look
    // at count, with no fence (which sanitizers refuse).
    return count.fetch_add(0, std::memory_order_acq_rel) == before ? ShmLook::Whole : ShmLook::Torn;
}

}  // namespace support
