#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "ZoneDatabase.h"
#include "station/CivilTime.h"

namespace velto {
namespace {

using test::LocalTime;
using test::Utc;

TEST(CivilTime, FollowsTheZoneDatabaseThroughEveryChangeOfTheCentury) {
    // The last eight days of March and October hold the changes.
    for (const auto& [zone, tz] : {std::tuple(CivilZone::CentralEurope, "Europe/Berlin"),
                                   std::tuple(CivilZone::UnitedKingdom, "Europe/London"),
                                   std::tuple(CivilZone::Japan, "Asia/Tokyo")}) {
        for (int year = 2000; year < 2100; ++year) {
            for (int month : {3, 10}) {
                for (std::int64_t utc = Utc(year, month, 24); utc < Utc(year, month + 1, 1);
                     utc += 900) {
                    const CivilTime c = CivilTimeAt(zone, utc);
                    const std::tm tm = LocalTime(tz, utc);
                    ASSERT_EQ(std::make_tuple(c.year, c.month, c.day, c.hour, c.minute, c.weekday),
                              std::make_tuple(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                                              tm.tm_hour, tm.tm_min, tm.tm_wday))
                        << tz << " " << utc;
                    ASSERT_EQ(c.offsetSeconds, tm.tm_gmtoff) << tz << " " << IsoText(c);
                    ASSERT_EQ(c.summer, tm.tm_isdst > 0) << tz << " " << IsoText(c);
                    ASSERT_EQ(std::string(c.zone), tm.tm_zone) << tz << " " << IsoText(c);
                    // And back, the repeated autumn hour told apart by the flag.
                    ASSERT_EQ(
                        UtcFromCivil(zone, c.year, c.month, c.day, c.hour, c.minute, c.summer), utc)
                        << tz << " " << IsoText(c);
                }
            }
        }
    }
}

TEST(CivilTime, UsDaylightSavingTimeByUtcDateAsTheZoneDatabaseHasItAndTimesWithTheirOffset) {
    // Every US zone changes between 06:00 and 11:00 UTC: New York stands for all.
    for (std::int64_t day = Utc(2007, 1, 1); day < Utc(2100, 1, 1); day += 86400) {
        const std::tm utc = LocalTime("UTC", day);
        ASSERT_EQ(UsDstAtStartOfUtcDay(utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday),
                  LocalTime("America/New_York", day).tm_isdst > 0)
            << day;
    }

    EXPECT_EQ(IsoText(CivilTimeAt(CivilZone::CentralEurope, Utc(2025, 3, 30, 1, 0))),
              "2025-03-30T03:00:00+02:00");
    EXPECT_EQ(IsoText(CivilTimeAt(CivilZone::Japan, Utc(2024, 12, 31, 15, 0) - 1)),
              "2024-12-31T23:59:59+09:00");
    EXPECT_EQ(IsoText(CivilTimeAt(CivilZone::UnitedKingdom, Utc(2025, 1, 1))),
              "2025-01-01T00:00:00+00:00");
}

}  // namespace
}  // namespace velto
