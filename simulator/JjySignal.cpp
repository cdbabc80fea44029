#include "simulator/JjySignal.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "base/Geometry.h"

namespace velto {
namespace {

// 40 kHz at 96000 samples/s repeats every 12 samples (5 cycles).
constexpr int kCarrierPeriod = 12;
constexpr double kLowCarrier = 0.1;          // amplitude after the full-carrier part
constexpr double kCrashDecaySamples = 28.8;  // 0.3 ms
constexpr int kFadingStep = 96;              // random fading moves once per ms

// "JJY JJY" in Morse from the start of second 40: dot 1 unit, dash 3, gaps
// of 1 within a letter, 3 between letters, 7 between words.
constexpr double kMorseUnitSeconds = 0.09;
constexpr auto kMorse = [] {
    std::array<bool, 128> key{};
    int at = 0;
    auto mark = [&](int units) {
        for (int i = 0; i < units; ++i) key[at++] = true;
        ++at;  // gap after each element
    };
    auto letter = [&](const char* code) {
        for (const char* c = code; *c != '\0'; ++c) mark(*c == '.' ? 1 : 3);
        at += 2;  // 3 in all between letters
    };
    for (int word = 0; word < 2; ++word) {
        letter(".---");
        letter(".---");
        letter("-.--");
        at += 4;  // 7 in all between words
    }
    return key;
}();

// Quantiles of the standard normal distribution at i / 4096.
constexpr int kQuantileCells = 4096;
const std::array<double, kQuantileCells + 1>& Quantiles() {
    static const auto table = [] {
        std::array<double, kQuantileCells + 1> q{};
        for (int i = 1; i < kQuantileCells; ++i) {
            const double p = double(i) / kQuantileCells;
            double lo = -10.0, hi = 10.0;
            for (int it = 0; it < 80; ++it) {
                const double mid = 0.5 * (lo + hi);
                (0.5 * std::erfc(-mid / std::sqrt(2.0)) < p ? lo : hi) = mid;
            }
            q[i] = 0.5 * (lo + hi);
        }
        return q;
    }();
    return table;
}

}  // namespace

CJjySignal::CJjySignal(std::int64_t startUnixSeconds, const JjySignalOptions& options)
    : m_options(options),
      m_secondSamples(kSampleRate * (1.0 + options.clockPpm * 1e-6)),
      m_noiseSigma(options.noiseSigma),
      m_rng(options.seed),
      m_fastState(options.seed ^ 0x9e3779b97f4a7c15ULL) {
    if (options.cn0DbHz > 0.0) {
        m_noiseSigma = options.carrierAmplitude *
                       std::sqrt(kSampleRate / (4.0 * std::pow(10.0, options.cn0DbHz / 10.0)));
    }
    const double offset = static_cast<double>(options.startOffsetSamples);
    const double seconds = std::floor(offset / m_secondSamples);
    m_inSecond = offset - seconds * m_secondSamples;
    const std::int64_t label = startUnixSeconds + static_cast<std::int64_t>(seconds);
    int second = 0;
    JjyTimeFromUnix(label, &second);
    m_minuteUnix = label - second;
    LoadMinute();
    m_secondInMinute = second;

    if (options.clockPpm != 0.0) {
        const double cycles = kCarrierHz / m_secondSamples;
        m_carrierStep = {std::cos(kTwoPi * cycles), std::sin(kTwoPi * cycles)};
        m_carrier = {1.0, 0.0};
    }
    if (options.ricianK >= 0.0) {
        m_scatter = std::complex<double>(FastGaussian(), FastGaussian()) / std::sqrt(2.0);
    }
    for (int h = 0; h < 3; ++h) {
        const double w = kTwoPi * options.humHz * (2 * h + 1) / kSampleRate;
        m_hum[h] = {1.0, 0.0};
        m_humStep[h] = {std::cos(w), std::sin(w)};
    }
    if (options.steadyCarrierAmplitude != 0.0) {
        const double cycles = (kCarrierHz + options.steadyCarrierOffsetHz) / m_secondSamples;
        m_steadyStep = {std::cos(kTwoPi * cycles), std::sin(kTwoPi * cycles)};
        const double phase = kTwoPi * static_cast<double>(Next64() >> 11) * 0x1.0p-53;
        m_steady = {std::cos(phase), std::sin(phase)};
    }
    if (options.impulseRate > 0.0) {
        m_impulseLeft = -std::log((static_cast<double>(Next64() >> 11) + 1.0) * 0x1.0p-53) *
                        kSampleRate / options.impulseRate;
    }
}

double CJjySignal::OnTimeSample(std::int64_t k) const {
    const double sent = static_cast<double>(k) * m_secondSamples -
                        static_cast<double>(m_options.startOffsetSamples);
    const double at = static_cast<double>(m_options.spliceAt);
    if (m_options.spliceAt < 0 || sent < at) return sent;
    return sent - static_cast<double>(m_options.spliceSamples);
}

double CJjySignal::UnsplicedSample(double outputIndex) const {
    const double at = static_cast<double>(m_options.spliceAt);
    const auto splice = static_cast<double>(m_options.spliceSamples);
    if (m_options.spliceAt < 0 || outputIndex < at) return outputIndex;
    if (splice < 0.0 && outputIndex < at - splice) return at;
    return outputIndex + splice;
}

void CJjySignal::LoadMinute() {
    const JjyTime time = JjyTimeFromUnix(m_minuteUnix);
    const JjyFrame frame = EncodeJjyFrame(time);
    std::copy(frame.begin(), frame.end(), m_symbols.begin());
    m_minuteLength = 60;
    const std::int64_t leap = m_options.leapUtc;
    if (m_options.leapKind != 0 && m_minuteUnix < leap) {
        // Announced through the UTC month that ends with the leap second.
        const JjyTime lastDay = JjyTimeFromUnix(leap - 1 - kJstOffsetSeconds);  // UTC civil
        const JjyTime now = JjyTimeFromUnix(m_minuteUnix - kJstOffsetSeconds);
        if (now.year == lastDay.year && now.month == lastDay.month) {
            m_symbols[53] = JjySymbol::One;
            m_symbols[54] = m_options.leapKind == 1 ? JjySymbol::One : JjySymbol::Zero;
        }
        if (m_minuteUnix + 60 == leap) {
            if (m_options.leapKind == 1) {
                m_minuteLength = 61;
                m_symbols[59] = JjySymbol::Zero;
                m_symbols[60] = JjySymbol::Marker;
            } else {
                m_minuteLength = 59;
                m_symbols[58] = JjySymbol::Marker;
            }
        }
    }
    m_callSign = m_options.callSignMinutes && JjyCallSignMinute(time.minute);
    if (m_callSign) {
        for (int s = kJjyMorseFirstSecond; s <= kJjyMorseLastSecond; ++s) {
            m_symbols[s] = JjySymbol::Zero;
        }
        for (int b = 0; b < 6; ++b) {
            const bool one = (m_options.serviceBits >> (5 - b)) & 1;
            m_symbols[50 + b] = one ? JjySymbol::One : JjySymbol::Zero;
        }
    }
}

void CJjySignal::NextStationSecond() {
    if (++m_secondInMinute == m_minuteLength) {
        m_minuteUnix += 60;
        m_secondInMinute = 0;
        LoadMinute();
    }
}

double CJjySignal::Envelope() const {
    const double full = m_options.carrierAmplitude;
    const double scale = m_secondSamples / kSampleRate;
    if (m_callSign && JjyMorseSecond(m_secondInMinute)) {
        const double t = (m_secondInMinute - kJjyMorseFirstSecond) + m_inSecond / m_secondSamples;
        const auto unit = static_cast<std::size_t>(t / kMorseUnitSeconds);
        return unit < kMorse.size() && kMorse[unit] ? full : 0.0;
    }
    const double onSamples = JjyOnSlots(m_symbols[m_secondInMinute]) * kSlotSamples * scale;
    return m_inSecond < onSamples ? full : kLowCarrier * full;
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

std::uint64_t CJjySignal::Next64() {
    // splitmix64
    std::uint64_t z = (m_fastState += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

double CJjySignal::FastGaussian() {
    // Inverse distribution function by table within 4094 equal-probability
    // cells; the two outer cells draw exactly from the tails (Marsaglia).
    const auto& q = Quantiles();
    const std::uint64_t u = Next64();
    const int cell = static_cast<int>(u >> 52);
    if (cell > 0 && cell < kQuantileCells - 1) {
        const double f = static_cast<double>((u >> 20) & 0xffffffffULL) * 0x1.0p-32;
        return q[cell] + f * (q[cell + 1] - q[cell]);
    }
    const double r = q[kQuantileCells - 1];
    double x = 0.0, y = 0.0;
    do {
        x = -std::log((static_cast<double>(Next64() >> 11) + 1.0) * 0x1.0p-53) / r;
        y = -std::log((static_cast<double>(Next64() >> 11) + 1.0) * 0x1.0p-53);
    } while (2.0 * y < x * x);
    return cell == 0 ? -(r + x) : r + x;
}

std::complex<double> CJjySignal::ChannelGain() {
    double fade = 1.0;
    if (m_options.fadingDepth != 0.0) {
        const double t = static_cast<double>(m_sampleIndex) / kSampleRate;
        fade += m_options.fadingDepth * std::sin(kTwoPi * t / m_options.fadingPeriodSeconds);
    }
    if (m_options.ricianK < 0.0) return {fade, 0.0};
    if (m_sampleIndex % kFadingStep == 0) {
        const double a =
            std::exp(-kTwoPi * m_options.ricianBandwidthHz * kFadingStep / kSampleRate);
        const std::complex<double> w(FastGaussian(), FastGaussian());
        m_scatter = a * m_scatter + std::sqrt((1.0 - a * a) / 2.0) * w;
        const double k = m_options.ricianK;
        m_gain = std::sqrt(k / (k + 1.0)) + std::sqrt(1.0 / (k + 1.0)) * m_scatter;
    }
    return fade * m_gain;
}

namespace {

// The carrier's sine and cosine over its 12-sample period.
struct CarrierTable {
    std::array<double, kCarrierPeriod> sin{}, cos{};
    CarrierTable() {
        for (int i = 0; i < kCarrierPeriod; ++i) {
            sin[i] = std::sin(kTwoPi * kCarrierHz * i / kSampleRate);
            cos[i] = std::cos(kTwoPi * kCarrierHz * i / kSampleRate);
        }
    }
};

}  // namespace

void CJjySignal::Generate(std::int16_t* out, std::size_t n) {
    const std::int64_t splice = m_options.spliceSamples;
    for (std::size_t i = 0; i < n; ++i) {
        if (m_outputIndex == m_options.spliceAt && splice > 0) {
            for (std::int64_t k = 0; k < splice; ++k) NextValue();
        }
        const bool silent = splice < 0 && m_outputIndex >= m_options.spliceAt &&
                            m_outputIndex < m_options.spliceAt - splice;
        const double v = silent ? 0.0 : NextValue() * m_options.gain;
        out[i] = static_cast<std::int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0)));
        ++m_outputIndex;
    }
}

double CJjySignal::NextValue() {
    static const CarrierTable table;
    double sinPart = 0.0, cosPart = 0.0;
    if (m_options.clockPpm != 0.0) {
        sinPart = m_carrier.imag();
        cosPart = m_carrier.real();
        m_carrier *= m_carrierStep;
        if (m_sampleIndex % kSampleRate == 0) m_carrier /= std::abs(m_carrier);
    } else {
        sinPart = table.sin[m_sampleIndex % kCarrierPeriod];
        cosPart = table.cos[m_sampleIndex % kCarrierPeriod];
    }
    const std::complex<double> gain = ChannelGain();
    double v = Envelope() * sinPart * gain.real();
    if (gain.imag() != 0.0) v += Envelope() * cosPart * gain.imag();
    if (m_options.interferenceAmplitude != 0.0) {
        const double step = kTwoPi * m_options.interferenceHz / kSampleRate;
        v += m_options.interferenceAmplitude *
             std::sin(std::fmod(step * static_cast<double>(m_sampleIndex), kTwoPi));
    }
    if (m_options.steadyCarrierAmplitude != 0.0) {
        v += m_options.steadyCarrierAmplitude * m_steady.imag();
        m_steady *= m_steadyStep;
        if (m_sampleIndex % kSampleRate == 0) m_steady /= std::abs(m_steady);
    }
    if (m_options.humAmplitude != 0.0) {
        constexpr double kHarmonic[3] = {1.0, 0.3, 0.1};
        for (int h = 0; h < 3; ++h) {
            v += m_options.humAmplitude * kHarmonic[h] * m_hum[h].imag();
            m_hum[h] *= m_humStep[h];
            if (m_sampleIndex % kSampleRate == 0) m_hum[h] /= std::abs(m_hum[h]);
        }
    }
    if (m_options.impulseRate > 0.0) {
        if (--m_impulseLeft <= 0.0) {
            m_burst = m_options.impulseAmplitude;
            m_impulseLeft += -std::log((static_cast<double>(Next64() >> 11) + 1.0) * 0x1.0p-53) *
                             kSampleRate / m_options.impulseRate;
        }
        if (m_burst > 1.0) {
            v += m_burst * FastGaussian();
            m_burst *= std::exp(-1.0 / kCrashDecaySamples);
        }
    }
    if (m_noiseSigma > 0.0) {
        v += m_noiseSigma * (m_options.fastNoise ? FastGaussian() : Gaussian());
    }
    ++m_sampleIndex;
    m_inSecond += 1.0;
    if (m_inSecond >= m_secondSamples) {
        m_inSecond -= m_secondSamples;
        NextStationSecond();
    }
    return v;
}

}  // namespace velto
