#pragma once

#include <cstddef>
#include <cstdint>
#include <random>

#include "dsp/JjyTimeCode.h"

namespace velto {

struct JjySignalOptions {
    double carrierAmplitude = 10000.0;  // full-carrier amplitude, 16-bit units
    double noiseSigma = 0.0;            // white Gaussian noise, 16-bit units
    double interferenceHz = 0.0;        // optional interfering sine
    double interferenceAmplitude = 0.0;
    // Sample 0 lies this many samples after the start second, so the signal
    // need not begin on a second boundary.
    std::int64_t startOffsetSamples = 0;
    std::uint64_t seed = 1;
};

// The received JJY signal as 16-bit mono samples at the chain's sample rate,
// generated sample by sample from a start time; deterministic for a seed.
class CJjySignal {
public:
    CJjySignal(std::int64_t startUnixSeconds, const JjySignalOptions& options);

    // Writes the next n samples and advances.
    void Generate(std::int16_t* out, std::size_t n);

    // Unix time (whole seconds) and sample within that second of the next
    // sample Generate writes.
    std::int64_t NextSecond() const { return m_second; }
    int NextSampleInSecond() const { return m_sampleInSecond; }

private:
    void LoadMinute();
    double Envelope() const;
    double Gaussian();

    JjySignalOptions m_options;
    std::int64_t m_second;
    int m_sampleInSecond;
    std::int64_t m_sampleIndex = 0;
    JjyFrame m_frame{};
    std::int64_t m_frameMinute = -1;
    int m_secondInMinute = 0;
    std::mt19937_64 m_rng;
    bool m_haveSpare = false;
    double m_spare = 0.0;
};

}  // namespace velto
