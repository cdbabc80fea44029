#pragma once

#include <array>

#include "timecode/Constants.h"
#include "timecode/SymbolModel.h"

namespace velto {

// One part's mean in a level fit: its time from the middle of the second
// judged (seconds), its noise variance, which part (a window of the
// station's CSymbolModel), and how many seconds from the one judged.
struct LevelTerm {
    double mean, t, variance;
    int part;
    int distance;
};

// A second's soft decision: log-probabilities of the station's symbols, the
// largest near 0, and the probability of the likeliest; an erasure (each
// symbol as likely) when nothing fits.
struct SymbolScores {
    SymbolLogs log{};
    float quality = 0.0f;
    bool erasure = true;
};

// Scores a second as each of the station's symbols: under each reading the full carrier's
// level is fitted over the seconds on either side (a line over one, a
// parabola over two to four), and the fits' misfits score the readings. How
// many seconds, and how far the level may stray beyond the noise, is learnt
// from the seconds scored: the span that best foretold each second's high
// part without seeing it, and that part's scatter beyond the noise.
class CLevelFit {
public:
    explicit CLevelFit(const CSymbolModel& model) : m_model(model) {}
    void Reset() { m_channels.fill(Channel{}); }
    // The terms of the second judged (distance 0: all its parts) and of its
    // neighbours (the parts every symbol keys alike); `amplitude` the full
    // carrier's level about it.
    SymbolScores Score(const LevelTerm* terms, int count, double amplitude);
    // Seconds on either side that the fit takes now.
    int Span() const;

private:
    struct Fit {
        double misfit = 0.0, logVariance = 0.0;
        std::array<double, 3> level{};  // level(t) = level[0] + level[1] t + level[2] t^2
        int used = 0;                   // parts in the fit
        double Level(double t) const { return level[0] + (level[1] + level[2] * t) * t; }
    };
    // What the seconds lately judged showed of the channel, per span, in
    // leaky sums: the high parts' squared residuals and noise variances,
    // their count, and how well the fit without a second's high part
    // foretold it.
    struct Channel {
        double highResidual = 0.0, highNoise = 0.0, highCount = 0.0, predictionError = 0.0;
        // The variance of the full carrier's level about the fit, beyond the
        // noise, at a level of `amplitude`.
        double Variance(double amplitude) const;
    };
    Fit FitLevel(const LevelTerm* terms, int count, int span, double model, Symbol hypothesis,
                 bool blind) const;
    void Learn(const LevelTerm* terms, int count, Symbol hypothesis, double amplitude);

    const CSymbolModel& m_model;
    std::array<Channel, timecode::kLevelSpan + 1> m_channels{};  // by span; 0 unused
};

}  // namespace velto
