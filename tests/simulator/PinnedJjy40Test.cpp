// JJY 40 kHz at 96 kHz, written from the station's data, is sample for
// sample the signal the simulator wrote before it knew other stations: the
// sensitivity tables and the decoder's tests measured on it stay comparable.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "simulator/StationSignal.h"

namespace velto {
namespace {

// FNV-1a over the samples' little-endian bytes.
std::uint64_t Hash(std::int64_t start, const StationSignalOptions& o, std::size_t seconds) {
    std::vector<std::int16_t> x(96000 * seconds);
    CStationSignal(start, o).Generate(x.data(), x.size());
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (std::int16_t v : x) {
        for (int b = 0; b < 2; ++b) {
            h ^= (static_cast<std::uint16_t>(v) >> (8 * b)) & 0xff;
            h *= 0x100000001b3ULL;
        }
    }
    return h;
}

TEST(PinnedJjy40, SameSamplesAsBefore) {
    const struct {
        const char* name;
        std::int64_t start;
        std::size_t seconds;
        StationSignalOptions o;
        std::uint64_t hash;
    } cases[] = {
        {"noise and Rician fading",
         1796610180,
         70,
         {.startOffsetSamples = 12345,
          .seed = 7,
          .cn0DbHz = 20.0,
          .fastNoise = true,
          .ricianK = 1.0,
          .ricianBandwidthHz = 0.1},
         0x069a614338abb92aULL},
        {"clock off, hum, crashes, a steady carrier",
         1796610180,
         20,
         {.noiseSigma = 300.0,
          .seed = 11,
          .fadingDepth = 0.5,
          .impulseRate = 2.0,
          .clockPpm = 123.0,
          .humAmplitude = 500.0,
          .steadyCarrierOffsetHz = 3.0,
          .steadyCarrierAmplitude = 2000.0},
         0x81085010dac428c7ULL},
        // 08:44:30 JST on 1 January 2017: the call sign at 08:45.
        {"call sign",
         1483227870,
         90,
         {.noiseSigma = 100.0, .seed = 5, .callSignMinutes = true, .serviceBits = 0x2b},
         0x0d7259a1864150b1ULL},
        // The leap second inserted at 08:59:60 JST that day, and one deleted.
        {"leap second inserted",
         1483228740,
         75,
         {.leapUtc = 1483228800, .leapKind = 1},
         0x014920dc813e7d25ULL},
        {"leap second deleted",
         1483228740,
         75,
         {.leapUtc = 1483228800, .leapKind = 2, .gain = 3.0},
         0x237bc64387bd62a5ULL},
    };
    for (const auto& c : cases) EXPECT_EQ(Hash(c.start, c.o, c.seconds), c.hash) << c.name;
}

}  // namespace
}  // namespace velto
