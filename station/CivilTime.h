#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The civil time a station announces, with its summer-time rules: JST all
// year; CET/CEST and GMT/BST with the EU's dates; UTC (WWVB, whose frame
// also tells US daylight saving time by bits of its own).
namespace velto {

enum class CivilZone : std::uint8_t { Japan, CentralEurope, UnitedKingdom, Utc };

// A civil time to the second, with the offset in force.
struct CivilTime {
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
    int dayOfYear = 1;
    int weekday = 4;        // Sunday = 0
    int offsetSeconds = 0;  // civil time minus UTC
    bool summer = false;    // CEST or BST in force
    std::string_view zone;  // "JST", "CET", "CEST", "GMT", "BST" or "UTC"
};

// The civil time of a Unix time (seconds since 1970-01-01 UTC).
CivilTime CivilTimeAt(CivilZone zone, std::int64_t utc);

// The Unix time of second 0 of a civil minute; `summer` tells which of the
// two offsets is meant (in the hour that autumn repeats, both exist).
std::int64_t UtcFromCivil(CivilZone zone, int year, int month, int day, int hour, int minute,
                          bool summer);

// EU summer time, for CET/CEST and GMT/BST alike: from the last Sunday of
// March 01:00 UTC to the last Sunday of October 01:00 UTC.
std::int64_t EuSummerBegins(int year);
std::int64_t EuSummerEnds(int year);

// The first change between standard and summer time after `utc` (strictly),
// if the zone has any.
std::optional<std::int64_t> NextSummerChange(CivilZone zone, std::int64_t utc);

// US daylight saving time (second Sunday of March to first Sunday of
// November), as WWVB tells it by UTC date: whether it is in force at 00:00
// UTC of that date.
bool UsDstAtStartOfUtcDay(int year, int month, int day);

// "2025-03-30T03:00:00+02:00".
std::string IsoText(const CivilTime& time);

// "JST", "CET/CEST", "GMT/BST", "UTC".
std::string_view ZoneLabel(CivilZone zone);

}  // namespace velto
