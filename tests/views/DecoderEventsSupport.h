#pragma once

#include <cstdint>

#include "dsp/Constants.h"
#include "dsp/JjyTimeCode.h"
#include "timecode/DecoderEvents.h"

// Decoder events as the decoder would send them for a clean signal.
namespace viewtest {

// 2026-12-07 20:16:00 JST, an ordinary minute, in UTC seconds.
inline constexpr std::int64_t kMinute2016 = 1796642160;

inline velto::TimeSymbol Symbol(velto::JjySymbol s) {
    switch (s) {
        case velto::JjySymbol::Zero:
            return velto::TimeSymbol::Zero;
        case velto::JjySymbol::One:
            return velto::TimeSymbol::One;
        case velto::JjySymbol::Marker:
            return velto::TimeSymbol::Marker;
    }
    return velto::TimeSymbol::Erasure;
}

// Second `inMinute` of the minute starting at minuteUtc, its on-time point
// that many seconds after `minuteSample`; time valid unless told otherwise.
inline velto::DecoderSecond Second(std::int64_t minuteUtc, int inMinute, velto::TimeSymbol symbol,
                                   double minuteSample = 0.0,
                                   velto::ReceptionState state = velto::ReceptionState::TimeValid) {
    velto::DecoderSecond s{};
    s.onTimeSample = minuteSample + double(inMinute) * velto::kSampleRate;
    s.secondInMinute = state == velto::ReceptionState::SecondLocked ? -1 : inMinute;
    s.symbol = symbol;
    s.quality = 1.0F;
    s.state = state;
    s.timeValid =
        state == velto::ReceptionState::TimeValid || state == velto::ReceptionState::Flywheel;
    s.flywheel = state == velto::ReceptionState::Flywheel;
    s.utcUnix = s.timeValid ? minuteUtc + inMinute : 0;
    return s;
}

inline velto::DecoderStatus Status(velto::ReceptionState state, double cn0, std::int64_t sample) {
    return {state, cn0, 5000.0, 0.0, sample};
}

}  // namespace viewtest
