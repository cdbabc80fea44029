#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "audio/ReceptionHealth.h"
#include "timecode/DecoderEvents.h"

namespace velto {

// Something the user should know about the input or the recording, in one
// sentence; `code` is a short fixed name for programs ("decoder_gap", ...).
struct ReceiverWarning {
    std::string code;
    std::string text;
};

// What a receiver tells those who follow it: the window, the console
// printer, the clock feed. Every call comes on the receiver's own thread,
// synchronously from its cycle; an observer must not add or remove
// observers from within a call.
class IReceiverObserver {
public:
    virtual ~IReceiverObserver() = default;

    // The chain has processed capture buffer b; the strips are to draw
    // buffer displayIndex (negative: nothing).
    virtual void OnBufferProcessed(int /*b*/, int /*displayIndex*/) {}
    // The input in order, every sample once: `first` is the index of
    // samples[0], counted from 0 at the start of the input. An index beyond
    // the end of the previous call marks samples that were lost.
    virtual void OnInput(std::int64_t /*first*/, const std::int16_t* /*samples*/,
                         std::size_t /*n*/) {}
    // The decoder's reports on that input (timecode/DecoderEvents.h).
    virtual void OnSecond(const DecoderSecond& /*second*/) {}
    virtual void OnMinute(const DecoderMinute& /*minute*/) {}
    virtual void OnStatus(const DecoderStatus& /*status*/) {}
    virtual void OnWarning(const ReceiverWarning& /*warning*/) {}
    // What the run's input and capture stream are found to lack, raised and
    // cleared; each raised one also comes as a warning under the name
    // WarningCodeName gives its code.
    virtual void OnHealth(const HealthEvent& /*event*/) {}
    // Recording has begun or ended (on request, at a stop, or on a failure,
    // which a warning explains).
    virtual void OnRecordingChanged(bool /*recording*/) {}
};

}  // namespace velto
