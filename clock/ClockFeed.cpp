#include "clock/ClockFeed.h"

#include <utility>

namespace velto {
namespace {

LeapWarning LeapOf(int code) {
    switch (code) {
        case 1:
            return LeapWarning::Insert;
        case 2:
            return LeapWarning::Delete;
        default:
            return LeapWarning::None;
    }
}

SystemTime SystemNow() {
    using namespace std::chrono;
    return SystemTime::FromNanoseconds(
        duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count());
}

}  // namespace

CClockFeed::CClockFeed(double latencyMs, Tell tell)
    : m_latencySeconds(latencyMs * 1e-3), m_tell(std::move(tell)), m_now(SystemNow) {}

void CClockFeed::AddSink(std::unique_ptr<IClockSampleSink> sink) {
    if (sink) {
        m_sinks.push_back(std::move(sink));
    }
}

void CClockFeed::OnRise(const DecoderRise& rise, const std::optional<SystemTime>& steadyCapture) {
    const bool vouched = rise.vouched && rise.timeValid && rise.state == ReceptionState::TimeValid;
    // An inserted leap second has the POSIX time of the second after it: no
    // sample can say which one the system clock is in.
    const bool leapSecond = rise.secondInMinute == 60;
    if (!vouched || leapSecond || !steadyCapture || m_sinks.empty()) {
        return;
    }
    ClockSample sample;
    sample.system = steadyCapture->Plus(-m_latencySeconds);
    // The on-time point is the whole UTC second itself.
    sample.offset = -sample.system.SecondsAfter(SystemTime{rise.utcUnix, 0});
    sample.leap = LeapOf(rise.leap);
    // Too old by now (the process was held up after the capture), or too
    // close to the last one: not sent. Age counts from the capture, so that
    // the latency taken off does not make every sample look held up.
    const bool fresh = m_now().SecondsAfter(*steadyCapture) <= kFreshSeconds;
    const bool spaced =
        !m_lastSent || sample.system.SecondsAfter(*m_lastSent) >= kMinSpacingSeconds;
    if (!fresh || !spaced) {
        return;
    }
    m_lastSent = sample.system;
    Send(sample);
}

void CClockFeed::Send(const ClockSample& sample) {
    for (const auto& sink : m_sinks) {
        const long before = sink->Taken();
        const std::optional<Warning> news = sink->Send(sample);
        const bool taken = sink->Taken() > before;
        if (taken) {
            m_lastTaken = std::chrono::steady_clock::now();
        }
        if (news) {
            m_trouble = taken ? std::string() : news->text;
            if (m_tell) {
                m_tell(*news);
            }
        }
    }
}

}  // namespace velto
