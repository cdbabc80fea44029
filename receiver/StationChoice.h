#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/CaptureFormat.h"
#include "receiver/DeviceProfile.h"
#include "station/Station.h"

// The station a run receives and the rate it captures at, as the user
// chooses them (--station, --rate, the sound-card dialog) and as the profile
// keeps them in a section of its own, "Station" ("Name", "Rate"), beside
// "SoundCard".
namespace velto {

struct StationChoice {
    const Station* station = &Stations().front();
    CaptureFormat format = kBaseFormat;
};

// Whether a capture at `rate` carries the station's carrier: below 45 % of
// the rate, with room for the band-pass and the card's own anti-alias filter.
bool RateCarries(const Station& station, long long rate);

// The station of this name at `rate`, or at its default rate; nothing, with
// one sentence in *error, for a name or a rate that will not do.
std::optional<StationChoice> ChooseStation(std::string_view name, std::optional<long long> rate,
                                           std::string* error);

// The rates a station may be captured at, lowest first (jjy40: 96000 and
// 192000; the others 192000).
std::vector<int> RatesFor(const Station& station);

// The stored choice; jjy40 at 96000 when there is none or it will not do
// (the keys that would not, into *fallbacks); a rate that is no number, the
// station's own.
StationChoice LoadStoredStation(ProfileFallbacks* fallbacks = nullptr);
// False when the profile could not be written (WriteProfile).
bool SaveStoredStation(const StationChoice& choice);

// One line per station for --list-stations: its name, carrier, civil
// time and default rate ("jjy40  40 kHz    JST       96000").
std::string StationList();

}  // namespace velto
