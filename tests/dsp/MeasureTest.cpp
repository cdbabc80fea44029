#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "dsp/Constants.h"
#include "dsp/Pipeline.h"
#include "dsp/SineFit.h"

namespace velto {
namespace {

TEST(SineFit, TwoSamplesOfTheCarrierDetermineAmplitudeAndPhase) {
    EXPECT_NEAR(SineFitAmplitude(0.0, 1.0, 0.0, 1.0, kCarrierHz), 2.0, 1e-12);
    EXPECT_NEAR(SineFitAmplitude(0.0, 1.0, 1.0, 0.0, kCarrierHz), 2.0, 1e-12);

    SineFitResult r;
    SineFit(0.0, 1.0, 0.0, 1.0, kCarrierHz, r);
    EXPECT_EQ(r.valid, 1);
    EXPECT_NEAR(r.amplitude, 2.0, 1e-12);
    EXPECT_NEAR(r.phase, 0.0, 1e-12);
    EXPECT_EQ(r.frequency, kCarrierHz);

    SineFit(0.0, 1.0, 1.0, 0.0, kCarrierHz, r);
    EXPECT_NEAR(r.amplitude, 2.0, 1e-12);
    EXPECT_NEAR(r.phase, std::numbers::pi / 6.0, 1e-12);

    // Any sinusoid of the carrier frequency is recovered from any two of its samples.
    const double a = 1234.5;
    const double phase = -2.1;
    auto y = [&](double t) { return a * std::sin(kTwoPi * kCarrierHz * t / kSampleRate + phase); };
    SineFit(17.0, 18.0, y(17.0), y(18.0), kCarrierHz, r);
    EXPECT_NEAR(r.amplitude, a, 1e-9);
    EXPECT_NEAR(r.phase, phase, 1e-9);
}

TEST(SineFit, CoincidentTimesHaveNoSolution) {
    SineFitResult r;
    r.valid = 1;
    r.amplitude = 5.0;
    SineFit(3.0, 3.0, 1.0, 2.0, 1000.0, r);
    EXPECT_EQ(r.valid, 0);
    EXPECT_EQ(r.phase, 360.0);
    EXPECT_EQ(r.amplitude, 0.0);
    EXPECT_EQ(r.frequency, 1000.0);
    EXPECT_EQ(SineFitAmplitude(3.0, 3.0, 1.0, 2.0, 1000.0), 0.0);
}

std::vector<std::int16_t> CarrierBuffer(double amplitude) {
    std::vector<std::int16_t> in(kBufferSamples);
    for (int t = 0; t < kBufferSamples; ++t) {
        in[t] = static_cast<std::int16_t>(
            std::lround(amplitude * std::sin(kTwoPi * kCarrierHz * t / kSampleRate)));
    }
    return in;
}

TEST(MeasureSlots, SteadyCarrierReadsItsAmplitudeTimesTheFilterGainInEverySlot) {
    CPipeline p;
    const auto in = CarrierBuffer(1000.0);
    p.m_filter.Apply(in.data(), p.m_filtered.data());
    // Slot 0 on its own lies in the filter's start-up and reads about half.
    EXPECT_NEAR(SineFitAmplitude(0.0, 1.0, p.m_filtered[0], p.m_filtered[1], kCarrierHz), 584.0,
                5.0);
    p.MeasureSlots(7);
    for (int j = 0; j < kSlotsPerBuffer; ++j) {
        EXPECT_NEAR(p.m_rawRow[70 + j], 1168.6, 0.6) << j;
        EXPECT_EQ(p.m_correctedRow[70 + j], p.m_rawRow[70 + j]);
    }
    EXPECT_EQ(p.m_rawRow[70], p.m_rawRow[71]);
    EXPECT_EQ(p.m_rawRow[69], 0.0);
    EXPECT_EQ(p.m_rawRow[80], 0.0);
}

TEST(MeasureSlots, SilenceMeasuresZeroAndTheLastBufferWritesTheLastSlots) {
    CPipeline p;
    p.m_rawRow.fill(5.0);
    p.m_correctedRow.fill(5.0);
    const std::vector<std::int16_t> silence(kBufferSamples, 0);
    p.ProcessBuffer(silence.data(), 79);
    for (int s = 790; s < 800; ++s) {
        EXPECT_EQ(p.m_rawRow[s], 0.0);
        EXPECT_EQ(p.m_correctedRow[s], 0.0);
    }
    EXPECT_EQ(p.m_rawRow[789], 5.0);
}

}  // namespace
}  // namespace velto
