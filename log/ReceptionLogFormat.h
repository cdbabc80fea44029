#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "log/ReceptionRecord.h"

// The reception log's files: one a UTC day, named velto-YYYY-MM-DD.csv, each
// beginning with a header line that names the columns, then one line a
// minute:
//
//   utc,jst,state,cn0_dbhz,carrier_db,noise_db_hz,decoded,clock_offset_s
//   2026-12-07T11:16Z,2026-12-07T20:16+09:00,time_valid,45.3,-30.2,-75.3,1,0.0123
//
// An unknown value is an empty field. About 75 bytes a line, 110 kB a day.
namespace velto::receptionlog {

inline constexpr std::int64_t kSecondsPerDay = 86400;

// The day (days since the epoch) of a UTC time.
std::int64_t DayOf(std::int64_t utc);
// The file name of a day, and the day a file name names.
std::string FileName(std::int64_t day);
std::optional<std::int64_t> DayOfFileName(std::string_view name);

std::string HeaderLine();
// A line without its newline, and back; nullopt for the header or a line
// that is not one of the log's (cut short by a full disk, edited by hand).
std::string FormatLine(const ReceptionRecord& r);
std::optional<ReceptionRecord> ParseLine(std::string_view line);

}  // namespace velto::receptionlog
