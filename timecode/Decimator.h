#pragma once

#include <array>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>

#include "timecode/Constants.h"

namespace velto {

// One complex baseband sample at 1 kHz: the station's carrier's amplitude and
// phase in 16-bit units.
struct BasebandSample {
    std::complex<double> z;
    std::int64_t index;  // baseband index k; centre = block * k - kBasebandDelay
    bool blanked;        // an impulse or a gap touched it
};

class IBasebandSink {
public:
    virtual ~IBasebandSink() = default;
    virtual void OnBaseband(const BasebandSample& s) = 0;
};

// Mixes the input (96 or 192 kHz) to baseband at the station's carrier and
// decimates it to 1 kHz with a triangular window, continuously across calls.
// Blocks of a millisecond are aligned on the running input index, so the
// mixing phase is that of the index itself. Blocks hit by an impulse are
// blanked.
class CDecimator {
public:
    CDecimator(double carrierHz, int rate);
    // Input samples per baseband sample.
    int Block() const { return m_blockLength; }
    void Reset();
    // Input from `first` on; the caller guarantees first == NextSample()
    // once started.
    void Push(std::int64_t first, const std::int16_t* x, std::size_t n, IBasebandSink& sink);
    // Bridges a gap of lost samples up to `next` with blanked blocks.
    void Bridge(std::int64_t next, IBasebandSink& sink);
    bool Started() const { return m_started; }
    std::int64_t NextSample() const { return m_next; }

private:
    void EndBlock(IBasebandSink& sink, bool missing);

    int m_blockLength;
    // The oscillator repeats every m_period samples within a block (m_tables
    // blocks long when its period is longer than a block): one cosine and
    // sine per phase, with the block's gain.
    int m_period = 0;
    int m_tables = 1;
    std::array<double, timecode::kMaxLoPeriod> m_cos{}, m_sin{};
    std::array<std::int16_t, timecode::kMaxBlock> m_block{};
    int m_fill = 0;
    bool m_started = false;
    bool m_partial = false;  // the current block began part-way (after a start)
    std::int64_t m_next = 0;
    std::int64_t m_blockIndex = 0;  // index of the block being filled
    std::complex<double> m_prevA{};
    bool m_prevBlanked = true;
    bool m_hangover = false;
    double m_meanSquare = 0.0;
    bool m_rmsInit = false;
    int m_rmsBlocks = 0;
};

}  // namespace velto
