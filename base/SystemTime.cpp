#include "base/SystemTime.h"

#include <chrono>
#include <cmath>

namespace velto {
namespace {

constexpr std::int64_t kNanosPerSecond = 1000000000;

}  // namespace

SystemTime SystemTime::Normalised(std::int64_t sec, std::int64_t nsec) {
    std::int64_t carry = nsec / kNanosPerSecond;
    nsec -= carry * kNanosPerSecond;
    if (nsec < 0) {
        nsec += kNanosPerSecond;
        --carry;
    }
    return SystemTime{sec + carry, nsec};
}

SystemTime SystemTime::Now() {
    return FromNanoseconds(std::chrono::duration_cast<std::chrono::nanoseconds>(
                               std::chrono::system_clock::now().time_since_epoch())
                               .count());
}

// The whole seconds are added apart, so that the fraction keeps its
// nanoseconds however far the time lies from the epoch.
SystemTime SystemTime::Plus(double seconds) const {
    const double whole = std::floor(seconds);
    return Normalised(sec + static_cast<std::int64_t>(whole),
                      nsec + std::llround((seconds - whole) * 1e9));
}

}  // namespace velto
