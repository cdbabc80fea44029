#pragma once

#include <array>
#include <cstdint>

// The JJY time code: one symbol per second, a 60-second frame per minute,
// as the decoder, the simulator, the views and the console take it. The
// station descriptions (Station.h) hold the same frame as `jjy40`'s data.
namespace velto {

enum class JjySymbol : std::uint8_t { Zero, One, Marker };

inline constexpr int kJjyFrameSeconds = 60;
using JjyFrame = std::array<JjySymbol, kJjyFrameSeconds>;

// JST, the time the code carries, is UTC + 9 h all year.
inline constexpr std::int64_t kJstOffsetSeconds = 9 * 3600;

// PA1 (second 36) is the even parity of the hour's bits, PA2 (second 37)
// that of the minute's.
inline constexpr std::array<int, 6> kJjyHourBits = {12, 13, 15, 16, 17, 18};
inline constexpr int kJjyPa1Second = 36;
inline constexpr std::array<int, 7> kJjyMinuteBits = {1, 2, 3, 5, 6, 7, 8};
inline constexpr int kJjyPa2Second = 37;

// Minutes 15 and 45 of each hour send the call sign "JJY" in Morse over
// seconds 40..48 (and the service bits in 50..55) instead of the year and
// the weekday.
inline constexpr int kJjyMorseFirstSecond = 40;
inline constexpr int kJjyMorseLastSecond = 48;
bool JjyCallSignMinute(int minuteOfHour);
inline bool JjyMorseSecond(int secondInMinute) {
    return secondInMinute >= kJjyMorseFirstSecond && secondInMinute <= kJjyMorseLastSecond;
}

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
// The date of a day of the year (1 = 1 January), at 00:00.
JjyTime JjyDateOfDay(int year, int dayOfYear);

// The JST civil time of a Unix time (seconds since 1970-01-01 UTC), and the
// second within its minute.
JjyTime JjyTimeFromUnix(std::int64_t unixSeconds, int* secondOfMinute = nullptr);

// The Unix time of a JST civil time (second 0 of its minute); the inverse of
// JjyTimeFromUnix.
std::int64_t JjyUnixFromTime(const JjyTime& time);

// The 60 symbols sent during the minute that begins at `time`.
JjyFrame EncodeJjyFrame(const JjyTime& time);

}  // namespace velto
