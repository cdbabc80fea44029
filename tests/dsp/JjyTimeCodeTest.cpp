#include <gtest/gtest.h>

#include <string>

#include "dsp/JjyTimeCode.h"

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
}

TEST(JjyTimeCode, JapanStandardTimeFromUnixTime) {
    int second = -1;
    const JjyTime t = JjyTimeFromUnix(1796610180 + 42, &second);  // 2026-12-07 02:23:42 UTC
    EXPECT_EQ(t.year, 2026);
    EXPECT_EQ(t.month, 12);
    EXPECT_EQ(t.day, 7);
    EXPECT_EQ(t.hour, 11);
    EXPECT_EQ(t.minute, 23);
    EXPECT_EQ(second, 42);
    // 15:00 UTC on 31 December is already New Year in Japan.
    const JjyTime ny = JjyTimeFromUnix(1798729200);  // 2026-12-31 15:00:00 UTC
    EXPECT_EQ(ny.year, 2027);
    EXPECT_EQ(ny.month, 1);
    EXPECT_EQ(ny.day, 1);
    EXPECT_EQ(ny.hour, 0);
}

TEST(JjyTimeCode, CalendarHelpers) {
    EXPECT_EQ(JjyDayOfYear(2024, 3, 1), 61);
    EXPECT_EQ(JjyDayOfYear(2100, 3, 1), 60);
    EXPECT_EQ(JjyDayOfYear(2000, 12, 31), 366);
    EXPECT_EQ(JjyDayOfWeek(2000, 1, 1), 6);
    EXPECT_EQ(JjyOnSlots(JjySymbol::Zero), 80);
    EXPECT_EQ(JjyOnSlots(JjySymbol::One), 50);
    EXPECT_EQ(JjyOnSlots(JjySymbol::Marker), 20);
}

}  // namespace
}  // namespace velto
