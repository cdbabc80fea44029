#pragma once

#include <array>
#include <complex>

#include "timecode/Constants.h"

namespace velto {

// Chooses, among the carriers the search finds, the station's: the one keyed
// once a second. Each candidate's baseband is folded over a second of its
// own frequency (the station derives carrier and second from one clock);
// with the other candidates' steady carriers fitted out, the fold of a keyed
// carrier varies along one phase (amplitude keying), while in the frame of a
// steady carrier whatever else varies turns with the difference frequency.
// Power plays no part: a steady carrier stronger than the station is not it.
class CCarrierChoice {
public:
    explicit CCarrierChoice(double carrierHz) : m_carrierHz(carrierHz) { Reset(); }
    void Reset();
    // Every baseband sample, before anything is taken out of it.
    void Process(std::complex<double> z, bool blanked);
    // Once a second: the carriers the search found (Hz from the station's
    // nominal carrier). Returns
    // which of them is keyed, -1 when none is yet.
    int Choose(const double* hz, int count);
    // How much more candidate k's fold varied along its phase than across it
    // at the last choice (0: not yet known).
    double Keying(int k) const { return m_keying[k]; }

private:
    struct Candidate {
        double hz = 0.0;
        std::complex<double> rotor{1.0, 0.0}, step{1.0, 0.0};
        double phase = 0.0, phaseStep = 0.0;  // within the candidate's second, [0, 1)
        int seconds = 0;
        std::array<std::complex<double>, timecode::kChoiceBins> sum{};
        std::array<double, timecode::kChoiceBins> weight{};
    };
    void Tune(Candidate& c, double hz) const;
    // Baseband samples per second of a carrier `hz` from the nominal one.
    double SecondLength(double hz) const;
    // How much more the fold varies along its best phase than across it.
    double Weigh(int c) const;

    double m_carrierHz;
    std::array<Candidate, timecode::kChoiceCandidates> m_candidates{};
    int m_count = 0;
    std::array<double, timecode::kChoiceCandidates> m_keying{};
    std::complex<double> m_sum{};  // of the samples since the last step
    int m_fill = 0, m_summed = 0;
};

}  // namespace velto
