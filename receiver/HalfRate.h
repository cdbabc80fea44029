#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace velto {

// Halves the rate of a stream (192000 to 96000 samples/s) for a reader that
// takes the base rate: a linear-phase low-pass that keeps everything up to
// 42 kHz (JJY's 40 kHz carrier) and holds what would fold onto it 75 dB down,
// then every second sample. Output j is the filtered input at sample 2j - 80:
// the stream comes out kDelay output samples late, exactly.
class CHalfRate {
public:
    static constexpr int kTaps = 161;
    static constexpr int kDelay = (kTaps - 1) / 4;  // 40 samples at the output rate

    CHalfRate();

    // A new stream: the history is silence and the next input is sample 0.
    void Reset();
    // Takes n input samples and writes the outputs they complete to `out`
    // (room for n / 2 + 1); returns how many.
    std::size_t Process(const std::int16_t* in, std::size_t n, std::int16_t* out);

    std::span<const double> Taps() const { return m_taps; }

private:
    std::array<double, kTaps> m_taps{};
    // The last kTaps - 1 inputs, then the input in hand.
    std::vector<double> m_work;
    // Whether the next input sample has an even index (gives an output).
    bool m_even = true;
};

}  // namespace velto
