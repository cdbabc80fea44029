#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "base/Geometry.h"
#include "health/InputHealth.h"
#include "health/ReceptionHealth.h"
#include "simulator/StationSignal.h"
#include "tests/support/Simulated.h"

namespace velto {
namespace {

using Source = std::function<void(std::int16_t*, std::size_t)>;

// The buffers after which the state changed; the state after each in *states.
std::vector<int> Feed(CInputHealth& health, const Source& source, double seconds,
                      std::vector<InputState>* states = nullptr, int rate = kSampleRate) {
    std::vector<int> changes;
    std::vector<std::int16_t> buffer(static_cast<std::size_t>(rate / 10));
    const int buffers = static_cast<int>(seconds * 10.0);
    for (int b = 0; b < buffers; ++b) {
        source(buffer.data(), buffer.size());
        if (health.AddBuffer(buffer.data(), buffer.size())) changes.push_back(b);
        if (states != nullptr) states->push_back(health.State());
    }
    return changes;
}

Source Jjy(double carrier, double noise) {
    auto signal = std::make_shared<CStationSignal>(
        1796610180, StationSignalOptions{.carrierAmplitude = carrier, .noiseSigma = noise});
    return [signal](std::int16_t* out, std::size_t n) { signal->Generate(out, n); };
}

struct Sine {
    double hz, amplitude, phase = 0.0;
};
Source Sines(const std::vector<Sine>& sines, double noise = 0.0, int rate = kSampleRate) {
    auto random = std::make_shared<std::mt19937>(7);
    auto t = std::make_shared<std::int64_t>(0);
    return [=](std::int16_t* out, std::size_t n) {
        std::normal_distribution<double> gauss(0.0, noise);
        for (std::size_t i = 0; i < n; ++i, ++*t) {
            double v = noise > 0.0 ? gauss(*random) : 0.0;
            for (const Sine& s : sines) {
                v += s.amplitude * std::sin(kTwoPi * s.hz * double(*t) / rate + s.phase);
            }
            out[i] = static_cast<std::int16_t>(std::lround(v));
        }
    };
}

// A 48 kHz source resampled to 96 kHz: above 24 kHz only the rounding noise.
Source BandLimited(double amplitude) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> hz(50.0, 20000.0), phase(0.0, kTwoPi);
    std::vector<Sine> sines;
    for (int k = 0; k < 24; ++k) sines.push_back({hz(rng), amplitude, phase(rng)});
    return Sines(sines);
}

Source Tones(int rate, double carrierHz, double noise) {
    return Sines({{carrierHz, 3000.0}, {7000.0, 2000.0}}, noise, rate);
}

Source Constant(std::int16_t value) {
    return [value](std::int16_t* out, std::size_t n) { std::fill(out, out + n, value); };
}

// One sample a buffer (1e-4 of them) on the rail.
Source OneOnTheRail(Source source) {
    return [source](std::int16_t* out, std::size_t n) {
        source(out, n);
        out[100] = 32767;
    };
}

// Three buffers of silence, as a sound server often begins.
Source AfterSilence(Source source) {
    auto b = std::make_shared<int>(0);
    return [source, b](std::int16_t* out, std::size_t n) {
        (*b)++ < 3 ? std::fill(out, out + n, std::int16_t{0}) : source(out, n);
    };
}

// At 192 kHz the split is at 60 kHz: a resampled 96 kHz stream is told, not passed as good.
TEST(InputHealth, TellsTheKindsOfInputApartWithinThreeSeconds) {
    struct Case {
        const char* name;
        Source source;
        InputState want;
        int rate = kSampleRate;
    };
    const Case cases[] = {
        {"JJY at 96 kHz", Jjy(10000.0, 300.0), InputState::Good},
        {"quiet noise at 96 kHz", Jjy(0.0, 2.0), InputState::Good},
        {"a few samples on the rail", OneOnTheRail(Jjy(10000.0, 300.0)), InputState::Good},
        {"silence at the start of a stream", AfterSilence(Jjy(10000.0, 300.0)), InputState::Good},
        {"constant offset", Constant(-3), InputState::Silence},
        {"96 kHz resampled to 192 kHz", Tones(192000, 40000.0, 0.0), InputState::NoUltrasound,
         192000},
        {"77.5 kHz at 192 kHz", Tones(192000, 77500.0, 0.0), InputState::Good, 192000},
        {"a 192 kHz card's noise", Tones(192000, 40000.0, 30.0), InputState::Good, 192000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CInputHealth health(c.rate);
        std::vector<InputState> states;
        const std::vector<int> changes = Feed(health, c.source, 3.0, &states, c.rate);
        ASSERT_EQ(changes.size(), 1u);
        EXPECT_LT(changes[0], 30);
        EXPECT_EQ(health.State(), c.want);
        for (std::size_t b = 0; b < states.size(); ++b) {
            EXPECT_EQ(states[b], static_cast<int>(b) < changes[0] ? InputState::Unknown : c.want)
                << b;
        }
    }
}

TEST(InputHealth, FollowsAnInputThatChangesAndStartsOverAfterReset) {
    CInputHealth health;
    Feed(health, Jjy(10000.0, 300.0), 2.0);
    ASSERT_EQ(health.State(), InputState::Good);
    const std::vector<int> changes = Feed(health, Constant(0), 2.0);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_LT(changes[0], 3 * kHealthWindowBuffers);
    EXPECT_EQ(health.State(), InputState::Silence);
    health.Reset();
    EXPECT_EQ(health.State(), InputState::Unknown);
    Feed(health, BandLimited(300.0), 1.0);
    EXPECT_EQ(health.State(), InputState::NoUltrasound);
    // 1/12 LSB^2 of rounding, of which 18/48 lies above the split.
    EXPECT_NEAR(health.Figures().highPower, 1.0 / 12.0 * 18.0 / 48.0, 0.01);
    EXPECT_NEAR(health.Figures().lowPower, 24 * 300.0 * 300.0 / 2.0, 24 * 300.0 * 300.0 * 0.1);
}

TEST(ReceptionHealth, RaisesAndClearsEachWarningOnceAndANewRunCountsAfresh) {
    std::vector<HealthEvent> events;
    CReceptionHealth health([&](const HealthEvent& e) { events.push_back(e); });
    health.StartRun();
    EXPECT_TRUE(events.empty());

    std::vector<std::int16_t> buffer(kBufferSamples, 0);
    for (int b = 0; b < 2 * kHealthWindowBuffers; ++b) {
        health.OnBuffer(buffer.data(), buffer.size(), 0);
    }
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].code, WarningCode::Silence);
    EXPECT_TRUE(events[0].raised);

    const auto x = support::Simulated(
        1796610180, std::size_t{3} * kHealthWindowBuffers * kBufferSamples, {.noiseSigma = 300.0});
    std::uint64_t dropped = 0;
    for (int b = 0; b < 3 * kHealthWindowBuffers; ++b) {
        // A few samples, then 1.5 buffers' worth.
        dropped += b == 1 ? 3 : b == 2 ? kBufferSamples * 3 / 2 : 0;
        health.OnBuffer(x.data() + std::size_t(b) * kBufferSamples, kBufferSamples, dropped);
    }
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[1].code, WarningCode::SamplesDropped);
    EXPECT_EQ(events[1].text, SamplesDroppedText(1, 1));  // rounded up, never 0 ms
    EXPECT_EQ(events[2].code, WarningCode::SamplesDropped);
    EXPECT_EQ(events[2].text, SamplesDroppedText(150, 151));
    EXPECT_EQ(events[3].code, WarningCode::Silence);
    EXPECT_FALSE(events[3].raised);
    EXPECT_EQ(health.Input(), InputState::Good);
    health.StartRun();
    EXPECT_EQ(health.DroppedMs(), 0);
}

}  // namespace
}  // namespace velto
