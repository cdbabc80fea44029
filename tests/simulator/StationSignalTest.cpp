// The simulator: JJY 40 kHz pinned as the decoder's tests and the sensitivity
// tables measured it, splices exact to the truth, and every station keyed as sent.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

#include "simulator/StationSignal.h"
#include "station/FrameEncoder.h"

namespace velto {
namespace {

constexpr std::int64_t kStart = 1796610180;

// FNV-1a over the samples' little-endian bytes.
std::uint64_t Hash(std::int64_t start, const StationSignalOptions& o, std::size_t seconds) {
    std::vector<std::int16_t> x(96000 * seconds);
    CStationSignal(start, o).Generate(x.data(), x.size());
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (std::int16_t v : x) {
        for (int b = 0; b < 2; ++b) {
            h ^= (static_cast<std::uint16_t>(v) >> (8 * b)) & 0xff;
            h *= 0x100000001b3ULL;
        }
    }
    return h;
}

TEST(PinnedJjy40, SameSamplesAsBefore) {
    const struct {
        const char* name;
        std::int64_t start;
        std::size_t seconds;
        StationSignalOptions o;
        std::uint64_t hash;
    } cases[] = {
        {"noise and Rician fading",
         kStart,
         70,
         {.startOffsetSamples = 12345,
          .seed = 7,
          .cn0DbHz = 20.0,
          .fastNoise = true,
          .ricianK = 1.0,
          .ricianBandwidthHz = 0.1},
         0x069a614338abb92aULL},
        {"clock off, hum, crashes, a steady carrier",
         kStart,
         20,
         {.noiseSigma = 300.0,
          .seed = 11,
          .fadingDepth = 0.5,
          .impulseRate = 2.0,
          .clockPpm = 123.0,
          .humAmplitude = 500.0,
          .steadyCarrierOffsetHz = 3.0,
          .steadyCarrierAmplitude = 2000.0},
         0x81085010dac428c7ULL},
        // 08:44:30 JST on 1 January 2017: the call sign at 08:45.
        {"call sign",
         1483227870,
         90,
         {.noiseSigma = 100.0, .seed = 5, .callSignMinutes = true, .serviceBits = 0x2b},
         0x0d7259a1864150b1ULL},
        // The leap second inserted at 08:59:60 JST that day, and one deleted.
        {"leap second inserted",
         1483228740,
         75,
         {.leapUtc = 1483228800, .leapKind = 1},
         0x014920dc813e7d25ULL},
        {"leap second deleted",
         1483228740,
         75,
         {.leapUtc = 1483228800, .leapKind = 2, .gain = 3.0},
         0x237bc64387bd62a5ULL},
    };
    for (const auto& c : cases) EXPECT_EQ(Hash(c.start, c.o, c.seconds), c.hash) << c.name;
}

std::vector<std::int16_t> Generate(const StationSignalOptions& o, std::size_t n) {
    CStationSignal signal(kStart, o);
    std::vector<std::int16_t> out(n);
    // In pieces, one ending on the splice.
    for (std::size_t at = 0; at < n; at += 7000) {
        signal.Generate(out.data() + at, std::min<std::size_t>(7000, n - at));
    }
    return out;
}

// The decoder's tests judge by this truth: across a splice it must be exact.
TEST(JjySignal, SplicesShiftTheSignalAndItsTruth) {
    const StationSignalOptions plain{
        .startOffsetSamples = 4321, .seed = 3, .cn0DbHz = 30.0, .fastNoise = true};
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

// Gain into the converter clips at the 16-bit rails.
TEST(JjySignal, GainClipsAtTheRails) {
    StationSignalOptions o{.carrierAmplitude = 20000.0};
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

// JJY's Morse between no carrier and the full one; WWVB's phase flipping only
// 0.1 s after an on-time point.
struct Row {
    StationId station;
    std::int64_t start;  // second 0 of a UTC minute
    bool callSign;
};

TEST(StationSignal, KeyedAsTheFramesSay) {
    const Row rows[] = {
        {StationId::Jjy40, 1483228800, false},
        {StationId::Jjy60, 1735715700, true},   // 16:15 JST: the call sign
        {StationId::Dcf77, 1743296340, false},  // 00:59 UTC, before CEST begins
        {StationId::Msf, 1743296340, false},
        {StationId::Wwvb, 1741482000, false},  // the day US DST begins
    };
    constexpr double kAmplitude = 8000.0;
    constexpr int kRate = 192000;  // every station's carrier below half of it
    for (const Row& row : rows) {
        const Station& st = GetStation(row.station);
        SCOPED_TRACE(st.name);
        CStationSignal signal(row.start, {.station = row.station,
                                          .sampleRate = kRate,
                                          .carrierAmplitude = kAmplitude,
                                          .callSignMinutes = row.callSign});
        std::vector<std::int16_t> x(static_cast<std::size_t>(kRate) * 60);
        signal.Generate(x.data(), x.size());
        // 10 ms slots demodulated at the carrier, in units of the full carrier.
        const int slot = kRate / 100;
        const double w = 2.0 * M_PI * st.carrierHz / kRate;
        std::vector<std::complex<double>> slots(x.size() / static_cast<std::size_t>(slot));
        for (std::size_t i = 0; i < x.size(); ++i) {
            slots[i / slot] += double(x[i]) * std::polar(1.0, -w * double(i) + M_PI / 2);
        }
        for (auto& z : slots) z *= 2.0 / (slot * kAmplitude);
        const Frame frame =
            EncodeFrame(st, row.start, {.leap = {}, .callSignMinutes = row.callSign});
        int flips = 0, levelsOff = 0, morseOff = 0;
        for (std::size_t k = 1; k < slots.size(); ++k) {
            const int second = static_cast<int>(k / 100);
            const double t = (static_cast<double>(k % 100) + 0.5) / 100.0;
            const bool morse =
                frame.callSign && st.callSignLayout.seconds[second].field == Field::CallSign;
            const double magnitude = std::abs(slots[k]);
            if (morse) {
                morseOff += magnitude > 0.05 && magnitude < 0.95 ? 1 : 0;
            } else if (std::abs(t - 0.1) > 0.006) {
                const double expected = KeyedLevel(st, frame.symbols[second], t);
                levelsOff += std::abs(magnitude - expected) > 0.02 ? 1 : 0;
            }
            const double turn = std::abs(std::arg(slots[k] * std::conj(slots[k - 1])));
            if (magnitude > 0.05 && std::abs(slots[k - 1]) > 0.05 && turn > 0.1) {
                ++flips;
                EXPECT_TRUE(st.phaseFlips) << k;
                EXPECT_EQ(k % 100, 10u) << k;
                EXPECT_NEAR(turn, M_PI, 0.05);
            }
        }
        EXPECT_LE(levelsOff, 10);  // a keyed edge inside a slot
        EXPECT_LE(morseOff, frame.callSign ? 20 : 0);
        if (st.phaseFlips) {
            EXPECT_GT(flips, 15);
            EXPECT_LT(flips, 45);
        }
    }
}

}  // namespace
}  // namespace velto
