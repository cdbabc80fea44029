#include "logfeed/ReceptionLogFeed.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>
#include <utility>

#include "base/Geometry.h"

namespace velto {
namespace {

// Hidden, and no day's name: pruning passes it by.
constexpr char kLockName[] = ".velto.lock";

}  // namespace

CReceptionLogFeed::CReceptionLogFeed(std::filesystem::path directory, int keepDays, Tell tell,
                                     Clock now)
    : m_log(std::move(directory), keepDays), m_tell(std::move(tell)), m_now(std::move(now)) {}

CReceptionLogFeed::~CReceptionLogFeed() = default;

// The lock is an open lock file held with flock(): the system lets go of it
// when the process ends, however it ends, so no lock is ever left behind.
// The holder's process number stands in the file for the others' word.
bool CReceptionLogFeed::Lock() {
    std::error_code ec;
    std::filesystem::create_directories(m_log.Directory(), ec);
    const std::filesystem::path path = m_log.Directory() / kLockName;
    const bool existed = std::filesystem::exists(path, ec);
    CFileHandle lock(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!lock.IsOpen() && !existed) {
        // A directory that takes no lock file takes no log either: writing
        // tells that.
        return true;
    }
    const int taken = lock.IsOpen() ? ::flock(lock.Get(), LOCK_EX | LOCK_NB) : -1;
    const bool heldElsewhere = taken != 0 && lock.IsOpen() && errno == EWOULDBLOCK;
    if (taken == 0) {
        const std::string pid = std::to_string(::getpid()) + "\n";
        if (::ftruncate(lock.Get(), 0) == 0) {
            [[maybe_unused]] const ssize_t n = ::pwrite(lock.Get(), pid.data(), pid.size(), 0);
        }
        m_lock.Reset(lock.Release());
        m_toldLocked = false;
        return true;
    }
    std::string told = ReceptionLogLockText(path.string());
    if (heldElsewhere) {
        char holder[32] = {};
        const ssize_t n = ::pread(lock.Get(), holder, sizeof holder - 1, 0);
        const long long pid = n > 0 ? std::atoll(holder) : 0;
        if (pid > 0) {
            told = ReceptionLogInUseText(m_log.Directory().string(), pid);
        }
    }
    if (!m_toldLocked && m_tell) {
        m_tell(Warning{WarningCode::ReceptionLog, told});
    }
    m_toldLocked = true;
    return false;
}

void CReceptionLogFeed::Begin(Time time, double latencyMs) {
    Finish();
    m_time = time;
    m_latencySeconds = latencyMs / 1000.0;
    m_anchorUtc.reset();
    m_waiting = true;
    m_waitedFrom = 0;
    Start();
}

void CReceptionLogFeed::Start() {
    if (!Lock()) {
        return;
    }
    m_waiting = false;
    m_logger.emplace(m_log);
    m_logger->SetNoiseDb(m_noiseDb);
}

void CReceptionLogFeed::Finish() {
    m_waiting = false;
    if (!m_logger) {
        return;
    }
    std::string error;
    Check(m_logger->Finish(&error), error);
    m_logger.reset();
    m_lock.Reset();
}

void CReceptionLogFeed::SetNoiseDb(std::optional<double> noiseDb) {
    m_noiseDb = noiseDb;
    if (m_logger) {
        m_logger->SetNoiseDb(noiseDb);
    }
}

void CReceptionLogFeed::OnConfigured(const Station&, CaptureFormat format) { m_format = format; }

void CReceptionLogFeed::OnInput(std::int64_t first, const std::int16_t*, std::size_t n) {
    if (m_waiting && (first < m_waitedFrom ||
                      first - m_waitedFrom >= std::int64_t{kLockRetrySeconds} * m_format.rate)) {
        m_waitedFrom = first;
        Start();
    }
    if (!m_logger) {
        return;
    }
    if (m_time == Time::System) {
        const SystemTime now = m_now();
        Tick(static_cast<double>(now.sec) + static_cast<double>(now.nsec) * 1e-9);
    } else if (m_anchorUtc) {
        const double end =
            static_cast<double>(first + static_cast<std::int64_t>(n)) / m_format.BaseFactor();
        Tick(static_cast<double>(*m_anchorUtc) + (end - m_anchorSample) / kSampleRate);
    }
}

// The system clock less JJY at a second's on-time point, while the decoder
// holds the time (not in a leap second, which POSIX time cannot tell from
// the second after it).
void CReceptionLogFeed::OnSecond(const DecoderSecond& s,
                                 const std::optional<SystemTime>& captured) {
    if (!m_logger || m_time != Time::System) {
        return;
    }
    if (s.timeValid && captured && s.secondInMinute != 60) {
        m_logger->SetClockOffset(captured->SecondsAfter(SystemTime{s.utcUnix, 0}) -
                                 m_latencySeconds);
    } else if (!s.timeValid) {
        m_logger->SetClockOffset(std::nullopt);
    }
}

void CReceptionLogFeed::OnMinute(const DecoderMinute& m, const std::optional<SystemTime>&) {
    if (!m_logger) {
        return;
    }
    if (m_time == Time::Decoded) {
        // The first decoded minute starts the recording's clock, at that
        // minute's beginning, so that its own line is written.
        if (!m_anchorUtc) {
            Tick(static_cast<double>(m.utcUnix));
        }
        m_anchorUtc = m.utcUnix;
        m_anchorSample = m.onTimeSample;
    }
    m_logger->OnMinute(m);
}

void CReceptionLogFeed::OnStatus(const DecoderStatus& status) {
    if (!m_logger) {
        return;
    }
    m_logger->OnStatus(status);
    if (status.state == ReceptionState::NoSignal) {
        m_logger->SetClockOffset(std::nullopt);
    }
}

void CReceptionLogFeed::Tick(double unix) {
    std::string error;
    Check(m_logger->Tick(unix, &error), error);
}

void CReceptionLogFeed::Check(bool ok, const std::string& error) {
    if (m_log.Written() != m_written) {
        m_written = m_log.Written();
        m_failing = false;
    }
    if (ok || m_failing) {
        return;
    }
    m_failing = true;
    if (m_tell) {
        m_tell(Warning{WarningCode::ReceptionLog, error});
    }
}

}  // namespace velto
