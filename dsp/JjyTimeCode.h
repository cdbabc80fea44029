#pragma once

#include <array>
#include <cstdint>

// The JJY time code: one symbol per second, a 60-second frame per minute.
namespace velto {

enum class JjySymbol : std::uint8_t { Zero, One, Marker };

inline constexpr int kJjyFrameSeconds = 60;
using JjyFrame = std::array<JjySymbol, kJjyFrameSeconds>;

// A civil time in JST (UTC+9), to the minute.
struct JjyTime {
    int year = 2000;  // full year, 2000..2099 is what the code can carry
    int month = 1;    // 1..12
    int day = 1;      // 1..31
    int hour = 0;     // 0..23
    int minute = 0;   // 0..59
};

// Length of the full-carrier part of a second, in 10 ms slots (80, 50, 20).
int JjyOnSlots(JjySymbol symbol);

// Day of the year, 1 = 1 January.
int JjyDayOfYear(int year, int month, int day);
// Day of the week, Sunday = 0.
int JjyDayOfWeek(int year, int month, int day);

// The JST civil time of a Unix time (seconds since 1970-01-01 UTC), and the
// second within its minute.
JjyTime JjyTimeFromUnix(std::int64_t unixSeconds, int* secondOfMinute = nullptr);

// The Unix time of a JST civil time (second 0 of its minute); the inverse of
// JjyTimeFromUnix.
std::int64_t JjyUnixFromTime(const JjyTime& time);

// The 60 symbols sent during the minute that begins at `time`.
JjyFrame EncodeJjyFrame(const JjyTime& time);

}  // namespace velto
