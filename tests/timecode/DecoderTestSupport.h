#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "simulator/StationSignal.h"
#include "station/Calendar.h"
#include "station/FrameEncoder.h"
#include "timecode/Decoder.h"
#include "timecode/FrameDecoder.h"
#include "timecode/SecondTracker.h"

namespace velto {

constexpr std::int64_t kMonday = 1796610200;  // 2026-12-07 11:23:20 JST
constexpr double kMs = 96.0;                  // samples per millisecond at 96 kHz

// A carrier in noise of sigma 2000 at `cn0` dB-Hz, starting part-way into a second.
inline StationSignalOptions Noisy(double cn0, std::uint64_t seed,
                                  StationId station = StationId::Jjy40) {
    const double rate = GetStation(station).sampleRate;
    return {.station = station,
            .carrierAmplitude = 2000.0 * std::sqrt(4.0 * std::pow(10.0, cn0 / 10.0) / rate),
            .startOffsetSamples = 12345,
            .seed = seed,
            .cn0DbHz = cn0,
            .fastNoise = true};
}

// The symbol a decoder reads where the station sent `sent` (0, 1 or marker).
inline TimeSymbol AsRead(Symbol sent) {
    return sent == Symbol::Zero  ? TimeSymbol::Zero
           : sent == Symbol::One ? TimeSymbol::One
                                 : TimeSymbol::Marker;
}

// Everything the decoder reports, with the input fed when it came.
struct Recorder : IDecoderSink {
    std::vector<DecoderSecond> seconds;
    std::vector<DecoderMinute> minutes;
    std::vector<DecoderStatus> statuses;
    std::vector<DecoderEvaluation> evaluations;
    std::vector<DecoderRise> rises;
    std::vector<std::int64_t> riseFed, secondFed;
    std::int64_t fed = 0;
    std::int64_t firstValidAt = -1;  // input fed when the first valid second came
    void OnSecond(const DecoderSecond& s) override {
        if (s.timeValid && firstValidAt < 0) firstValidAt = fed;
        seconds.push_back(s);
        secondFed.push_back(fed);
    }
    void OnMinute(const DecoderMinute& m) override { minutes.push_back(m); }
    void OnStatus(const DecoderStatus& s) override { statuses.push_back(s); }
    void OnEvaluation(const DecoderEvaluation& e) override { evaluations.push_back(e); }
    void OnRise(const DecoderRise& r) override {
        rises.push_back(r);
        riseFed.push_back(fed);
    }
};

// Feeds `seconds` of a simulated signal in 100 ms buffers.
inline void Simulate(CStationSignal& signal, CDecoder& decoder, Recorder& rec, double seconds) {
    std::vector<std::int16_t> buffer(static_cast<std::size_t>(signal.SampleRate() / 10));
    const auto buffers = static_cast<std::int64_t>(seconds * 10.0);
    for (std::int64_t b = 0; b < buffers; ++b) {
        signal.Generate(buffer.data(), buffer.size());
        rec.fed += static_cast<std::int64_t>(buffer.size());
        decoder.Feed(rec.fed - static_cast<std::int64_t>(buffer.size()), buffer.data(),
                     buffer.size());
    }
}

// The simulator's truth of a run without leap seconds from Unix second `start`.
struct Truth {
    std::int64_t start;
    const CStationSignal& signal;
    std::int64_t Second(double onTime) const {
        return std::llround((signal.UnsplicedSample(onTime) - signal.OnTimeSample(0)) /
                            signal.SamplesPerSecond());
    }
    double OnTime(double onTime) const { return signal.OnTimeSample(Second(onTime)); }
    std::int64_t Unix(double onTime) const { return start + Second(onTime); }
};

// Reports (and decisive evaluations) that disagree with the truth or are off in time.
inline int WrongReports(const Recorder& rec, const Truth& truth, double toleranceSamples) {
    int wrong = 0;
    for (const DecoderSecond& s : rec.seconds) {
        if (!s.timeValid) continue;
        if (s.utcUnix != truth.Unix(s.onTimeSample)) ++wrong;
        if (std::abs(s.onTimeSample - truth.OnTime(s.onTimeSample)) > toleranceSamples) ++wrong;
        if (CivilTimeAt(CivilZone::Japan, s.utcUnix).second != s.secondInMinute) ++wrong;
    }
    for (const DecoderMinute& m : rec.minutes) {
        const CivilTime t = CivilTimeOf(truth.signal.GetStationSent(), m.utcUnix);
        if (m.utcUnix != truth.Unix(m.onTimeSample) || t.year != m.year || t.month != m.month ||
            t.day != m.day || t.hour != m.hour || t.minute != m.minute ||
            m.dayOfYear != t.dayOfYear || m.weekday != t.weekday) {
            ++wrong;
        }
        if (std::abs(m.onTimeSample - truth.OnTime(m.onTimeSample)) > toleranceSamples) ++wrong;
    }
    for (const DecoderEvaluation& e : rec.evaluations) {
        if (e.decisive && e.utcUnix != truth.Unix(e.onTimeSample)) ++wrong;
    }
    return wrong;
}

// One simulated reception: the signal, the decoder and what it reported.
struct Reception {
    Reception(std::int64_t startUnix, const StationSignalOptions& options)
        : start(startUnix),
          signal(startUnix, options),
          decoder(rec, signal.GetStationSent(), signal.SampleRate()) {}
    void Run(double seconds) { Simulate(signal, decoder, rec, seconds); }
    int Wrong(double toleranceMs) const {
        return WrongReports(rec, Truth{start, signal}, toleranceMs * signal.SampleRate() / 1000.0);
    }
    // Seconds of input until the first valid second, -1: none.
    std::int64_t FirstValid() const {
        return rec.firstValidAt < 0 ? -1 : rec.firstValidAt / signal.SampleRate();
    }

    std::int64_t start;
    CStationSignal signal;
    Recorder rec;
    CDecoder decoder;
};

// At least `least` rises vouched for, right and in a confirmed time (what a clock feed
// sends), each told within 2.5 s (it must write within 3 s) and agreeing with its judged second.
inline void ExpectVouchedRight(const Reception& r, double toleranceMs, int least) {
    const Truth truth{r.start, r.signal};
    const double tolerance = toleranceMs * r.signal.SampleRate() / 1000.0;
    int vouched = 0;
    for (std::size_t i = 0; i < r.rec.rises.size(); ++i) {
        const DecoderRise& e = r.rec.rises[i];
        if (!e.vouched) continue;
        ++vouched;
        EXPECT_EQ(e.state, ReceptionState::TimeValid);
        EXPECT_EQ(e.leap, 0);  // no leap second announced in these runs
        EXPECT_EQ(e.utcUnix, truth.Unix(e.onTimeSample));
        EXPECT_NEAR(e.onTimeSample, truth.OnTime(e.onTimeSample), tolerance);
        EXPECT_LT(static_cast<double>(r.rec.riseFed[i]) - e.onTimeSample,
                  2.5 * r.signal.SampleRate());
        const auto judged =
            std::ranges::find(r.rec.seconds, e.onTimeSample, &DecoderSecond::onTimeSample);
        if (judged != r.rec.seconds.end() && judged->timeValid) {
            EXPECT_EQ(judged->utcUnix, e.utcUnix);
        }
    }
    EXPECT_GE(vouched, least);
    for (const DecoderSecond& s : r.rec.seconds) {
        if (!s.vouched) continue;
        EXPECT_EQ(s.utcUnix, truth.Unix(s.onTimeSample));
        EXPECT_NEAR(s.onTimeSample, truth.OnTime(s.onTimeSample), tolerance);
    }
}

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

    // Writes log P(0), log P(1), log P(marker) of `sent` into `to`; `sent` < 0: noise alone.
    void Into(SymbolLogs& to, int sent) {
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
        for (int h = 0; h < 3; ++h) {
            to[h] = std::max(static_cast<float>(ll[h] - top - std::log(sum)), -9.0f);
        }
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
