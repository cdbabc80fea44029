#pragma once

#include <string>
#include <string_view>

// What a recording made by Velto says of itself in its comment (a WAV's
// LIST INFO "ICMT" chunk, ahead of the samples): the station it was
// received as, "station=dcf77". A 192 kHz recording holds every station of
// the band, so this is only the one the recorder was tuned to; replaying
// the recording tunes to it again unless the user names another.
namespace velto {

std::string StationTag(std::string_view station);
// The station a comment names, or empty when it names none. The name is
// not checked against the known stations (a newer Velto may know more),
// nor its letter case.
std::string StationInTag(std::string_view comment);

}  // namespace velto
