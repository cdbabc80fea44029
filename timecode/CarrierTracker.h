#pragma once

#include <array>
#include <complex>
#include <cstdint>

#include "timecode/CarrierChoice.h"
#include "timecode/Constants.h"
#include "timecode/Decimator.h"
#include "timecode/ToneCanceller.h"

namespace velto {

// A baseband sample after coherent detection, one second behind the input:
// `inPhase` is the carrier's amplitude along the phase reference, `quadrature`
// the part across it (noise only, when the reference is good).
struct DetectedSample {
    double inPhase;
    double quadrature;
    std::int64_t index;  // baseband index, as in BasebandSample
    bool blanked;
};

class IDetectedSink {
public:
    virtual ~IDetectedSink() = default;
    virtual void OnDetected(const DetectedSample& s) = 0;
};

// Finds the carriers within +-16 Hz (WWVB: +-13 Hz, +-26 Hz on the doubled
// phase) with a bank of leaky DFT bins and takes the one keyed once a second
// for the station's (CCarrierChoice), then follows its frequency with a loop
// on the phase advance per second, and detects each sample against a phase
// reference taken from a window centred on it (+-1 s), which follows fading
// of the phase without a loop's lag.
// The other carriers found are taken out of what is tracked and detected
// (CToneCanceller).
class CCarrierTracker {
public:
    // phaseFlips: the carrier's phase is keyed by 180 degrees (WWVB), so the
    // search and the choice take the carrier with its phase doubled, and so
    // do the phase reference and the frequency loop until the flip points
    // are known (FlipSpan); the detected amplitude's sign flips with the
    // station's code.
    CCarrierTracker(double carrierHz, int rate, bool phaseFlips = false);
    void Reset();
    void Process(const BasebandSample& s, IDetectedSink& sink);

    bool CarrierFound() const { return m_found; }
    // Counts the changes of what is detected: a carrier taken for the
    // station's, or a steady carrier beside it taken out. What was detected
    // before the latest belongs to another carrier, or holds the other.
    int Changes() const { return m_acquisitions + m_tones.Settled(); }
    // Offset of the carrier from the station's nominal one in Hz on the
    // sample clock.
    double OffsetHz() const;
    // Samples of the sound card per second of the station.
    double SamplesPerSecond() const;
    double DriftPpm() const;
    // Variance of one component of the noise on a baseband sample.
    double NoiseVariance() const { return m_noiseVar; }
    // While the signal is gone the frequency is held: the loop would follow
    // the noise, and the second's length (which the flywheel counts on)
    // comes from it.
    // Held from the frequency of some seconds before: the loss is known only
    // seconds after it, and the loop followed the noise meanwhile.
    void HoldFrequency(bool hold);
    // Where the phase flips, before each sample: the span between flip
    // points it falls in, once the second is found (known), or not yet.
    // Within a span the carrier is followed coherently, and only the sign
    // between spans is resolved.
    void FlipSpan(bool known, std::int64_t span) {
        m_spanKnown = known;
        m_nextSpan = span;
    }

private:
    // z: what the search looks at (doubled where the phase flips); plain:
    // the carrier as it comes.
    void Search(std::complex<double> z, std::complex<double> plain);
    // x: what the search looks at; plain: the carrier as it comes.
    void SearchStep(std::complex<double> x, std::complex<double> plain);
    // Beside a carrier whose phase flips: the steady carriers (Hz from the
    // nominal carrier), the strongest first.
    int SteadyCarriers(std::array<double, timecode::kChoiceCandidates>& hz) const;
    // The search bin's frequency (Hz, doubled where the phase is).
    double BinHz(double bin) const { return -m_spanHz + timecode::kSearchBinHz * bin; }
    void SearchDecide();
    void Acquire(double hz);
    void FrequencyStep();
    // Follows the spans between flip points with sample y in ring slot `slot`.
    void FollowSpans(std::complex<double> y);
    void CloseSpan();
    // The sign that turns a span's sum to the carrier's phase of the last.
    double SpanSign(std::complex<double> sum) const;
    bool Coherent() const { return m_coherent && m_count - m_coherentSince >= 2 * kHalfWindow + 1; }
    static constexpr int kHalfWindow = timecode::kPhaseHalfWindow;

    // Search bank, as real and imaginary parts apart (the compiler runs
    // through them several bins at a time); the lanes past the last bin are
    // spare. It holds a span of up to +-32 Hz: a doubled carrier of up to
    // 75 kHz on a clock kClockPpm off, and kSearchLineHz beyond.
    static constexpr int kMaxSearchBins = 641;
    static constexpr int kLanes = (kMaxSearchBins + 3) / 4 * 4;
    using Lanes = std::array<double, kLanes>;
    Lanes m_binRe{}, m_binIm{}, m_rotRe{}, m_rotIm{}, m_stepRe{}, m_stepIm{};
    Lanes m_power{};
    // Beside a carrier whose phase flips, the plain carrier's bins over a
    // short and a long coherent time, and their powers.
    Lanes m_shortRe{}, m_shortIm{}, m_longRe{}, m_longIm{}, m_shortPower{}, m_longPower{};
    // The carrier last chosen as keyed (Hz from the nominal carrier).
    static constexpr double kNoCarrier = 1e9;
    double m_keyedHz = kNoCarrier;
    double m_carrierHz;
    int m_rate;
    bool m_flips;
    // 2 where the phase is doubled (the search's hertz are then doubled too).
    double m_scale;
    // The search's span, its bins and the lanes they take, the baseband
    // samples from one of its means to the next, and its rate.
    double m_spanHz;
    int m_bins, m_lanes, m_hop;
    double m_searchRate;
    // The last kSearchMean samples it looks at, and the plain carrier's.
    std::array<std::complex<double>, timecode::kSearchMean> m_searchRing{}, m_plainRing{};
    int m_searchSlot = 0, m_searchHeld = 0, m_sinceStep = 0;
    std::int64_t m_searchSteps = 0;
    bool m_found = false;
    CCarrierChoice m_choice;
    CToneCanceller m_tones;
    int m_switchSeconds = 0;       // decisions in a row that chose another carrier
    double m_carrierKeying = 0.0;  // the tracked carrier's keying, a mean over decisions
    int m_acquisitions = 0;

    // Tracking.
    double m_omega = 0.0;  // radians per baseband sample
    std::complex<double> m_nco{1.0, 0.0}, m_ncoStep{1.0, 0.0};
    std::array<std::complex<double>, timecode::kPhaseRing> m_ring{};
    std::array<bool, timecode::kPhaseRing> m_ringBlank{};
    // The phase-doubled samples of the window, and the reference's last
    // half-angle (kept continuous: its sign is the code's alone).
    std::array<std::complex<double>, timecode::kPhaseRing> m_doubled{};
    std::complex<double> m_half{1.0, 0.0};
    // ... doubled after a mean over the last kFlipMean samples, where the
    // signal stands further above the noise (few of them hold a flip).
    static constexpr int kFlipMean = 10;
    std::array<std::complex<double>, kFlipMean> m_recentZ{}, m_recentY{};
    std::complex<double> m_sumZ{}, m_sumY{};
    std::complex<double> m_window{};
    std::int64_t m_count = 0;
    std::complex<double> m_secondSum{}, m_lastSecondSum{};
    bool m_haveLastSecond = false;
    int m_secondFill = 0;
    double m_noiseVar = 0.0;
    bool m_noiseInit = false;
    bool m_hold = false;
    std::array<double, timecode::kHoldBackSeconds> m_pastOmega{};  // per second, a ring
    std::int64_t m_seconds = 0;

    // Coherent following between flip points: the samples of closed spans
    // turned to one phase, their sum over the window, the open span's sum,
    // and the last spans' sums (turned) with the last one's centre.
    std::array<std::complex<double>, timecode::kPhaseRing> m_turned{};
    bool m_spanKnown = false;
    std::int64_t m_nextSpan = 0;
    bool m_coherent = false;
    std::int64_t m_coherentSince = 0, m_span = 0, m_spanStart = 0;
    std::complex<double> m_fixed{}, m_open{}, m_lastSpan{}, m_spanRef{};
    double m_lastCentre = 0.0;
    bool m_haveLastSpan = false, m_lastWhole = false;
};

}  // namespace velto
