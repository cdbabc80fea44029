// Carrier tracking on its own: a keyed carrier made at baseband, 1000
// samples a second, off 40 kHz by what a sound card's clock does to it.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <random>
#include <vector>

#include "timecode/CarrierTracker.h"

namespace velto {
namespace {

constexpr double kAmplitude = 1000.0;

struct Detected : IDetectedSink {
    std::vector<DetectedSample> samples;
    void OnDetected(const DetectedSample& s) override { samples.push_back(s); }
};

// Full carrier for the first 0.5 s of each second, 10 % after; `hz` from
// 40 kHz, noise of `sigma` in each component; no carrier once `gone`.
struct Baseband {
    double hz, sigma;
    std::int64_t gone = INT64_MAX;
    std::mt19937_64 rng{3};
    static double Level(std::int64_t k) { return k % 1000 < 500 ? 1.0 : 0.1; }
    BasebandSample At(std::int64_t k) {
        std::normal_distribution<double> noise(0.0, sigma);
        const double a = k < gone ? kAmplitude * Level(k) : 0.0;
        const std::complex<double> z =
            std::polar(a, 2.0 * M_PI * hz * static_cast<double>(k) / 1000.0 + 0.7);
        return {z + std::complex<double>(noise(rng), noise(rng)), k, false};
    }
};

// The carrier is found and followed, its offset and the sound card's drift
// measured, and each sample detected along it: the keyed amplitude in
// phase, noise alone across, the noise's variance known. Held, the
// frequency stays while the carrier is gone.
TEST(CarrierTracker, FindsFollowsAndDetectsTheCarrier) {
    for (const double hz : {0.0, 6.3, -11.7}) {
        SCOPED_TRACE(hz);
        Baseband in{hz, 300.0};
        in.gone = 60000;
        CCarrierTracker tracker(40000.0, 96000);
        Detected out;
        for (std::int64_t k = 0; k < 60000; ++k) tracker.Process(in.At(k), out);
        ASSERT_TRUE(tracker.CarrierFound());
        EXPECT_NEAR(tracker.OffsetHz(), hz, 0.005);
        EXPECT_NEAR(tracker.DriftPpm(), -hz / 40000.0 * 1e6, 0.15);
        EXPECT_NEAR(tracker.SamplesPerSecond(), 96000.0 * 40000.0 / (40000.0 + hz), 0.02);
        EXPECT_NEAR(tracker.NoiseVariance(), 300.0 * 300.0, 0.1 * 300.0 * 300.0);
        double error = 0.0, across = 0.0;
        int count = 0;
        for (const DetectedSample& s : out.samples) {
            if (s.index < 20000 || s.index >= 59000) continue;
            error += s.inPhase - kAmplitude * Baseband::Level(s.index);
            across += s.quadrature;
            ++count;
        }
        EXPECT_NEAR(error / count, 0.0, 0.01 * kAmplitude);
        EXPECT_NEAR(across / count, 0.0, 0.01 * kAmplitude);

        tracker.HoldFrequency(true);
        for (std::int64_t k = 60000; k < 80000; ++k) tracker.Process(in.At(k), out);
        EXPECT_NEAR(tracker.OffsetHz(), hz, 0.005);
    }
}

}  // namespace
}  // namespace velto
