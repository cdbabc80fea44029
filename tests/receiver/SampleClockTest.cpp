#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "receiver/SampleClock.h"

namespace velto {
namespace {

constexpr double kRate = 96000.0;
constexpr int kBuffer = 9600;

double Seconds(const SystemTime& t) {
    return static_cast<double>(t.sec - 1700000000) + static_cast<double>(t.nsec) * 1e-9;
}

SystemTime At(double secondsAfterBase) {
    return SystemTime::Normalised(1700000000, std::llround(secondsAfterBase * 1e9));
}

// A card `ppm` fast behind a stack that hands buffers over late, sometimes four at once.
struct CLateStack {
    CLateStack(double ppm, double fixedDelay, double meanJitter)
        : m_rate(kRate * (1.0 + ppm * 1e-6)), m_fixed(fixedDelay), m_jitter(1.0 / meanJitter) {}

    double Captured(double n) const { return 100.0 + n / m_rate; }

    // Arrival of buffer k's end (sample (k+1)*kBuffer).
    double Arrival(std::int64_t k) {
        if (k % 4 == 0) m_heldGroup = m_burst(m_rng);
        const std::int64_t handedAt = m_heldGroup ? k - k % 4 + 3 : k;
        return Captured(static_cast<double>((handedAt + 1) * kBuffer)) + m_fixed + m_jitter(m_rng);
    }

    double m_rate;
    double m_fixed;
    std::mt19937_64 m_rng{7};
    std::exponential_distribution<double> m_jitter;
    std::bernoulli_distribution m_burst{0.3};
    bool m_heldGroup = false;
};

// The worst error of the on-time points, somewhat before each newest buffer's
// end, with a card 50 ppm fast whose buffer k comes `late(k)` seconds later
// still and whose arrivals the system clock reads as `system(t)`.
template <class Late, class System>
double WorstError(CSampleClock& clock, std::int64_t buffers, Late late, System system) {
    CLateStack stack(50.0, 0.004, 0.003);
    double worst = 0.0;
    for (std::int64_t k = 0; k < buffers; ++k) {
        clock.AddStamp((k + 1) * kBuffer, At(system(stack.Arrival(k) + late(k))));
        if (k >= CSampleClock::kWindow) {
            const double n = static_cast<double>((k + 1) * kBuffer) - 30000.5;
            const double error = Seconds(clock.TimeOf(n)) - system(stack.Captured(n) + 0.004);
            worst = std::max(worst, std::abs(error));
        }
    }
    return worst;
}

constexpr auto kOnTime = [](std::int64_t) { return 0.0; };
constexpr auto kTrueClock = [](double t) { return t; };

// Single stamps scatter by milliseconds; the nominal rate would drift 30 ms in ten minutes.
TEST(SampleClock, FollowsTheCaptureTimesThroughJitterAndRateError) {
    CSampleClock clock(kRate);
    EXPECT_LT(WorstError(clock, 6000, kOnTime, kTrueClock), 0.0005);
    // The slope rests on eight envelope points 25 s apart, each some 0.1 ms
    // above the truth: a few ppm, against the 50 ppm the card is off.
    EXPECT_NEAR(clock.Rate(), kRate * (1.0 + 50e-6), kRate * 15e-6);
}

// A busy machine hands every buffer over 3 to 8 ms late for seconds on end:
// too little to be a hold-up, and the line must not tilt toward it. A time
// daemon slewing the system clock by 100 ppm for a minute bends the line,
// which must follow it.
TEST(SampleClock, KeepsToTheEnvelopeThroughSecondsOfLoadAndFollowsASlew) {
    for (const double load : {5.0, 10.0}) {
        CSampleClock clock(kRate);
        std::mt19937_64 rng(11);
        std::uniform_real_distribution<double> busy(0.003, 0.008);
        const auto loaded = [&](std::int64_t k) {
            return k >= 600 && k < 600 + static_cast<std::int64_t>(load * 10.0) ? busy(rng) : 0.0;
        };
        EXPECT_LT(WorstError(clock, 1500, loaded, kTrueClock), 0.0005) << load << " s of load";
    }
    for (const double ppm : {-100.0, 100.0}) {
        CSampleClock clock(kRate);
        const auto slewed = [&](double t) {
            return t + ppm * 1e-6 * std::clamp(t - 160.0, 0.0, 60.0);
        };
        EXPECT_LT(WorstError(clock, 2400, kOnTime, slewed), 0.001) << ppm << " ppm slew";
    }
}

// A step of the system clock throws the old stamps away instead of bending the line.
TEST(SampleClock, ReadinessStepsAndReset) {
    CSampleClock clock(kRate);
    // Buffers [from, to) arriving on time, by a system clock `shift` off.
    const auto stamps = [&](std::int64_t from, std::int64_t to, double shift) {
        for (std::int64_t k = from; k < to; ++k) {
            clock.AddStamp((k + 1) * kBuffer, At(shift + 0.1 * static_cast<double>(k + 1)));
        }
    };
    for (std::int64_t k = 0; k < 7; ++k) {
        stamps(k, k + 1, 0.0);
        EXPECT_FALSE(clock.Ready());
    }
    stamps(7, 400, 0.0);
    ASSERT_TRUE(clock.Ready());
    EXPECT_NEAR(Seconds(clock.TimeOf(400.0 * kBuffer)), 40.0, 1e-6);
    stamps(400, 420, -3.0);  // someone sets the clock 3 s back
    ASSERT_TRUE(clock.Ready());
    EXPECT_NEAR(Seconds(clock.TimeOf(420.0 * kBuffer)), 39.0, 1e-6);

    clock.Reset();
    EXPECT_FALSE(clock.Ready());
    stamps(0, 10, 50.0);  // indices from zero again: a new run, not a step back
    EXPECT_NEAR(Seconds(clock.TimeOf(0.0)), 50.0, 1e-6);
}

// A held-up process's buffers come in one burst, stamped late: no loss, and
// nothing steady until 10 s after the pause began.
TEST(SampleClock, KeepsItsLineThroughHoldUpsAndFollowsAReportedStep) {
    for (const double pause : {0.5, 1.0, 3.0, 12.0}) {
        CSampleClock clock(kRate);
        double shift = 0.0;  // the system clock's steps so far
        double worst = 0.0;
        const std::int64_t held = 600;  // buffer at which the process stops
        const auto stalled = static_cast<std::int64_t>(pause * 10.0);
        for (std::int64_t k = 0; k < 1400; ++k) {
            const double end = 0.1 * static_cast<double>(k + 1);  // true capture time
            double arrival = end + 0.002 + 0.001 * static_cast<double>(k % 3);
            if (k >= held && k < held + stalled) {
                arrival = 0.1 * static_cast<double>(held + stalled) + 0.002;  // the burst
            }
            if (k == 1000) {
                shift += 2.5;
                clock.Shift(2.5);
            }
            clock.AddStamp((k + 1) * kBuffer, At(arrival + shift));
            EXPECT_FALSE(clock.TakeUnsaidLoss()) << pause << " s, buffer " << k;
            if (k > 100) {
                const double n = static_cast<double>(k + 1) * kBuffer - 40000.0;
                const double error = Seconds(clock.TimeOf(n)) - (n / kRate + 0.002 + shift);
                worst = std::max(worst, std::abs(error));
                // Once the burst or the step has been seen.
                const bool nearUpset = (k >= held && n < held * kBuffer + 10 * kRate) ||
                                       (k >= 1000 && n < 1000.0 * kBuffer + 10 * kRate);
                if (nearUpset) {
                    EXPECT_FALSE(clock.Steady(n)) << pause << " s, buffer " << k;
                }
            }
        }
        EXPECT_LT(worst, 0.0005) << "after a hold-up of " << pause << " s";
        EXPECT_TRUE(clock.Steady(1300.0 * kBuffer)) << pause;
    }
}

// Stamps that stay late at the samples' pace: samples went missing unsaid. A
// stream falling behind by degrees (a slow simulator) loses nothing.
TEST(SampleClock, FindsSamplesLostUnsaidAndGivesWayToThem) {
    for (const double lost : {1.0, 60.0}) {
        CLateStack stack(50.0, 0.004, 0.003);
        CSampleClock clock(kRate);
        int told = 0;
        for (std::int64_t k = 0; k < 600; ++k) {
            clock.AddStamp((k + 1) * kBuffer, At(stack.Arrival(k) + (k >= 400 ? lost : 0.0)));
            if (const auto loss = clock.TakeUnsaidLoss()) {
                ++told;
                EXPECT_EQ(loss->after, 400 * kBuffer) << lost;
                EXPECT_NEAR(loss->seconds, lost, 0.01) << lost;
                EXPECT_GE(k, 410) << lost;
                EXPECT_LE(k, 416) << lost;
            }
        }
        EXPECT_EQ(told, 1) << lost;
        EXPECT_NEAR(Seconds(clock.TimeOf(600.0 * kBuffer)), stack.Captured(600.0 * kBuffer) + lost,
                    0.01);
        EXPECT_FALSE(clock.Steady(600.0 * kBuffer));
    }
    for (const double slower : {1.02, 3.0}) {
        CSampleClock clock(kRate);
        double arrival = 0.0;
        for (std::int64_t k = 0; k < 600; ++k) {
            arrival += k < 100 ? 0.1 : 0.1 * slower;
            clock.AddStamp((k + 1) * kBuffer, At(arrival));
            EXPECT_FALSE(clock.TakeUnsaidLoss()) << slower << " times slower, buffer " << k;
        }
    }
}

}  // namespace
}  // namespace velto
