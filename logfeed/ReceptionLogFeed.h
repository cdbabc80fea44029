#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "log/FileHandle.h"
#include "log/ReceptionLog.h"
#include "log/ReceptionLogger.h"
#include "receiver/ReceiverObserver.h"

namespace velto {

// Keeps the reception log while the receiver runs: follows the receiver as
// one of its observers and hands the decoder's reports to the log's line a
// minute (log/ReceptionLogger.h), on the receiver's thread.
//
// A run is logged on one of two clocks. Live reception goes by the system
// clock, read as the input comes (ten times a second), and logs the system
// clock's offset from JJY. A recording has no time of day but the one
// decoded from it: its lines go by that, from its first decoded minute on.
// Between runs the feed logs nothing.
//
// What the log cannot write is told once, as a "reception-log" warning,
// until a line is written again; reception goes on.
//
// A run holds a lock on the directory (a lock file in it), so that two
// Veltos never put their lines for the same minutes into one file; a run
// that finds another process holding it writes nothing, says so once, and
// tries again as its input comes. The lock ends with its process.
class CReceptionLogFeed : public IReceiverObserver {
public:
    using Tell = std::function<void(const Warning&)>;
    using Clock = std::function<SystemTime()>;
    enum class Time { System, Decoded };

    // keepDays <= 0 keeps every day. `now` reads the system clock.
    CReceptionLogFeed(std::filesystem::path directory, int keepDays, Tell tell,
                      Clock now = SystemTime::Now);
    ~CReceptionLogFeed() override;
    CReceptionLogFeed(const CReceptionLogFeed&) = delete;
    CReceptionLogFeed& operator=(const CReceptionLogFeed&) = delete;

    // A run begins, on this clock; and ends, writing what it left.
    // latencyMs: the sound card's and the receiver's delay, taken off the
    // capture times for the clock's offset.
    // A run whose directory another process holds logs nothing (Running()
    // stays false) until the lock is free: it tries again every
    // kLockRetrySeconds of input.
    static constexpr int kLockRetrySeconds = 10;
    void Begin(Time time, double latencyMs = 0.0);
    void Finish();
    bool Running() const { return m_logger.has_value(); }

    // The noise floor while the spectrum analyser runs; nullopt when not.
    void SetNoiseDb(std::optional<double> noiseDb);

    const std::filesystem::path& Directory() const { return m_log.Directory(); }

    void OnConfigured(const Station& station, CaptureFormat format) override;
    void OnInput(std::int64_t first, const std::int16_t* samples, std::size_t n) override;
    void OnSecond(const DecoderSecond& second, const std::optional<SystemTime>& captured) override;
    void OnMinute(const DecoderMinute& minute, const std::optional<SystemTime>& captured) override;
    void OnStatus(const DecoderStatus& status) override;
    void OnCaptureLost() override { Finish(); }

private:
    // Whether this process may write into the directory; false after
    // telling whose it is.
    bool Lock();
    // Takes the lock and starts the run's log.
    void Start();
    void Tick(double unix);
    void Check(bool ok, const std::string& error);

    CReceptionLog m_log;
    double m_latencySeconds = 0.0;
    Tell m_tell;
    Clock m_now;
    Time m_time = Time::System;
    std::optional<CReceptionLogger> m_logger;
    std::optional<double> m_noiseDb;
    // A recording's time: the decoded UTC of an input sample, whose index
    // the decoder counts at the base rate while the input comes at its own.
    std::optional<std::int64_t> m_anchorUtc;
    double m_anchorSample = 0.0;
    CaptureFormat m_format;
    bool m_failing = false;
    CFileHandle m_lock;  // the lock file, held while a run logs
    bool m_toldLocked = false;
    bool m_waiting = false;         // a run wants its log, and another holds the lock
    std::int64_t m_waitedFrom = 0;  // the input index at which it last tried
    std::int64_t m_written = 0;     // the log's count when last looked at
};

}  // namespace velto
