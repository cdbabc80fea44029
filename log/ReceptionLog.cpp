#include "log/ReceptionLog.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <system_error>
#include <utility>

#include "log/ReceptionLogFormat.h"

namespace velto {
namespace {

// Enough of a file's end to hold its last line.
constexpr std::int64_t kTailBytes = 512;
// A system clock this close to the station's tells the day.
constexpr double kVouchedOffsetSeconds = 3600.0;

std::string Failure(const std::string& what, const std::filesystem::path& path, int error) {
    return "Cannot " + what + " the reception log " + path.string() + ": " + std::strerror(error) +
           ".";
}

}  // namespace

CReceptionLog::CReceptionLog(std::filesystem::path directory, int keepDays)
    : m_directory(std::move(directory)), m_keepDays(keepDays) {}

bool CReceptionLog::Open(std::int64_t day, std::string* error) {
    m_file.Reset();
    m_day = std::numeric_limits<std::int64_t>::min();
    std::error_code ec;
    std::filesystem::create_directories(m_directory, ec);
    if (ec) {
        *error = Failure("make the directory of", m_directory, ec.value());
        return false;
    }
    m_path = m_directory / receptionlog::FileName(day);
    // Appending only: O_APPEND puts every write at the end, whatever else
    // touches the file.
    const int fd = ::open(m_path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = Failure("open", m_path, errno);
        return false;
    }
    m_file.Reset(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        *error = Failure("read", m_path, errno);
        m_file.Reset();
        return false;
    }
    m_size = st.st_size;
    m_endsLine = true;
    m_lastMinute = std::numeric_limits<std::int64_t>::min();
    if (m_size > 0) {
        // Where the file ends: a cut line to end, and the last minute in it.
        const std::int64_t from = std::max<std::int64_t>(0, m_size - kTailBytes);
        std::string tail(static_cast<std::size_t>(m_size - from), '\0');
        const ssize_t got = ::pread(fd, tail.data(), tail.size(), from);
        if (got < 0) {
            *error = Failure("read", m_path, errno);
            m_file.Reset();
            return false;
        }
        tail.resize(static_cast<std::size_t>(got));
        m_endsLine = !tail.empty() && tail.back() == '\n';
        const std::size_t end = m_endsLine ? tail.size() - 1 : tail.size();
        const std::size_t start = tail.rfind('\n', end == 0 ? 0 : end - 1);
        const auto last = receptionlog::ParseLine(
            std::string_view(tail).substr(start == std::string::npos ? 0 : start + 1,
                                          end - (start == std::string::npos ? 0 : start + 1)));
        if (last && m_endsLine) {
            m_lastMinute = last->minuteUtc;
        }
    }
    m_day = day;
    if (m_size == 0 && !Write(receptionlog::HeaderLine() + '\n', error)) {
        m_file.Reset();
        return false;
    }
    return true;
}

void CReceptionLog::Prune(std::int64_t today) const {
    if (m_keepDays <= 0) {
        return;
    }
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(m_directory, ec)) {
        const auto day = receptionlog::DayOfFileName(entry.path().filename().string());
        if (day && *day <= today - m_keepDays) {
            std::filesystem::remove(entry.path(), ec);
        }
    }
}

bool CReceptionLog::Write(const std::string& text, std::string* error) {
    // A line cut short by an earlier failure is ended first, so that it
    // spoils nothing but itself.
    const std::string data = m_endsLine ? text : '\n' + text;
    if (m_size + static_cast<std::int64_t>(data.size()) > kMaxDayBytes) {
        *error = "The reception log " + m_path.string() + " has reached its size limit of " +
                 std::to_string(kMaxDayBytes / 1024) + " kB; the line is not written.";
        return false;
    }
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(m_file.Get(), data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const int cause = n < 0 ? errno : ENOSPC;
            if (done > 0) {
                m_endsLine = false;
            }
            m_size += static_cast<std::int64_t>(done);
            *error = Failure("write", m_path, cause);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    m_size += static_cast<std::int64_t>(done);
    m_endsLine = true;
    return true;
}

// Whether the day's name still leads to the file open: one moved or deleted
// while Velto runs (by hand, or by a rotation) would otherwise take the
// lines out of sight.
bool CReceptionLog::StillThere() const {
    struct stat named {};
    struct stat open {};
    return ::stat(m_path.c_str(), &named) == 0 && ::fstat(m_file.Get(), &open) == 0 &&
           named.st_dev == open.st_dev && named.st_ino == open.st_ino;
}

bool CReceptionLog::Append(const ReceptionRecord& record, std::string* error) {
    const std::int64_t day = receptionlog::DayOf(record.minuteUtc);
    if (day != m_day || !m_file.IsOpen() || !StillThere()) {
        if (!Open(day, error)) {
            return false;
        }
    }
    if (record.minuteUtc == m_lastMinute) {
        return true;
    }
    if (!Write(receptionlog::FormatLine(record) + '\n', error)) {
        return false;
    }
    m_lastMinute = record.minuteUtc;
    ++m_written;
    // The old days go once the station has vouched for today: a minute
    // received live whose system clock agreed with it. A replay's decoded
    // day, or a system clock gone years ahead, is not today and deletes
    // nothing.
    if (m_prunedDay != m_day && record.clockOffsetSeconds &&
        std::abs(*record.clockOffsetSeconds) < kVouchedOffsetSeconds) {
        Prune(m_day);
        m_prunedDay = m_day;
    }
    return true;
}

}  // namespace velto
