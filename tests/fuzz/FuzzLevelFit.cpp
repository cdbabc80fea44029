// libFuzzer entry: the level fit over arbitrary means of the seconds' four parts, the first
// byte the noise. The scores stay log-probabilities above the floor, the quality the likeliest's.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "SoftSeconds.h"
#include "timecode/LevelFit.h"

using namespace velto;
using timecode::kLevelSpan;

// JJY 40 kHz's parts of the second, as its CSymbolModel makes them.
enum : int { kHighPart, kOneOrZeroPart, kZeroPart, kLowPart };

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kPartsBytes = 4;
    if (size < 1) return 0;
    const double sigma = (1.0 + data[0]) / 256.0;
    const std::size_t seconds = (size - 1) / kPartsBytes;
    auto mean = [&](std::size_t second, int part) {
        return fuzz::PartMean(data[1 + kPartsBytes * second + static_cast<std::size_t>(part)]);
    };
    static const CSymbolModel jjy(GetStation(StationId::Jjy40));
    CLevelFit fit(jjy);
    std::array<LevelTerm, 4 * (2 * kLevelSpan + 1)> terms{};
    for (std::size_t n = kLevelSpan; n + kLevelSpan < seconds; ++n) {
        int count = 0;
        double high = 0.0;
        for (int j = -kLevelSpan; j <= kLevelSpan; ++j) {
            const std::size_t second = n + static_cast<std::size_t>(j + kLevelSpan) - kLevelSpan;
            for (int part = kHighPart; part <= kLowPart; ++part) {
                if (j != 0 && (part == kOneOrZeroPart || part == kZeroPart)) continue;
                const double t = j + 0.5 * (jjy.From(part) + jjy.To(part)) - 0.5;
                terms[count++] = {mean(second, part), t, sigma * sigma, part, std::abs(j)};
            }
            if (std::abs(j) <= 1) high += mean(second, kHighPart) / 3.0;
        }
        const SymbolScores s = fit.Score(terms.data(), count, std::abs(high));
        const float best = std::max({s.log[0], s.log[1], s.log[2]});
        for (float v : {s.log[0], s.log[1], s.log[2]}) {
            fuzz::Require(v <= 1e-6f && v >= timecode::kMinLogProbability);
        }
        fuzz::Require(s.quality >= 0.0f && s.quality <= 1.0f + 1e-6f);
        fuzz::Require(s.erasure || std::abs(s.quality - std::exp(best)) < 1e-3f);
        fuzz::Require(fit.Span() >= 1 && fit.Span() <= kLevelSpan);
    }
    return 0;
}
