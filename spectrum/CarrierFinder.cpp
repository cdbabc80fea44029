#include "spectrum/CarrierFinder.h"

#include <algorithm>
#include <cmath>

namespace velto {
namespace {

// A Hann-windowed tone spreads over three bins, which add up to 1.5 times
// its power wherever it falls between them (to within 2 %).
constexpr double kHannSpread = 1.5;
// The excess on one side must clear the noise by this many of its standard
// deviations...
constexpr double kSigmas = 6.0;
// ... and a quarter of the mirror bin (1 dB), so that a receiver's slightly
// lopsided response across a station's sidebands does not count.
constexpr double kLopsided = 0.25;
// Carriers closer than this many bins are one.
constexpr int kApart = 3;

}  // namespace

CCarrierFinder::CCarrierFinder(int size, double binHz, double averageFrames)
    : m_size(size),
      m_binHz(binHz),
      m_averageFrames(averageFrames),
      m_average(static_cast<std::size_t>(size)) {}

void CCarrierFinder::AddFrame(const std::complex<double>* bins, double scale) {
    ++m_frames;
    const double weight = std::max(1.0 / static_cast<double>(m_frames), 1.0 / m_averageFrames);
    m_variance = (1.0 - weight) * (1.0 - weight) * m_variance + weight * weight;
    for (std::size_t k = 0; k < m_average.size(); ++k) {
        m_average[k] += weight * (std::norm(bins[k]) * scale - m_average[k]);
    }
}

void CCarrierFinder::Clear() {
    std::fill(m_average.begin(), m_average.end(), 0.0);
    m_variance = 0.0;
    m_frames = 0;
}

double CCarrierFinder::Power(int k) const {
    return m_average[static_cast<std::size_t>((k % m_size + m_size) % m_size)];
}

std::vector<CCarrierFinder::Found> CCarrierFinder::Find(double noisePerBin, double spanHz,
                                                        int count) const {
    std::vector<Found> found;
    if (m_frames == 0) {
        return found;
    }
    const int reach = std::min(static_cast<int>(spanHz / m_binHz), m_size / 2 - 2);
    const double frames = 1.0 / m_variance;
    const double n = noisePerBin;
    auto excess = [&](int k) { return Power(k) - Power(-k); };

    struct Candidate {
        int bin;
        double power;
        double offset;
    };
    std::vector<Candidate> candidates;
    for (int k = -reach; k <= reach; ++k) {
        if (std::abs(k) < 2) {
            continue;
        }
        const double d = excess(k);
        const double mirror = Power(-k);
        // Noise in both bins, and its product with the mirror's own power.
        const double sigma =
            std::sqrt(2.0 * (2.0 * std::max(mirror - n, 0.0) * n + n * n) / frames);
        if (d <= std::max(kSigmas * sigma, kLopsided * mirror) || d < excess(k - 1) ||
            d < excess(k + 1)) {
            continue;
        }
        double sum = 0.0, moment = 0.0;
        for (int j = k - 1; j <= k + 1; ++j) {
            const double e = std::max(excess(j), 0.0);
            sum += e;
            moment += e * j;
        }
        candidates.push_back({k, sum / kHannSpread, moment / sum * m_binHz});
    }
    std::sort(candidates.begin(), candidates.end(),
              [](const Candidate& a, const Candidate& b) { return a.power > b.power; });
    std::vector<int> taken;
    for (const Candidate& c : candidates) {
        if (static_cast<int>(found.size()) == count) {
            break;
        }
        const bool near = std::any_of(taken.begin(), taken.end(),
                                      [&](int bin) { return std::abs(bin - c.bin) < kApart; });
        if (!near) {
            taken.push_back(c.bin);
            found.push_back({c.offset, c.power});
        }
    }
    return found;
}

}  // namespace velto
