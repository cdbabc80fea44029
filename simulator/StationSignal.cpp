#include "simulator/StationSignal.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>

#include "base/Geometry.h"
#include "station/Calendar.h"

namespace velto {
namespace {

constexpr double kCrashDecaySamplesAt96k = 28.8;  // 0.3 ms
constexpr int kFadingStepsPerSecond = 1000;       // random fading moves once per ms
// WWVB's phase flips fall this long after the on-time point.
constexpr double kPhaseFlipSeconds = 0.1;

// "JJY JJY" in Morse from the start of the call sign's first second: dot 1 unit, dash 3, gaps
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

CStationSignal::CStationSignal(std::int64_t startUnixSeconds, const StationSignalOptions& options)
    : m_options(options),
      m_station(GetStation(options.station)),
      m_rate(options.sampleRate > 0 ? options.sampleRate : m_station.sampleRate),
      m_secondSamples(m_rate * (1.0 + options.clockPpm * 1e-6)),
      m_noiseSigma(options.noiseSigma),
      m_rng(options.seed),
      m_fastState(options.seed ^ 0x9e3779b97f4a7c15ULL),
      m_crashDecaySamples(kCrashDecaySamplesAt96k * (m_rate / 96000.0)),
      m_fadingStep(m_rate / kFadingStepsPerSecond) {
    if (options.cn0DbHz > 0.0) {
        m_noiseSigma = options.carrierAmplitude *
                       std::sqrt(m_rate / (4.0 * std::pow(10.0, options.cn0DbHz / 10.0)));
    }
    m_frameOptions.leap = {options.leapUtc, options.leapKind};
    m_frameOptions.service = options.serviceBits;
    m_frameOptions.callSignMinutes = options.callSignMinutes;
    // The carrier repeats after a whole number of samples (40 kHz at 96 kHz:
    // 12, 77.5 kHz at 192 kHz: 384).
    const std::int64_t twiceCarrier = std::lround(2.0 * m_station.carrierHz);
    const std::int64_t twiceRate = 2 * std::int64_t{m_rate};
    const auto period = static_cast<std::size_t>(twiceRate / std::gcd(twiceRate, twiceCarrier));
    m_tableSin.resize(period);
    m_tableCos.resize(period);
    for (std::size_t i = 0; i < period; ++i) {
        const int k = static_cast<int>(i);
        m_tableSin[i] = std::sin(kTwoPi * m_station.carrierHz * k / m_rate);
        m_tableCos[i] = std::cos(kTwoPi * m_station.carrierHz * k / m_rate);
    }

    for (int second = 59; second >= 0; --second) {
        if (m_station.callSignLayout.seconds[second].field == Field::CallSign)
            m_morseFirst = second;
    }

    const double offset = static_cast<double>(options.startOffsetSamples);
    const double seconds = std::floor(offset / m_secondSamples);
    m_inSecond = offset - seconds * m_secondSamples;
    const std::int64_t label = startUnixSeconds + static_cast<std::int64_t>(seconds);
    m_minuteUnix = FloorDiv(label, 60) * 60;
    LoadMinute();
    m_secondInMinute = static_cast<int>(label - m_minuteUnix);

    if (options.clockPpm != 0.0) {
        const double cycles = m_station.carrierHz / m_secondSamples;
        m_carrierStep = {std::cos(kTwoPi * cycles), std::sin(kTwoPi * cycles)};
        m_carrier = {1.0, 0.0};
    }
    if (options.ricianK >= 0.0) {
        m_scatter = std::complex<double>(FastGaussian(), FastGaussian()) / std::sqrt(2.0);
    }
    for (int h = 0; h < 3; ++h) {
        const double w = kTwoPi * options.humHz * (2 * h + 1) / m_rate;
        m_hum[h] = {1.0, 0.0};
        m_humStep[h] = {std::cos(w), std::sin(w)};
    }
    if (options.steadyCarrierAmplitude != 0.0) {
        const double cycles =
            (m_station.carrierHz + options.steadyCarrierOffsetHz) / m_secondSamples;
        m_steadyStep = {std::cos(kTwoPi * cycles), std::sin(kTwoPi * cycles)};
        const double phase = kTwoPi * static_cast<double>(Next64() >> 11) * 0x1.0p-53;
        m_steady = {std::cos(phase), std::sin(phase)};
    }
    if (options.impulseRate > 0.0) {
        m_impulseLeft = -std::log((static_cast<double>(Next64() >> 11) + 1.0) * 0x1.0p-53) *
                        m_rate / options.impulseRate;
    }
}

double CStationSignal::OnTimeSample(std::int64_t k) const {
    const double sent = static_cast<double>(k) * m_secondSamples -
                        static_cast<double>(m_options.startOffsetSamples);
    const double at = static_cast<double>(m_options.spliceAt);
    if (m_options.spliceAt < 0 || sent < at) return sent;
    return sent - static_cast<double>(m_options.spliceSamples);
}

double CStationSignal::UnsplicedSample(double outputIndex) const {
    const double at = static_cast<double>(m_options.spliceAt);
    const auto splice = static_cast<double>(m_options.spliceSamples);
    if (m_options.spliceAt < 0 || outputIndex < at) return outputIndex;
    if (splice < 0.0 && outputIndex < at - splice) return at;
    return outputIndex + splice;
}

void CStationSignal::LoadMinute() {
    m_frame = EncodeFrame(m_station, m_minuteUnix, m_frameOptions);
}

void CStationSignal::NextStationSecond() {
    if (++m_secondInMinute == m_frame.length) {
        m_minuteUnix += 60;
        m_secondInMinute = 0;
        LoadMinute();
    }
}

bool CStationSignal::PhaseBit(int secondInMinute) const {
    // splitmix64's finaliser on the second's Unix time: a balanced code,
    // the same in every run.
    std::uint64_t z =
        static_cast<std::uint64_t>(m_minuteUnix + secondInMinute) * 0x9e3779b97f4a7c15ULL;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return ((z ^ (z >> 31)) & 1) != 0;
}

double CStationSignal::Envelope() const {
    const double full = m_options.carrierAmplitude;
    const int second = m_secondInMinute;
    double level = 1.0;
    if (m_frame.callSign && m_station.callSignLayout.seconds[second].field == Field::CallSign) {
        const double t = (second - m_morseFirst) + m_inSecond / m_secondSamples;
        const auto unit = static_cast<std::size_t>(t / kMorseUnitSeconds);
        level = unit < kMorse.size() && kMorse[unit] ? 1.0 : m_station.callSignLevel;
    } else {
        // The keyed parts' ends in samples, as whole 10 ms slots at 96 kHz
        // give them.
        const double scale = m_secondSamples / m_rate;
        const SymbolKeying& k = m_station.Keying(m_frame.symbols[second]);
        for (int p = 0; p < k.parts; ++p) {
            if (m_inSecond >= k.reduced[p].from * m_rate * scale &&
                (k.reduced[p].to >= 1.0 || m_inSecond < k.reduced[p].to * m_rate * scale)) {
                level = m_station.reducedLevel;
            }
        }
    }
    if (m_station.phaseFlips) {
        // The phase of the second before holds until its flip point.
        const bool before = m_inSecond < kPhaseFlipSeconds * m_secondSamples;
        const int bitSecond = before ? second - 1 : second;
        if (PhaseBit(bitSecond)) level = -level;
    }
    return level * full;
}

double CStationSignal::Gaussian() {
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

std::uint64_t CStationSignal::Next64() {
    // splitmix64
    std::uint64_t z = (m_fastState += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

double CStationSignal::FastGaussian() {
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

std::complex<double> CStationSignal::ChannelGain() {
    double fade = 1.0;
    if (m_options.fadingDepth != 0.0) {
        const double t = static_cast<double>(m_sampleIndex) / m_rate;
        fade += m_options.fadingDepth * std::sin(kTwoPi * t / m_options.fadingPeriodSeconds);
    }
    if (m_options.ricianK < 0.0) return {fade, 0.0};
    if (m_sampleIndex % m_fadingStep == 0) {
        const double a = std::exp(-kTwoPi * m_options.ricianBandwidthHz * m_fadingStep / m_rate);
        const std::complex<double> w(FastGaussian(), FastGaussian());
        m_scatter = a * m_scatter + std::sqrt((1.0 - a * a) / 2.0) * w;
        const double k = m_options.ricianK;
        m_gain = std::sqrt(k / (k + 1.0)) + std::sqrt(1.0 / (k + 1.0)) * m_scatter;
    }
    return fade * m_gain;
}

void CStationSignal::Generate(std::int16_t* out, std::size_t n) {
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

double CStationSignal::NextValue() {
    double sinPart = 0.0, cosPart = 0.0;
    if (m_options.clockPpm != 0.0) {
        sinPart = m_carrier.imag();
        cosPart = m_carrier.real();
        m_carrier *= m_carrierStep;
        if (m_sampleIndex % m_rate == 0) m_carrier /= std::abs(m_carrier);
    } else {
        const auto at = static_cast<std::size_t>(m_sampleIndex) % m_tableSin.size();
        sinPart = m_tableSin[at];
        cosPart = m_tableCos[at];
    }
    const std::complex<double> gain = ChannelGain();
    double v = Envelope() * sinPart * gain.real();
    if (gain.imag() != 0.0) v += Envelope() * cosPart * gain.imag();
    if (m_options.interferenceAmplitude != 0.0) {
        const double step = kTwoPi * m_options.interferenceHz / m_rate;
        v += m_options.interferenceAmplitude *
             std::sin(std::fmod(step * static_cast<double>(m_sampleIndex), kTwoPi));
    }
    if (m_options.steadyCarrierAmplitude != 0.0) {
        v += m_options.steadyCarrierAmplitude * m_steady.imag();
        m_steady *= m_steadyStep;
        if (m_sampleIndex % m_rate == 0) m_steady /= std::abs(m_steady);
    }
    if (m_options.humAmplitude != 0.0) {
        constexpr double kHarmonic[3] = {1.0, 0.3, 0.1};
        for (int h = 0; h < 3; ++h) {
            v += m_options.humAmplitude * kHarmonic[h] * m_hum[h].imag();
            m_hum[h] *= m_humStep[h];
            if (m_sampleIndex % m_rate == 0) m_hum[h] /= std::abs(m_hum[h]);
        }
    }
    if (m_options.impulseRate > 0.0) {
        if (--m_impulseLeft <= 0.0) {
            m_burst = m_options.impulseAmplitude;
            m_impulseLeft += -std::log((static_cast<double>(Next64() >> 11) + 1.0) * 0x1.0p-53) *
                             m_rate / m_options.impulseRate;
        }
        if (m_burst > 1.0) {
            v += m_burst * FastGaussian();
            m_burst *= std::exp(-1.0 / m_crashDecaySamples);
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
