#pragma once

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
// A sample goes out only for a second the signal vouches for (the decoder's
// early report of the second's rise, with its time confirmed by the signal:
// never the flywheel, nor across a jump of the samples), whose capture time
// the receiver's sample clock gives as steady (no late burst of buffers, no
// step of the system clock around it), and only while it is fresh: written
// within kFreshSeconds of its capture, so that ntpd (which drops samples more
// than 5 s old) and chronyd take it, whatever latency up to
// ClockFeedSettings::kMaxLatencyMs is taken off, and a process held up never
// sends a burst of old ones. A second without a capture time (a recording) gives none.
//
// Lives on the receiver's thread, as one of its observers.
class CClockFeed : public IReceiverObserver {
public:
    // Where the sinks' news goes (chronyd not there yet, or back).
    using Tell = std::function<void(const Warning&)>;
    // The system clock now (a test may drive it).
    using Clock = std::function<SystemTime()>;

    static constexpr double kFreshSeconds = 3.0;
    // One sample per second of the signal, never two close together.
    static constexpr double kMinSpacingSeconds = 0.5;

    // latencyMs: the fixed delay from the antenna to the capture stamps, the
    // receiver's and the sound card's; a sample's system time is its capture
    // time less this.
    CClockFeed(double latencyMs, Tell tell);

    // Before the run: where samples go. The feed owns its sinks.
    void AddSink(std::unique_ptr<IClockSampleSink> sink);
    double LatencyMs() const { return m_latencySeconds * 1e3; }
    void SetClock(Clock clock) { m_now = std::move(clock); }

    // What the window shows of the feed: when a daemon last took a sample,
    // and the trouble that stands (empty when none). A sink's news with a
    // sample taken clears the trouble; news without one is the trouble.
    std::optional<std::chrono::steady_clock::time_point> LastTaken() const { return m_lastTaken; }
    const std::string& Trouble() const { return m_trouble; }
    // Trouble found before any sample (a sink's check at the start).
    void NoteTrouble(const std::string& text) { m_trouble = text; }

    void OnRise(const DecoderRise& rise, const std::optional<SystemTime>& steadyCapture) override;

private:
    void Send(const ClockSample& sample);

    double m_latencySeconds;
    Tell m_tell;
    Clock m_now;
    std::vector<std::unique_ptr<IClockSampleSink>> m_sinks;
    std::optional<std::chrono::steady_clock::time_point> m_lastTaken;
    std::string m_trouble;
    std::optional<SystemTime> m_lastSent;
};

}  // namespace velto
