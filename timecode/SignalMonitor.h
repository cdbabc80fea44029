#pragma once

namespace velto {

// Tells within seconds whether the signal that the second is locked to is
// still there, from each second's contrast between its first 0.2 s (full
// carrier in every symbol) and its last 0.2 s (10 % in every symbol).
//
// A bounded sum of per-second log-likelihood ratios weighs "a carrier at
// half the level of the last minute" against "no carrier": a strong signal
// that vanishes is given up in a few seconds, a weak one as fast as its
// noise allows, and a fade to half the level still counts as present. Two
// thresholds apart keep it from flickering.
class CSignalMonitor {
public:
    CSignalMonitor() { Reset(); }
    void Reset();
    // contrast: the second's mean detected amplitude in its first part minus
    // that in its last part; sigma: the noise's standard deviation on it.
    void Add(double contrast, double sigma);
    bool Present() const { return m_present; }

private:
    double m_level = 0.0;  // mean contrast over about a minute
    int m_count = 0;
    double m_evidence = 0.0;  // nats for "present", bounded
    bool m_present = true;
};

}  // namespace velto
