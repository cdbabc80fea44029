#include "station/FrameEncoder.h"

#include <algorithm>

#include "station/Calendar.h"

namespace velto {
namespace {

int& Value(FieldValues& values, Field field) { return values[static_cast<std::size_t>(field)]; }

int UtcMonthIndex(std::int64_t utc) {
    int y = 0, m = 0, d = 0;
    CivilFromDays(FloorDiv(utc, kSecondsPerDay), y, m, d);
    return y * 12 + m;
}

bool LeapNoticed(const Station& station, std::int64_t utcMinute, const LeapSecond& leap) {
    if ((leap.kind != 1 && leap.kind != 2) || utcMinute >= leap.utc) return false;
    switch (station.leapNotice) {
        case LeapNoticeSpan::None:
            return false;
        case LeapNoticeSpan::UtcMonth:
            return UtcMonthIndex(utcMinute) == UtcMonthIndex(leap.utc - 1);
        case LeapNoticeSpan::Hour:
            return leap.utc - utcMinute <= 3600;
    }
    return false;
}

// WWVB's two DST bits of a UTC date: in force at its end (2), at its start (1).
int UsDstBits(std::int64_t utc) {
    const std::int64_t days = FloorDiv(utc, kSecondsPerDay);
    int y = 0, m = 0, d = 0;
    CivilFromDays(days, y, m, d);
    int ny = 0, nm = 0, nd = 0;
    CivilFromDays(days + 1, ny, nm, nd);
    return (UsDstAtStartOfUtcDay(ny, nm, nd) ? 2 : 0) + (UsDstAtStartOfUtcDay(y, m, d) ? 1 : 0);
}

}  // namespace

CivilTime NamedTime(const Station& station, std::int64_t utcMinute) {
    return CivilTimeAt(station.zone, utcMinute + station.frameLeadSeconds);
}

FieldValues FrameFields(const Station& station, std::int64_t utcMinute,
                        const FrameOptions& options) {
    const CivilTime t = NamedTime(station, utcMinute);
    FieldValues v{};
    Value(v, Field::Minute) = t.minute;
    Value(v, Field::Hour) = t.hour;
    Value(v, Field::DayOfYear) = t.dayOfYear;
    Value(v, Field::DayOfMonth) = t.day;
    Value(v, Field::Month) = t.month;
    Value(v, Field::Year) = (t.year % 100 + 100) % 100;
    Value(v, Field::Weekday) = t.weekday == 0 ? station.sundayValue : t.weekday;
    Value(v, Field::LeapYear) = IsLeapYear(t.year) ? 1 : 0;
    Value(v, Field::Summer) = t.summer ? 1 : 0;
    const auto change = NextSummerChange(station.zone, utcMinute);
    Value(v, Field::SummerNotice) =
        change && *change - utcMinute <= station.summerNoticeSeconds ? 1 : 0;
    Value(v, Field::UsDst) = UsDstBits(utcMinute + station.frameLeadSeconds);
    const bool leap = LeapNoticed(station, utcMinute, options.leap);
    Value(v, Field::LeapNotice) = leap ? 1 : 0;
    Value(v, Field::LeapInsert) = leap && options.leap.kind == 1 ? 1 : 0;
    Value(v, Field::Dut1Sign) = 1;  // DUT1 is sent as +0.0 s
    Value(v, Field::Service) = options.service;
    return v;
}

bool CallSignFrame(const Station& station, int namedMinuteOfHour, const FrameOptions& options) {
    // JJY sends its call sign in minutes 15 and 45 of each hour.
    return station.callSignMinutes && options.callSignMinutes &&
           (namedMinuteOfHour == 15 || namedMinuteOfHour == 45);
}

Frame EncodeFrame(const Station& station, std::int64_t utcMinute, const FrameOptions& options) {
    utcMinute = FloorDiv(utcMinute, 60) * 60;
    const FieldValues values = FrameFields(station, utcMinute, options);
    Frame frame;
    frame.callSign =
        CallSignFrame(station, values[static_cast<std::size_t>(Field::Minute)], options);
    const auto symbols = LayOut(frame.callSign ? station.callSignLayout : station.layout, values);
    std::copy(symbols.begin(), symbols.end(), frame.symbols.begin());
    const int kind = options.leap.kind;
    if ((kind == 1 || kind == 2) && utcMinute + 60 == options.leap.utc) {
        auto& s = frame.symbols;
        if (kind == 1) {
            std::copy_backward(s.begin() + station.leapInsertAt, s.begin() + 60, s.begin() + 61);
            s[station.leapInsertAt] = Symbol::Zero;
            frame.length = 61;
        } else {
            std::copy(s.begin() + station.leapDeleteAt + 1, s.begin() + 60,
                      s.begin() + station.leapDeleteAt);
            s[59] = Symbol::Zero;
            frame.length = 59;
        }
    }
    return frame;
}

std::int64_t FrameStartUtc(const Station& station, int year, int month, int day, int hour,
                           int minute, bool summer) {
    return UtcFromCivil(station.zone, year, month, day, hour, minute, summer) -
           station.frameLeadSeconds;
}

}  // namespace velto
