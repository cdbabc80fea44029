// Second tracking on its own: a keyed carrier's detected amplitude at 1 kHz; the rise
// finder that places the second in a fold; the level fit over the means of a second's
// parts and its neighbours'.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "DecoderTestSupport.h"
#include "timecode/LevelFit.h"
#include "timecode/RiseFinder.h"
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

// A carrier of amplitude 1 keyed from baseband index `onTime0`, in noise of `sigma`.
struct Keyed {
    double onTime0, msPerSecond, sigma;
    std::mt19937_64 rng{1};
    DetectedSample At(std::int64_t k) {
        const double u = (static_cast<double>(k) - onTime0) / msPerSecond;
        const auto second = static_cast<std::int64_t>(std::floor(u));
        const Symbol symbol = Jjy40SentAt(kStart + second);
        const bool full = KeyedLevel(GetStation(StationId::Jjy40), symbol,
                                     u - static_cast<double>(second)) == 1.0;
        std::normal_distribution<double> noise(0.0, sigma);
        return {(full ? 1.0 : 0.1) + noise(rng), noise(rng), k, false};
    }
    double OnTime(std::int64_t n) const {
        return kBlock * (onTime0 + msPerSecond * static_cast<double>(n)) - kBasebandDelay;
    }
};

// Each second found and scored right with the clock right or off, strong or weak.
TEST(SecondTracker, FindsTheSecondAndScoresEach) {
    for (const auto& [onTime0, ppm, sigma, toleranceMs, maxErrors] :
         {std::tuple(123.4, 0.0, 0.1, 0.5, 0), std::tuple(987.8, 100.0, 0.3, 0.5, 0),
          std::tuple(500.0, -150.0, 1.5, 1.5, 3)}) {
        SCOPED_TRACE(sigma);
        const double msPerSecond = 1000.0 * (1.0 + ppm * 1e-6);
        Keyed signal{onTime0, msPerSecond, sigma};
        CSecondTracker tracker(GetStation(StationId::Jjy40), kBlock);
        Sink sink;
        std::int64_t locked = -1;
        for (std::int64_t k = 0; k < 240000; ++k) {
            tracker.Process(signal.At(k), 96000.0 * msPerSecond / 1000.0, sigma * sigma, true,
                            sink);
            if (locked < 0 && tracker.Locked()) locked = k;
        }
        ASSERT_GE(locked, 0);
        EXPECT_LT(locked, 10000);
        ASSERT_GT(sink.scored.size(), 150u);
        int errors = 0;
        for (const ScoredSecond& s : sink.scored) {
            const double u = (s.onTimeSample + kBasebandDelay) / kBlock - onTime0;
            const auto n = static_cast<std::int64_t>(std::lround(u / msPerSecond));
            if (n >= 30) {
                EXPECT_NEAR(s.onTimeSample, signal.OnTime(n), toleranceMs * 96.0) << n;
            }
            const int sent = static_cast<int>(Jjy40SentAt(kStart + n));
            errors += s.erasure || Likeliest(s.log) != sent;
        }
        EXPECT_LE(errors, maxErrors);
        EXPECT_NEAR(tracker.Level(), 1.0, 0.1);
        // Each second's rise is announced before the second is judged.
        ASSERT_GE(sink.risen.size(), sink.scored.size());
        EXPECT_EQ(sink.risen.front().onTimeSample, sink.scored.front().onTimeSample);
    }
}

using timecode::kFoldBins;

// A fold rising at each of `at` (bins) by its share of 10 to 100, in Gaussian noise.
Fold Rises(std::initializer_list<std::pair<double, double>> at, double noise, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> gauss(0.0, noise);
    Fold f{};
    for (int b = 0; b < kFoldBins; ++b) {
        double level = 10.0;
        for (const auto& [where, share] : at) {
            const double d = b - where;
            if (d > -1.0 && d < 150.0) level += 90.0 * share * std::clamp(d / 2.0 + 0.5, 0.0, 1.0);
        }
        f[b] = level + gauss(rng);
    }
    return f;
}

// A fold holding an old rise and a stronger new one: the step fit places the new one.
TEST(RiseFinder, StepFitPlacesTheStrongerOfTwoRises) {
    const Fold f = Rises({{400.0, 0.3}, {408.5, 0.7}}, 0.0, 1);
    double height = 0.0;
    EXPECT_NEAR(StepPosition(f, 400, height, 150), 408.5, 1.0);
    EXPECT_NEAR(height, 90.0, 2.0);
    EXPECT_LT(AreaPosition(f, 400, height, 150), 406.5);
}

// In a weak signal's noise the step fit scatters far less than the area.
TEST(RiseFinder, StepFitIsSteadierThanTheArea) {
    double stepSquare = 0.0, areaSquare = 0.0;
    int n = 0;
    for (unsigned seed = 0; seed < 200; ++seed) {
        const double truth = 500.0 + (seed % 9) - 4.0 + 0.37;
        const Fold f = Rises({{truth, 1.0}}, 30.0, seed);
        double height = 0.0;
        const double step = StepPosition(f, 500, height, 150) - truth;
        const double area = AreaPosition(f, 500, height, 150) - truth;
        stepSquare += step * step;
        areaSquare += area * area;
        ++n;
    }
    EXPECT_LT(std::sqrt(stepSquare / n), 0.65 * std::sqrt(areaSquare / n));
    EXPECT_LT(std::sqrt(stepSquare / n), 1.0);
}

// JJY's parts of the second as its CSymbolModel makes them.
enum : int { kHighPart, kOneOrZeroPart, kZeroPart, kLowPart };
const CSymbolModel Jjy40(GetStation(StationId::Jjy40));

using timecode::kLevelSpan;

// The full carrier's level over time (seconds), and the noise on each part's mean.
struct Channel {
    double (*level)(double time);
    double sigma;
};

// The terms of second n sending `symbol` (0, 1, 2 marker) and its neighbours'.
std::vector<LevelTerm> Terms(int n, int symbol, const Channel& c, std::mt19937_64& rng) {
    std::normal_distribution<double> noise(0.0, c.sigma);
    std::vector<LevelTerm> terms;
    for (int j = -kLevelSpan; j <= kLevelSpan; ++j) {
        for (int part = kHighPart; part <= kLowPart; ++part) {
            if (j != 0 && part != kHighPart && part != kLowPart) continue;
            const double t = j + 0.5 * (Jjy40.From(part) + Jjy40.To(part)) - 0.5;
            bool full = part == kHighPart;
            if (part == kOneOrZeroPart) full = symbol != 2;
            if (part == kZeroPart) full = symbol == 0;
            const double mean = c.level(n + 0.5 + t) * (full ? 1.0 : 0.1) + noise(rng);
            terms.push_back({mean, t, c.sigma * c.sigma, part, std::abs(j)});
        }
    }
    return terms;
}

double Steady(double) { return 1.0; }
// Fading of 60 % over 40 s.
double Slow(double time) { return 1.0 + 0.6 * std::sin(2.0 * M_PI * time / 40.0); }
// A level drawn anew every 0.8 s: it moves faster than a fit over several seconds follows.
double Fast(double time) {
    auto knot = [](long i) {
        std::mt19937_64 rng(static_cast<std::uint64_t>(i));
        return std::uniform_real_distribution<double>(0.3, 1.7)(rng);
    };
    const double u = time / 0.8;
    const long i = static_cast<long>(std::floor(u));
    return knot(i) + (knot(i + 1) - knot(i)) * (u - static_cast<double>(i));
}

// Each symbol read with calibrated scores; the span learnt long where it averages noise
// away, short where the level moves.
TEST(LevelFit, ReadsEachSymbolAndLearnsTheSpan) {
    struct Case {
        const char* name;
        Channel channel;
        int minSpan, maxSpan;
        int maxErrors;  // of 300 seconds
    };
    const Case cases[] = {
        {"strong, steady", {Steady, 0.03}, 1, kLevelSpan, 0},
        {"weak, steady", {Steady, 0.25}, kLevelSpan, kLevelSpan, 15},
        {"slow fade", {Slow, 0.05}, 2, kLevelSpan, 0},
        {"fast fade", {Fast, 0.02}, 1, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CLevelFit fit(Jjy40);
        std::mt19937_64 rng(11);
        int errors = 0, erasures = 0;
        double surprise = 0.0;  // -log P(sent), summed: calibrated scores keep it near the errors
        for (int n = 0; n < 300; ++n) {
            const int symbol = static_cast<int>(rng() % 3);
            const auto terms = Terms(n, symbol, c.channel, rng);
            const SymbolScores s = fit.Score(terms.data(), static_cast<int>(terms.size()), 1.0);
            if (s.erasure) {
                ++erasures;
                continue;
            }
            errors += Likeliest(s.log) != symbol;
            surprise -= s.log[static_cast<std::size_t>(symbol)];
            EXPECT_LE(std::max({s.log[0], s.log[1], s.log[2]}), 0.0f);
            EXPECT_NEAR(s.quality, std::exp(std::max({s.log[0], s.log[1], s.log[2]})), 1e-3);
        }
        EXPECT_LE(errors, c.maxErrors);
        EXPECT_LE(erasures, 3);
        EXPECT_LT(surprise, 30.0 + 3.0 * errors);
        EXPECT_GE(fit.Span(), c.minSpan);
        EXPECT_LE(fit.Span(), c.maxSpan);
    }
}

// A crash in a second erases it; one in a neighbour leaves it read from itself.
TEST(LevelFit, ErasesWhatFitsNoSymbol) {
    std::mt19937_64 rng(13);
    for (int symbol = 0; symbol < 3; ++symbol) {
        CLevelFit fit(Jjy40);
        for (const int distance : {0, 1}) {
            auto terms = Terms(0, symbol, {Steady, 0.02}, rng);
            for (LevelTerm& e : terms) {
                if (e.distance == distance && e.part == (distance == 0 ? kZeroPart : kLowPart)) {
                    e.mean = 3.0;  // a crash
                }
            }
            const SymbolScores s = fit.Score(terms.data(), static_cast<int>(terms.size()), 1.0);
            ASSERT_EQ(s.erasure, distance == 0) << symbol;
            EXPECT_TRUE(s.erasure || Likeliest(s.log) == symbol) << symbol;
        }
    }
}

}  // namespace
}  // namespace velto
