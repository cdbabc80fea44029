// The stations' table; civil time and the stations' frames, judged by the system's tzdata
// and C library.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <initializer_list>
#include <random>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "station/CivilTime.h"
#include "station/FrameEncoder.h"
#include "station/Station.h"

namespace velto {
namespace {

std::tm LocalTime(const char* zone, std::int64_t utc) {
    setenv("TZ", zone, 1);
    tzset();
    const auto t = static_cast<std::time_t>(utc);
    std::tm out{};
    localtime_r(&t, &out);
    return out;
}

std::int64_t Utc(int year, int month, int day, int hour = 0, int minute = 0) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    return timegm(&tm);
}

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

TEST(CivilTime, UsDaylightSavingTimeByUtcDateAsTheZoneDatabaseHasIt) {
    // Every US zone changes between 06:00 and 11:00 UTC: New York stands for all.
    for (std::int64_t day = Utc(2007, 1, 1); day < Utc(2100, 1, 1); day += 86400) {
        const std::tm utc = LocalTime("UTC", day);
        ASSERT_EQ(UsDstAtStartOfUtcDay(utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday),
                  LocalTime("America/New_York", day).tm_isdst > 0)
            << day;
    }
}

// A bit of JJY, DCF77 and WWVB, or MSF's bit A; MSF's bit B.
bool A(Symbol s) { return s == Symbol::One || s == Symbol::OneOne; }
bool B(Symbol s) { return s == Symbol::ZeroOne || s == Symbol::OneOne; }

int Sum(const Frame& f, int first, std::initializer_list<int> weights, bool (*bit)(Symbol) = A) {
    int value = 0;
    for (int w : weights) value += bit(f.symbols[first++]) ? w : 0;
    return value;
}

int Ones(const Frame& f, int first, int last, bool (*bit)(Symbol) = A) {
    int ones = 0;
    for (int s = first; s <= last; ++s) ones += bit(f.symbols[s]) ? 1 : 0;
    return ones;
}

// "0", "1", "M", and MSF's "01" and "11" as "2" and "3".
std::string Text(std::span<const Symbol> symbols) {
    std::string text;
    for (Symbol s : symbols) text += "01M23"[static_cast<int>(s)];
    return text;
}

std::string Text(const Frame& f) {
    return Text({f.symbols.data(), static_cast<std::size_t>(f.length)});
}

bool MarkersAt(const Frame& f, std::initializer_list<int> seconds) {
    for (int s = 0; s < f.length; ++s) {
        const bool marker = std::find(seconds.begin(), seconds.end(), s) != seconds.end();
        if ((f.symbols[s] == Symbol::Marker) != marker) return false;
    }
    return true;
}

// The civil time a frame names, read as docs/ describe the formats, and whether it is sound.
struct Reading {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, weekday = 0;
    bool summer = false, sound = false;
    auto Tie() const { return std::make_tuple(year, month, day, hour, minute, weekday, summer); }
};

Reading FromTm(const std::tm& tm) {
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,     tm.tm_hour,
            tm.tm_min,         tm.tm_wday,    tm.tm_isdst > 0};
}

Reading Read(const Station& st, const Frame& f) {
    Reading r;
    switch (st.id) {
        case StationId::Jjy40:
        case StationId::Jjy60:
        case StationId::Wwvb: {
            const bool jjy = st.id != StationId::Wwvb;
            const int year = jjy ? Sum(f, 41, {80, 40, 20, 10, 8, 4, 2, 1})
                                 : Sum(f, 45, {80, 40, 20, 10}) + Sum(f, 50, {8, 4, 2, 1});
            const int dayOfYear =
                Sum(f, 22, {200, 100, 0, 80, 40, 20, 10}) + Sum(f, 30, {8, 4, 2, 1});
            r = FromTm(LocalTime("UTC", Utc(2000 + year, 1, dayOfYear)));
            r.hour = Sum(f, 12, {20, 10, 0, 8, 4, 2, 1});
            r.minute = Sum(f, 1, {40, 20, 10, 0, 8, 4, 2, 1});
            if (jjy) r.weekday = Sum(f, 50, {4, 2, 1});
            r.sound = MarkersAt(f, {0, 9, 19, 29, 39, 49, 59}) &&
                      (!jjy || (Ones(f, 12, 18) % 2 == Ones(f, 36, 36) &&
                                Ones(f, 1, 8) % 2 == Ones(f, 37, 37)));
            break;
        }
        case StationId::Dcf77:
            r.minute = Sum(f, 21, {1, 2, 4, 8, 10, 20, 40});
            r.hour = Sum(f, 29, {1, 2, 4, 8, 10, 20});
            r.day = Sum(f, 36, {1, 2, 4, 8, 10, 20});
            r.weekday = Sum(f, 42, {1, 2, 4}) % 7;
            r.month = Sum(f, 45, {1, 2, 4, 8, 10});
            r.year = 2000 + Sum(f, 50, {1, 2, 4, 8, 10, 20, 40, 80});
            r.summer = A(f.symbols[17]);
            r.sound = A(f.symbols[17]) != A(f.symbols[18]) && !A(f.symbols[0]) &&
                      A(f.symbols[20]) && Ones(f, 21, 28) % 2 == 0 && Ones(f, 29, 35) % 2 == 0 &&
                      Ones(f, 36, 58) % 2 == 0 && MarkersAt(f, {59});
            break;
        case StationId::Msf:
            r.year = 2000 + Sum(f, 17, {80, 40, 20, 10, 8, 4, 2, 1});
            r.month = Sum(f, 25, {10, 8, 4, 2, 1});
            r.day = Sum(f, 30, {20, 10, 8, 4, 2, 1});
            r.weekday = Sum(f, 36, {4, 2, 1});
            r.hour = Sum(f, 39, {20, 10, 8, 4, 2, 1});
            r.minute = Sum(f, 45, {40, 20, 10, 8, 4, 2, 1});
            r.summer = B(f.symbols[58]);
            r.sound = (Ones(f, 17, 24) + B(f.symbols[54])) % 2 == 1 &&
                      (Ones(f, 25, 35) + B(f.symbols[55])) % 2 == 1 &&
                      (Ones(f, 36, 38) + B(f.symbols[56])) % 2 == 1 &&
                      (Ones(f, 39, 51) + B(f.symbols[57])) % 2 == 1 &&
                      Sum(f, 52, {128, 64, 32, 16, 8, 4, 2, 1}) == 0b01111110 &&
                      Ones(f, 17, 52, B) == 0 && MarkersAt(f, {0});
            break;
    }
    return r;
}

const FrameOptions kWithoutCallSign{.leap = {}, .callSignMinutes = false};

Reading Expected(const Station& st, std::int64_t utcMinute) {
    constexpr const char* kZones[] = {"Asia/Tokyo", "Europe/Berlin", "Europe/London", "UTC"};
    const bool next = st.id == StationId::Dcf77 || st.id == StationId::Msf;
    return FromTm(LocalTime(kZones[static_cast<int>(st.zone)], utcMinute + (next ? 60 : 0)));
}

TEST(FrameEncoder, EveryStationNamesItsCivilTimeWithSoundParities) {
    std::vector<std::int64_t> minutes;
    std::mt19937_64 rng(28);
    std::uniform_int_distribution<std::int64_t> any(Utc(2000, 1, 1) / 60, Utc(2099, 12, 31) / 60);
    for (int i = 0; i < 4000; ++i) minutes.push_back(any(rng) * 60);
    // Both changes of 2025 (with autumn's repeated hour) and the turn of the year.
    for (std::int64_t from : {Utc(2025, 3, 29, 22), Utc(2025, 10, 25, 22), Utc(2024, 12, 31, 21)}) {
        for (std::int64_t t = from; t < from + 5 * 3600; t += 60) minutes.push_back(t);
    }
    for (const Station& st : Stations()) {
        for (std::int64_t utc : minutes) {
            const Frame f = EncodeFrame(st, utc, kWithoutCallSign);
            const Reading r = Read(st, f);
            ASSERT_EQ(r.Tie(), Expected(st, utc).Tie()) << st.name << " " << utc;
            ASSERT_TRUE(r.sound) << st.name << " " << utc;
            // What a decoder reads gives back the minute the frame was sent in.
            ASSERT_EQ(FrameStartUtc(st, r.year, r.month, r.day, r.hour, r.minute, r.summer), utc)
                << st.name << " " << utc;
        }
    }
}

TEST(FrameEncoder, KnownMinutesAndTheYearsEnd) {
    // DCF77 names Sunday 7, not 0.
    EXPECT_EQ(Sum(EncodeFrame(GetStation(StationId::Dcf77), Utc(2025, 7, 13, 9, 0)), 42, {1, 2, 4}),
              7);

    // WWVB's leap-year bit, in the year's last minute and not the next year's first.
    const Station& wwvb = GetStation(StationId::Wwvb);
    EXPECT_TRUE(A(EncodeFrame(wwvb, Utc(2024, 12, 31, 23, 59)).symbols[55]));
    EXPECT_FALSE(A(EncodeFrame(wwvb, Utc(2025, 1, 1, 0, 0)).symbols[55]));

    // JJY 40 kHz's minutes as its format writes them.
    const Station& jjy40 = GetStation(StationId::Jjy40);
    // Monday, day 341, 11:23 JST; hour parity even, minute parity odd.
    EXPECT_EQ(Text(EncodeFrame(jjy40, Utc(2026, 12, 7, 2, 23))),
              "M01000011M000100001M001100100M000100010M000100110M001000000M");
    // A leap year's last minute in Japan: day 366, Tuesday, 23:59; hour parity odd, minute even.
    EXPECT_EQ(Text(EncodeFrame(jjy40, Utc(2024, 12, 31, 14, 59))),
              "M10101001M001000011M001100110M011000100M000100100M010000000M");
    // New Year in Japan, 15:00 UTC the day before: day 1, Friday, midnight.
    EXPECT_EQ(Text(EncodeFrame(jjy40, Utc(2026, 12, 31, 15, 0))),
              "M00000000M000000000M000000000M000100000M000100111M101000000M");
}

TEST(FrameEncoder, SummerTimeChangesAnnouncedAndTold) {
    // DCF77's A1 in the hour before a change, MSF's 53B in the 61 minutes before.
    for (std::int64_t change : {Utc(2025, 3, 30, 1, 0), Utc(2025, 10, 26, 1, 0)}) {
        for (const auto& [id, second, bit, minutes] :
             {std::tuple(StationId::Dcf77, 16, &A, 60), std::tuple(StationId::Msf, 53, &B, 61)}) {
            std::vector<std::int64_t> noticed;
            for (std::int64_t t = change - 3 * 3600; t < change + 3600; t += 60) {
                if (bit(EncodeFrame(GetStation(id), t).symbols[second])) noticed.push_back(t);
            }
            ASSERT_EQ(noticed.size(), static_cast<std::size_t>(minutes));
            EXPECT_EQ(noticed.front(), change - 60 * minutes);
            EXPECT_EQ(noticed.back(), change - 60);
        }
    }
    // WWVB's bits 57 and 58 by UTC date around the US changes of 2025.
    const Station& wwvb = GetStation(StationId::Wwvb);
    for (const auto& [month, day, bits] :
         {std::tuple(3, 8, 0b00), std::tuple(3, 9, 0b10), std::tuple(3, 10, 0b11),
          std::tuple(11, 1, 0b11), std::tuple(11, 2, 0b01), std::tuple(11, 3, 0b00)}) {
        for (int hour : {0, 12, 23}) {
            EXPECT_EQ(Sum(EncodeFrame(wwvb, Utc(2025, month, day, hour, 59)), 57, {2, 1}), bits)
                << month << "/" << day << " " << hour;
        }
    }
}

TEST(FrameEncoder, LeapSecondsPlacedAndAnnouncedAsEachStationDoes) {
    const std::int64_t leap = Utc(2017, 1, 1);
    // Where a second goes in or out, which second announces it and from when.
    const std::int64_t month = Utc(2016, 12, 1), hour = leap - 3600, never = leap;
    for (const auto& [id, insertAt, deleteAt, noticeSecond, noticeFrom] :
         {std::tuple(StationId::Jjy40, 59, 58, 53, month),
          std::tuple(StationId::Dcf77, 59, 58, 19, hour),
          std::tuple(StationId::Msf, 17, 16, -1, never),
          std::tuple(StationId::Wwvb, 59, 58, 56, month)}) {
        const Station& st = GetStation(id);
        for (int kind : {1, 2}) {
            const FrameOptions options{.leap = {leap, kind}};
            for (std::int64_t t = Utc(2016, 11, 30, 23); t < leap + 3600; t += 60) {
                const Frame plain = EncodeFrame(st, t), f = EncodeFrame(st, t, options);
                std::vector<Symbol> want(plain.symbols.begin(), plain.symbols.begin() + 60);
                if (t == leap - 60 && kind == 1) want.insert(want.begin() + insertAt, Symbol::Zero);
                if (t == leap - 60 && kind == 2) want.erase(want.begin() + deleteAt);
                // JJY's call-sign minutes carry no leap bits.
                const bool noticed = t >= noticeFrom && t < leap && !plain.callSign;
                if (noticed) want[noticeSecond] = Symbol::One;
                if (noticed && id == StationId::Jjy40)
                    want[54] = kind == 1 ? Symbol::One : Symbol::Zero;
                ASSERT_EQ(Text(f), Text(want)) << st.name << " kind " << kind << " at " << t;
            }
        }
    }
}

TEST(FrameEncoder, Jjy60SendsItsCallSignAtMinutes15And45) {
    const Station& jjy60 = GetStation(StationId::Jjy60);
    const FrameOptions options{.leap = {}, .service = 0b100101};  // ST1, ST4, ST6
    for (int minute : {15, 16, 45}) {
        const std::int64_t utc = Utc(2025, 6, 10, 3, minute);  // 12:mm JST
        const Frame f = EncodeFrame(jjy60, utc, options);
        const Frame plain = EncodeFrame(jjy60, utc, kWithoutCallSign);
        EXPECT_EQ(f.symbols, EncodeFrame(GetStation(StationId::Jjy40), utc, options).symbols);
        EXPECT_TRUE(MarkersAt(f, {0, 9, 19, 29, 39, 49, 59}));
        // The year's seconds carry the Morse, the weekday's and leap bits the service bits.
        EXPECT_TRUE(std::equal(f.symbols.begin(), f.symbols.begin() + 40, plain.symbols.begin()));
        EXPECT_EQ(f.callSign, minute != 16);
        if (minute == 16) {
            EXPECT_EQ(f.symbols, plain.symbols);
        } else {
            EXPECT_EQ(Sum(f, 50, {32, 16, 8, 4, 2, 1}), 0b100101);
            EXPECT_EQ(Ones(f, 40, 48), 0);
        }
    }
}

std::string Parts(const Station& st) {
    std::string s;
    const CommonParts c = CommonKeying(st);
    for (int i = 0; i < c.count; ++i) {
        s += std::to_string(c.parts[i].from).substr(0, 3) + "-" +
             std::to_string(c.parts[i].to).substr(0, 3) + "@" +
             std::to_string(c.parts[i].level).substr(0, 4) + " ";
    }
    return s;
}

TEST(Stations, EachOnceByNameWithACarrierItsRateHearsDirectly) {
    for (const Station& st : Stations()) {
        EXPECT_EQ(FindStation(st.name), &st);
        EXPECT_EQ(&GetStation(st.id), &st);
        EXPECT_LT(st.carrierHz, st.sampleRate / 2.0) << st.name;
    }
}

TEST(Stations, KeyingAsTheFormatPagesDescribeItAndTheTimeOfDayFoundApartFromTheDate) {
    // What every second shares, where the second is folded.
    EXPECT_EQ(Parts(GetStation(StationId::Jjy40)), "0.0-0.2@1.00 0.8-1.0@0.10 ");
    EXPECT_EQ(Parts(GetStation(StationId::Dcf77)), "0.0-0.1@0.15 0.2-1.0@1.00 ");
    EXPECT_EQ(Parts(GetStation(StationId::Msf)), "0.0-0.1@0.00 0.3-1.0@1.00 ");
    EXPECT_EQ(Parts(GetStation(StationId::Wwvb)), "0.0-0.2@0.14 0.8-1.0@1.00 ");
    // The on-time point is the station's edge in every symbol but a minute mark.
    for (const Station& st : Stations()) {
        for (int a = 0; a < kSymbolCount; ++a) {
            const auto sym = static_cast<Symbol>(a);
            if (!st.Keying(sym).used || st.Keying(sym).minuteMarkOnly) continue;
            const double after = KeyedLevel(st, sym, 0.001), before = KeyedLevel(st, sym, 0.999);
            EXPECT_EQ(after > before, st.edge == OnTimeEdge::Rise) << st.name << " " << a;
            EXPECT_NE(after, before) << st.name << " " << a;
        }
    }

    // A parity covers fields of one group, and the time of day's seconds are
    // the same in every minute, call-sign minutes too.
    for (const Station& st : Stations()) {
        for (const FrameLayout* layout : {&st.layout, &st.callSignLayout}) {
            for (int p = 0; p < layout->parityCount; ++p) {
                const ParityRule& rule = layout->parities[p];
                for (int f = 1; f < rule.fieldCount; ++f) {
                    EXPECT_EQ(GroupOf(rule.fields[f]), GroupOf(rule.fields[0])) << st.name;
                }
            }
        }
        if (!st.callSignMinutes) continue;
        for (int s = 0; s < 60; ++s) {
            const bool timeOfDay = GroupOfSecond(st.layout, s) == FieldGroup::TimeOfDay;
            EXPECT_EQ(GroupOfSecond(st.callSignLayout, s) == FieldGroup::TimeOfDay, timeOfDay);
            if (timeOfDay) {
                EXPECT_EQ(st.layout.seconds[s].field, st.callSignLayout.seconds[s].field) << s;
                EXPECT_EQ(st.layout.seconds[s].weight, st.callSignLayout.seconds[s].weight) << s;
            }
        }
    }
}

}  // namespace
}  // namespace velto
