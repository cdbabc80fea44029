#pragma once

#include <vector>

namespace velto {

// A linear-phase low-pass FIR by the Kaiser window method, of odd length and
// unit gain at 0 Hz. Frequencies are fractions of the sample rate: the pass
// band ends at `passEdge`, the stop band, `stopDb` down, begins at
// `stopEdge`.
std::vector<double> KaiserLowpass(double passEdge, double stopEdge, double stopDb);

// The filter's noise bandwidth in the same units (a fraction of the rate):
// white noise of density N per unit passes as N times this.
double NoiseBandwidth(const std::vector<double>& taps);

}  // namespace velto
