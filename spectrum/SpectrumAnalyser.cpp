#include "spectrum/SpectrumAnalyser.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>

#include "spectrum/Level.h"
#include "spectrum/Lowpass.h"

namespace velto {
namespace {

// The two steps down to baseband: 1500 samples a second hold +-500 Hz with
// room for the filter's slope, 60 hold +-25 Hz.
constexpr int kWideRate = 1500;
constexpr int kNarrowFactor = 25;
constexpr double kStopDb = 90.0;
// Wide: 1 s transforms (1 Hz bins), half overlapping, two to a line.
constexpr int kWideFramesPerLine = 2;
// Narrow: 20 s transforms, 0.05 Hz bins, one a second.
constexpr int kNarrowSeconds = 20;
// Steady carriers are averaged over about 30 s of wide frames.
constexpr double kFinderFrames = 60.0;
// The station's own line is looked for within this reach of nominal (a
// sound card's clock 100 ppm off moves 77.5 kHz by 7.75 Hz), in the narrow
// spectrum averaged over about 10 lines; it must stand this far above the
// median there.
constexpr double kStationReachHz = 10.0;
constexpr double kNarrowAverageLines = 10.0;
constexpr double kStationStandsDb = 13.0;
// Noise near the carrier: 300 Hz to 3 kHz on either side. The keying's
// sidebands fall below the noise within a few hundred hertz, and the few
// bins they or other carriers still hold do not move the median.
constexpr double kNoiseGapHz = 300.0;
constexpr double kNoiseReachHz = 3000.0;
// The full carrier: 100 ms blocks of narrow baseband over the last 10 s,
// with the 70th percentile of their powers as a level surely of full
// carrier. Every station keys its full carrier
// for more than half of every 10 s, JJY's least being 47 %.
constexpr int kBlockSamples = 6;
constexpr std::size_t kBlocksKept = 100;
constexpr double kFullCarrierQuantile = 0.7;
// Blocks above this share of that percentile hold full carrier: the reduced
// carrier (JJY's 10 %, DCF77's 15 %) and the blocks mostly of it lie below.
constexpr double kFullCarrierShare = 0.3;

std::vector<double> NarrowTaps() {
    const double stop = double(kWideRate) / kNarrowFactor - CSpectrumAnalyser::kNarrowSpanHz;
    return KaiserLowpass(CSpectrumAnalyser::kNarrowSpanHz / kWideRate, stop / kWideRate, kStopDb);
}

std::vector<double> Hann(int n) {
    std::vector<double> w(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        w[static_cast<std::size_t>(i)] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / n);
    }
    return w;
}

double Sum(const std::vector<double>& w, bool squares) {
    double s = 0.0;
    for (double v : w) {
        s += squares ? v * v : v;
    }
    return s;
}

int Checked(const SpectrumOptions& o) {
    if (o.sampleRate <= 0 || o.sampleRate % kWideRate != 0) {
        throw std::invalid_argument("The spectrum needs a sample rate that is a multiple of " +
                                    std::to_string(kWideRate) + " Hz, not " +
                                    std::to_string(o.sampleRate) + " Hz.");
    }
    if (o.carrierHz < kWideRate || o.carrierHz > o.sampleRate / 2 - kWideRate) {
        throw std::invalid_argument("A carrier of " + std::to_string(o.carrierHz) +
                                    " Hz lies outside the band sampled at " +
                                    std::to_string(o.sampleRate) + " Hz.");
    }
    return o.sampleRate;
}

// The bin of a transform of `size` that holds `offset` bins (negative
// below 0 Hz).
std::size_t BinIndex(int offset, int size) {
    return static_cast<std::size_t>((offset % size + size) % size);
}

}  // namespace

CSpectrumAnalyser::CSpectrumAnalyser(const SpectrumOptions& options)
    : m_options(options),
      m_wideRate(kWideRate),
      m_narrowRate(kWideRate / kNarrowFactor),
      m_band(Checked(options), options.bandAverageSeconds),
      m_toWide(options.sampleRate, options.carrierHz, options.sampleRate / kWideRate,
               KaiserLowpass(kWideSpanHz / options.sampleRate,
                             (kWideRate - kWideSpanHz) / options.sampleRate, kStopDb)),
      m_toNarrow(kNarrowFactor, NarrowTaps()),
      m_narrowNoiseBandwidth(kWideRate * NoiseBandwidth(NarrowTaps())),
      m_wideLine(static_cast<std::size_t>(kWideRate)),
      m_narrowLine(static_cast<std::size_t>(m_narrowRate * kNarrowSeconds)),
      m_wideFft(kWideRate, CFft::Kind::Complex),
      m_narrowFft(m_narrowRate * kNarrowSeconds, CFft::Kind::Complex),
      m_wideWindow(Hann(kWideRate)),
      m_narrowWindow(Hann(m_narrowRate * kNarrowSeconds)),
      m_wideSum(static_cast<std::size_t>(2 * kWideSpanHz) + 1),
      m_wide(static_cast<int>(2 * kWideSpanHz) + 1, -kWideSpanHz, 1.0, options.waterfallLines),
      m_narrow(static_cast<int>(2 * kNarrowSpanHz * kNarrowSeconds) + 1, -kNarrowSpanHz,
               1.0 / kNarrowSeconds, options.waterfallLines),
      m_narrowAverage(static_cast<std::size_t>(m_narrowRate * kNarrowSeconds)),
      m_finder(kWideRate, 1.0, kFinderFrames),
      m_blockPowers(kBlocksKept) {
    // Complex periodogram |X|^2 / (rate * sum w^2), over the full-scale
    // reference: a carrier of amplitude A reads |z| = A in baseband, that is
    // A^2 / 32768^2 of a full-scale sine's power.
    const double fullScale = level::kFullScale * level::kFullScale;
    m_wideDensityScale = 1.0 / (m_wideRate * Sum(m_wideWindow, true) * fullScale);
    m_narrowDensityScale = 1.0 / (m_narrowRate * Sum(m_narrowWindow, true) * fullScale);
    const double gain = Sum(m_wideWindow, false);
    m_wideToneScale = 1.0 / (gain * gain);
    m_wideOut.reserve(1024);
    m_narrowOut.reserve(64);
}

void CSpectrumAnalyser::Clear() {
    m_band.Clear();
    m_toWide.Clear();
    m_toNarrow.Clear();
    m_wideLine.Clear();
    m_narrowLine.Clear();
    std::fill(m_wideSum.begin(), m_wideSum.end(), 0.0);
    m_wideFrames = 0;
    m_wideCount = m_narrowCount = 0;
    m_wide.Clear();
    m_narrow.Clear();
    std::fill(m_narrowAverage.begin(), m_narrowAverage.end(), 0.0);
    m_narrowLines = 0;
    m_stationOffset.reset();
    m_finder.Clear();
    m_blocks = 0;
}

void CSpectrumAnalyser::Feed(const std::int16_t* samples, std::size_t n) {
    m_band.Push(samples, n);
    m_wideOut.clear();
    m_toWide.Push(samples, n, m_wideOut);
    for (const auto& z : m_wideOut) {
        m_wideLine.Push(z);
        if (++m_wideCount % (kWideRate / kWideFramesPerLine) == 0) {
            WideFrame();
        }
    }
    m_narrowOut.clear();
    m_toNarrow.Push(m_wideOut.data(), m_wideOut.size(), m_narrowOut);
    for (const auto& z : m_narrowOut) {
        m_narrowLine.Push(z);
        ++m_narrowCount;
        if (m_narrowCount % kBlockSamples == 0) {
            FullCarrierBlock();
        }
        if (m_narrowCount % m_narrowRate == 0) {
            NarrowLine();
        }
    }
}

void CSpectrumAnalyser::FeedInput(std::int64_t first, const std::int16_t* samples, std::size_t n) {
    if (first != m_nextInput) {
        Clear();
    }
    Feed(samples, n);
    m_nextInput = first + static_cast<std::int64_t>(n);
}

void CSpectrumAnalyser::WideFrame() {
    const std::complex<double>* z = m_wideLine.Window();
    std::complex<double>* in = m_wideFft.ComplexIn();
    for (int i = 0; i < m_wideRate; ++i) {
        in[i] = z[i] * m_wideWindow[static_cast<std::size_t>(i)];
    }
    m_wideFft.Execute();
    const std::complex<double>* out = m_wideFft.Out();
    const int reach = static_cast<int>(kWideSpanHz);
    for (int k = -reach; k <= reach; ++k) {
        m_wideSum[static_cast<std::size_t>(k + reach)] +=
            std::norm(out[BinIndex(k, m_wideRate)]) * m_wideDensityScale;
    }
    if (++m_wideFrames == kWideFramesPerLine) {
        float* line = m_wide.Next();
        for (std::size_t i = 0; i < m_wideSum.size(); ++i) {
            line[i] = static_cast<float>(level::ToDb(m_wideSum[i] / kWideFramesPerLine));
        }
        m_wide.Commit();
        std::fill(m_wideSum.begin(), m_wideSum.end(), 0.0);
        m_wideFrames = 0;
    }

    // The same frame again, centred on the station's line as received, for
    // the steady carriers beside it.
    if (!m_stationOffset) {
        return;
    }
    const double step = -2.0 * std::numbers::pi * *m_stationOffset / m_wideRate;
    for (int i = 0; i < m_wideRate; ++i) {
        in[i] = z[i] * m_wideWindow[static_cast<std::size_t>(i)] * std::polar(1.0, step * i);
    }
    m_wideFft.Execute();
    m_finder.AddFrame(m_wideFft.Out(), m_wideToneScale);
}

void CSpectrumAnalyser::NarrowLine() {
    const std::complex<double>* z = m_narrowLine.Window();
    std::complex<double>* in = m_narrowFft.ComplexIn();
    const int size = m_narrowFft.Size();
    for (int i = 0; i < size; ++i) {
        in[i] = z[i] * m_narrowWindow[static_cast<std::size_t>(i)];
    }
    m_narrowFft.Execute();
    const std::complex<double>* out = m_narrowFft.Out();
    ++m_narrowLines;
    const double weight =
        std::max(1.0 / static_cast<double>(m_narrowLines), 1.0 / kNarrowAverageLines);
    for (int k = 0; k < size; ++k) {
        double& a = m_narrowAverage[static_cast<std::size_t>(k)];
        a += weight * (std::norm(out[k]) * m_narrowDensityScale - a);
    }
    float* line = m_narrow.Next();
    const int reach = (m_narrow.Bins() - 1) / 2;
    for (int k = -reach; k <= reach; ++k) {
        line[k + reach] = static_cast<float>(
            level::ToDb(std::norm(out[BinIndex(k, size)]) * m_narrowDensityScale));
    }
    m_narrow.Commit();
    // Once the 20 s window is full of input.
    if (m_narrowLines >= kNarrowSeconds) {
        LocateStation();
    }
}

void CSpectrumAnalyser::LocateStation() {
    const int size = static_cast<int>(m_narrowAverage.size());
    const double binHz = static_cast<double>(m_narrowRate) / size;
    const int reach = static_cast<int>(kStationReachHz / binHz);
    auto power = [&](int k) { return m_narrowAverage[BinIndex(k, size)]; };
    int best = 0;
    for (int k = -reach; k <= reach; ++k) {
        if (power(k) > power(best)) {
            best = k;
        }
    }
    std::vector<double> all(m_narrowAverage);
    auto middle = all.begin() + static_cast<std::ptrdiff_t>(all.size() / 2);
    std::nth_element(all.begin(), middle, all.end());
    if (!(power(best) > *middle * level::FromDb(kStationStandsDb))) {
        m_stationOffset.reset();
        return;
    }
    // The vertex of a parabola through the peak's decibels and its
    // neighbours' places the line between bins.
    const double l = level::ToDb(power(best - 1));
    const double c = level::ToDb(power(best));
    const double r = level::ToDb(power(best + 1));
    const double curve = l - 2.0 * c + r;
    const double shift = curve < 0.0 ? std::clamp(0.5 * (l - r) / curve, -0.5, 0.5) : 0.0;
    m_stationOffset = (best + shift) * binHz;
}

void CSpectrumAnalyser::FullCarrierBlock() {
    // The newest block, turned back by the station's offset so that its
    // samples add in phase.
    const std::complex<double>* z = m_narrowLine.Window() + (m_narrowLine.Length() - kBlockSamples);
    const double step = -2.0 * std::numbers::pi * m_stationOffset.value_or(0.0) / m_narrowRate;
    std::complex<double> sum;
    for (int i = 0; i < kBlockSamples; ++i) {
        sum += z[i] * std::polar(1.0, step * i);
    }
    m_blockPowers[m_blocks % kBlocksKept] = std::norm(sum / double(kBlockSamples));
    ++m_blocks;
}

std::optional<double> CSpectrumAnalyser::NoiseDensity() const {
    const double c = m_options.carrierHz;
    return m_band.NoiseDensity(c - kNoiseReachHz, c + kNoiseReachHz, c, kNoiseGapHz);
}

std::optional<double> CSpectrumAnalyser::NoiseDb() const {
    const auto n = NoiseDensity();
    if (!n) {
        return std::nullopt;
    }
    return level::ToDb(*n);
}

std::optional<double> CSpectrumAnalyser::FullCarrierPower() const {
    const std::size_t have = std::min(m_blocks, kBlocksKept);
    // A second's blocks, past the filters' first second of settling.
    if (m_narrowCount < 2 * m_narrowRate || have < 10) {
        return std::nullopt;
    }
    std::vector<double> powers(m_blockPowers.begin(),
                               m_blockPowers.begin() + static_cast<std::ptrdiff_t>(have));
    auto at = powers.begin() + static_cast<std::ptrdiff_t>(kFullCarrierQuantile * (have - 1));
    std::nth_element(powers.begin(), at, powers.end());
    // The blocks of full carrier, well above the reduced one, and their
    // median: a steady carrier nearby beats with the station's, and adds its
    // power to the median but, unlike to a high quantile, nothing more.
    const double threshold = *at * kFullCarrierShare;
    std::vector<double> full;
    for (double p : powers) {
        if (p >= threshold) {
            full.push_back(p);
        }
    }
    auto middle = full.begin() + static_cast<std::ptrdiff_t>(full.size() / 2);
    std::nth_element(full.begin(), middle, full.end());
    // Less what noise adds to a block: density (one-sided, per full scale)
    // times the narrow step's bandwidth, shared by the block's samples; and
    // less the steady carriers within that bandwidth.
    const double fullScale = level::kFullScale * level::kFullScale;
    double power =
        *middle - NoiseDensity().value_or(0.0) * fullScale * m_narrowNoiseBandwidth / kBlockSamples;
    for (const auto& c : FindCarriers()) {
        if (std::abs(c.offsetHz + m_stationOffset.value_or(0.0)) <= kNarrowSpanHz) {
            power -= c.power;
        }
    }
    return std::max(power, 0.0);
}

std::optional<double> CSpectrumAnalyser::CarrierDb() const {
    const auto power = FullCarrierPower();
    if (!power) {
        return std::nullopt;
    }
    return level::ToDb(*power / (level::kFullScale * level::kFullScale));
}

std::optional<double> CSpectrumAnalyser::CarrierAboveNoiseDb() const {
    const auto carrier = CarrierDb();
    const auto noise = NoiseDb();
    if (!carrier || !noise) {
        return std::nullopt;
    }
    return *carrier - *noise;
}

std::vector<CCarrierFinder::Found> CSpectrumAnalyser::FindCarriers() const {
    const auto noise = NoiseDensity();
    if (!noise || !m_stationOffset) {
        return {};
    }
    // Noise in one wide bin: the density times the Hann window's noise
    // bandwidth, 1.5 bins of 1 Hz.
    const double noisePerBin = *noise * level::kFullScale * level::kFullScale * 1.5;
    return m_finder.Find(noisePerBin, kWideSpanHz, kMaxCarriers);
}

std::vector<SteadyCarrier> CSpectrumAnalyser::Carriers() const {
    const auto full = FullCarrierPower();
    std::vector<SteadyCarrier> carriers;
    if (!full || *full <= 0.0) {
        return carriers;
    }
    for (const auto& c : FindCarriers()) {
        carriers.push_back({c.offsetHz + *m_stationOffset, level::ToDb(c.power / *full)});
    }
    return carriers;
}

std::vector<SpectrumMarker> CSpectrumAnalyser::Markers() const {
    std::vector<SpectrumMarker> markers = StationMarkers(m_options.sampleRate);
    std::vector<SpectrumMarker> hum = HumMarkers(DetectHum(m_band));
    markers.insert(markers.end(), hum.begin(), hum.end());
    return markers;
}

}  // namespace velto
