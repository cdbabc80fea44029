#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "base/Geometry.h"
#include "health/Constants.h"

namespace velto {

// What the captured samples say about the input, whatever the sound stack.
enum class InputState {
    Unknown,       // not enough seen yet
    Good,          // content above the split (30 kHz at 96 kHz, 60 kHz at 192 kHz)
    NoUltrasound,  // nothing above it but rounding noise: a slower source resampled
    Clipping,      // samples pinned at full scale
    Silence,       // every sample the same value
};

// Figures of one analysis window.
struct InputFigures {
    double highPower = 0.0;     // mean square above the split, LSB^2
    double lowPower = 0.0;      // mean square below the split without DC, LSB^2
    double railFraction = 0.0;  // share of samples at full scale
    int peakToPeak = 0;         // LSB
};

// Judges the input from the samples of each capture buffer. A window of a few
// buffers gives a verdict; a state is taken once two windows in a row agree,
// so that the start of a stream (servers often begin with a little silence)
// does not decide alone. Cheap: the band split looks at a part of each buffer
// only, the rail and silence checks at every sample.
class CInputHealth {
public:
    explicit CInputHealth(int rate = kSampleRate);

    // Forgets what was seen, as for a new run at `rate` samples/s.
    void Reset(int rate);
    void Reset() { Reset(m_rate); }
    // One capture buffer; true when the state changed.
    bool AddBuffer(const std::int16_t* samples, std::size_t count);

    InputState State() const { return m_state; }
    // The figures of the last complete window.
    const InputFigures& Figures() const { return m_figures; }

    // The verdict on one window's figures.
    static InputState Judge(const InputFigures& figures);

private:
    void CloseWindow();
    void ClearWindow();

    int m_rate = kSampleRate;
    std::size_t m_splitLength = kHealthSplitSamples;
    std::array<double, kHealthTaps> m_taps{};
    InputState m_state = InputState::Unknown;
    InputState m_lastVerdict = InputState::Unknown;
    int m_clipHold = 0;
    InputFigures m_figures;

    int m_buffers = 0;
    std::size_t m_samples = 0;
    std::size_t m_railSamples = 0;
    int m_min = 0;
    int m_max = 0;
    std::size_t m_splitSamples = 0;
    double m_highSum = 0.0;
    double m_lowSum = 0.0;
    double m_lowSquareSum = 0.0;
};

}  // namespace velto
