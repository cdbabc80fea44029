#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "health/InputHealth.h"
#include "health/Warning.h"

namespace velto {

// A warning raised, or one that no longer holds (the input came good again,
// a new run began).
struct HealthEvent {
    WarningCode code;
    bool raised;
    std::string text;  // empty when cleared
};

// Watches one run of reception for what the user must be told: the input's
// state from the samples, samples the capture stream dropped, the device
// lost. Whoever runs the reception cycle feeds it; it tells its listener,
// synchronously, on that same thread.
class CReceptionHealth {
public:
    using Listener = std::function<void(const HealthEvent&)>;

    explicit CReceptionHealth(Listener listener);

    // A run at `rate` samples/s begins; the warnings of the last one are cleared.
    void StartRun(int rate = kSampleRate);
    // One completed capture buffer of the run, and the capture stream's drop
    // count (since it was opened) after it.
    void OnBuffer(const std::int16_t* samples, std::size_t count, std::uint64_t dropped);
    // Samples lost that the capture stream did not count (the stamps showed them).
    void OnLostUnsaid(std::uint64_t samples);
    void OnDeviceLost();
    // A warning from outside the samples (the stored card missing).
    void Raise(WarningCode code, const std::string& text);

    InputState Input() const { return m_input.State(); }
    const CInputHealth& InputHealth() const { return m_input; }
    std::int64_t DroppedMs() const { return MsOf(m_dropped + m_unsaid); }

private:
    std::int64_t MsOf(std::uint64_t samples) const;
    void Tell(WarningCode code, bool raised, const std::string& text);

    Listener m_listener;
    int m_rate = kSampleRate;
    CInputHealth m_input;
    std::uint64_t m_dropped = 0;  // as the stream counts them
    std::uint64_t m_unsaid = 0;   // found from the stamps
    // Raised and not cleared, by code.
    unsigned m_raised = 0;
};

}  // namespace velto
