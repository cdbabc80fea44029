#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "dsp/Bandpass.h"
#include "dsp/BandpassCoefficients.h"
#include "dsp/Filter.h"
#include "dsp/Pipeline.h"
#include "station/Station.h"

namespace velto {
namespace {

// The zero-phase response of a symmetric filter given by its half.
double Gain(std::span<const double> half, double hz, double rate) {
    double g = half[0];
    for (std::size_t k = 1; k < half.size(); ++k) {
        g += 2.0 * half[k] * std::cos(kTwoPi * hz * static_cast<double>(k) / rate);
    }
    return std::fabs(g);
}

double Db(double ratio) { return 20.0 * std::log10(ratio); }

// Every station at every rate that carries it (its carrier below 45 % of the rate).
std::vector<std::pair<const Station*, CaptureFormat>> Cases() {
    std::vector<std::pair<const Station*, CaptureFormat>> cases;
    for (const Station& st : Stations()) {
        for (int rate : {kSampleRate, 2 * kSampleRate}) {
            if (st.carrierHz < 0.45 * rate) cases.push_back({&st, *CaptureFormat::ForRate(rate)});
        }
    }
    return cases;
}

std::vector<std::int16_t> Sine(double hz, double amplitude, CaptureFormat format) {
    std::vector<std::int16_t> x(static_cast<std::size_t>(format.BufferSamples()));
    for (std::size_t t = 0; t < x.size(); ++t) {
        x[t] = static_cast<std::int16_t>(std::lround(
            amplitude * std::sin(kTwoPi * hz * static_cast<double>(t) / format.rate + 0.3)));
    }
    return x;
}

// The design is the fixed table's recipe: at 40 kHz and 96000 samples/s it
// gives the stored six-decimal coefficients.
TEST(Bandpass, DesignedFor40kHzAt96kHzIsTheFixedTable) {
    CBandpass bandpass;
    ASSERT_TRUE(bandpass.Design(kCarrierHz, kBaseFormat));
    ASSERT_EQ(bandpass.TapCount(), kTapCount);
    for (int k = 0; k <= kHalfTaps; ++k) {
        EXPECT_NEAR(bandpass.HalfTaps()[static_cast<std::size_t>(k)], kBandpassHalf[k], 1.5e-6)
            << k;
    }
    EXPECT_FALSE(bandpass.Design(77500.0, kBaseFormat));  // above half the rate
}

// The same character for every station and rate: the fixed table's gain at
// the carrier, -3 dB some 126 Hz either side, far neighbours and hum held off.
TEST(Bandpass, EveryStationAndRateHasTheCharacterOfTheFixedTable) {
    for (const auto& [st, format] : Cases()) {
        SCOPED_TRACE(std::string(st->name) + " at " + std::to_string(format.rate));
        CBandpass bandpass;
        ASSERT_TRUE(bandpass.Design(st->carrierHz, format));
        EXPECT_EQ(bandpass.TapCount(), format.rate / 200 + 1);
        const auto h = bandpass.HalfTaps();
        const double c = st->carrierHz;
        const double peak = Gain(h, c, format.rate);
        EXPECT_NEAR(peak, 1.1685, 0.002);
        for (double side : {-1.0, 1.0}) {
            EXPECT_NEAR(Db(Gain(h, c + side * 126.0, format.rate) / peak), -3.0, 0.3);
            EXPECT_LT(Db(Gain(h, c + side * 282.0, format.rate) / peak), -19.0);
            for (double off = 1000.0; off <= 5000.0; off += 250.0) {
                EXPECT_LT(Db(Gain(h, c + side * off, format.rate) / peak), -43.0) << off;
            }
        }
        for (double hum = 0.0; hum <= 1000.0; hum += 50.0) {
            EXPECT_LT(Db(Gain(h, hum, format.rate) / peak), -90.0) << hum;
        }
    }
}

// A steady carrier at the station's frequency reads as the table's gain
// times its amplitude in every slot; one 2 kHz away reads as almost nothing.
TEST(StationChain, TheStationsCarrierPassesAndANeighbourDoesNot) {
    for (const auto& [st, format] : Cases()) {
        SCOPED_TRACE(std::string(st->name) + " at " + std::to_string(format.rate));
        CPipeline p;
        ASSERT_TRUE(p.Configure(st->carrierHz, format));
        const std::vector<std::int16_t> carrier = Sine(st->carrierHz, 1000.0, format);
        p.ProcessBuffer(carrier.data(), 3);
        ASSERT_EQ(p.Filtered().size(), carrier.size());
        for (int j = 0; j < kSlotsPerBuffer; ++j) {
            EXPECT_NEAR(p.RawRow()[30 + j], 1168.5, 1168.5 * 0.01) << j;
        }
        const std::vector<std::int16_t> beside = Sine(st->carrierHz + 2000.0, 1000.0, format);
        p.ProcessBuffer(beside.data(), 4);
        for (int j = 0; j < kSlotsPerBuffer; ++j) {
            EXPECT_LT(p.RawRow()[40 + j], 15.0) << j;
        }
    }
    CPipeline p;
    EXPECT_FALSE(p.Configure(77500.0, kBaseFormat));
}

// JJY 40 kHz at 96000 samples/s keeps the fixed table's chain bit for bit,
// also after the chain has followed another station and come back.
TEST(StationChain, Jjy40At96kHzIsTheFixedChainBitForBit) {
    std::vector<std::int16_t> x(kBufferSamples);
    std::uint32_t seed = 12345;
    for (std::size_t t = 0; t < x.size(); ++t) {
        seed = seed * 1664525u + 1013904223u;
        const double noise = static_cast<double>(seed >> 20) - 2048.0;
        x[t] = static_cast<std::int16_t>(
            std::lround(3000.0 * std::sin(kTwoPi * 40000.0 * t / kSampleRate) + noise));
    }
    CFilter fixed;
    fixed.SetTapCount(kTapCount);
    std::vector<double> expected(kBufferSamples);
    fixed.Apply(x.data(), expected.data());

    CPipeline fresh;
    CPipeline travelled;
    ASSERT_TRUE(travelled.Configure(60000.0, *CaptureFormat::ForRate(192000)));
    ASSERT_TRUE(travelled.Configure(GetStation(StationId::Jjy40).carrierHz, kBaseFormat));
    for (CPipeline* p : {&fresh, &travelled}) {
        p->ProcessBuffer(x.data(), 0);
        ASSERT_EQ(p->Filtered().size(), expected.size());
        for (std::size_t t = 0; t < expected.size(); ++t) {
            ASSERT_EQ(p->Filtered()[t], expected[t]) << t;
        }
    }
    EXPECT_EQ(fresh.RawRow(), travelled.RawRow());
}

}  // namespace
}  // namespace velto
