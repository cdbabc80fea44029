#pragma once

#include <array>
#include <complex>

#include "timecode/Constants.h"

namespace velto {

// Takes steady carriers beside the station's out of the baseband, so that
// they neither move its phase reference nor ripple its detected amplitude
// (a carrier a whole number of Hz away would ripple every second alike, and
// the fold of the second would keep it). Each is estimated by a long mean at
// its frequency, which a frequency loop follows. The station's keying puts
// lines of its own a whole number of Hz from its carrier, in mirror pairs of
// equal amplitude (the keying moves the amplitude alone); what the mean at a
// steady carrier's frequency holds of such a line is known from its mirror
// and left in.
class CToneCanceller {
public:
    CToneCanceller() { Reset(); }
    void Reset();
    // The steady carriers to take out (Hz from 40 kHz); those already
    // followed keep their estimates.
    void Set(const double* hz, int count);
    // One baseband sample. `carrier` turns at the station carrier's
    // frequency (the tracking oscillator) and `phase` is the carrier's phase
    // against it (unit magnitude).
    std::complex<double> Apply(std::complex<double> z, bool blanked, std::complex<double> carrier,
                               std::complex<double> phase);
    // Once a second: the frequency loops.
    void Second();
    int Count() const { return m_count; }
    // Counts the steady carriers that began to be taken out.
    int Settled() const { return m_settled; }

private:
    struct Tone {
        double hz = 0.0;
        std::complex<double> rotor{1.0, 0.0}, step{1.0, 0.0};
        std::complex<double> mean{}, mirror{};  // at the tone, and at its mirror
        std::complex<double> lastMean{};        // a second before
        double count = 0.0;                     // samples in the means, up to their length
        std::complex<double> secondSum{}, lastSum{};
        bool haveLast = false;
        int steps = 0;  // of the frequency loop
    };
    static void Tune(Tone& t, double hz);

    std::array<Tone, timecode::kChoiceCandidates - 1> m_tones{};
    int m_count = 0;
    int m_settled = 0;
};

}  // namespace velto
