#pragma once

#include <array>
#include <cstdint>

#include "station/CivilTime.h"
#include "station/FrameLayout.h"
#include "station/Station.h"

// A station's minute, written from the time: what a simulator sends and what
// a decoder expects.
namespace velto {

// A leap second at the end of the UTC month whose last second ends at `utc`
// (the Unix time of the following 00:00:00 UTC): kind 1 inserts, 2 deletes
// (chrony's codes); any other, none.
struct LeapSecond {
    std::int64_t utc = 0;
    int kind = 0;
};

struct FrameOptions {
    LeapSecond leap;
    // The bits that are not time: JJY's ST1..ST6 in its call-sign minutes
    // (ST1 the bit of 32), DCF77's seconds 1..15 (second 1 the bit of 1).
    std::uint16_t service = 0;
    // JJY: minutes 15 and 45 send the call sign. Off, they send the frame of
    // any other minute, as the JJY simulator does unless asked.
    bool callSignMinutes = true;
};

struct Frame {
    std::array<Symbol, 61> symbols{};
    int length = 60;        // 61 or 59 in a minute that ends with a leap second
    bool callSign = false;  // JJY: seconds 40..48 send the call sign in Morse instead
};

// The station's civil time at the start of the minute the frame sent in the
// minute beginning at `utcMinute` names.
CivilTime NamedTime(const Station& station, std::int64_t utcMinute);

// Every field's value in the frame sent in the minute that begins at
// `utcMinute` (Unix time, a multiple of 60).
FieldValues FrameFields(const Station& station, std::int64_t utcMinute,
                        const FrameOptions& options = {});

// Whether a frame that names this minute of the hour sends the call sign.
bool CallSignFrame(const Station& station, int namedMinuteOfHour, const FrameOptions& options = {});

// The symbols sent in the minute that begins at `utcMinute`.
Frame EncodeFrame(const Station& station, std::int64_t utcMinute, const FrameOptions& options = {});

// The Unix time at which the frame naming this civil minute begins; `summer`
// (the frame's own flag) tells which of autumn's two hours is meant. The
// inverse of NamedTime for a decoder.
std::int64_t FrameStartUtc(const Station& station, int year, int month, int day, int hour,
                           int minute, bool summer);

}  // namespace velto
