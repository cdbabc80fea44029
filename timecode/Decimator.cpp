#include "timecode/Decimator.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

namespace velto {
namespace {

using timecode::kBlock;
using timecode::kLoPeriod;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

}  // namespace

CDecimator::CDecimator() {
    // Triangle 1..96..1 over two blocks: the older block rises with weights
    // i + 1, the newer falls with 95 - i. Scaled so that a carrier of
    // amplitude A gives |z| = A.
    const double scale = 2.0 / (double{kBlock} * kBlock);
    for (int p = 0; p < kLoPeriod; ++p) {
        const double angle =
            -2.0 * std::numbers::pi * timecode::kCarrierHz * p / timecode::kInputRate;
        m_cos[p] = std::cos(angle) * scale;
        m_sin[p] = std::sin(angle) * scale;
    }
}

void CDecimator::Reset() {
    m_fill = 0;
    m_started = false;
    m_partial = false;
    m_next = 0;
    m_blockIndex = 0;
    m_prevA = {};
    m_prevBlanked = true;
    m_hangover = false;
    m_meanSquare = 0.0;
    m_rmsInit = false;
    m_rmsBlocks = 0;
}

void CDecimator::Push(std::int64_t first, const std::int16_t* x, std::size_t n,
                      IBasebandSink& sink) {
    if (!m_started) {
        m_started = true;
        m_next = first;
        m_blockIndex = FloorDiv(first, kBlock);
        m_fill = static_cast<int>(first - m_blockIndex * kBlock);
        std::fill(m_block.begin(), m_block.begin() + m_fill, std::int16_t{0});
        m_partial = m_fill != 0;
    }
    std::size_t i = 0;
    while (i < n) {
        const std::size_t take = std::min<std::size_t>(n - i, kBlock - m_fill);
        std::copy(x + i, x + i + take, m_block.begin() + m_fill);
        m_fill += static_cast<int>(take);
        i += take;
        m_next += static_cast<std::int64_t>(take);
        if (m_fill == kBlock) {
            EndBlock(sink, m_partial);
            m_partial = false;
        }
    }
}

void CDecimator::Bridge(std::int64_t next, IBasebandSink& sink) {
    if (next <= m_next) {
        return;
    }
    // Finish the current block with the samples that exist, blanked.
    if (m_fill != 0) {
        const std::int64_t blockEnd = (m_blockIndex + 1) * kBlock;
        if (next < blockEnd) {
            std::fill(m_block.begin() + m_fill, m_block.begin() + (next - m_blockIndex * kBlock),
                      std::int16_t{0});
            m_fill = static_cast<int>(next - m_blockIndex * kBlock);
            m_partial = true;
            m_next = next;
            return;
        }
        std::fill(m_block.begin() + m_fill, m_block.end(), std::int16_t{0});
        m_fill = kBlock;
        EndBlock(sink, true);
        m_next = blockEnd;
    }
    while (m_next + kBlock <= next) {
        m_fill = kBlock;
        EndBlock(sink, true);
        m_next += kBlock;
    }
    m_fill = static_cast<int>(next - m_next);
    std::fill(m_block.begin(), m_block.begin() + m_fill, std::int16_t{0});
    m_partial = m_fill != 0;
    m_next = next;
}

void CDecimator::EndBlock(IBasebandSink& sink, bool missing) {
    bool blanked = missing;
    std::complex<double> a{}, b{};
    if (!missing) {
        int peak = 0;
        std::int64_t sumSquare = 0;
        for (int i = 0; i < kBlock; ++i) {
            const int v = m_block[i];
            peak = std::max(peak, std::abs(v));
            sumSquare += v * v;
        }
        const double meanSquare = static_cast<double>(sumSquare) / kBlock;
        const double limit = timecode::kBlankerFactor * timecode::kBlankerFactor * m_meanSquare;
        if (m_rmsInit && double{1.0} * peak * peak > limit) {
            blanked = true;
            // A blanked block still moves the level, by no more than the
            // limit: a short burst barely shifts it, but a carrier that rose
            // for good (the input began in the 10 % part, or the signal came
            // up) is no longer taken for a burst within a fraction of a second.
            m_meanSquare +=
                (std::min(meanSquare, limit) - m_meanSquare) / timecode::kRmsTimeConstantBlocks;
        } else if (!m_rmsInit) {
            // The first blocks set the level by their plain mean.
            ++m_rmsBlocks;
            m_meanSquare += (meanSquare - m_meanSquare) / m_rmsBlocks;
            m_rmsInit = m_rmsBlocks >= 20;
        } else {
            m_meanSquare += (meanSquare - m_meanSquare) / timecode::kRmsTimeConstantBlocks;
        }
        if (!blanked) {
            // Sample i = kLoPeriod * g + p has weight i + 1 in the rising
            // half and 95 - i in the falling one. Per phase p, the plain sum
            // and the sum of the partial sums before each group (the sum
            // weighted by 7 - g) give both, with additions only.
            constexpr int kGroups = kBlock / kLoPeriod;
            std::int32_t plain[kLoPeriod] = {}, before[kLoPeriod] = {};
            for (int g = 0; g < kGroups; ++g) {
                const std::int16_t* x = m_block.data() + kLoPeriod * g;
                for (int p = 0; p < kLoPeriod; ++p) {
                    before[p] += plain[p];
                    plain[p] += x[p];
                }
            }
            std::int32_t byGroup[kLoPeriod];
            for (int p = 0; p < kLoPeriod; ++p) byGroup[p] = (kGroups - 1) * plain[p] - before[p];
            double aRe = 0, aIm = 0, bRe = 0, bIm = 0;
            for (int p = 0; p < kLoPeriod; ++p) {
                const double rising =
                    double{kLoPeriod} * byGroup[p] + static_cast<double>(p + 1) * plain[p];
                const double falling =
                    static_cast<double>(kBlock - 1 - p) * plain[p] - double{kLoPeriod} * byGroup[p];
                aRe += m_cos[p] * rising;
                aIm += m_sin[p] * rising;
                bRe += m_cos[p] * falling;
                bIm += m_sin[p] * falling;
            }
            a = {aRe, aIm};
            b = {bRe, bIm};
        }
    }
    // A burst's tail reaches into the next block.
    const bool dropped = blanked || m_hangover;
    m_hangover = blanked && !missing;
    if (dropped) {
        a = {};
        b = {};
    }
    BasebandSample s;
    s.z = m_prevA + b;
    s.index = m_blockIndex;
    s.blanked = dropped || m_prevBlanked;
    sink.OnBaseband(s);
    m_prevA = a;
    m_prevBlanked = dropped;
    ++m_blockIndex;
    m_fill = 0;
}

}  // namespace velto
