#pragma once

#include <cstdint>

// The proleptic Gregorian calendar in whole days: what every station's civil
// time and frame are counted in.
namespace velto {

inline constexpr std::int64_t kSecondsPerDay = 86400;

bool IsLeapYear(int year);

// Days since 1970-01-01 of a date, and back.
std::int64_t DaysFromCivil(int year, int month, int day);
void CivilFromDays(std::int64_t days, int& year, int& month, int& day);

// Day of the year, 1 = 1 January.
int DayOfYear(int year, int month, int day);
// Day of the week, Sunday = 0.
int DayOfWeek(int year, int month, int day);

// a / b rounded towards minus infinity (b > 0).
std::int64_t FloorDiv(std::int64_t a, std::int64_t b);

}  // namespace velto
