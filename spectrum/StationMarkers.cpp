#include "spectrum/StationMarkers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string_view>

#include "station/Station.h"

namespace velto {
namespace {

// Carriers marked though Velto does not receive them: China's BPC.
struct Carrier {
    double hz;
    const char* callSign;
};
constexpr Carrier kMarkedOnly[] = {{68500.0, "BPC"}};

// "60 kHz", "77.5 kHz".
std::string Kilohertz(double hz) {
    char text[32];
    std::snprintf(text, sizeof text, "%g kHz", hz / 1000.0);
    return text;
}

constexpr int kMains[] = {50, 60};
// A harmonic counts when a bin by it is a peak this far above its neighbours.
constexpr double kHumStandsDb = 6.0;
// Two harmonics make a family; one peak may be anything.
constexpr int kHumHarmonicsNeeded = 2;

}  // namespace

// The stations' carriers from station/, those that share one under one
// marker ("JJY/MSF/WWVB 60 kHz"), in order of frequency.
std::vector<SpectrumMarker> StationMarkers(int sampleRate) {
    std::map<double, std::vector<std::string>> carriers;
    for (const Station& s : Stations()) {
        // The call sign: the title's first word ("JJY 40 kHz", "DCF77").
        const std::string_view sign = s.title.substr(0, s.title.find(' '));
        auto& signs = carriers[s.carrierHz];
        if (std::find(signs.begin(), signs.end(), sign) == signs.end()) {
            signs.emplace_back(sign);
        }
    }
    for (const Carrier& c : kMarkedOnly) {
        carriers[c.hz].emplace_back(c.callSign);
    }
    std::vector<SpectrumMarker> markers;
    for (const auto& [hz, signs] : carriers) {
        if (hz >= sampleRate / 2.0) {
            continue;
        }
        std::string label;
        for (const std::string& sign : signs) {
            label += (label.empty() ? "" : "/") + sign;
        }
        markers.push_back({hz, label + " " + Kilohertz(hz), SpectrumMarker::Kind::Station});
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
