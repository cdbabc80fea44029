#include "log/ReceptionLogger.h"

#include <algorithm>
#include <cmath>

#include "log/ReceptionLogFormat.h"

namespace velto {
namespace {

// The decoded minutes remembered: enough for the wait, and for minutes that
// came in a burst from a file.
constexpr std::size_t kDecodedKept = 16;
constexpr double kFullScale = 32768.0;

std::int64_t MinuteOf(double unix) {
    return static_cast<std::int64_t>(std::floor(unix / 60.0)) * 60;
}

}  // namespace

void CReceptionLogger::OnStatus(const DecoderStatus& status) { m_status = status; }

// A minute carried on in the flywheel was not read from the signal.
void CReceptionLogger::OnMinute(const DecoderMinute& minute) {
    if (minute.flywheel) {
        return;
    }
    m_decoded.push_back(minute.utcUnix);
    if (m_decoded.size() > kDecodedKept) {
        m_decoded.pop_front();
    }
}

ReceptionRecord CReceptionLogger::Snapshot(std::int64_t minute) const {
    ReceptionRecord r;
    r.minuteUtc = minute;
    if (m_status) {
        r.state = m_status->state;
        // C/N0 0 is the decoder's "no estimate": without a carrier, the level
        // it measures is the noise's, and neither figure is the station's.
        if (m_status->state != ReceptionState::NoSignal && m_status->cn0DbHz > 0.0 &&
            m_status->carrierLevel > 0.0) {
            r.cn0DbHz = m_status->cn0DbHz;
            r.carrierDb = 20.0 * std::log10(m_status->carrierLevel / kFullScale);
        }
    }
    r.noiseDb = m_noiseDb;
    r.clockOffsetSeconds = m_clockOffset;
    return r;
}

bool CReceptionLogger::Tick(double systemUnix, std::string* error) {
    bool ok = true;
    const std::int64_t now = MinuteOf(systemUnix);
    if (m_pending && systemUnix >= m_pending->minuteUtc + 60 + kDecodeWaitSeconds) {
        ok = WritePending(error);
    }
    if (m_minute && now > *m_minute) {
        // A minute has ended: what it ended with waits for its decode.
        if (m_pending) {
            ok = WritePending(error) && ok;
        }
        m_pending = Snapshot(*m_minute);
    }
    m_minute = now;
    return ok;
}

bool CReceptionLogger::Finish(std::string* error) {
    bool ok = !m_pending || WritePending(error);
    if (m_minute) {
        m_pending = Snapshot(*m_minute);
        m_minute.reset();
        ok = WritePending(error) && ok;
    }
    return ok;
}

bool CReceptionLogger::WritePending(std::string* error) {
    ReceptionRecord r = *m_pending;
    m_pending.reset();
    r.decoded = std::find(m_decoded.begin(), m_decoded.end(), r.minuteUtc) != m_decoded.end();
    return m_log.Append(r, error);
}

}  // namespace velto
