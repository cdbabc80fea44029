#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "log/ReceptionLog.h"
#include "log/ReceptionRecord.h"
#include "timecode/DecoderEvents.h"

namespace velto {

// Turns what the receiver reports into the log's line a minute. Each minute
// of the system clock gets one line: the state, C/N0 and carrier level of
// the last status before the minute ended, the noise floor and the clock's
// offset last set, and whether the decoder read that minute's time from the
// signal (a minute carried on in the flywheel was not). The
// decoder reports a minute a few seconds after it ended, so a line is
// written kDecodeWaitSeconds after its minute.
class CReceptionLogger {
public:
    static constexpr std::int64_t kDecodeWaitSeconds = 20;

    explicit CReceptionLogger(CReceptionLog& log) : m_log(log) {}

    void OnStatus(const DecoderStatus& status);
    void OnMinute(const DecoderMinute& minute);
    // From the spectrum analyser while it runs; nullopt when it does not.
    void SetNoiseDb(std::optional<double> noiseDb) { m_noiseDb = noiseDb; }
    // The system clock less JJY, seconds; nullopt while not known.
    void SetClockOffset(std::optional<double> seconds) { m_clockOffset = seconds; }

    // The system clock's time now (at least once a second): ends minutes and
    // writes their lines when due. False with a sentence in *error when a
    // line could not be written (the line is lost; later ones are tried).
    bool Tick(double systemUnix, std::string* error);
    // Reception ends: the minute waiting for its decode, and the minute
    // under way, are written as they stand.
    bool Finish(std::string* error);

private:
    ReceptionRecord Snapshot(std::int64_t minute) const;
    bool WritePending(std::string* error);

    CReceptionLog& m_log;
    std::optional<DecoderStatus> m_status;
    std::optional<double> m_noiseDb, m_clockOffset;
    std::deque<std::int64_t> m_decoded;    // UTC minutes the decoder gave lately
    std::optional<std::int64_t> m_minute;  // the system minute under way
    std::optional<ReceptionRecord> m_pending;
};

}  // namespace velto
