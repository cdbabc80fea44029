// The level fit on its own: the means of a second's parts and of its
// neighbours' high and low parts, made for each story.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "timecode/LevelFit.h"

namespace velto {
namespace {

// JJY's parts of the second, as its CSymbolModel makes them: the high part,
// the part at the full carrier in a 0 and a 1, that in a 0 alone, and the
// low part.
enum : int { kHighPart, kOneOrZeroPart, kZeroPart, kLowPart };
const CSymbolModel Jjy40(GetStation(StationId::Jjy40));

using timecode::kLevelSpan;

// A channel: the full carrier's level over time (seconds), noise of
// `sigma` on each part's mean.
struct Channel {
    double (*level)(double time);
    double sigma;
};

// The terms of second n sending `symbol` (0, 1, 2 marker) and its
// neighbours' (whose high and low parts are the same in every symbol).
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
// A level drawn anew every 0.8 s between 0.3 and 1.7, in straight lines
// between: it moves within a second further than a fit over several follows.
double Fast(double time) {
    auto knot = [](long i) {
        std::mt19937_64 rng(static_cast<std::uint64_t>(i));
        return std::uniform_real_distribution<double>(0.3, 1.7)(rng);
    };
    const double u = time / 0.8;
    const long i = static_cast<long>(std::floor(u));
    return knot(i) + (knot(i + 1) - knot(i)) * (u - static_cast<double>(i));
}

int Best(const SymbolScores& s) {
    if (s.log[2] >= s.log[0] && s.log[2] >= s.log[1]) return 2;
    return s.log[1] > s.log[0] ? 1 : 0;
}

// Each symbol read right through steady, slowly and fast fading signals,
// with scores that say how sure they are; and the span learnt from the
// channel: long where it averages noise away, short where the level moves.
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
            errors += Best(s) != symbol;
            surprise -= std::array<float, 3>{s.log[0], s.log[1], s.log[2]}[symbol];
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

// A second that fits no symbol (a crash in it) is an erasure; one whose
// neighbour fits none is still read, from the second alone.
TEST(LevelFit, ErasesWhatFitsNoSymbol) {
    std::mt19937_64 rng(13);
    const Channel clean{Steady, 0.02};
    for (int symbol = 0; symbol < 3; ++symbol) {
        CLevelFit fit(Jjy40);
        auto terms = Terms(0, symbol, clean, rng);
        for (LevelTerm& e : terms) {
            if (e.distance == 0 && e.part == kZeroPart) e.mean = 3.0;  // a crash
        }
        EXPECT_TRUE(fit.Score(terms.data(), static_cast<int>(terms.size()), 1.0).erasure);

        terms = Terms(0, symbol, clean, rng);
        for (LevelTerm& e : terms) {
            if (e.distance == 1 && e.part == kLowPart) e.mean = 3.0;
        }
        const SymbolScores s = fit.Score(terms.data(), static_cast<int>(terms.size()), 1.0);
        ASSERT_FALSE(s.erasure) << symbol;
        EXPECT_EQ(Best(s), symbol);
    }
}

}  // namespace
}  // namespace velto
