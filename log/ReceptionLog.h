#pragma once

#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>

#include "log/FileHandle.h"
#include "log/ReceptionRecord.h"

namespace velto {

// Writes the reception log into a directory, a file a UTC day
// (log/ReceptionLogFormat.h), in the manner of ntpd's and chrony's
// statistics files. Lines are only ever appended: a restart, or a new day,
// goes on where the file ends, and a line that a full disk cut short is
// ended before the next one. Files older than the days to keep are
// deleted once a day, counted from the first minute of the day received
// live with the system clock agreeing with the station; a replay or a
// system clock that is far off deletes nothing. Every failure (a directory that
// cannot be made or written, a full disk) is returned as a sentence;
// nothing is thrown.
class CReceptionLog {
public:
    // A day's file never grows beyond this (a minute's line is about 75
    // bytes): lines past it are refused.
    static constexpr std::int64_t kMaxDayBytes = 256 * 1024;

    // keepDays <= 0 keeps every day.
    CReceptionLog(std::filesystem::path directory, int keepDays);

    // The minute's line; false with a sentence in *error when it could not
    // be written. The same minute twice in a row is written once.
    bool Append(const ReceptionRecord& record, std::string* error);

    const std::filesystem::path& Directory() const { return m_directory; }
    // Minutes' lines written since this was made.
    std::int64_t Written() const { return m_written; }

private:
    bool Open(std::int64_t day, std::string* error);
    bool StillThere() const;
    void Prune(std::int64_t today) const;
    bool Write(const std::string& text, std::string* error);

    std::filesystem::path m_directory;
    int m_keepDays;
    CFileHandle m_file;
    std::filesystem::path m_path;
    std::int64_t m_day = std::numeric_limits<std::int64_t>::min();
    std::int64_t m_prunedDay = std::numeric_limits<std::int64_t>::min();
    std::int64_t m_lastMinute = std::numeric_limits<std::int64_t>::min();
    std::int64_t m_size = 0;
    bool m_endsLine = true;  // the file ends with a whole line
    std::int64_t m_written = 0;
};

}  // namespace velto
