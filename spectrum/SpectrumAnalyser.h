#pragma once

#include <complex>
#include <cstdint>
#include <optional>
#include <vector>

#include "base/Geometry.h"
#include "spectrum/BandSpectrum.h"
#include "spectrum/CarrierFinder.h"
#include "spectrum/ComplexDecimator.h"
#include "spectrum/DelayLine.h"
#include "spectrum/Fft.h"
#include "spectrum/MixingDecimator.h"
#include "spectrum/StationMarkers.h"
#include "spectrum/Waterfall.h"

namespace velto {

struct SpectrumOptions {
    int sampleRate = kSampleRate;                  // a multiple of 1500
    int carrierHz = static_cast<int>(kCarrierHz);  // the station's nominal carrier
    // Time constant of the band's average; <= 0 averages everything fed
    // (a recording's spectrum).
    double bandAverageSeconds = 2.0;
    int waterfallLines = 300;  // seconds kept by each waterfall
};

// The band as the sound card takes it, for setting up an antenna and
// hunting interference: the averaged spectrum of the whole band with a peak
// hold, the noise floor and the carrier's level, two waterfalls around the
// carrier (+-500 Hz at 1 Hz, +-25 Hz at 0.05 Hz; one line a second), and the
// steady carriers beside the station's.
//
// Fed the raw input in order; costs nothing while not fed. Not thread-safe:
// feed it and read it on one thread. The narrow parts come from the input
// mixed to baseband and decimated in two steps (to 1500 and to 60 samples a
// second), never from transforms at the full rate.
class CSpectrumAnalyser {
public:
    static constexpr double kWideSpanHz = 500.0;
    static constexpr double kNarrowSpanHz = 25.0;
    static constexpr int kMaxCarriers = 3;

    // Throws std::invalid_argument for a rate that is no multiple of 1500 or
    // a carrier too near 0 Hz or half the rate.
    explicit CSpectrumAnalyser(const SpectrumOptions& options);

    void Feed(const std::int16_t* samples, std::size_t n);
    // The input as a receiver hands it over, `first` the index of samples[0]
    // counted from 0 at the start of a run: a new run, or samples lost or
    // not fed, clear everything first, so that no average or waterfall
    // joins what does not follow on.
    void FeedInput(std::int64_t first, const std::int16_t* samples, std::size_t n);
    // Forget everything, as for an input that starts anew.
    void Clear();

    const SpectrumOptions& Options() const { return m_options; }
    const CBandSpectrum& Band() const { return m_band; }
    CBandSpectrum& Band() { return m_band; }
    const CWaterfall& Wide() const { return m_wide; }
    const CWaterfall& Narrow() const { return m_narrow; }

    // Noise near the carrier, dB per hertz relative to a full-scale sine.
    std::optional<double> NoiseDb() const;
    // The station's full (unkeyed) carrier, dB relative to a full-scale
    // sine, once a second of baseband has come.
    std::optional<double> CarrierDb() const;
    // The carrier's level above the noise floor, dB-Hz: C/N0 as the README
    // defines it.
    std::optional<double> CarrierAboveNoiseDb() const;
    // Where the station's carrier is received, hertz from nominal (a sound
    // card's clock error moves it); nullopt while no line stands out.
    std::optional<double> StationOffsetHz() const { return m_stationOffset; }
    // Up to three steady carriers within +-500 Hz, offsets from nominal,
    // levels relative to the station's full carrier, strongest first.
    std::vector<SteadyCarrier> Carriers() const;
    // Stations' carriers in the band, and the mains hum's harmonics when
    // they stand out.
    std::vector<SpectrumMarker> Markers() const;

private:
    void OnWide(std::size_t from);
    void OnNarrow(std::size_t from);
    void WideFrame();
    void NarrowLine();
    void FullCarrierBlock();
    void LocateStation();
    std::optional<double> NoiseDensity() const;
    std::vector<CCarrierFinder::Found> FindCarriers() const;
    std::optional<double> FullCarrierPower() const;

    SpectrumOptions m_options;
    int m_wideRate, m_narrowRate;
    CBandSpectrum m_band;
    CMixingDecimator m_toWide;
    CComplexDecimator m_toNarrow;
    double m_narrowNoiseBandwidth;  // hertz, of the second step
    std::vector<std::complex<double>> m_wideOut, m_narrowOut;
    CDelayLine<std::complex<double>> m_wideLine, m_narrowLine;
    CFft m_wideFft, m_narrowFft;
    std::vector<double> m_wideWindow, m_narrowWindow;
    double m_wideDensityScale, m_narrowDensityScale, m_wideToneScale;
    std::vector<double> m_wideSum;  // densities of the line being gathered
    int m_wideFrames = 0;           // frames in m_wideSum
    std::int64_t m_wideCount = 0, m_narrowCount = 0;
    CWaterfall m_wide, m_narrow;
    std::vector<double> m_narrowAverage;  // for finding the station's line
    std::int64_t m_narrowLines = 0;
    std::optional<double> m_stationOffset;
    CCarrierFinder m_finder;
    std::vector<double> m_blockPowers;  // 100 ms blocks of narrow baseband, a ring
    std::size_t m_blocks = 0;
    std::int64_t m_nextInput = 0;  // the index FeedInput follows on at
};

}  // namespace velto
