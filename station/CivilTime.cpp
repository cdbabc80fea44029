#include "station/CivilTime.h"

#include <cstdio>

#include "station/Calendar.h"

namespace velto {
namespace {

constexpr std::int64_t kHour = 3600;

int LastSunday(int year, int month, int lastDay) {
    return lastDay - DayOfWeek(year, month, lastDay);
}

int NthSunday(int year, int month, int n) {
    return 1 + (7 - DayOfWeek(year, month, 1)) % 7 + 7 * (n - 1);
}

int UtcYear(std::int64_t utc) {
    int y = 0, m = 0, d = 0;
    CivilFromDays(FloorDiv(utc, kSecondsPerDay), y, m, d);
    return y;
}

std::int64_t StandardOffset(CivilZone zone) {
    switch (zone) {
        case CivilZone::Japan:
            return 9 * kHour;
        case CivilZone::CentralEurope:
            return kHour;
        case CivilZone::UnitedKingdom:
        case CivilZone::Utc:
            return 0;
    }
    return 0;
}

bool HasSummerTime(CivilZone zone) {
    return zone == CivilZone::CentralEurope || zone == CivilZone::UnitedKingdom;
}

std::string_view ZoneName(CivilZone zone, bool summer) {
    switch (zone) {
        case CivilZone::Japan:
            return "JST";
        case CivilZone::CentralEurope:
            return summer ? "CEST" : "CET";
        case CivilZone::UnitedKingdom:
            return summer ? "BST" : "GMT";
        case CivilZone::Utc:
            return "UTC";
    }
    return "UTC";
}

}  // namespace

std::int64_t EuSummerBegins(int year) {
    return DaysFromCivil(year, 3, LastSunday(year, 3, 31)) * kSecondsPerDay + kHour;
}

std::int64_t EuSummerEnds(int year) {
    return DaysFromCivil(year, 10, LastSunday(year, 10, 31)) * kSecondsPerDay + kHour;
}

CivilTime CivilTimeAt(CivilZone zone, std::int64_t utc) {
    CivilTime t;
    const int year = UtcYear(utc);
    t.summer = HasSummerTime(zone) && utc >= EuSummerBegins(year) && utc < EuSummerEnds(year);
    t.zone = ZoneName(zone, t.summer);
    t.offsetSeconds = static_cast<int>(StandardOffset(zone) + (t.summer ? kHour : 0));
    const std::int64_t local = utc + t.offsetSeconds;
    const std::int64_t days = FloorDiv(local, kSecondsPerDay);
    const int inDay = static_cast<int>(local - days * kSecondsPerDay);
    CivilFromDays(days, t.year, t.month, t.day);
    t.hour = inDay / 3600;
    t.minute = inDay / 60 % 60;
    t.second = inDay % 60;
    t.dayOfYear = DayOfYear(t.year, t.month, t.day);
    t.weekday = DayOfWeek(t.year, t.month, t.day);
    return t;
}

std::int64_t UtcFromCivil(CivilZone zone, int year, int month, int day, int hour, int minute,
                          bool summer) {
    const std::int64_t offset = StandardOffset(zone) + (summer && HasSummerTime(zone) ? kHour : 0);
    return DaysFromCivil(year, month, day) * kSecondsPerDay + hour * kHour + minute * 60 - offset;
}

std::optional<std::int64_t> NextSummerChange(CivilZone zone, std::int64_t utc) {
    if (!HasSummerTime(zone)) return std::nullopt;
    const int year = UtcYear(utc);
    for (std::int64_t change :
         {EuSummerBegins(year), EuSummerEnds(year), EuSummerBegins(year + 1)}) {
        if (change > utc) return change;
    }
    return std::nullopt;  // not reached: next year's spring lies ahead
}

bool UsDstAtStartOfUtcDay(int year, int month, int day) {
    // 02:00 local time on the change days falls after 00:00 UTC of that UTC
    // date, so the date of the change starts in the old state.
    const std::int64_t date = DaysFromCivil(year, month, day);
    return date > DaysFromCivil(year, 3, NthSunday(year, 3, 2)) &&
           date <= DaysFromCivil(year, 11, NthSunday(year, 11, 1));
}

std::string IsoText(const CivilTime& t) {
    const int offset = t.offsetSeconds < 0 ? -t.offsetSeconds : t.offsetSeconds;
    char text[96];  // room for any int in every field
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", t.year, t.month,
                  t.day, t.hour, t.minute, t.second, t.offsetSeconds < 0 ? '-' : '+', offset / 3600,
                  offset / 60 % 60);
    return text;
}

std::string_view ZoneLabel(CivilZone zone) {
    switch (zone) {
        case CivilZone::Japan:
            return "JST";
        case CivilZone::CentralEurope:
            return "CET/CEST";
        case CivilZone::UnitedKingdom:
            return "GMT/BST";
        case CivilZone::Utc:
            return "UTC";
    }
    return "UTC";
}

}  // namespace velto
