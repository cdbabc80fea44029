#pragma once

#include "base/Geometry.h"

namespace velto {

// A sinusoid of known frequency through two samples: y(t) = A sin(theta(t) + phase)
// with theta(t) = t / rate x 2 pi f, t in samples (the rate 96000 unless given).
struct SineFitResult {
    double amplitude = 0.0;  // never negative
    double phase = 0.0;      // radians, -pi..pi; 360.0 when there is no solution
    double frequency = 0.0;  // the frequency fitted, Hz
    int valid = 0;           // 1 if the two sample times determine the sinusoid
};

// Amplitude of the sinusoid of frequency f through (t0, y0) and (t1, y1); 0.0
// if the two times give no unique solution.
double SineFitAmplitude(double t0, double t1, double y0, double y1, double f,
                        double rate = kSampleRate);

// The same fit, also giving the phase.
void SineFit(double t0, double t1, double y0, double y1, double f, SineFitResult& result,
             double rate = kSampleRate);

}  // namespace velto
