#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "receiver/ClockSample.h"
#include "receiver/ReceiverObserver.h"

namespace velto {

// Turns the decoder's seconds into samples for the system clock's daemon:
// for each second's on-time point, the system time at which it was captured
// and the offset of the true time from it.
//
// Samples go out only for seconds received while the decoder holds a fresh
// time (TimeValid): never before, nor in the flywheel, nor once the signal
// is lost. The decoder may hold its time a while after the carrier has gone,
// and its carrier estimate trails the signal by a few seconds, so a sample
// waits until a status at least kConfirmSeconds after its on-time point
// still shows the carrier; a status without it drops what waits. chronyd
// takes samples up to 2^(poll+1) s old, which this delay keeps within for
// poll 2 and above.
//
// Lives on the thread that feeds the decoder.
class CClockFeed : public IReceiverObserver {
public:
    // The system time at which an input sample was captured (as the capture
    // stamps tell it, before the latency calibration); none while unknown.
    using SampleTimeFn = std::function<std::optional<SystemTime>(double sampleIndex)>;

    static constexpr double kConfirmSeconds = 5.0;
    // Below this C/N0 there is no carrier to measure a rise on.
    static constexpr double kMinCn0DbHz = 20.0;

    explicit CClockFeed(SampleTimeFn sampleTime);

    // Before the run: where samples go. The feed owns its sinks.
    void AddSink(std::unique_ptr<IClockSampleSink> sink);
    bool HasSinks() const { return !m_sinks.empty(); }
    // The fixed delay from the antenna to the capture stamps: the receiver's
    // and the sound card's. The system time of a sample is its stamp time
    // less this.
    void SetLatencyMs(double ms) { m_latencySeconds = ms * 1e-3; }
    double LatencyMs() const { return m_latencySeconds * 1e3; }

    void OnSecond(const DecoderSecond& second) override;
    void OnStatus(const DecoderStatus& status) override;

    long SamplesSent() const { return m_sent; }
    // The last sample sent; meaningful once SamplesSent() > 0.
    const ClockSample& LastSample() const { return m_last; }

private:
    struct Pending {
        double onTimeSample;
        ClockSample sample;
    };
    void Send(const ClockSample& sample);

    SampleTimeFn m_sampleTime;
    std::vector<std::unique_ptr<IClockSampleSink>> m_sinks;
    double m_latencySeconds = 0.0;
    // Samples waiting for their confirmation, oldest first.
    std::array<Pending, 8> m_pending{};
    int m_pendingCount = 0;
    long m_sent = 0;
    ClockSample m_last;
};

class CReceiver;

// The capture time of a sample as the receiver's sample clock tells it, only
// while the receiver takes live input (a replayed or read recording has no
// capture times of its own).
CClockFeed::SampleTimeFn LiveSampleTime(const CReceiver& receiver);

}  // namespace velto
