#pragma once

#include <complex>
#include <cstdint>
#include <vector>

namespace velto {

// A carrier that stays on beside the station's: its offset in hertz and its
// level in dB relative to the station's full carrier.
struct SteadyCarrier {
    double offsetHz;
    double levelDb;
};

// Finds steady carriers near a station's. A station keys its carrier in
// amplitude only, so its baseband is a real envelope: its power spectrum is
// the same on both sides of the carrier, sidebands and all. What is on one
// side and not on the other is something else, and a line there is a
// carrier of its own. The frames must be centred on the station's carrier
// as received.
class CCarrierFinder {
public:
    // Frames of `size` bins, `binHz` apart, averaged over about
    // `averageFrames`.
    CCarrierFinder(int size, double binHz, double averageFrames);

    // One frame's spectrum, bin k at k * binHz (k >= size / 2 for the
    // negative frequencies), times `scale` to make a tone of amplitude b
    // centred on a bin read b^2.
    void AddFrame(const std::complex<double>* bins, double scale);
    void Clear();
    std::int64_t Frames() const { return m_frames; }

    struct Found {
        double offsetHz;
        double power;  // in the units of the bins
    };
    // Up to `count` of the strongest, the strongest first, within `spanHz`
    // of the station and at least 2 bins from it. `noisePerBin` is the power
    // that noise alone leaves in one bin.
    std::vector<Found> Find(double noisePerBin, double spanHz, int count) const;

private:
    double Power(int k) const;

    int m_size;
    double m_binHz;
    double m_averageFrames;
    std::vector<double> m_average;
    double m_variance = 0.0;
    std::int64_t m_frames = 0;
};

}  // namespace velto
