#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <tuple>
#include <vector>

#include "simulator/StationSignal.h"
#include "spectrum/Level.h"
#include "spectrum/SpectrumAnalyser.h"

namespace velto {
namespace {

// 2026-12-07 20:16:00 JST.
constexpr std::int64_t kStart = 1796642160;
constexpr double kAmplitude = 1000.0;

StationSignalOptions Signal(double cn0, std::uint64_t seed = 1) {
    return {.carrierAmplitude = kAmplitude, .seed = seed, .cn0DbHz = cn0};
}

// Feeds `seconds` of the simulator; the noise's sigma it used.
double Feed(CSpectrumAnalyser& analyser, const StationSignalOptions& options, int seconds) {
    CStationSignal signal(kStart, options);
    std::vector<std::int16_t> buffer(static_cast<std::size_t>(signal.SampleRate() / 10));
    for (int i = 0; i < seconds * 10; ++i) {
        signal.Generate(buffer.data(), buffer.size());
        analyser.Feed(buffer.data(), buffer.size());
    }
    return signal.NoiseSigma();
}

double PeakOffset(const CWaterfall& w) {
    const float* line = w.Line(0);
    const int best = static_cast<int>(std::max_element(line, line + w.Bins()) - line);
    return w.FirstHz() + best * w.BinHz();
}

double At(const CWaterfall& w, double offsetHz) {
    return w.Line(0)[static_cast<int>(std::lround((offsetHz - w.FirstHz()) / w.BinHz()))];
}

int PeakBin(const CBandSpectrum& band) {
    int best = 1;
    for (int k = 1; k < band.Bins(); ++k) {
        best = band.Average(k) > band.Average(best) ? k : best;
    }
    return best;
}

std::vector<double> MarkersAt(const CSpectrumAnalyser& a, SpectrumMarker::Kind kind) {
    std::vector<double> hz;
    for (const SpectrumMarker& m : a.Markers()) {
        if (m.kind == kind) hz.push_back(m.hz);
    }
    return hz;
}

TEST(SpectrumAnalyserTest, TheCarrierNoiseFloorAndLevelMatchTheSimulatorWithin1Db) {
    for (double cn0 : {25.0, 45.0}) {
        SCOPED_TRACE(cn0);
        CSpectrumAnalyser a(SpectrumOptions{});
        const double sigma = Feed(a, Signal(cn0, 7), 40);
        // White noise over 0..48 kHz, per hertz, against a full-scale sine.
        const double density = sigma * sigma / 48000.0 / level::kFullScalePower;
        ASSERT_TRUE(a.NoiseDb());
        EXPECT_NEAR(*a.NoiseDb(), level::ToDb(density), 1.0);
        ASSERT_TRUE(a.CarrierDb());
        EXPECT_NEAR(*a.CarrierDb(), 20.0 * std::log10(kAmplitude / level::kFullScale), 1.0);
        EXPECT_NEAR(*a.CarrierAboveNoiseDb(), cn0, 1.0);
        if (cn0 < 45.0) continue;
        ASSERT_EQ(a.Wide().Lines(), 40);
        ASSERT_EQ(a.Narrow().Lines(), 40);
        EXPECT_LE(a.Narrow().BinHz(), 0.1);
        EXPECT_NEAR(PeakOffset(a.Narrow()), 0.0, a.Narrow().BinHz() / 2.0);
        EXPECT_EQ(MarkersAt(a, SpectrumMarker::Kind::Station), std::vector<double>{40000.0});
        EXPECT_TRUE(MarkersAt(a, SpectrumMarker::Kind::Hum).empty());
    }
    // A constant input has no noise: it reads the floor, never below it.
    CSpectrumAnalyser flat(SpectrumOptions{});
    const std::vector<std::int16_t> dc(kSampleRate, 7);
    for (int s = 0; s < 40; ++s)
        flat.FeedInput(std::int64_t{s} * kSampleRate, dc.data(), dc.size());
    ASSERT_TRUE(flat.NoiseDb());
    EXPECT_EQ(*flat.NoiseDb(), level::kFloorDb);
}

// 3 Hz away at -10 dB lies the keying's third sideband; 211.4 Hz away, the card 20 ppm
// low, it is 212.2 Hz from the station as received.
TEST(SpectrumAnalyserTest, SteadyCarriersAreFoundAndGivenFromNominalButTheKeyingIsNot) {
    for (const auto& [hz, levelDb, ppm] :
         {std::tuple(3.0, -10.0, 0.0), std::tuple(211.4, 20.0 * std::log10(1.0 / 30.0), 20.0)}) {
        SCOPED_TRACE(hz);
        StationSignalOptions o = Signal(ppm == 0.0 ? 45.0 : 40.0, ppm == 0.0 ? 3 : 5);
        o.clockPpm = ppm;
        o.interferenceHz = 40000.0 + hz;
        o.interferenceAmplitude = kAmplitude * std::pow(10.0, levelDb / 20.0);
        CSpectrumAnalyser a(SpectrumOptions{});
        Feed(a, o, 40);
        ASSERT_TRUE(a.StationOffsetHz());
        EXPECT_NEAR(*a.StationOffsetHz(), -40000.0 * ppm * 1e-6, 0.05);
        const auto carriers = a.Carriers();
        ASSERT_EQ(carriers.size(), 1U);
        EXPECT_NEAR(carriers[0].offsetHz, hz, 0.5);
        EXPECT_NEAR(carriers[0].levelDb, levelDb, 1.0);
        if (hz != 3.0) continue;
        // A line of its own, above the keying's sideband on the other side.
        const CWaterfall& n = a.Narrow();
        EXPECT_GT(At(n, 3.0), At(n, 2.5) + 10.0);
        EXPECT_GT(At(n, 3.0), At(n, 3.5) + 10.0);
        EXPECT_GT(At(n, 3.0), At(n, -3.0) + 6.0);
    }

    // A strong station keys sidebands far above the noise: none is a carrier.
    CSpectrumAnalyser clean(SpectrumOptions{});
    Feed(clean, Signal(65.0, 4), 40);
    EXPECT_GT(At(clean.Narrow(), 1.0), *clean.NoiseDb() + 30.0);
    EXPECT_TRUE(clean.Carriers().empty());
}

TEST(SpectrumAnalyserTest, HumIsMarkedOnTheHarmonicsOfTheMainsThatStandOut) {
    for (double mains : {50.0, 60.0}) {
        SCOPED_TRACE(mains);
        StationSignalOptions o = Signal(40.0, 6);
        o.humAmplitude = 300.0;
        o.humHz = mains;
        CSpectrumAnalyser a(SpectrumOptions{});
        Feed(a, o, 5);
        const std::vector<double> hum = MarkersAt(a, SpectrumMarker::Kind::Hum);
        ASSERT_FALSE(hum.empty());
        EXPECT_EQ(hum.front(), mains);
        for (double hz : hum) EXPECT_EQ(std::fmod(hz, mains), 0.0) << hz;
        for (double h : {1.0, 3.0}) {
            EXPECT_TRUE(std::count(hum.begin(), hum.end(), h * mains) == 1) << h;
            EXPECT_TRUE(a.Band().StandsOut(h * mains, 6.0)) << h;
        }
    }
}

TEST(SpectrumAnalyserTest, ThePeakHoldKeepsABurstThatTheAverageForgets) {
    CSpectrumAnalyser a(SpectrumOptions{});
    StationSignalOptions o = Signal(40.0, 8);
    o.interferenceHz = 10007.0;
    // Each part of the signal from where the last one ended.
    auto feed = [&](int seconds, double burst) {
        o.interferenceAmplitude = burst;
        Feed(a, o, seconds);
        o.startOffsetSamples += seconds * 96000;
    };
    const int bin = a.Band().BinOf(o.interferenceHz);
    feed(5, 0.0);
    feed(3, 300.0);
    feed(12, 0.0);
    const double noise = level::FromDb(*a.NoiseDb());
    EXPECT_LT(a.Band().Average(bin), 3.0 * noise);
    EXPECT_GT(a.Band().Peak(bin), 30.0 * noise);
    a.Band().ResetPeak();
    feed(3, 0.0);
    EXPECT_LT(a.Band().Peak(bin), 3.0 * noise);
    EXPECT_GE(a.Band().Peak(bin), a.Band().Average(bin));
}

TEST(SpectrumAnalyserTest, AnyRateThatHoldsTheCarrierWorks) {
    EXPECT_THROW(CSpectrumAnalyser(SpectrumOptions{44100, 40000}), std::invalid_argument);
    EXPECT_THROW(CSpectrumAnalyser(SpectrumOptions{96000, 60000}), std::invalid_argument);

    CSpectrumAnalyser a(SpectrumOptions{192000, 77500});
    Feed(a,
         {.sampleRate = 192000,
          .carrierAmplitude = 0.0,
          .interferenceHz = 77502.5,
          .interferenceAmplitude = 8000.0},
         25);
    EXPECT_NEAR(PeakBin(a.Band()) * a.Band().BinHz(), 77502.5, a.Band().BinHz() / 2.0);
    EXPECT_NEAR(PeakOffset(a.Narrow()), 2.5, a.Narrow().BinHz() / 2.0);
    ASSERT_TRUE(a.StationOffsetHz());
    EXPECT_NEAR(*a.StationOffsetHz(), 2.5, 0.02);
    ASSERT_TRUE(a.CarrierDb());
    EXPECT_NEAR(*a.CarrierDb(), 20.0 * std::log10(8000.0 / 32768.0), 0.2);

    a.Clear();
    EXPECT_EQ(a.Wide().Lines(), 0);
    EXPECT_FALSE(a.NoiseDb());
    EXPECT_FALSE(a.StationOffsetHz());
}

}  // namespace
}  // namespace velto
