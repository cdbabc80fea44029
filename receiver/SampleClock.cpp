#include "receiver/SampleClock.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace velto {
namespace {

// Fewer stamps than this (under a second of buffers) say too little.
constexpr int kMinStamps = 8;
// The fitted slope is used only over this span of samples, in seconds;
// below it the nominal rate is closer to the truth than a short fit.
constexpr double kMinFitSeconds = 6.0;
// A sound card's clock is off by some ppm, never by this much: a fit this far
// off has been misled and the nominal rate is used instead.
constexpr double kMaxRateError = 1e-3;

}  // namespace

CSampleClock::CSampleClock(double nominalRate)
    : m_nominalSecondsPerSample(1.0 / nominalRate), m_secondsPerSample(1.0 / nominalRate) {}

void CSampleClock::Reset() {
    m_count = 0;
    m_next = 0;
    m_haveRef = false;
    m_intercept = 0.0;
    m_secondsPerSample = m_nominalSecondsPerSample;
    m_lateSince.reset();
    m_lastAbove = 0.0;
    m_unsaidLoss.reset();
    m_steadyFrom = 0;
}

void CSampleClock::Shift(double seconds) {
    if (m_haveRef) {
        m_refTime = m_refTime.Plus(seconds);
        m_steadyFrom = m_lastIndex + 1;
    }
}

void CSampleClock::Restart(std::int64_t sampleIndex, const SystemTime& arrival) {
    Reset();
    m_steadyFrom = sampleIndex;
    AddStamp(sampleIndex, arrival);
}

void CSampleClock::AddStamp(std::int64_t sampleIndex, const SystemTime& arrival) {
    if (m_haveRef) {
        const double x = static_cast<double>(sampleIndex - m_refSample);
        const Stamp& last = m_stamps[(m_next + kWindow - 1) % kWindow];
        if (x <= last.x) {
            Reset();  // indices from the start again: a new stream
        } else if (Ready()) {
            const double above = arrival.SecondsAfter(m_refTime) - Line(x);
            if (above > kLateSeconds) {
                WatchLateness(above, arrival);
            }
            const bool lasting =
                above > kLateSeconds && arrival.SecondsAfter(*m_lateSince) >= kLateRunSeconds;
            if (above < -kStepSeconds || lasting) {
                const std::optional<UnsaidLoss> loss = m_unsaidLoss;  // not yet taken
                Restart(sampleIndex, arrival);
                m_unsaidLoss = loss;
                return;
            }
            if (above > kLateSeconds) {
                // Late: no stamp, and the line stays where the others put it.
                m_lastIndex = sampleIndex;
                m_steadyFrom = sampleIndex + 1;
                return;
            }
            m_lateSince.reset();
            m_lastAbove = above;
        }
    }
    m_lastIndex = sampleIndex;
    if (!m_haveRef) {
        m_haveRef = true;
        m_refSample = sampleIndex;
        m_refTime = arrival;
    }
    Stamp& s = m_stamps[m_next];
    s.x = static_cast<double>(sampleIndex - m_refSample);
    s.y = arrival.SecondsAfter(m_refTime);
    m_next = (m_next + 1) % kWindow;
    m_count = std::min(m_count + 1, kWindow);
    Fit();
}

void CSampleClock::WatchLateness(double above, const SystemTime& arrival) {
    if (!m_lateSince) {
        m_lateSince = arrival;
        m_lateAfter = m_lastIndex;
        m_leastLate = above;
        m_leastLateAt = arrival;
        // A loss, or a hold-up, starts late at once; a stream that falls
        // behind by degrees (a simulator slower than real time) does not.
        m_lossFound = above - m_lastAbove < kLateJumpSeconds;
        return;
    }
    if (above < m_leastLate - kCatchUpSeconds) {
        m_leastLate = above;
        m_leastLateAt = arrival;
    } else if (!m_lossFound && arrival.SecondsAfter(m_leastLateAt) >= kLossSeconds &&
               above < m_leastLate + kLateSeconds) {
        // Neither catching up nor falling further behind.
        m_lossFound = true;
        m_unsaidLoss = UnsaidLoss{m_lateAfter, m_leastLate};
    }
}

std::optional<CSampleClock::UnsaidLoss> CSampleClock::TakeUnsaidLoss() {
    return std::exchange(m_unsaidLoss, std::nullopt);
}

// The earliest stamp of each segment lies on, or just above, the line of the
// true capture times. A load that delays every buffer for some seconds lifts
// the minima of its segments too, and a least-squares line through all of
// them would tilt toward those; so the line is found on the lower hull of the
// minima first (the hull's edge under their middle, which late minima do not
// reach while they are fewer than half), and then fitted through the minima
// that lie within kEnvelopeSeconds of that edge. It follows both the offset
// and the sound card's real rate.
void CSampleClock::Fit() {
    const int oldest = (m_next + kWindow - m_count) % kWindow;
    std::array<Stamp, kWindow / kSegment + 1> minima{};
    int nMinima = 0;
    for (int i = 0; i < m_count; i += kSegment) {
        const int end = std::min(i + kSegment, m_count);
        Stamp best = m_stamps[(oldest + i) % kWindow];
        for (int k = i + 1; k < end; ++k) {
            const Stamp& s = m_stamps[(oldest + k) % kWindow];
            if (s.y - m_nominalSecondsPerSample * s.x <
                best.y - m_nominalSecondsPerSample * best.x) {
                best = s;
            }
        }
        minima[nMinima++] = best;
    }

    double slope = m_nominalSecondsPerSample;
    if (nMinima >= 3 &&
        (minima[nMinima - 1].x - minima[0].x) * m_nominalSecondsPerSample >= kMinFitSeconds) {
        const std::optional<double> fitted = EnvelopeSlope(minima.data(), nMinima);
        if (fitted && std::abs(*fitted / m_nominalSecondsPerSample - 1.0) <= kMaxRateError) {
            slope = *fitted;
        }
    }
    // The line goes under every segment's minimum; with the fitted slope that
    // is the lowest of them, so the line keeps to the lower envelope.
    double intercept = minima[0].y - slope * minima[0].x;
    for (int i = 1; i < nMinima; ++i) {
        intercept = std::min(intercept, minima[i].y - slope * minima[i].x);
    }
    m_secondsPerSample = slope;
    m_intercept = intercept;
}

std::optional<double> CSampleClock::EnvelopeSlope(const Stamp* minima, int n) {
    // Lower hull of the minima, which come in order of x.
    std::array<int, kWindow / kSegment + 1> hull{};
    int h = 0;
    for (int i = 0; i < n; ++i) {
        while (h >= 2) {
            const Stamp& a = minima[hull[h - 2]];
            const Stamp& b = minima[hull[h - 1]];
            const Stamp& c = minima[i];
            // b is not below the chord from a to c: not on the lower hull.
            if ((b.y - a.y) * (c.x - a.x) < (c.y - a.y) * (b.x - a.x)) break;
            --h;
        }
        hull[h++] = i;
    }
    double mx = 0.0;
    for (int i = 0; i < n; ++i) mx += minima[i].x;
    mx /= n;
    // Of the lines under every minimum, the hull's edge under their mean x is
    // the one closest to them all.
    int edge = 0;
    while (edge + 2 < h && minima[hull[edge + 1]].x <= mx) ++edge;
    const Stamp& a = minima[hull[edge]];
    const Stamp& b = minima[hull[edge + 1]];
    const double hullSlope = (b.y - a.y) / (b.x - a.x);

    // Least squares about the first minimum: x runs into the millions.
    const auto near = [&](const Stamp& s) {
        return s.y - (a.y + hullSlope * (s.x - a.x)) <= kEnvelopeSeconds;
    };
    double sx = 0.0;
    double sy = 0.0;
    int used = 0;
    for (int i = 0; i < n; ++i) {
        if (!near(minima[i])) continue;
        sx += minima[i].x - minima[0].x;
        sy += minima[i].y - minima[0].y;
        ++used;
    }
    if (used < 3) return hullSlope;
    const double cx = sx / used;
    const double cy = sy / used;
    double sxx = 0.0;
    double sxy = 0.0;
    for (int i = 0; i < n; ++i) {
        if (!near(minima[i])) continue;
        const double dx = minima[i].x - minima[0].x - cx;
        sxx += dx * dx;
        sxy += dx * (minima[i].y - minima[0].y - cy);
    }
    if (sxx <= 0.0) return std::nullopt;
    return sxy / sxx;
}

bool CSampleClock::Ready() const { return m_count >= kMinStamps; }

bool CSampleClock::Steady(double sampleIndex) const {
    return Ready() && sampleIndex - kSteadySeconds / m_nominalSecondsPerSample >=
                          static_cast<double>(m_steadyFrom);
}

SystemTime CSampleClock::TimeOf(double sampleIndex) const {
    return m_refTime.Plus(Line(sampleIndex - static_cast<double>(m_refSample)));
}

}  // namespace velto
