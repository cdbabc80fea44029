#pragma once

#include <array>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>

#include "timecode/Constants.h"

namespace velto {

// One complex baseband sample at 1 kHz: the 40 kHz carrier's amplitude and
// phase in 16-bit units, centred on input sample `center`.
struct BasebandSample {
    std::complex<double> z;
    std::int64_t index;  // baseband index k; centre = kBlock * k - kBasebandDelay
    bool blanked;        // an impulse or a gap touched it
};

class IBasebandSink {
public:
    virtual ~IBasebandSink() = default;
    virtual void OnBaseband(const BasebandSample& s) = 0;
};

// Mixes the 96 kHz input to baseband at 40 kHz and decimates it by 96 with a
// triangular window, continuously across calls. Blocks of 96 samples are
// aligned on the running input index, so the mixing phase is that of the
// index itself. Blocks hit by an impulse are blanked.
class CDecimator {
public:
    CDecimator();
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

    // The oscillator repeats every kLoPeriod samples: one cosine and sine
    // per phase, with the block's gain.
    std::array<double, timecode::kLoPeriod> m_cos{}, m_sin{};
    std::array<std::int16_t, timecode::kBlock> m_block{};
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
