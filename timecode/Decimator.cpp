#include "timecode/Decimator.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <numeric>

namespace velto {
namespace {

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

}  // namespace

CDecimator::CDecimator(double carrierHz, int rate)
    : m_blockLength(std::clamp(rate / timecode::kBasebandRate, 1, timecode::kMaxBlock)) {
    // The oscillator's period in whole samples: the carrier is a whole number
    // of half-hertz, the rate a whole number of blocks per second. At the
    // rates and carriers used it divides a block or is a whole number of them.
    const std::int64_t twiceRate = 2 * std::int64_t{rate};
    const std::int64_t twiceCarrier = std::llround(2.0 * carrierHz);
    const auto period = static_cast<int>(std::min<std::int64_t>(
        twiceRate / std::gcd(twiceRate, twiceCarrier), timecode::kMaxLoPeriod));
    const int block = m_blockLength;
    m_period = block % period == 0 ? period : block;
    m_tables = block % period == 0 ? 1 : std::max(1, period / block);
    // Triangle 1..block..1 over two blocks: the older block rises with
    // weights i + 1, the newer falls with block - 1 - i. Scaled so that a
    // carrier of amplitude A gives |z| = A.
    const double scale = 2.0 / (double{1.0} * block * block);
    for (int p = 0; p < m_period * m_tables; ++p) {
        const double angle = -2.0 * std::numbers::pi * carrierHz * p / rate;
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
        m_blockIndex = FloorDiv(first, m_blockLength);
        m_fill = static_cast<int>(first - m_blockIndex * m_blockLength);
        std::fill(m_block.begin(), m_block.begin() + m_fill, std::int16_t{0});
        m_partial = m_fill != 0;
    }
    std::size_t i = 0;
    while (i < n) {
        const std::size_t take = std::min<std::size_t>(n - i, m_blockLength - m_fill);
        std::copy(x + i, x + i + take, m_block.begin() + m_fill);
        m_fill += static_cast<int>(take);
        i += take;
        m_next += static_cast<std::int64_t>(take);
        if (m_fill == m_blockLength) {
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
        const std::int64_t blockEnd = (m_blockIndex + 1) * m_blockLength;
        if (next < blockEnd) {
            std::fill(m_block.begin() + m_fill,
                      m_block.begin() + (next - m_blockIndex * m_blockLength), std::int16_t{0});
            m_fill = static_cast<int>(next - m_blockIndex * m_blockLength);
            m_partial = true;
            m_next = next;
            return;
        }
        std::fill(m_block.begin() + m_fill, m_block.end(), std::int16_t{0});
        m_fill = m_blockLength;
        EndBlock(sink, true);
        m_next = blockEnd;
    }
    while (m_next + m_blockLength <= next) {
        m_fill = m_blockLength;
        EndBlock(sink, true);
        m_next += m_blockLength;
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
        for (int i = 0; i < m_blockLength; ++i) {
            const int v = m_block[i];
            peak = std::max(peak, std::abs(v));
            sumSquare += v * v;
        }
        const double meanSquare = static_cast<double>(sumSquare) / m_blockLength;
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
            // Sample i = m_period * g + p has weight i + 1 in the rising
            // half and block - 1 - i in the falling one. Per phase p, the
            // plain sum and the sum of the partial sums before each group (the
            // sum weighted by groups - 1 - g) give both, with additions only.
            const int groups = m_blockLength / m_period;
            const auto table = static_cast<int>(((m_blockIndex % m_tables) + m_tables) % m_tables);
            const double* cosine = m_cos.data() + table * m_period;
            const double* sine = m_sin.data() + table * m_period;
            std::array<std::int32_t, timecode::kMaxBlock> plain{}, before{}, byGroup{};
            for (int g = 0; g < groups; ++g) {
                const std::int16_t* x = m_block.data() + m_period * g;
                for (int p = 0; p < m_period; ++p) {
                    before[p] += plain[p];
                    plain[p] += x[p];
                }
            }
            for (int p = 0; p < m_period; ++p) byGroup[p] = (groups - 1) * plain[p] - before[p];
            double aRe = 0, aIm = 0, bRe = 0, bIm = 0;
            for (int p = 0; p < m_period; ++p) {
                const double rising = static_cast<double>(m_period) * byGroup[p] +
                                      static_cast<double>(p + 1) * plain[p];
                const double falling = static_cast<double>(m_blockLength - 1 - p) * plain[p] -
                                       static_cast<double>(m_period) * byGroup[p];
                aRe += cosine[p] * rising;
                aIm += sine[p] * rising;
                bRe += cosine[p] * falling;
                bIm += sine[p] * falling;
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
