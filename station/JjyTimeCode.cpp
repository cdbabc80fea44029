#include "station/JjyTimeCode.h"

#include <initializer_list>
#include <span>

#include "station/Calendar.h"

namespace velto {
namespace {

// Writes value as bits of the given weights into consecutive seconds; a
// weight of 0 is an unused second that stays a binary 0.
void PutWeighted(JjyFrame& frame, int second, int value, std::initializer_list<int> weights) {
    for (int w : weights) {
        if (w != 0 && value >= w) {
            value -= w;
            frame[second] = JjySymbol::One;
        }
        ++second;
    }
}

// The parity second is a 1 when the bits it covers hold an odd number of ones.
void PutParity(JjyFrame& frame, std::span<const int> bits, int paritySecond) {
    int ones = 0;
    for (int s : bits) ones += frame[s] == JjySymbol::One ? 1 : 0;
    if (ones % 2 == 1) {
        frame[paritySecond] = JjySymbol::One;
    }
}

}  // namespace

bool JjyCallSignMinute(int minuteOfHour) { return minuteOfHour == 15 || minuteOfHour == 45; }

int JjyOnSlots(JjySymbol symbol) {
    switch (symbol) {
        case JjySymbol::Zero:
            return 80;
        case JjySymbol::One:
            return 50;
        case JjySymbol::Marker:
            return 20;
    }
    return 80;
}

int JjyDayOfYear(int year, int month, int day) { return DayOfYear(year, month, day); }

JjyTime JjyDateOfDay(int year, int dayOfYear) {
    JjyTime t;
    CivilFromDays(DaysFromCivil(year, 1, 1) + dayOfYear - 1, t.year, t.month, t.day);
    return t;
}

int JjyDayOfWeek(int year, int month, int day) { return DayOfWeek(year, month, day); }

JjyTime JjyTimeFromUnix(std::int64_t unixSeconds, int* secondOfMinute) {
    const std::int64_t local = unixSeconds + kJstOffsetSeconds;
    const std::int64_t days = FloorDiv(local, kSecondsPerDay);
    const int inDay = static_cast<int>(local - days * kSecondsPerDay);
    JjyTime t;
    CivilFromDays(days, t.year, t.month, t.day);
    t.hour = inDay / 3600;
    t.minute = inDay / 60 % 60;
    if (secondOfMinute != nullptr) {
        *secondOfMinute = inDay % 60;
    }
    return t;
}

std::int64_t JjyUnixFromTime(const JjyTime& time) {
    return DaysFromCivil(time.year, time.month, time.day) * kSecondsPerDay + time.hour * 3600 +
           time.minute * 60 - kJstOffsetSeconds;
}

JjyFrame EncodeJjyFrame(const JjyTime& time) {
    JjyFrame frame{};
    frame.fill(JjySymbol::Zero);
    for (int s : {0, 9, 19, 29, 39, 49, 59}) {
        frame[s] = JjySymbol::Marker;
    }
    PutWeighted(frame, 1, time.minute, {40, 20, 10, 0, 8, 4, 2, 1});
    PutWeighted(frame, 12, time.hour, {20, 10, 0, 8, 4, 2, 1});
    const int doy = JjyDayOfYear(time.year, time.month, time.day);
    PutWeighted(frame, 22, doy / 10 * 10, {200, 100, 0, 80, 40, 20, 10});
    PutWeighted(frame, 30, doy % 10, {8, 4, 2, 1});
    PutParity(frame, kJjyHourBits, kJjyPa1Second);
    PutParity(frame, kJjyMinuteBits, kJjyPa2Second);
    PutWeighted(frame, 41, time.year % 100, {80, 40, 20, 10, 8, 4, 2, 1});
    PutWeighted(frame, 50, JjyDayOfWeek(time.year, time.month, time.day), {4, 2, 1});
    return frame;
}

}  // namespace velto
