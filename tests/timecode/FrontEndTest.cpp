// The front end on its own: the decimator fed buffers of any length, and carrier tracking
// and a steady carrier beside the station's at baseband, 1000 samples a second.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <random>
#include <tuple>
#include <vector>

#include "timecode/CarrierChoice.h"
#include "timecode/CarrierTracker.h"
#include "timecode/Decimator.h"
#include "timecode/ToneCanceller.h"

namespace velto {
namespace {

constexpr int kBlock = 96;  // JJY 40 kHz at 96 kHz: input samples per baseband sample

struct BasebandOut : IBasebandSink {
    std::vector<BasebandSample> samples;
    void OnBaseband(const BasebandSample& s) override { samples.push_back(s); }
};

// A tone of amplitude `a`, half of it before `rise`, with a one-sample crash at `crash`.
std::vector<std::int16_t> Tone(std::int64_t first, std::size_t n, double hz, double a,
                               std::int64_t rise, std::int64_t crash = -1) {
    std::mt19937_64 rng(5);
    std::normal_distribution<double> noise(0.0, 100.0);
    std::vector<std::int16_t> x(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::int64_t k = first + static_cast<std::int64_t>(i);
        const double level = k < rise ? 0.5 * a : a;
        const double v = level * std::cos(2.0 * M_PI * hz * static_cast<double>(k) / 96000.0 + 1.1);
        x[i] = static_cast<std::int16_t>(std::lround(k == crash ? 30000.0 : v + noise(rng)));
    }
    return x;
}

// Whole or in pieces, the same output: amplitude, phase turning at the offset, and the
// rise where it was (output k centred on input 96 k - 1).
TEST(Decimator, MixesAndDecimatesAcrossBuffers) {
    for (const auto& [hz, first, piece] :
         {std::tuple(40000.0, std::int64_t{0}, std::size_t{9600}),
          std::tuple(40003.0, std::int64_t{-12345}, std::size_t{97}),
          std::tuple(39995.5, std::int64_t{777}, std::size_t{1})}) {
        SCOPED_TRACE(hz);
        const std::int64_t rise = first + 48000 + 31;
        const auto x = Tone(first, 96000, hz, 4000.0, rise);
        CDecimator whole(40000.0, 96000), pieces(40000.0, 96000);
        BasebandOut a, b;
        whole.Push(first, x.data(), x.size(), a);
        for (std::size_t i = 0; i < x.size(); i += piece) {
            pieces.Push(first + static_cast<std::int64_t>(i), x.data() + i,
                        std::min(piece, x.size() - i), b);
        }
        ASSERT_EQ(a.samples.size(), b.samples.size());
        ASSERT_GE(a.samples.size(), 999u);
        std::int64_t crossed = -1;
        for (std::size_t i = 0; i < a.samples.size(); ++i) {
            ASSERT_EQ(a.samples[i].z, b.samples[i].z) << i;
            const BasebandSample& s = a.samples[i];
            if (i > 0) {
                EXPECT_EQ(s.index, a.samples[i - 1].index + 1);
            }
            if (s.blanked) continue;
            const double center = static_cast<double>(kBlock * s.index - 1);
            if (center > rise + 200) {
                EXPECT_NEAR(std::abs(s.z), 4000.0, 100.0) << i;
                const double turn = std::arg(s.z * std::conj(a.samples[i - 1].z));
                EXPECT_NEAR(turn, 2.0 * M_PI * (hz - 40000.0) / 1000.0, 0.03) << i;
            }
            if (crossed < 0 && std::abs(s.z) > 0.75 * 4000.0) crossed = s.index;
        }
        EXPECT_GE(kBlock * crossed - 1, rise);
        EXPECT_LT(kBlock * (crossed - 1) - 1, rise);
    }
}

// A crash blanks only its blocks' outputs and the next; a bridged gap blanks its outputs.
TEST(Decimator, BlanksCrashesAndBridgesGaps) {
    const auto x = Tone(0, 192000, 40000.0, 2000.0, 0, 100000);
    CDecimator d(40000.0, 96000);
    BasebandOut out;
    d.Push(0, x.data(), 150000, out);
    d.Bridge(150000 + 50000, out);
    d.Push(200000, x.data() + 150000, 42000, out);
    EXPECT_EQ(d.NextSample(), 242000);
    ASSERT_EQ(out.samples.size(), 242000u / kBlock);
    for (const BasebandSample& s : out.samples) {
        const std::int64_t from = kBlock * (s.index - 1), to = kBlock * (s.index + 1);  // inputs
        const bool crash = from <= 100000 + kBlock && to > 100000;
        const bool gap = to > 150000 && from < 200000;
        const bool start = s.index == 0;
        EXPECT_EQ(s.blanked, crash || gap || start) << s.index;
        if (!s.blanked) {
            EXPECT_NEAR(std::abs(s.z), 2000.0, 100.0) << s.index;
        }
    }
}

constexpr double kAmplitude = 1000.0;

struct Detected : IDetectedSink {
    std::vector<DetectedSample> samples;
    void OnDetected(const DetectedSample& s) override { samples.push_back(s); }
};

// Full carrier for 0.5 s of each second, 10 % after, `hz` off; none once `gone`.
struct Baseband {
    double hz, sigma;
    std::int64_t gone;
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

// Offset, drift and noise measured, the keyed amplitude detected in phase; held, the
// frequency stays while the carrier is gone.
TEST(CarrierTracker, FindsFollowsAndDetectsTheCarrier) {
    for (const double hz : {0.0, 6.3, -11.7}) {
        SCOPED_TRACE(hz);
        Baseband in{hz, 300.0, 60000};
        CCarrierTracker tracker(40000.0, 96000);
        Detected out;
        for (std::int64_t k = 0; k < 60000; ++k) tracker.Process(in.At(k), out);
        ASSERT_TRUE(tracker.CarrierFound());
        EXPECT_NEAR(tracker.OffsetHz(), hz, 0.005);
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

using Complex = std::complex<double>;

constexpr double kRate = 1000.0;  // baseband samples per second

// The station's carrier keyed 100 % / 10 % with random symbols, `hz` off.
struct Keyed {
    double hz, phase;
    std::minstd_rand rng{7};
    double full = 0.8;
    Complex At(std::int64_t n) {
        const double inSecond = double(n % 1000) / kRate;
        if (n % 1000 == 0) full = std::array<double, 3>{0.8, 0.5, 0.2}[rng() % 3];
        const double level = inSecond < full ? 1.0 : 0.1;
        return std::polar(level, 2.0 * M_PI * hz * double(n) / kRate + phase);
    }
};

Complex Steady(double hz, double amplitude, std::int64_t n) {
    return std::polar(amplitude, 2.0 * M_PI * hz * double(n) / kRate + 1.0);
}

// A stronger steady carrier on a line of the station's keying: the keyed one is chosen.
TEST(SteadyCarrier, TheKeyedOneIsChosen) {
    for (const bool keyed : {true, false}) {
        CCarrierChoice choice(40000.0);
        Keyed jjy{-2.4, 0.3};
        const double hz[] = {0.6, keyed ? -2.4 : -5.0};  // strongest first, as found
        int chosen = -2;
        for (std::int64_t n = 0; n < 8000; ++n) {
            choice.Process(Steady(0.6, 2.0, n) + (keyed ? jjy.At(n) : Steady(-5.0, 1.0, n)), false);
            if (n % 1000 == 999) chosen = choice.Choose(hz, 2);
        }
        EXPECT_EQ(chosen, keyed ? 1 : -1);  // two steady carriers: neither
    }
}

// A steady carrier found 0.02 Hz off is taken out; the station's own line at 3 Hz stays.
TEST(SteadyCarrier, IsTakenOutAndTheKeyingStays) {
    CToneCanceller tones;
    Keyed jjy{-2.4, 0.3};
    Keyed same{-2.4, 0.3};  // the same signal again, for the truth
    const double found = 0.62;
    tones.Set(&found, 1);
    const Complex phase = std::polar(1.0, 0.3);
    double error = 0.0;
    int count = 0;
    for (std::int64_t n = 0; n < 60000; ++n) {
        const Complex carrier = std::polar(1.0, 2.0 * M_PI * -2.4 * double(n) / kRate);
        const Complex out = tones.Apply(jjy.At(n) + Steady(0.6, 2.0, n), false, carrier, phase);
        const Complex truth = same.At(n);
        if (n % 1000 == 999) tones.Second();
        if (n >= 40000) {
            error += std::norm(out - truth);
            ++count;
        }
    }
    EXPECT_LT(std::sqrt(error / count), 0.02);
}

}  // namespace
}  // namespace velto
