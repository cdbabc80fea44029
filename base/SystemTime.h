#pragma once

#include <compare>
#include <cstdint>

namespace velto {

// A reading of the system clock (CLOCK_REALTIME): whole seconds since the
// epoch and nanoseconds within the second, always 0..999999999. Every time
// Velto tells about the system clock has this one form, from the capture's
// stamps to the samples chronyd gets.
struct SystemTime {
    std::int64_t sec = 0;
    std::int64_t nsec = 0;

    // Any count of nanoseconds, negative or past a second, brought into form.
    static SystemTime Normalised(std::int64_t sec, std::int64_t nsec);
    // Nanoseconds since the epoch, as the capture stamps them.
    static SystemTime FromNanoseconds(std::int64_t ns) { return Normalised(0, ns); }
    // The system clock now.
    static SystemTime Now();

    // This time moved by `seconds`, to the nearest nanosecond.
    SystemTime Plus(double seconds) const;
    // How many seconds this time lies after `other` (negative: before).
    double SecondsAfter(const SystemTime& other) const {
        return static_cast<double>(sec - other.sec) + static_cast<double>(nsec - other.nsec) * 1e-9;
    }

    auto operator<=>(const SystemTime&) const = default;
};

}  // namespace velto
