#pragma once

#include <optional>

#include "base/SystemTime.h"
#include "health/Warning.h"

namespace velto {

// Leap-second warning of a sample, in the codes chrony and ntpd share.
enum class LeapWarning { None = 0, Insert = 1, Delete = 2 };

// One measurement of the system clock against the received time: at system
// time `system` the true time was system + offset.
struct ClockSample {
    SystemTime system;
    double offset = 0.0;  // seconds, true minus system
    LeapWarning leap = LeapWarning::None;
};

// Where samples go: chronyd's socket, the NTP shared memory, a test's log.
class IClockSampleSink {
public:
    virtual ~IClockSampleSink() = default;
    // Never blocks. Returns what the user should know when the sink's state
    // changed with this sample (the daemon is not there, or back); else none.
    virtual std::optional<Warning> Send(const ClockSample& sample) = 0;
    // Samples the daemon has been handed so far (reached its socket, or its
    // shared memory).
    virtual long Taken() const { return 0; }
};

}  // namespace velto
