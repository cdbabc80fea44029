#include "receiver/ClockFeed.h"

#include <algorithm>
#include <cmath>

#include "dsp/Constants.h"
#include "receiver/Receiver.h"

namespace velto {
namespace {

constexpr std::int64_t kNanosPerSecond = 1000000000;

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

CClockFeed::CClockFeed(SampleTimeFn sampleTime) : m_sampleTime(std::move(sampleTime)) {}

void CClockFeed::AddSink(std::unique_ptr<IClockSampleSink> sink) {
    if (sink) {
        m_sinks.push_back(std::move(sink));
    }
}

void CClockFeed::OnSecond(const DecoderSecond& second) {
    const bool fresh =
        second.state == ReceptionState::TimeValid && second.timeValid && !second.flywheel;
    // An inserted leap second has the POSIX time of the second after it: no
    // sample can say which one the system clock is in.
    const bool leapSecond = second.secondInMinute == 60;
    if (!fresh || leapSecond || m_sinks.empty()) {
        return;
    }
    const std::optional<SystemTime> stamped = m_sampleTime(second.onTimeSample);
    if (!stamped) {
        return;
    }
    const std::int64_t systemNs =
        stamped->sec * kNanosPerSecond + stamped->nsec - std::llround(m_latencySeconds * 1e9);
    ClockSample sample;
    sample.system.sec = systemNs / kNanosPerSecond;
    sample.system.nsec = systemNs % kNanosPerSecond;
    if (sample.system.nsec < 0) {
        sample.system.nsec += kNanosPerSecond;
        --sample.system.sec;
    }
    // The on-time point is the whole UTC second itself.
    sample.offset = static_cast<double>(second.utcUnix - sample.system.sec) -
                    static_cast<double>(sample.system.nsec) * 1e-9;
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
        sink->Send(sample);
    }
    m_last = sample;
    ++m_sent;
}

CClockFeed::SampleTimeFn LiveSampleTime(const CReceiver& receiver) {
    return [&receiver](double sample) -> std::optional<SystemTime> {
        const std::optional<double> t = receiver.UnixTimeOfSample(sample);
        if (!t) {
            return std::nullopt;
        }
        const double whole = std::floor(*t);
        const std::int64_t nsec =
            std::min<std::int64_t>(std::llround((*t - whole) * 1e9), kNanosPerSecond - 1);
        return SystemTime{static_cast<std::int64_t>(whole), nsec};
    };
}

}  // namespace velto
