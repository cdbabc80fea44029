#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "base/CaptureFormat.h"
#include "base/SystemTime.h"
#include "dsp/ProcessedBuffer.h"
#include "health/ReceptionHealth.h"
#include "health/Warning.h"
#include "station/Station.h"
#include "timecode/DecoderEvents.h"

namespace velto {

// What a receiver tells those who follow it: the window, the console
// printer, the clock feed. Every call comes on the receiver's own thread,
// synchronously from its cycle; an observer must not add or remove
// observers from within a call.
class IReceiverObserver {
public:
    virtual ~IReceiverObserver() = default;

    // The runs from now on receive this station at this format.
    virtual void OnConfigured(const Station& /*station*/, CaptureFormat /*format*/) {}
    // The display chain has processed a capture buffer (not in an
    // unattended run, which has no display chain).
    virtual void OnBufferProcessed(const ProcessedBuffer& /*buffer*/) {}
    // The input in order, every sample once, at the capture's rate: `first`
    // is the index of samples[0], counted from 0 at the start of the input.
    // An index beyond the end of the previous call marks samples that were
    // lost.
    virtual void OnInput(std::int64_t /*first*/, const std::int16_t* /*samples*/,
                         std::size_t /*n*/) {}
    // The decoder's reports on that input (timecode/DecoderEvents.h), their
    // sample indices at the base rate (the input's at 96000 samples/s, half
    // of them at 192000: CDecoderFeed::DecoderIndex). For
    // live capture a second and a minute come with the system time at which
    // their on-time point was captured, by the capture's stamps (the sound
    // card's and the receiver's latency still in it); a recording has none.
    virtual void OnSecond(const DecoderSecond& /*second*/,
                          const std::optional<SystemTime>& /*captured*/) {}
    virtual void OnMinute(const DecoderMinute& /*minute*/,
                          const std::optional<SystemTime>& /*captured*/) {}
    virtual void OnStatus(const DecoderStatus& /*status*/) {}
    // The decoder's early word on a second (1.2 to 2.2 s after its on-time
    // point), with the capture time of the on-time point only for live
    // capture whose sample clock has kept to its line from 10 s before that
    // point until now: no burst of late buffers (a held-up process), no step
    // of the system clock. What a clock feed may send.
    virtual void OnRise(const DecoderRise& /*rise*/,
                        const std::optional<SystemTime>& /*steadyCapture*/) {}
    virtual void OnWarning(const Warning& /*warning*/) {}
    // What the run's input and capture stream are found to lack, raised and
    // cleared; each raised one also comes as a warning.
    virtual void OnHealth(const HealthEvent& /*event*/) {}
    // Recording has begun or ended (on request, at a stop, or on a failure,
    // which a warning explains).
    virtual void OnRecordingChanged(bool /*recording*/) {}
    // The capture device stopped delivering and the run has ended.
    virtual void OnCaptureLost() {}
    // The replayed recording has come to its end, and so has the run.
    virtual void OnInputEnded() {}
};

}  // namespace velto
