#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "station/JjyTimeCode.h"

namespace velto {
namespace {

std::string Frame(const JjyTime& t) {
    std::string s;
    for (JjySymbol sym : EncodeJjyFrame(t)) {
        s += sym == JjySymbol::Marker ? 'M' : sym == JjySymbol::One ? '1' : '0';
    }
    return s;
}

TEST(JjyTimeCode, EncodesKnownMinutes) {
    // Monday, day 341, 11:23; hour parity even, minute parity odd.
    EXPECT_EQ(Frame({2026, 12, 7, 11, 23}),
              "M01000011M000100001M001100100M000100010M000100110M001000000M");
    // Leap year's last minute: day 366, Tuesday, 23:59; hour parity odd, minute even.
    EXPECT_EQ(Frame({2024, 12, 31, 23, 59}),
              "M10101001M001000011M001100110M011000100M000100100M010000000M");
    // New Year: day 1, Friday, midnight.
    EXPECT_EQ(Frame({2027, 1, 1, 0, 0}),
              "M00000000M000000000M000000000M000100000M000100111M101000000M");
    EXPECT_EQ(JjyDayOfYear(2100, 3, 1), 60);  // not a leap year
    EXPECT_EQ(std::make_tuple(JjyOnSlots(JjySymbol::Zero), JjyOnSlots(JjySymbol::One),
                              JjyOnSlots(JjySymbol::Marker)),
              std::make_tuple(80, 50, 20));
}

TEST(JjyTimeCode, JapanStandardTimeFromUnixTime) {
    int sec = -1;
    JjyTime t = JjyTimeFromUnix(1798729200, &sec);  // 15:00 UTC on 31 December is New Year in Japan
    EXPECT_EQ(std::tie(t.year, t.month, t.day, t.hour, t.minute, sec),
              std::make_tuple(2027, 1, 1, 0, 0, 0));
    t = JjyTimeFromUnix(-kJstOffsetSeconds - 1, &sec);  // before 1970 in Japan too
    EXPECT_EQ(std::tie(t.year, t.month, t.day, t.hour, t.minute, sec),
              std::make_tuple(1969, 12, 31, 23, 59, 59));
    // A day of the year back to its date, across February of leap and other years.
    for (const auto& [year, day, month, date] :
         {std::tuple(2024, 366, 12, 31), std::tuple(2024, 60, 2, 29), std::tuple(2100, 60, 3, 1),
          std::tuple(2027, 1, 1, 1)}) {
        t = JjyDateOfDay(year, day);
        EXPECT_EQ(std::tie(t.year, t.month, t.day), std::make_tuple(year, month, date)) << day;
        EXPECT_EQ(JjyDayOfYear(year, month, date), day);
    }
}

}  // namespace
}  // namespace velto
