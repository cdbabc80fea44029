#pragma once

#include <cstdint>
#include <cstdlib>
#include <ctime>

// The system's tzdata and C library: civil time owing nothing to station/.
namespace velto::test {

inline std::tm LocalTime(const char* zone, std::int64_t utc) {
    setenv("TZ", zone, 1);
    tzset();
    const auto t = static_cast<std::time_t>(utc);
    std::tm out{};
    localtime_r(&t, &out);
    return out;
}

inline std::int64_t Utc(int year, int month, int day, int hour = 0, int minute = 0) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    return timegm(&tm);
}

}  // namespace velto::test
