#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include "dsp/BandpassCoefficients.h"
#include "dsp/Constants.h"
#include "dsp/Filter.h"

namespace velto {
namespace {

using Samples = std::vector<std::int16_t>;

std::vector<double> Filtered(const Samples& in, bool reference = false) {
    CFilter filter;
    filter.SetTapCount(kTapCount);
    std::vector<double> out(kBufferSamples, -123.0);
    if (reference) {
        filter.ApplyReference(in.data(), out.data());
    } else {
        filter.Apply(in.data(), out.data());
    }
    return out;
}

Samples Sine(double amplitude, double hz, double phase = 0.0) {
    Samples in(kBufferSamples);
    for (int t = 0; t < kBufferSamples; ++t) {
        in[t] = static_cast<std::int16_t>(
            std::lround(amplitude * std::sin(kTwoPi * hz * t / kSampleRate + phase)));
    }
    return in;
}

double MaxAbs(const std::vector<double>& v) {
    double m = 0.0;
    for (double x : v) m = std::max(m, std::fabs(x));
    return m;
}

TEST(BandpassCoefficients, TableIsSymmetricWithZerosWhereTheCarrierIsAtRightAngles) {
    EXPECT_DOUBLE_EQ(BandpassCoefficients[240], 0.008333);
    for (int m = 0; m < kTapCount; ++m) {
        EXPECT_EQ(BandpassCoefficients[m], BandpassCoefficients[kTapCount - 1 - m]) << m;
    }
    for (int k = 0; k <= kHalfTaps; ++k) {
        if (k % 6 == 3) {
            EXPECT_EQ(kBandpassHalf[k], 0.0) << k;
        }
    }
    EXPECT_EQ(BandpassCoefficients[0], 0.0);
}

// Catches a mistyped entry: every stored value is the tapered ideal band-pass
// rounded to six decimals. The best quadratic taper (1 - 0.05165 (k/240)^2)
// leaves at most 0.61e-6, so 0.7e-6 allows the rounding and nothing more.
TEST(BandpassCoefficients, ValuesFollowTheTaperedIdealBandpass) {
    for (int k = 0; k <= kHalfTaps; ++k) {
        const double ideal = k == 0 ? 800.0 / 96000.0
                                    : 2.0 * std::cos(kTwoPi * 40000.0 * k / 96000.0) *
                                          std::sin(kTwoPi * 200.0 * k / 96000.0) /
                                          (std::numbers::pi * k);
        const double u = k / 240.0;
        const double tapered = ideal * (1.0 - 0.05165 * u * u);
        EXPECT_NEAR(kBandpassHalf[k], tapered, 0.7e-6) << "k = " << k;
    }
}

TEST(Filter, ZerosGiveZeros) {
    const auto out = Filtered(Samples(kBufferSamples, 0));
    for (double v : out) ASSERT_EQ(v, 0.0);
}

TEST(Filter, ImpulseReproducesTheTableCentredOnIt) {
    for (int t0 : {0, 1, 240, 4800, 9359, 9599}) {
        Samples in(kBufferSamples, 0);
        in[t0] = 1;
        const auto out = Filtered(in);
        for (int t = 0; t < kBufferSamples; ++t) {
            const int k = t - t0;
            const double expected = std::abs(k) <= kHalfTaps ? kBandpassHalf[std::abs(k)] : 0.0;
            ASSERT_EQ(out[t], expected) << "t0 = " << t0 << ", t = " << t;
        }
    }
}

TEST(Filter, CarrierPassesInPhaseWithTheStatedGain) {
    for (double phase : {0.0, 1.0}) {
        const double a = 10000.0;
        const auto out = Filtered(Sine(a, kCarrierHz, phase));
        for (int t = kHalfTaps; t < kBufferSamples - kHalfTaps; ++t) {
            const double expected =
                1.1685 * a * std::sin(kTwoPi * kCarrierHz * t / kSampleRate + phase);
            ASSERT_NEAR(out[t], expected, 2.0) << t;
        }
    }
}

TEST(Filter, RejectsFarFrequencies) {
    // Relative to the passband peak: 1 kHz off the carrier -43.5 dB or less,
    // 2 kHz off about -55.5 dB, mains hum -94 dB or less.
    struct Case {
        double hz;
        double db;
    };
    for (const Case c : {Case{39000.0, -43.0}, Case{41000.0, -43.0}, Case{38000.0, -54.5},
                         Case{42000.0, -54.5}, Case{50.0, -90.0}, Case{1000.0, -90.0}}) {
        const auto out = Filtered(Sine(10000.0, c.hz));
        double peak = 0.0;
        for (int t = kHalfTaps; t < kBufferSamples - kHalfTaps; ++t) {
            peak = std::max(peak, std::fabs(out[t]));
        }
        EXPECT_LT(peak, 1.1685 * 10000.0 * std::pow(10.0, c.db / 20.0)) << c.hz;
    }
}

TEST(Filter, CarriesNothingFromOneCallToTheNext) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> dist(-32768, 32767);
    Samples noise(kBufferSamples);
    for (auto& s : noise) s = static_cast<std::int16_t>(dist(rng));
    CFilter filter;
    std::vector<double> first(kBufferSamples), second(kBufferSamples), zeros(kBufferSamples);
    filter.Apply(noise.data(), first.data());
    filter.Apply(noise.data(), second.data());
    EXPECT_EQ(first, second);
    const Samples silence(kBufferSamples, 0);
    filter.Apply(silence.data(), zeros.data());
    EXPECT_EQ(MaxAbs(zeros), 0.0);
}

TEST(Filter, FastPathEqualsTheStepByStepAlgorithm) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> dist(-32768, 32767);
    Samples noise(kBufferSamples);
    for (auto& s : noise) s = static_cast<std::int16_t>(dist(rng));
    Samples mixed = Sine(12000.0, kCarrierHz, 0.3);
    for (int t = 0; t < kBufferSamples; ++t) {
        mixed[t] = static_cast<std::int16_t>(std::clamp(mixed[t] + dist(rng) / 8, -32768, 32767));
    }
    int kernels = 0;
    for (CFilter::Kernel kernel :
         {CFilter::Kernel::Portable, CFilter::Kernel::Avx2, CFilter::Kernel::Avx512}) {
        if (!CFilter::Supports(kernel)) {
            continue;
        }
        ++kernels;
        for (const Samples* in : {&noise, &mixed}) {
            CFilter filter;
            std::vector<double> fast(kBufferSamples);
            filter.ApplyWith(kernel, in->data(), fast.data());
            const auto reference = Filtered(*in, true);
            const double tolerance = 1e-9 * MaxAbs(reference);
            for (int t = 0; t < kBufferSamples; ++t) {
                ASSERT_NEAR(fast[t], reference[t], tolerance)
                    << "kernel " << static_cast<int>(kernel) << ", t = " << t;
            }
        }
    }
    EXPECT_GE(kernels, 1);
}

TEST(Filter, ShorterTapCountsUseTheLeadingCoefficients) {
    // With n taps the filter sums coefficients 0..n-1 and drops n/2 sums.
    CFilter filter;
    filter.SetTapCount(5);
    Samples in(kBufferSamples, 0);
    in[100] = 1;
    std::vector<double> out(kBufferSamples);
    filter.Apply(in.data(), out.data());
    for (int t = 0; t < kBufferSamples; ++t) {
        const int m = t + 2 - 100;
        const double expected = m >= 0 && m < 5 ? BandpassCoefficients[m] : 0.0;
        ASSERT_EQ(out[t], expected) << t;
    }
    filter.SetTapCount(100000);
    EXPECT_EQ(filter.TapCount(), kTapCount);
}

}  // namespace
}  // namespace velto
