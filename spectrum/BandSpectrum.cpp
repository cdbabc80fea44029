#include "spectrum/BandSpectrum.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "spectrum/Level.h"

namespace velto {
namespace {

// The smallest power of two that holds an eighth of a second: about 6 Hz
// per bin at any rate, enough to part the hum's harmonics 50 Hz apart.
int FrameSize(int rate) {
    int n = 256;
    while (n < rate / 8) {
        n *= 2;
    }
    return n;
}

// The peak hold follows an average over this long, once it has settled.
constexpr double kPeakAverageSeconds = 2.0;

}  // namespace

CBandSpectrum::CBandSpectrum(int sampleRate, double averageSeconds)
    : m_rate(sampleRate),
      m_size(FrameSize(sampleRate)),
      m_binHz(static_cast<double>(sampleRate) / m_size),
      m_timeConstantFrames(averageSeconds > 0.0 ? averageSeconds * sampleRate / (m_size / 2) : 0.0),
      m_window(static_cast<std::size_t>(m_size)),
      m_line(static_cast<std::size_t>(m_size)),
      m_fft(m_size, CFft::Kind::RealToComplex),
      m_average(static_cast<std::size_t>(m_size / 2 + 1)),
      m_short(m_average.size()),
      m_peak(m_average.size()) {
    double energy = 0.0;
    for (int i = 0; i < m_size; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / m_size);
        m_window[static_cast<std::size_t>(i)] = w;
        energy += w * w;
    }
    // One-sided density 2|X|^2 / (rate * sum w^2), over a full-scale sine's power.
    m_scale = 2.0 / (m_rate * energy * level::kFullScalePower);
}

int CBandSpectrum::BinOf(double hz) const {
    return std::clamp(static_cast<int>(std::lround(hz / m_binHz)), 0, Bins() - 1);
}

void CBandSpectrum::Push(const std::int16_t* x, std::size_t n) {
    const std::int64_t hop = m_size / 2;
    for (std::size_t i = 0; i < n; ++i) {
        m_line.Push(x[i]);
        if (++m_count >= m_size && m_count % hop == 0) {
            Frame();
        }
    }
}

void CBandSpectrum::Frame() {
    const double* w = m_line.Window();
    double* in = m_fft.RealIn();
    for (int i = 0; i < m_size; ++i) {
        in[i] = w[i] * m_window[static_cast<std::size_t>(i)];
    }
    m_fft.Execute();
    ++m_frames;
    const double weight = std::max(1.0 / static_cast<double>(m_frames),
                                   m_timeConstantFrames > 0.0 ? 1.0 / m_timeConstantFrames : 0.0);
    m_variance = (1.0 - weight) * (1.0 - weight) * m_variance + weight * weight;
    const double peakFrames = kPeakAverageSeconds * m_rate / (m_size / 2);
    const double shortWeight = std::max(1.0 / static_cast<double>(m_frames), 1.0 / peakFrames);
    const bool settled = static_cast<double>(m_frames) >= peakFrames;
    const std::complex<double>* out = m_fft.Out();
    for (std::size_t k = 0; k < m_average.size(); ++k) {
        // The bins at 0 Hz and at half the rate have no mirror image.
        const double edge = k == 0 || k + 1 == m_average.size() ? 0.5 : 1.0;
        const double density = std::norm(out[k]) * m_scale * edge;
        m_average[k] += weight * (density - m_average[k]);
        m_short[k] += shortWeight * (density - m_short[k]);
        if (settled) {
            m_peak[k] = std::max(m_peak[k], m_short[k]);
        }
    }
}

void CBandSpectrum::Clear() {
    m_line.Clear();
    std::fill(m_average.begin(), m_average.end(), 0.0);
    std::fill(m_short.begin(), m_short.end(), 0.0);
    std::fill(m_peak.begin(), m_peak.end(), 0.0);
    m_frames = 0;
    m_count = 0;
    m_variance = 0.0;
}

void CBandSpectrum::ResetPeak() { std::fill(m_peak.begin(), m_peak.end(), 0.0); }

std::optional<double> CBandSpectrum::NoiseDensity(double loHz, double hiHz, double centreHz,
                                                  double gap) const {
    if (m_frames == 0) {
        return std::nullopt;
    }
    std::vector<double> bins;
    for (int k = std::max(1, BinOf(loHz)); k <= std::min(Bins() - 2, BinOf(hiHz)); ++k) {
        if (std::abs(k * m_binHz - centreHz) > gap) {
            bins.push_back(Average(k));
        }
    }
    if (bins.empty()) {
        return std::nullopt;
    }
    auto middle = bins.begin() + static_cast<std::ptrdiff_t>(bins.size() / 2);
    std::nth_element(bins.begin(), middle, bins.end());
    // A bin of noise averaged over k frames is Gamma-distributed with shape
    // k, whose median lies near (1 - 1 / (3k)) times its mean.
    const double k = std::max(1.0, EquivalentFrames());
    return *middle / (1.0 - 1.0 / (3.0 * k));
}

bool CBandSpectrum::StandsOut(double hz, double db) const {
    constexpr int kAround = 12;
    const int centre = BinOf(hz);
    int best = centre;
    for (int k = std::max(1, centre - 1); k <= std::min(Bins() - 2, centre + 1); ++k) {
        if (Average(k) > Average(best)) {
            best = k;
        }
    }
    if (best <= 0 || best >= Bins() - 1 || Average(best) < Average(best - 1) ||
        Average(best) < Average(best + 1)) {
        return false;
    }
    std::vector<double> around;
    for (int k = std::max(1, centre - kAround); k <= std::min(Bins() - 2, centre + kAround); ++k) {
        if (std::abs(k - centre) > 2) {
            around.push_back(Average(k));
        }
    }
    if (around.empty()) {
        return false;
    }
    auto middle = around.begin() + static_cast<std::ptrdiff_t>(around.size() / 2);
    std::nth_element(around.begin(), middle, around.end());
    return Average(best) > *middle * level::FromDb(db);
}

}  // namespace velto
