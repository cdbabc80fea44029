#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <random>

#include "station/Calendar.h"
#include "station/FrameEncoder.h"
#include "timecode/FrameDecoder.h"
#include "timecode/SecondTracker.h"

namespace velto {

// The minute JJY 40 kHz sends from `utc`, without call signs, as the simulator unless asked.
inline Frame Jjy40Frame(std::int64_t utc) {
    FrameOptions plain;
    plain.callSignMinutes = false;
    return EncodeFrame(GetStation(StationId::Jjy40), utc, plain);
}

// The symbol JJY 40 kHz sends in the second that begins at `utc`.
inline Symbol Jjy40SentAt(std::int64_t utc) {
    const std::int64_t minute = FloorDiv(utc, 60) * 60;
    return Jjy40Frame(minute).symbols[static_cast<std::size_t>(utc - minute)];
}

// Calibrated soft scores of sent symbols as the second tracker gives them: the two
// parts that tell them apart in Gaussian noise of `sigma` (the full carrier is 1).
struct SoftScores {
    double sigma;
    std::mt19937_64 rng;
    SoftScores(double noise, std::uint64_t seed) : sigma(noise), rng(seed) {}

    // log P(0), log P(1), log P(marker); `sent` < 0: noise alone.
    std::array<float, 3> Of(int sent) {
        std::normal_distribution<double> noise(0.0, sigma);
        const double first = (sent < 0 ? 0.5 : sent != 2 ? 1.0 : 0.0) + noise(rng);
        const double second = (sent < 0 ? 0.5 : sent == 0 ? 1.0 : 0.0) + noise(rng);
        std::array<double, 3> ll{};
        for (int h = 0; h < 3; ++h) {
            const double a = first - (h != 2 ? 1.0 : 0.0), b = second - (h == 0 ? 1.0 : 0.0);
            ll[h] = -(a * a + b * b) / (2.0 * sigma * sigma);
        }
        const double top = *std::max_element(ll.begin(), ll.end());
        double sum = 0.0;
        for (double v : ll) sum += std::exp(v - top);
        std::array<float, 3> out{};
        for (int h = 0; h < 3; ++h) {
            out[h] = std::max(static_cast<float>(ll[h] - top - std::log(sum)), -9.0f);
        }
        return out;
    }
    std::array<float, 3> Of(Symbol sent) { return Of(static_cast<int>(sent)); }
    void Into(SymbolLogs& to, int sent) {
        const auto p = Of(sent);
        std::copy(p.begin(), p.end(), to.begin());
    }

    ScoredSecond Second(std::int64_t second, const Frame& frame, int inMinute) {
        ScoredSecond s{};
        s.second = second;
        Into(s.log, static_cast<int>(frame.symbols[static_cast<std::size_t>(inMinute)]));
        return s;
    }

    // The minute that began at `utc` as the decoder records it.
    MinuteRecord Record(std::int64_t utc) {
        MinuteRecord r;
        const Frame frame = Jjy40Frame(utc);
        for (int s = 0; s < 60; ++s) {
            Into(r.log[s], static_cast<int>(frame.symbols[static_cast<std::size_t>(s)]));
            r.present[s] = true;
        }
        return r;
    }
};

// The likeliest of 0, 1 and marker.
inline int Likeliest(const SymbolLogs& log) {
    return log[2] >= log[0] && log[2] >= log[1] ? 2 : log[1] > log[0] ? 1 : 0;
}

}  // namespace velto
