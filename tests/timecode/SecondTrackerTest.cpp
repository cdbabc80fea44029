// Second tracking on its own: the detected amplitude of a keyed carrier,
// made sample by sample at 1 kHz, the symbols those of real minutes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "SoftScores.h"
#include "timecode/SecondTracker.h"

namespace velto {
namespace {

using timecode::kBasebandDelay;
constexpr int kBlock = 96;  // JJY 40 kHz at 96 kHz: input samples per baseband sample

constexpr std::int64_t kStart = 1796610180;  // 11:23:00 JST

struct Sink : IScoredSink {
    std::vector<ScoredSecond> scored;
    std::vector<RisenSecond> risen;
    void OnScored(const ScoredSecond& s) override { scored.push_back(s); }
    void OnRisen(const RisenSecond& s) override { risen.push_back(s); }
};

// Baseband sample k of a carrier of amplitude 1 keyed from second 0's
// on-time point at sample `onTime0` (fractional baseband index), seconds
// `msPerSecond` long; noise of `sigma` in both components.
struct Keyed {
    double onTime0, msPerSecond, sigma;
    std::mt19937_64 rng{1};
    // The simulator's truth: which second sample k lies in and how far.
    DetectedSample At(std::int64_t k) {
        const double u = (static_cast<double>(k) - onTime0) / msPerSecond;
        const auto second = static_cast<std::int64_t>(std::floor(u));
        const Symbol symbol = Jjy40SentAt(kStart + second);
        const bool full = KeyedLevel(GetStation(StationId::Jjy40), symbol,
                                     u - static_cast<double>(second)) == 1.0;
        std::normal_distribution<double> noise(0.0, sigma);
        return {(full ? 1.0 : 0.1) + noise(rng), noise(rng), k, false};
    }
    // Input index of second n's on-time point.
    double OnTime(std::int64_t n) const {
        return kBlock * (onTime0 + msPerSecond * static_cast<double>(n)) - kBasebandDelay;
    }
};

// The second is found and each scored right, its on-time point within half a
// baseband sample, with the sound card's clock right or off and at a weak
// signal; each second's rise is announced before it is judged.
TEST(SecondTracker, FindsTheSecondAndScoresEach) {
    struct Case {
        double onTime0, ppm, sigma, toleranceMs;
        int maxErrors;
    };
    for (const Case& c : {Case{123.4, 0.0, 0.1, 0.5, 0}, Case{987.8, 100.0, 0.3, 0.5, 0},
                          Case{500.0, -150.0, 1.5, 1.5, 3}}) {
        SCOPED_TRACE(c.sigma);
        const double msPerSecond = 1000.0 * (1.0 + c.ppm * 1e-6);
        Keyed signal{c.onTime0, msPerSecond, c.sigma};
        CSecondTracker tracker(GetStation(StationId::Jjy40), kBlock);
        Sink sink;
        std::int64_t locked = -1;
        for (std::int64_t k = 0; k < 240000; ++k) {
            tracker.Process(signal.At(k), 96000.0 * msPerSecond / 1000.0, c.sigma * c.sigma, true,
                            sink);
            if (locked < 0 && tracker.Locked()) locked = k;
        }
        ASSERT_GE(locked, 0);
        EXPECT_LT(locked, 10000);
        ASSERT_GT(sink.scored.size(), 150u);
        int errors = 0;
        for (const ScoredSecond& s : sink.scored) {
            const double u = (s.onTimeSample + kBasebandDelay) / kBlock - c.onTime0;
            const auto n = static_cast<std::int64_t>(std::lround(u / msPerSecond));
            if (n >= 30) {
                EXPECT_NEAR(s.onTimeSample, signal.OnTime(n), c.toleranceMs * 96.0) << n;
            }
            const int sent = static_cast<int>(Jjy40SentAt(kStart + n));
            const int read = s.erasure                                      ? -1
                             : s.log[2] >= s.log[0] && s.log[2] >= s.log[1] ? 2
                             : s.log[1] > s.log[0]                          ? 1
                                                                            : 0;
            errors += read != sent;
        }
        EXPECT_LE(errors, c.maxErrors);
        EXPECT_NEAR(tracker.Level(), 1.0, 0.1);
        // Each second's rise is announced before the second is judged.
        ASSERT_GE(sink.risen.size(), sink.scored.size());
        EXPECT_EQ(sink.risen.front().onTimeSample, sink.scored.front().onTimeSample);
    }
}

}  // namespace
}  // namespace velto
