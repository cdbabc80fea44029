#include "clock/ClockFeed.h"

#include <algorithm>
#include <utility>

#include "base/Geometry.h"

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

}  // namespace

CClockFeed::CClockFeed(double latencyMs, Tell tell)
    : m_latencySeconds(latencyMs * 1e-3), m_tell(std::move(tell)) {}

void CClockFeed::AddSink(std::unique_ptr<IClockSampleSink> sink) {
    if (sink) {
        m_sinks.push_back(std::move(sink));
    }
}

void CClockFeed::OnSecond(const DecoderSecond& second, const std::optional<SystemTime>& captured) {
    const bool fresh =
        second.state == ReceptionState::TimeValid && second.timeValid && !second.flywheel;
    // An inserted leap second has the POSIX time of the second after it: no
    // sample can say which one the system clock is in.
    const bool leapSecond = second.secondInMinute == 60;
    if (!fresh || leapSecond || !captured || m_sinks.empty()) {
        return;
    }
    ClockSample sample;
    sample.system = captured->Plus(-m_latencySeconds);
    // The on-time point is the whole UTC second itself.
    sample.offset = -sample.system.SecondsAfter(SystemTime{second.utcUnix, 0});
    sample.leap = LeapOf(second.leap);

    if (m_pendingCount == static_cast<int>(m_pending.size())) {
        std::move(m_pending.begin() + 1, m_pending.end(), m_pending.begin());
        --m_pendingCount;
    }
    m_pending[m_pendingCount++] = Pending{second.onTimeSample, sample};
}

void CClockFeed::OnStatus(const DecoderStatus& status) {
    const bool carrier = status.state == ReceptionState::TimeValid && status.cn0DbHz >= kMinCn0DbHz;
    if (!carrier) {
        m_pendingCount = 0;
        return;
    }
    const double confirmed = static_cast<double>(status.sample) - kConfirmSeconds * kSampleRate;
    int released = 0;
    while (released < m_pendingCount && m_pending[released].onTimeSample <= confirmed) {
        Send(m_pending[released].sample);
        ++released;
    }
    std::move(m_pending.begin() + released, m_pending.begin() + m_pendingCount, m_pending.begin());
    m_pendingCount -= released;
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
