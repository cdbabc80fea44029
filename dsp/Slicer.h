#pragma once

#include "dsp/Constants.h"
#include "dsp/SlotRow.h"

namespace velto {

// Turns the measured amplitudes into the on/off pulse train: once a pass has
// its slicing level, each corrected slot becomes exactly the level (on) or
// 0.0 (off), and single-slot glitches are removed.
class CSlicer {
public:
    // A new run: no level yet, and one estimate due in its first pass.
    void StartRun();

    // Buffer b's step: at the first buffer handled at or past buffer 30 of a
    // pass, the level is estimated from that pass's raw slots; then the
    // buffer's corrected slots are binarised and glitches removed up to one
    // slot behind the newest.
    void SliceBuffer(int b, const SlotRow& rawRow, SlotRow& correctedRow);
    void EstimateSliceLevel(const SlotRow& rawRow);
    void Binarize(int b, SlotRow& correctedRow) const;
    void RemoveGlitches(int b, SlotRow& correctedRow) const;

    // kSliceLevelUnset (-1.0) while there is none.
    double SliceLevel() const { return m_sliceLevel; }

private:
    double m_sliceLevel = kSliceLevelUnset;
    // The estimate of this pass is still to come: set by every buffer before
    // kSliceEstimateBuffer, cleared by the first one handled at or past it, so
    // that a skipped buffer 30 cannot cost the pass its level.
    bool m_levelDue = true;
};

// qsort comparison for a descending order of doubles. The difference is not
// truncated to int: that would be undefined for large values and would leave
// values within 1.0 of each other unordered.
int CompareDescending(const void* a, const void* b);

}  // namespace velto
