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
// true capture times; a least-squares line through those minima follows both
// the offset and the sound card's real rate.
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
        double mx = 0.0;
        double my = 0.0;
        for (int i = 0; i < nMinima; ++i) {
            mx += minima[i].x;
            my += minima[i].y;
        }
        mx /= nMinima;
        my /= nMinima;
        double sxy = 0.0;
        double sxx = 0.0;
        for (int i = 0; i < nMinima; ++i) {
            sxy += (minima[i].x - mx) * (minima[i].y - my);
            sxx += (minima[i].x - mx) * (minima[i].x - mx);
        }
        const double fitted = sxy / sxx;
        if (std::abs(fitted / m_nominalSecondsPerSample - 1.0) <= kMaxRateError) {
            slope = fitted;
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

bool CSampleClock::Ready() const { return m_count >= kMinStamps; }

bool CSampleClock::Steady(double sampleIndex) const {
    return Ready() && sampleIndex - kSteadySeconds / m_nominalSecondsPerSample >=
                          static_cast<double>(m_steadyFrom);
}

SystemTime CSampleClock::TimeOf(double sampleIndex) const {
    return m_refTime.Plus(Line(sampleIndex - static_cast<double>(m_refSample)));
}

}  // namespace velto
