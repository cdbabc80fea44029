#include <gtest/gtest.h>

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
    const double whole = std::floor(secondsAfterBase);
    return SystemTime{1700000000 + static_cast<std::int64_t>(whole),
                      std::llround((secondsAfterBase - whole) * 1e9) % 1000000000};
}

// A sound card whose clock runs `ppm` fast, seen through an audio stack that
// hands buffers over late: a fixed delay plus a random one, sometimes several
// buffers at once.
class CLateStack {
public:
    CLateStack(double ppm, double fixedDelay, double meanJitter)
        : m_rate(kRate * (1.0 + ppm * 1e-6)), m_fixed(fixedDelay), m_jitter(1.0 / meanJitter) {}

    // True capture time of sample n, seconds after the base.
    double Captured(double n) const { return 100.0 + n / m_rate; }

    // Arrival of buffer k's end (sample (k+1)*kBuffer). Now and then the
    // stack holds four buffers and hands them over together.
    double Arrival(std::int64_t k) {
        if (k % 4 == 0) {
            m_heldGroup = m_burst(m_rng);
        }
        const std::int64_t handedAt = m_heldGroup ? k - k % 4 + 3 : k;
        return Captured(static_cast<double>((handedAt + 1) * kBuffer)) + m_fixed + m_jitter(m_rng);
    }

private:
    double m_rate;
    double m_fixed;
    std::mt19937_64 m_rng{7};
    std::exponential_distribution<double> m_jitter;
    std::bernoulli_distribution m_burst{0.3};
    bool m_heldGroup = false;
};

// The fitted line stays on the true capture times plus the fixed delay, to
// well under a millisecond, although single stamps scatter by several, and
// follows a sound card whose rate is off: over ten minutes the nominal rate
// would drift away by 30 ms.
TEST(SampleClock, FollowsTheCaptureTimesThroughJitterAndRateError) {
    CLateStack stack(50.0, 0.004, 0.003);
    CSampleClock clock(kRate);
    double worst = 0.0;
    for (std::int64_t k = 0; k < 6000; ++k) {
        clock.AddStamp((k + 1) * kBuffer, At(stack.Arrival(k)));
        if (k >= CSampleClock::kWindow) {
            // An on-time point somewhat before the latest buffer's end.
            const double n = static_cast<double>((k + 1) * kBuffer) - 30000.5;
            const double error = Seconds(clock.TimeOf(n)) - (stack.Captured(n) + 0.004);
            worst = std::max(worst, std::abs(error));
        }
    }
    EXPECT_LT(worst, 0.0005);
    // The slope rests on eight envelope points 25 s apart, each some 0.1 ms
    // above the truth: a few ppm, against the 50 ppm the card is off.
    EXPECT_NEAR(clock.Rate(), kRate * (1.0 + 50e-6), kRate * 15e-6);
}

// Not ready on a few stamps; a step of the system clock throws the old stamps
// away instead of bending the line; Reset forgets everything.
TEST(SampleClock, ReadinessStepsAndReset) {
    CSampleClock clock(kRate);
    for (std::int64_t k = 0; k < 7; ++k) {
        clock.AddStamp((k + 1) * kBuffer, At(0.1 * static_cast<double>(k + 1)));
        EXPECT_FALSE(clock.Ready());
    }
    for (std::int64_t k = 7; k < 400; ++k) {
        clock.AddStamp((k + 1) * kBuffer, At(0.1 * static_cast<double>(k + 1)));
    }
    ASSERT_TRUE(clock.Ready());
    EXPECT_NEAR(Seconds(clock.TimeOf(400.0 * kBuffer)), 40.0, 1e-6);

    // Someone sets the clock 3 s back.
    for (std::int64_t k = 400; k < 420; ++k) {
        clock.AddStamp((k + 1) * kBuffer, At(0.1 * static_cast<double>(k + 1) - 3.0));
    }
    ASSERT_TRUE(clock.Ready());
    EXPECT_NEAR(Seconds(clock.TimeOf(420.0 * kBuffer)), 39.0, 1e-6);

    clock.Reset();
    EXPECT_FALSE(clock.Ready());
    // Indices that start again from zero are a new run, not a step back.
    for (std::int64_t k = 0; k < 10; ++k) {
        clock.AddStamp((k + 1) * kBuffer, At(50.0 + 0.1 * static_cast<double>(k + 1)));
    }
    EXPECT_NEAR(Seconds(clock.TimeOf(0.0)), 50.0, 1e-6);
}

}  // namespace
}  // namespace velto
