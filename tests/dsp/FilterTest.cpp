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
using Output = std::vector<double>;

Output Filtered(const Samples& in) {
    CFilter filter;
    Output out(kBufferSamples, -123.0);
    filter.Apply(in.data(), out.data());
    return out;
}

Samples Carrier(double amplitude, double phase) {
    Samples in(kBufferSamples);
    for (int t = 0; t < kBufferSamples; ++t) {
        in[t] = static_cast<std::int16_t>(
            std::lround(amplitude * std::sin(kTwoPi * kCarrierHz * t / kSampleRate + phase)));
    }
    return in;
}

TEST(BandpassCoefficients, SymmetricTaperedIdealBandpassWithZerosAtRightAngles) {
    EXPECT_EQ(kBandpassHalf[0], 0.008333);
    for (int m = 0; m < kTapCount; ++m) {
        ASSERT_EQ(BandpassCoefficients[m], BandpassCoefficients[kTapCount - 1 - m]) << m;
    }
    // Every stored value is the tapered ideal band-pass rounded to six
    // decimals. The best quadratic taper (1 - 0.05165 (k/240)^2) leaves at most
    // 0.61e-6, so 0.7e-6 allows the rounding and catches a mistyped entry.
    for (int k = 0; k <= kHalfTaps; ++k) {
        const double ideal = k == 0 ? 800.0 / 96000.0
                                    : 2.0 * std::cos(kTwoPi * 40000.0 * k / 96000.0) *
                                          std::sin(kTwoPi * 200.0 * k / 96000.0) /
                                          (std::numbers::pi * k);
        const double u = k / 240.0;
        EXPECT_NEAR(kBandpassHalf[k], ideal * (1.0 - 0.05165 * u * u), 0.7e-6) << k;
        if (k % 6 == 3) {
            EXPECT_EQ(kBandpassHalf[k], 0.0) << k;
        }
    }
}

using Kernel = CFilter::Kernel;
constexpr Kernel kKernels[] = {Kernel::Portable, Kernel::Avx2, Kernel::Avx512};

// Apply, then each kernel this processor offers, from the buffer's edges to its middle.
TEST(Filter, ZerosStayZeroAndAnImpulseReproducesTheTableCentredOnIt) {
    for (double v : Filtered(Samples(kBufferSamples, 0))) ASSERT_EQ(v, 0.0);
    CFilter filter;
    for (int t0 : {0, 1, 239, 240, 4800, 9359, 9360, 9599}) {
        Samples in(kBufferSamples, 0);
        in[t0] = 1;
        std::vector<Output> outs = {Filtered(in)};
        for (Kernel kernel : kKernels) {
            if (!CFilter::Supports(kernel)) continue;
            filter.ApplyWith(kernel, in.data(), outs.emplace_back(kBufferSamples, -123.0).data());
        }
        for (const Output& out : outs) {
            for (int t = 0; t < kBufferSamples; ++t) {
                const int k = std::abs(t - t0);
                ASSERT_EQ(out[t], k <= kHalfTaps ? kBandpassHalf[k] : 0.0)
                    << "impulse at " << t0 << ", t = " << t << ", run " << &out - outs.data();
            }
        }
    }
}

TEST(Filter, CarrierPassesInPhaseWithTheStatedGain) {
    const Output out = Filtered(Carrier(10000.0, 1.0));
    for (int t = kHalfTaps; t < kBufferSamples - kHalfTaps; ++t) {
        const double expected = 11685.0 * std::sin(kTwoPi * kCarrierHz * t / kSampleRate + 1.0);
        ASSERT_NEAR(out[t], expected, 2.0) << t;
    }
}

// Every fast kernel the processor offers equals the step-by-step algorithm,
// and a filter gives the same output however often it is called. The inputs:
// full-scale noise, a noisy carrier, and the samples that drive output 4800 to
// its extremes, full scale with the sign of each coefficient (the kernels add
// in 32-bit groups that must not overflow even then).
TEST(Filter, FastKernelsEqualTheReferenceAndKeepNoState) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> dist(-32768, 32767);
    Samples noise(kBufferSamples);
    for (auto& s : noise) s = static_cast<std::int16_t>(dist(rng));
    Samples tone = Carrier(12000.0, 0.3);
    for (auto& s : tone) {
        s = static_cast<std::int16_t>(std::clamp(s + dist(rng) / 8, -32768, 32767));
    }
    Samples highest(kBufferSamples, 0), lowest(kBufferSamples, 0);
    for (int t = 4800 - kHalfTaps; t <= 4800 + kHalfTaps; ++t) {
        const double h = kBandpassHalf[std::abs(t - 4800)];
        highest[t] = h > 0 ? 32767 : h < 0 ? -32768 : 0;
        lowest[t] = h > 0 ? -32768 : h < 0 ? 32767 : 0;
    }

    CFilter filter;
    const Samples* inputs[] = {&noise, &tone, &highest, &lowest};
    for (int i = 0; i < 4; ++i) {
        const Samples* in = inputs[i];
        Output reference(kBufferSamples), first(kBufferSamples), again(kBufferSamples);
        filter.ApplyReference(in->data(), reference.data());
        filter.Apply(in->data(), first.data());
        filter.Apply(in->data(), again.data());
        EXPECT_EQ(first, again);
        double peak = 0.0;
        for (double v : reference) peak = std::max(peak, std::fabs(v));
        for (Kernel kernel : kKernels) {
            if (!CFilter::Supports(kernel)) continue;
            Output fast(kBufferSamples);
            filter.ApplyWith(kernel, in->data(), fast.data());
            for (int t = 0; t < kBufferSamples; ++t) {
                ASSERT_NEAR(fast[t], reference[t], 1e-9 * peak)
                    << "kernel " << static_cast<int>(kernel) << ", input " << i << ", t = " << t;
            }
        }
    }
}

}  // namespace
}  // namespace velto
