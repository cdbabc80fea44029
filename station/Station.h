#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "station/CivilTime.h"
#include "station/FrameLayout.h"

// The long-wave time stations Velto receives, each described once as data:
// its carrier, how it keys each symbol, what each second of its minute
// carries, and the civil time it announces (docs/stations.md).
namespace velto {

enum class StationId : std::uint8_t { Jjy40, Jjy60, Dcf77, Msf, Wwvb };

// Which change of the carrier marks the start of the second: JJY's rise to
// the full carrier, the others' drop from it.
enum class OnTimeEdge : std::uint8_t { Rise, Drop };

// A part of the second, in seconds after the on-time point.
struct KeyedPart {
    double from = 0.0, to = 0.0;
};

// How a symbol is keyed: the parts of its second at the station's reduced
// level; the rest of the second is at the full carrier.
struct SymbolKeying {
    bool used = false;
    std::string_view name;  // as a receiver shows it: "0", "1", "M", MSF's "00" .. "11"
    std::array<KeyedPart, 2> reduced{};
    int parts = 0;
    // Sent once a minute only (DCF77's second without a drop, MSF's minute
    // mark): left out of what every second has in common.
    bool minuteMarkOnly = false;
};

// When a leap second is announced: through the UTC month it ends (JJY,
// WWVB), in the hour before it (DCF77), or not at all (MSF).
enum class LeapNoticeSpan : std::uint8_t { None, UtcMonth, Hour };

struct Station {
    StationId id = StationId::Jjy40;
    std::string_view name;   // "jjy40": the --station option and the profile
    std::string_view title;  // "JJY 40 kHz": what the windows call it
    double carrierHz = 0.0;
    int sampleRate = 0;  // received at by default
    CivilZone zone = CivilZone::Utc;

    OnTimeEdge edge = OnTimeEdge::Drop;
    double reducedLevel = 0.0;  // share of the full carrier's amplitude while reduced
    std::array<SymbolKeying, kSymbolCount> symbols{};
    // The carrier's phase is keyed by 180 degrees as well (WWVB's phase
    // code): a coherent detector must take a flip for no change.
    bool phaseFlips = false;

    // The frame names the minute that begins this long after its own
    // second 0 (DCF77 and MSF name the next one).
    int frameLeadSeconds = 0;
    int sundayValue = 0;  // the weekday field's value for Sunday (Monday is 1)
    // A change between standard and summer time is announced in the frames
    // of the minutes that begin this long before it, at most (0: never).
    int summerNoticeSeconds = 0;
    LeapNoticeSpan leapNotice = LeapNoticeSpan::None;
    // In the minute a leap second ends: an inserted second, a 0, takes this
    // place and the seconds from there on move one later; a deleted one
    // takes the seconds from the next place on one earlier.
    int leapInsertAt = 59;
    int leapDeleteAt = 58;

    FrameLayout layout;
    // JJY: minutes 15 and 45 send the call sign in Morse, keyed between no
    // carrier and the full one, and the service bits, in this layout.
    bool callSignMinutes = false;
    FrameLayout callSignLayout;
    double callSignLevel = 0.0;  // the carrier's share between the Morse marks

    const SymbolKeying& Keying(Symbol symbol) const {
        return symbols[static_cast<std::size_t>(symbol)];
    }
};

// All stations, jjy40 (the default) first.
std::span<const Station> Stations();
const Station& GetStation(StationId id);
// The station of a name as --station takes it, or nullptr.
const Station* FindStation(std::string_view name);

// The carrier as the texts give it: "40 kHz", "77.5 kHz".
std::string CarrierText(const Station& station);
// The title with the carrier, once: "JJY 40 kHz", "DCF77 77.5 kHz".
std::string TitleWithCarrier(const Station& station);

// The civil time the station announces at a Unix time, with its offset and
// zone name.
inline CivilTime CivilTimeOf(const Station& station, std::int64_t utc) {
    return CivilTimeAt(station.zone, utc);
}

// The carrier's share of its full amplitude `t` seconds after the on-time
// point of a second that sends `symbol`.
double KeyedLevel(const Station& station, Symbol symbol, double t);

// The parts of the second that every symbol keys alike (the minute mark
// sent once a minute aside), and at what level: where a receiver folds the
// second to find its on-time point.
struct CommonPart {
    double from = 0.0, to = 0.0, level = 0.0;
};
struct CommonParts {
    std::array<CommonPart, 4> parts{};
    int count = 0;
};
CommonParts CommonKeying(const Station& station);

}  // namespace velto
