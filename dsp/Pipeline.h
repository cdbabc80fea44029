#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "dsp/Constants.h"
#include "dsp/Filter.h"

namespace velto {

// The state of the reception chain and its steps: the band-pass output of the
// buffer in hand, the two 800-slot rows (raw and corrected amplitude), the
// slicing level and the monitor's tone table. The main frame holds one and
// calls the steps in the order of ProcessBuffer, then gates the monitor tone.
class CPipeline {
public:
    CPipeline();

    // A new run of reception: no level yet, and one estimate due in its first pass.
    void StartRun();

    // Filter, measure and slice capture buffer b (0..79) whose 9600 samples
    // start at `samples`.
    void ProcessBuffer(const std::int16_t* samples, int b);

    // Slot measurement (SlotMeter.cpp): slots 10b..10b+9 of both rows from m_filtered.
    void MeasureSlots(int b);

    // Slicer (Slicer.cpp).
    void SliceBuffer(int b);
    void EstimateSliceLevel();
    void Binarize(int b);
    void RemoveGlitches(int b);

    // Monitor tone (ToneTable.cpp): n playback slots for capture buffers
    // first..first+n-1, written from `out` on. The stores are relaxed atomic
    // so that a playback device may read the block at the same time.
    void GateTone(int first, int n, std::int16_t* out) const;

    bool HasToneTable() const { return m_toneTable != nullptr; }

    CFilter m_filter;
    std::array<double, kBufferSamples> m_filtered{};
    std::array<double, kRowSlots> m_rawRow{};
    std::array<double, kRowSlots> m_correctedRow{};
    double m_sliceLevel = kSliceLevelUnset;
    // The estimate of this pass is still to come: set by every buffer before
    // kSliceEstimateBuffer, cleared by the first one handled at or past it, so
    // that a skipped buffer 30 cannot cost the pass its level.
    bool m_levelDue = true;
    // Null when the 1.5 MB block could not be obtained; the monitor is then silent.
    std::unique_ptr<std::int16_t[]> m_toneTable;
};

}  // namespace velto
