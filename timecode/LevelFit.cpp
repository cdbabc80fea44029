#include "timecode/LevelFit.h"

#include <algorithm>
#include <cmath>

namespace velto {

using namespace timecode;

// Weighted least squares of mean = c * level(t) over the parts within
// `span` seconds, level(t) a line over one second on either side and a
// parabola over more (which follows a fade's turn without the bias a line
// would carry there, the same at the same second of every minute when the
// fade keeps step with it), c the share of the full carrier that
// `hypothesis` gives each part of the second judged (the neighbours' parts
// are those every symbol keys alike); `model` is the level's uncertainty
// beyond the noise. Without the second's own high part, if `blind`.
CLevelFit::Fit CLevelFit::FitLevel(const LevelTerm* terms, int count, int span, double model,
                                   Symbol hypothesis, bool blind) const {
    const int order = span >= 2 ? 3 : 2;  // coefficients of level(t)
    double a[3][3] = {}, b[3] = {}, syy = 0.0;
    Fit f;
    for (int i = 0; i < count; ++i) {
        const LevelTerm& e = terms[i];
        if (e.distance > span || (blind && e.distance == 0 && e.part == m_model.High())) continue;
        const double c =
            e.distance == 0 ? m_model.Share(hypothesis, e.part) : m_model.KnownShare(e.part);
        const double variance = e.variance + c * c * model * model;
        const double weight = 1.0 / variance;
        f.logVariance += std::log(variance);
        ++f.used;
        const double x[3] = {c, c * e.t, c * e.t * e.t};
        for (int r = 0; r < order; ++r) {
            for (int k = 0; k < order; ++k) a[r][k] += weight * x[r] * x[k];
            b[r] += weight * x[r] * e.mean;
        }
        syy += weight * e.mean * e.mean;
    }
    // Solve the normal equations by elimination; a coefficient the parts
    // cannot tell (too few of them) is left at 0.
    const double rhs[3] = {b[0], b[1], b[2]};
    double coef[3] = {};
    int solved = order;
    for (int r = 0; r < order; ++r) {
        if (!(a[r][r] > 1e-12 * std::max(a[0][0], 1e-300))) {
            solved = r;
            break;
        }
        for (int k = r + 1; k < order; ++k) {
            const double m = a[k][r] / a[r][r];
            for (int c = r; c < order; ++c) a[k][c] -= m * a[r][c];
            b[k] -= m * b[r];
        }
    }
    for (int r = solved - 1; r >= 0; --r) {
        double v = b[r];
        for (int k = r + 1; k < solved; ++k) v -= a[r][k] * coef[k];
        coef[r] = v / a[r][r];
    }
    f.level = {coef[0], coef[1], coef[2]};
    // The misfit: the weighted sum of squares less what the fit explains.
    double explained = 0.0;
    for (int r = 0; r < solved; ++r) explained += coef[r] * rhs[r];
    f.misfit = syy - explained;
    return f;
}

double CLevelFit::Channel::Variance(double amplitude) const {
    // What the high parts show beyond the noise is the level moving.
    const double excess = highCount > 0.0 ? (highResidual - highNoise) / highCount : 0.0;
    const double floor = kLevelUncertainty * amplitude;
    return std::max(excess, floor * floor);
}

int CLevelFit::Span() const {
    // A shorter fit follows faster fading; a longer one averages more noise
    // away. Whichever lately foretold the high parts best is used; two
    // seconds on either side until the channel has been seen.
    int best = 2;
    for (int span = 1; span <= kLevelSpan; ++span) {
        if (m_channels[span].predictionError < m_channels[best].predictionError) best = span;
    }
    return best;
}

void CLevelFit::Learn(const LevelTerm* terms, int count, Symbol hypothesis, double amplitude) {
    const double keep = std::exp(-1.0 / kLevelUncertaintySeconds);
    for (int span = 1; span <= kLevelSpan; ++span) {
        Channel& ch = m_channels[span];
        ch.highResidual *= keep;
        ch.highNoise *= keep;
        ch.highCount *= keep;
        ch.predictionError *= keep;
        const double model = std::sqrt(ch.Variance(amplitude));
        const Fit all = FitLevel(terms, count, span, model, hypothesis, false);
        const Fit blind = FitLevel(terms, count, span, model, hypothesis, true);
        for (int i = 0; i < count; ++i) {
            const LevelTerm& e = terms[i];
            if (e.distance != 0 || e.part != m_model.High()) continue;
            const double r = e.mean - all.Level(e.t);
            const double foretold = e.mean - blind.Level(e.t);
            ch.highResidual += r * r;
            ch.highNoise += e.variance;
            ch.highCount += 1.0;
            ch.predictionError += foretold * foretold;
        }
    }
}

SymbolScores CLevelFit::Score(const LevelTerm* terms, int count, double amplitude) {
    const int symbols = m_model.SymbolCount();
    int span = Span();
    std::array<Fit, kSymbolCount> f{};
    auto fitAll = [&] {
        const double model = std::sqrt(m_channels[span].Variance(amplitude));
        double least = 0.0;
        for (int h = 0; h < symbols; ++h) {
            f[h] = FitLevel(terms, count, span, model, m_model.SymbolAt(h), false);
            least = h == 0 ? f[h].misfit : std::min(least, f[h].misfit);
        }
        return least;
    };
    SymbolScores out;
    out.log = m_model.Erased();
    double best = fitAll();
    // The misfit of the best has f.used less two or three (a line or a
    // parabola) degrees of freedom. A neighbour that fits none (a crash, the
    // call sign's keying) is left out.
    const double misfit = kErasureChi2 + 3.0 * std::max(f[0].used - m_model.Windows(), 0);
    if (best > misfit) {
        span = 0;
        best = fitAll();
    }
    if (best > (span > 0 ? misfit : kErasureChi2)) return out;
    // -2 log-likelihood of each hypothesis.
    std::array<double, kSymbolCount> c{};
    int bestAt = 0;
    for (int h = 0; h < symbols; ++h) {
        c[h] = f[h].misfit + f[h].logVariance;
        if (c[h] < c[bestAt]) bestAt = h;
    }
    best = c[bestAt];
    if (span > 0) Learn(terms, count, m_model.SymbolAt(bestAt), amplitude);
    double sum = 0.0;
    for (int h = 0; h < symbols; ++h) sum += std::exp(-0.5 * (c[h] - best));
    const double norm = std::log(sum);
    auto clip = [](double x) { return std::max(static_cast<float>(x), kMinLogProbability); };
    for (int h = 0; h < symbols; ++h) {
        out.log[static_cast<std::size_t>(m_model.SymbolAt(h))] = clip(-0.5 * (c[h] - best) - norm);
    }
    out.erasure = false;
    out.quality = static_cast<float>(std::exp(-norm));
    return out;
}

}  // namespace velto
