#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "spectrum/DelayLine.h"
#include "spectrum/Fft.h"

namespace velto {

// The averaged power spectrum of the whole band, 0 Hz to half the rate:
// Hann-windowed frames of about 1/8 s overlapping by half, averaged with a
// time constant (or over everything since the start), and the highest that
// a 2 s average of them reached, held until reset. Densities are one-sided, per hertz, relative to
// a full-scale sine (spectrum/Level.h).
class CBandSpectrum {
public:
    // averageSeconds <= 0: the mean of every frame since the start.
    CBandSpectrum(int sampleRate, double averageSeconds);

    void Push(const std::int16_t* x, std::size_t n);
    void Clear();
    void ResetPeak();

    int Bins() const { return static_cast<int>(m_average.size()); }
    double BinHz() const { return m_binHz; }
    int BinOf(double hz) const;
    std::int64_t Frames() const { return m_frames; }
    // Linear densities; 0 before the first frame.
    double Average(int bin) const { return m_average[static_cast<std::size_t>(bin)]; }
    double Peak(int bin) const { return m_peak[static_cast<std::size_t>(bin)]; }
    // How many independent frames the average is worth.
    double EquivalentFrames() const { return m_variance > 0.0 ? 1.0 / m_variance : 0.0; }
    // The noise density over loHz..hiHz without the bins of the `gap` hertz
    // on either side of `centreHz`: the median of the averaged bins, which
    // the few bins of carriers and their sidebands do not move, scaled to
    // the mean that noise alone would give.
    std::optional<double> NoiseDensity(double loHz, double hiHz, double centreHz, double gap) const;
    // Whether a bin near `hz` is a local peak standing `db` above the median
    // of the bins around it.
    bool StandsOut(double hz, double db) const;

private:
    void Frame();

    int m_rate;
    int m_size;
    double m_binHz;
    double m_timeConstantFrames;  // 0: plain mean
    double m_scale;               // |X|^2 to density
    std::vector<double> m_window;
    CDelayLine<double> m_line;
    CFft m_fft;
    std::vector<double> m_average, m_short, m_peak;
    std::int64_t m_frames = 0;
    std::int64_t m_count = 0;
    double m_variance = 0.0;  // sum of the squared weights of the frames in the average
};

}  // namespace velto
