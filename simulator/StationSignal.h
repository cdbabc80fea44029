#pragma once

#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "station/FrameEncoder.h"
#include "station/Station.h"

namespace velto {

struct StationSignalOptions {
    // The station sent, at this sample rate (0: the station's own; a carrier
    // above half the rate comes out as its alias).
    StationId station = StationId::Jjy40;
    int sampleRate = 0;
    double carrierAmplitude = 10000.0;  // full-carrier amplitude, 16-bit units
    double noiseSigma = 0.0;            // white Gaussian noise, 16-bit units
    double interferenceHz = 0.0;        // optional interfering sine
    double interferenceAmplitude = 0.0;
    // Sample 0 lies this many samples after the start second, so the signal
    // need not begin on a second boundary.
    std::int64_t startOffsetSamples = 0;
    std::uint64_t seed = 1;

    // What real reception brings; all off by default.
    // > 0: white noise for this C/N0 in dB-Hz, replacing noiseSigma:
    // C/N0 = 10 log10(A^2 * rate / (4 sigma^2)), A the carrier amplitude
    // (the noise spread over 0 .. rate / 2).
    double cn0DbHz = 0.0;
    // A faster Gaussian generator (table and tail) for long simulations.
    bool fastNoise = false;
    // Slow fading of the amplitude: 1 + depth * sin(2 pi t / period).
    double fadingDepth = 0.0;
    double fadingPeriodSeconds = 30.0;
    // Random fading: a steady path plus a scattered one with power 1/K of
    // it, changing over about 1 / (2 pi bandwidth) seconds; K < 0 is off.
    double ricianK = -1.0;
    double ricianBandwidthHz = 0.05;
    // Lightning crashes: bursts of this peak amplitude, so many per second.
    double impulseRate = 0.0;
    double impulseAmplitude = 20000.0;
    // The sound card's clock is this many ppm fast: the carrier appears
    // lower and a station second spans more samples.
    double clockPpm = 0.0;
    // Mains hum with its 3rd and 5th harmonics.
    double humAmplitude = 0.0;
    double humHz = 50.0;
    // JJY: minutes 15 and 45 carry the call sign "JJY" in Morse in seconds
    // 40..48 (keyed 0..100 %) and the service notice ST1..ST6 in seconds
    // 50..55.
    bool callSignMinutes = false;
    // JJY's ST1..ST6 (ST1 is bit 5, ST6 bit 0); DCF77's seconds 1..15
    // (second 1 is bit 0).
    std::uint16_t serviceBits = 0;
    // A leap second at the end of the UTC month whose last second ends at
    // leapUtc (Unix time of the following 00:00:00 UTC): 1 insert, 2 delete.
    // The station announces it as its format says (JJY's LS1 and LS2
    // through that month).
    std::int64_t leapUtc = 0;
    int leapKind = 0;
    // A splice nobody reports (a sound card or link that drops samples, a
    // recording cut and joined): where the output reaches sample spliceAt,
    // spliceSamples > 0 samples of the signal are skipped, or -spliceSamples
    // samples of silence (0) are put in, and the signal goes on after them.
    std::int64_t spliceAt = -1;
    std::int64_t spliceSamples = 0;
    // An unkeyed carrier (a switching supply, other equipment) this far from
    // the station's carrier, on the station's clock like JJY, so that it stays
    // as far from JJY whatever the sound card's clock; at a phase drawn from
    // the seed.
    double steadyCarrierOffsetHz = 0.0;
    double steadyCarrierAmplitude = 0.0;
    // Gain in front of the 16-bit converter: above 1 with a strong signal,
    // the input clips (overdrive).
    double gain = 1.0;
};

// A station's received signal as 16-bit mono samples, generated sample by
// sample from a start time from the station's data (its carrier, keying,
// frames and, for WWVB, its carrier's 180 degree phase flips); deterministic
// for a seed. JJY 40 kHz at 96 kHz is the program's first signal.
class CStationSignal {
public:
    CStationSignal(std::int64_t startUnixSeconds, const StationSignalOptions& options);

    // Writes the next n samples and advances.
    void Generate(std::int16_t* out, std::size_t n);

    // Unix time (whole seconds) and sample within that second of the next
    // sample Generate writes. An inserted leap second carries the Unix time
    // of the second that follows it.
    std::int64_t NextSecond() const { return m_minuteUnix + m_secondInMinute; }
    int NextSampleInSecond() const { return static_cast<int>(m_inSecond); }
    int NextSecondInMinute() const { return m_secondInMinute; }

    // Sample index of the on-time point of the k-th station second after the
    // start second (k = 0 is the start second; leap seconds count), in the
    // output, a splice included.
    double OnTimeSample(std::int64_t k) const;
    // The index a point of the output would have had without the splice
    // (inserted silence: where it was put in).
    double UnsplicedSample(double outputIndex) const;
    // Samples per station second.
    double SamplesPerSecond() const { return m_secondSamples; }
    int SampleRate() const { return m_rate; }
    const Station& GetStationSent() const { return m_station; }
    // Noise standard deviation in use.
    double NoiseSigma() const { return m_noiseSigma; }

private:
    void LoadMinute();
    void NextStationSecond();
    double NextValue();
    // The carrier's amplitude now, negative while its phase is flipped.
    double Envelope() const;
    // WWVB's phase bit of the minute's second (drawn from the time).
    bool PhaseBit(int secondInMinute) const;
    double Gaussian();
    double FastGaussian();
    std::uint64_t Next64();
    std::complex<double> ChannelGain();

    StationSignalOptions m_options;
    const Station& m_station;
    int m_rate;
    FrameOptions m_frameOptions;
    double m_secondSamples;
    double m_noiseSigma;
    std::int64_t m_minuteUnix = 0;
    int m_secondInMinute = 0;
    double m_inSecond = 0.0;         // samples since the current second's on-time point
    std::int64_t m_sampleIndex = 0;  // of the signal, as sent: a splice skips or holds it
    std::int64_t m_outputIndex = 0;
    Frame m_frame;
    int m_morseFirst = 0;  // the call sign's first second
    std::mt19937_64 m_rng;
    bool m_haveSpare = false;
    double m_spare = 0.0;
    std::uint64_t m_fastState;
    // The carrier over its period of whole samples (12 for 40 kHz at 96 kHz),
    // and stepped on when the clock is off.
    std::vector<double> m_tableSin, m_tableCos;
    double m_crashDecaySamples;
    int m_fadingStep;
    std::complex<double> m_carrier{0.0, 1.0}, m_carrierStep{1.0, 0.0};
    std::complex<double> m_scatter{};
    std::complex<double> m_gain{1.0, 0.0};
    std::array<std::complex<double>, 3> m_hum{}, m_humStep{};
    std::complex<double> m_steady{}, m_steadyStep{1.0, 0.0};
    double m_impulseLeft = 0.0;  // samples to the next crash
    double m_burst = 0.0;        // amplitude of the crash going on
};

}  // namespace velto
