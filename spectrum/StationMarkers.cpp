#include "spectrum/StationMarkers.h"

#include <cmath>

namespace velto {
namespace {

struct Station {
    double hz;
    const char* label;
};

constexpr Station kStations[] = {{40000.0, "JJY 40 kHz"},
                                 {60000.0, "JJY/MSF/WWVB 60 kHz"},
                                 {68500.0, "BPC 68.5 kHz"},
                                 {77500.0, "DCF77 77.5 kHz"}};

constexpr int kMains[] = {50, 60};
// A harmonic counts when a bin by it is a peak this far above its neighbours.
constexpr double kHumStandsDb = 6.0;
// Two harmonics make a family; one peak may be anything.
constexpr int kHumHarmonicsNeeded = 2;

}  // namespace

std::vector<SpectrumMarker> StationMarkers(int sampleRate) {
    std::vector<SpectrumMarker> markers;
    for (const Station& s : kStations) {
        if (s.hz < sampleRate / 2.0) {
            markers.push_back({s.hz, s.label, SpectrumMarker::Kind::Station});
        }
    }
    return markers;
}

int DetectHum(const CBandSpectrum& band) {
    if (band.Frames() == 0) {
        return 0;
    }
    int best = 0;
    int bestCount = 0;
    bool tie = false;
    for (int mains : kMains) {
        int count = 0;
        for (double hz = mains; hz <= kHumMarkedUpToHz; hz += mains) {
            count += band.StandsOut(hz, kHumStandsDb) ? 1 : 0;
        }
        if (count > bestCount) {
            best = mains;
            bestCount = count;
            tie = false;
        } else if (count == bestCount) {
            tie = true;
        }
    }
    return bestCount >= kHumHarmonicsNeeded && !tie ? best : 0;
}

std::vector<SpectrumMarker> HumMarkers(int mainsHz) {
    std::vector<SpectrumMarker> markers;
    if (mainsHz <= 0) {
        return markers;
    }
    for (int hz = mainsHz; hz <= kHumMarkedUpToHz; hz += mainsHz) {
        markers.push_back({double(hz), std::to_string(hz) + " Hz", SpectrumMarker::Kind::Hum});
    }
    return markers;
}

}  // namespace velto
