// JJY's Morse between no carrier and the full one; WWVB's phase flipping only
// 0.1 s after an on-time point.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

#include "simulator/StationSignal.h"
#include "station/FrameEncoder.h"

namespace velto {
namespace {

struct Row {
    StationId station;
    int rate;
    std::int64_t start;  // second 0 of a UTC minute
    bool callSign;
};

// 10 ms slots demodulated at the carrier, in units of the full carrier.
std::vector<std::complex<double>> Slots(const CStationSignal& signal, std::vector<std::int16_t>& x,
                                        double amplitude) {
    const int rate = signal.SampleRate();
    const int slot = rate / 100;
    const double w = 2.0 * M_PI * signal.GetStationSent().carrierHz / rate;
    std::vector<std::complex<double>> out(x.size() / static_cast<std::size_t>(slot));
    for (std::size_t i = 0; i < x.size(); ++i) {
        out[i / slot] += double(x[i]) * std::polar(1.0, -w * double(i) + M_PI / 2);
    }
    for (auto& z : out) z *= 2.0 / (slot * amplitude);
    return out;
}

TEST(StationSignal, KeyedAsTheFramesSay) {
    const Row rows[] = {
        {StationId::Jjy40, 192000, 1483228800, false},
        {StationId::Jjy60, 192000, 1735715700, true},   // 16:15 JST: the call sign
        {StationId::Dcf77, 192000, 1743296340, false},  // 00:59 UTC, before CEST begins
        {StationId::Msf, 192000, 1743296340, false},
        {StationId::Wwvb, 192000, 1741482000, false},  // the day US DST begins
        {StationId::Jjy40, 96000, 1483228800, false},
    };
    constexpr double kAmplitude = 8000.0;
    for (const Row& row : rows) {
        const Station& st = GetStation(row.station);
        SCOPED_TRACE(testing::Message() << st.name << " at " << row.rate);
        StationSignalOptions o;
        o.station = row.station;
        o.sampleRate = row.rate;
        o.carrierAmplitude = kAmplitude;
        o.callSignMinutes = row.callSign;
        CStationSignal signal(row.start, o);
        ASSERT_EQ(signal.SampleRate(), row.rate);
        std::vector<std::int16_t> x(static_cast<std::size_t>(row.rate) * 60);
        signal.Generate(x.data(), x.size());
        const std::vector<std::complex<double>> slots = Slots(signal, x, kAmplitude);
        const Frame frame =
            EncodeFrame(st, row.start, {.leap = {}, .callSignMinutes = row.callSign});
        EXPECT_EQ(frame.callSign, row.callSign);
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
