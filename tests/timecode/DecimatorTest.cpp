// The front end on its own: samples at 96 kHz made for it, cut into
// buffers of any length.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <random>
#include <vector>

#include "timecode/Decimator.h"

namespace velto {
namespace {

constexpr int kBlock = 96;  // JJY 40 kHz at 96 kHz: input samples per baseband sample

struct Baseband : IBasebandSink {
    std::vector<BasebandSample> samples;
    void OnBaseband(const BasebandSample& s) override { samples.push_back(s); }
};

// `hz` (40 kHz and some) at amplitude `a` from input index `first`, half
// of it before input sample `rise` (a rise the blanker lets through), with a
// crash of one sample at `crash`.
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

// Fed whole or in odd pieces, from any index: the same output, the
// carrier's amplitude, its phase turning at its offset, and a rise where
// the input had it (output k centred on input 96 k - 1).
TEST(Decimator, MixesAndDecimatesAcrossBuffers) {
    for (const auto& [hz, first, piece] :
         {std::tuple(40000.0, std::int64_t{0}, std::size_t{9600}),
          std::tuple(40003.0, std::int64_t{-12345}, std::size_t{97}),
          std::tuple(39995.5, std::int64_t{777}, std::size_t{1})}) {
        SCOPED_TRACE(hz);
        const std::int64_t rise = first + 48000 + 31;
        const auto x = Tone(first, 96000, hz, 4000.0, rise);
        CDecimator whole(40000.0, 96000), pieces(40000.0, 96000);
        Baseband a, b;
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
        // Half-way up between the centres of the outputs on either side.
        EXPECT_GE(kBlock * crossed - 1, rise);
        EXPECT_LT(kBlock * (crossed - 1) - 1, rise);
    }
}

// A crash blanks only the outputs of the blocks it touched and the next;
// lost samples bridged are blanked outputs, the count going on.
TEST(Decimator, BlanksCrashesAndBridgesGaps) {
    const auto x = Tone(0, 192000, 40000.0, 2000.0, 0, 100000);
    CDecimator d(40000.0, 96000);
    Baseband out;
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

}  // namespace
}  // namespace velto
