#pragma once

#include <string>
#include <vector>

#include "spectrum/BandSpectrum.h"

namespace velto {

struct SpectrumMarker {
    enum class Kind { Station, Hum };
    double hz;
    std::string label;
    Kind kind;
};

// The long-wave time stations' carriers that lie below half the rate.
std::vector<SpectrumMarker> StationMarkers(int sampleRate);

// Hum's harmonics are looked for and marked up to this frequency.
inline constexpr double kHumMarkedUpToHz = 1000.0;

// Which mains frequency's harmonics stand out of the band: 50, 60, or 0 for
// neither (too few harmonics above the bins around them).
int DetectHum(const CBandSpectrum& band);

// The harmonics of `mainsHz` up to kHumMarkedUpToHz; none for 0.
std::vector<SpectrumMarker> HumMarkers(int mainsHz);

}  // namespace velto
