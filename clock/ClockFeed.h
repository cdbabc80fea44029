#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "clock/ClockSample.h"
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
// poll 2 and above. A second without a capture time (a recording) gives none.
//
// Lives on the receiver's thread, as one of its observers.
class CClockFeed : public IReceiverObserver {
public:
    // Where the sinks' news goes (chronyd not there yet, or back).
    using Tell = std::function<void(const Warning&)>;

    static constexpr double kConfirmSeconds = 5.0;
    // Below this C/N0 there is no carrier to measure a rise on.
    static constexpr double kMinCn0DbHz = 20.0;

    // latencyMs: the fixed delay from the antenna to the capture stamps, the
    // receiver's and the sound card's; a sample's system time is its capture
    // time less this.
    CClockFeed(double latencyMs, Tell tell);

    // Before the run: where samples go. The feed owns its sinks.
    void AddSink(std::unique_ptr<IClockSampleSink> sink);
    double LatencyMs() const { return m_latencySeconds * 1e3; }

    // What the window shows of the feed: when a daemon last took a sample,
    // and the trouble that stands (empty when none). A sink's news with a
    // sample taken clears the trouble; news without one is the trouble.
    std::optional<std::chrono::steady_clock::time_point> LastTaken() const { return m_lastTaken; }
    const std::string& Trouble() const { return m_trouble; }
    // Trouble found before any sample (a sink's check at the start).
    void NoteTrouble(const std::string& text) { m_trouble = text; }

    void OnSecond(const DecoderSecond& second, const std::optional<SystemTime>& captured) override;
    void OnStatus(const DecoderStatus& status) override;

private:
    struct Pending {
        double onTimeSample;
        ClockSample sample;
    };
    void Send(const ClockSample& sample);

    double m_latencySeconds;
    Tell m_tell;
    std::vector<std::unique_ptr<IClockSampleSink>> m_sinks;
    std::optional<std::chrono::steady_clock::time_point> m_lastTaken;
    std::string m_trouble;
    // Samples waiting for their confirmation, oldest first.
    std::array<Pending, 8> m_pending{};
    int m_pendingCount = 0;
};

}  // namespace velto
