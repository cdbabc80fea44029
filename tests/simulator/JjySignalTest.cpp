// The decoder tests judge by the simulator's truth: across a splice it must be exact.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

#include "simulator/StationSignal.h"

namespace velto {
namespace {

constexpr std::int64_t kStart = 1796610180;

std::vector<std::int16_t> Generate(const StationSignalOptions& o, std::size_t n) {
    CStationSignal signal(kStart, o);
    std::vector<std::int16_t> out(n);
    // In pieces, one ending on the splice.
    for (std::size_t at = 0; at < n; at += 7000) {
        signal.Generate(out.data() + at, std::min<std::size_t>(7000, n - at));
    }
    return out;
}

TEST(JjySignal, SplicesShiftTheSignalAndItsTruth) {
    StationSignalOptions plain;
    plain.cn0DbHz = 30.0;
    plain.fastNoise = true;
    plain.seed = 3;
    plain.startOffsetSamples = 4321;
    const std::vector<std::int16_t> base = Generate(plain, 400000);
    const CStationSignal truth(kStart, plain);
    constexpr std::int64_t kAt = 140000;
    for (std::int64_t n : {33600, -5000}) {
        SCOPED_TRACE(n);
        StationSignalOptions o = plain;
        o.spliceAt = kAt;
        o.spliceSamples = n;
        const std::vector<std::int16_t> out = Generate(o, 300000);
        EXPECT_TRUE(std::equal(out.begin(), out.begin() + kAt, base.begin()));
        const std::int64_t resume = n > 0 ? kAt : kAt - n;
        if (n < 0) {
            EXPECT_TRUE(std::all_of(out.begin() + kAt, out.begin() + resume,
                                    [](std::int16_t v) { return v == 0; }));
        }
        EXPECT_TRUE(std::equal(out.begin() + resume, out.end(), base.begin() + resume + n));
        const CStationSignal spliced(kStart, o);
        for (std::int64_t k = 0; k < 4; ++k) {
            const double sent = truth.OnTimeSample(k);
            const double seen = spliced.OnTimeSample(k);
            EXPECT_EQ(seen, sent < kAt ? sent : sent - static_cast<double>(n));
            if (sent >= kAt + std::max<std::int64_t>(n, 0)) {
                EXPECT_EQ(spliced.UnsplicedSample(seen), sent);
            }
        }
    }
}

// On a sound card 100 ppm fast a carrier on the station's clock is heard 4 Hz lower.
TEST(JjySignal, SteadyCarrierOnTheStationsClockAndGainClipsAtTheRails) {
    StationSignalOptions o;
    o.carrierAmplitude = 0.0;
    o.clockPpm = 100.0;
    o.steadyCarrierOffsetHz = 3.0;
    o.steadyCarrierAmplitude = 1000.0;
    const std::vector<std::int16_t> x = Generate(o, 96000);
    auto amplitude = [&](double hz) {
        std::complex<double> sum{};
        for (std::size_t i = 0; i < x.size(); ++i) {
            sum += double(x[i]) * std::polar(1.0, -2.0 * M_PI * hz * double(i) / 96000.0);
        }
        return 2.0 * std::abs(sum) / double(x.size());
    };
    EXPECT_NEAR(amplitude(40003.0 / 1.0001), 1000.0, 5.0);
    EXPECT_LT(amplitude(40003.0), 50.0);

    // Gain into the converter clips at the 16-bit rails.
    o = {.carrierAmplitude = 20000.0};
    const std::vector<std::int16_t> plain = Generate(o, 96000);
    o.gain = 4.0;
    const std::vector<std::int16_t> loud = Generate(o, 96000);
    int clipped = 0;
    for (std::size_t i = 0; i < plain.size(); ++i) {
        const double expected = std::clamp(4.0 * plain[i], -32768.0, 32767.0);
        ASSERT_NEAR(loud[i], expected, 2.0) << i;
        clipped += std::abs(loud[i]) >= 32767 ? 1 : 0;
    }
    EXPECT_GT(clipped, 1000);
}

}  // namespace
}  // namespace velto
