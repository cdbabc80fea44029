#include "dsp/JjySignal.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "dsp/Constants.h"

namespace velto {
namespace {

// 40 kHz at 96000 samples/s repeats every 12 samples (5 cycles).
constexpr int kCarrierPeriod = 12;
constexpr double kLowCarrier = 0.1;  // amplitude after the full-carrier part

}  // namespace

CJjySignal::CJjySignal(std::int64_t startUnixSeconds, const JjySignalOptions& options)
    : m_options(options), m_rng(options.seed) {
    const std::int64_t offset = options.startOffsetSamples;
    std::int64_t seconds = offset / kSampleRate;
    std::int64_t rest = offset % kSampleRate;
    if (rest < 0) {
        rest += kSampleRate;
        --seconds;
    }
    m_second = startUnixSeconds + seconds;
    m_sampleInSecond = static_cast<int>(rest);
    LoadMinute();
}

void CJjySignal::LoadMinute() {
    int second = 0;
    JjyTimeFromUnix(m_second, &second);
    const std::int64_t minuteStart = m_second - second;
    if (minuteStart != m_frameMinute) {
        m_frame = EncodeJjyFrame(JjyTimeFromUnix(minuteStart));
        m_frameMinute = minuteStart;
    }
    m_secondInMinute = second;
}

double CJjySignal::Envelope() const {
    const int onSamples = JjyOnSlots(m_frame[m_secondInMinute]) * kSlotSamples;
    const double full = m_options.carrierAmplitude;
    return m_sampleInSecond < onSamples ? full : kLowCarrier * full;
}

double CJjySignal::Gaussian() {
    if (m_haveSpare) {
        m_haveSpare = false;
        return m_spare;
    }
    // Box-Muller on 53-bit uniforms in (0, 1].
    const double u1 = (static_cast<double>(m_rng() >> 11) + 1.0) * 0x1.0p-53;
    const double u2 = static_cast<double>(m_rng() >> 11) * 0x1.0p-53;
    const double r = std::sqrt(-2.0 * std::log(u1));
    m_spare = r * std::sin(kTwoPi * u2);
    m_haveSpare = true;
    return r * std::cos(kTwoPi * u2);
}

void CJjySignal::Generate(std::int16_t* out, std::size_t n) {
    static const auto carrier = [] {
        std::array<double, kCarrierPeriod> table{};
        for (int i = 0; i < kCarrierPeriod; ++i) {
            table[i] = std::sin(kTwoPi * kCarrierHz * i / kSampleRate);
        }
        return table;
    }();
    const double interferenceStep = kTwoPi * m_options.interferenceHz / kSampleRate;
    for (std::size_t i = 0; i < n; ++i) {
        double v = Envelope() * carrier[m_sampleIndex % kCarrierPeriod];
        if (m_options.interferenceAmplitude != 0.0) {
            const double phase =
                std::fmod(interferenceStep * static_cast<double>(m_sampleIndex), kTwoPi);
            v += m_options.interferenceAmplitude * std::sin(phase);
        }
        if (m_options.noiseSigma > 0.0) {
            v += m_options.noiseSigma * Gaussian();
        }
        out[i] = static_cast<std::int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0)));
        ++m_sampleIndex;
        if (++m_sampleInSecond == kSampleRate) {
            m_sampleInSecond = 0;
            ++m_second;
            LoadMinute();
        }
    }
}

}  // namespace velto
