#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "base/Geometry.h"
#include "receiver/HalfRate.h"

namespace velto {
namespace {

// The amplitude of a tone after halving, fed in pieces of odd and even
// lengths as a stream comes, measured away from the start-up.
double HalvedAmplitude(double hz) {
    constexpr int kIn = 2 * kSampleRate / 10;  // 100 ms
    std::vector<std::int16_t> in(kIn);
    for (int t = 0; t < kIn; ++t) {
        in[static_cast<std::size_t>(t)] =
            static_cast<std::int16_t>(std::lround(10000.0 * std::sin(kTwoPi * hz * t / 192000.0)));
    }
    CHalfRate half;
    std::vector<std::int16_t> out(kIn / 2 + 2);
    std::size_t n = 0;
    for (std::size_t at = 0, piece = 997; at < in.size();
         at += piece, piece = piece == 997 ? 1200 : 997) {
        const std::size_t count = std::min(piece, in.size() - at);
        n += half.Process(in.data() + at, count, out.data() + n);
    }
    EXPECT_EQ(n, static_cast<std::size_t>(kIn / 2));
    double peak = 0.0;
    for (std::size_t j = 200; j < n; ++j) peak = std::max(peak, std::fabs(double(out[j])));
    return peak / 10000.0;
}

// JJY's 40 kHz passes as it is; what would fold onto it (56 kHz) is gone.
TEST(HalfRate, KeepsTheCarrierAndHoldsOffWhatWouldFoldOntoIt) {
    EXPECT_NEAR(HalvedAmplitude(40000.0), 1.0, 0.005);
    EXPECT_NEAR(HalvedAmplitude(1000.0), 1.0, 0.005);
    EXPECT_LT(HalvedAmplitude(56000.0), 2e-4);  // below 16-bit rounding of 10000
    EXPECT_LT(HalvedAmplitude(52000.0), 3e-4);
}

// An impulse at input 2m comes out at output m + kDelay: the delay is exact.
TEST(HalfRate, DelaysByExactlyFortyOutputSamples) {
    CHalfRate half;
    std::vector<std::int16_t> in(2000, 0);
    in[600] = 20000;
    std::vector<std::int16_t> out(1001);
    ASSERT_EQ(half.Process(in.data(), in.size(), out.data()), 1000u);
    std::size_t peak = 0;
    for (std::size_t j = 0; j < 1000; ++j) {
        if (std::abs(out[j]) > std::abs(out[peak])) peak = j;
    }
    EXPECT_EQ(peak, 300u + CHalfRate::kDelay);
}

}  // namespace
}  // namespace velto
