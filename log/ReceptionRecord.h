#pragma once

#include <cstdint>
#include <optional>

#include "timecode/DecoderEvents.h"

namespace velto {

// One minute of reception as the log keeps it.
struct ReceptionRecord {
    std::int64_t minuteUtc = 0;  // UTC seconds since the epoch of the minute's start
    ReceptionState state = ReceptionState::NoSignal;
    std::optional<double> cn0DbHz;    // C/N0
    std::optional<double> carrierDb;  // full carrier, dB relative to a full-scale sine
    std::optional<double> noiseDb;    // noise floor, dB per hertz relative to a full-scale sine
    bool decoded = false;             // the decoder read this minute's time from the signal
    std::optional<double> clockOffsetSeconds;  // system clock less JJY (positive: ahead)

    bool operator==(const ReceptionRecord&) const = default;
};

}  // namespace velto
