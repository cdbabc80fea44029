#include "dsp/Slicer.h"

#include <array>
#include <cstdlib>

namespace velto {

int CompareDescending(const void* a, const void* b) {
    const double va = *static_cast<const double*>(a);
    const double vb = *static_cast<const double*>(b);
    return (vb > va) - (vb < va);
}

void CSlicer::StartRun() {
    m_sliceLevel = kSliceLevelUnset;
    m_levelDue = true;
}

void CSlicer::SliceBuffer(int b, const SlotRow& rawRow, SlotRow& correctedRow) {
    if (b < kSliceEstimateBuffer) {
        m_levelDue = true;
    } else if (m_levelDue) {
        m_levelDue = false;
        EstimateSliceLevel(rawRow);
    }
    Binarize(b, correctedRow);
    RemoveGlitches(b, correctedRow);
}

// The level is the eleventh-largest amplitude of the first 3 s of the pass.
// Sorted descending, 0.9 * e10 < e5 holds whenever e5 is positive, so the test
// only keeps the previous level when those slots are silent.
void CSlicer::EstimateSliceLevel(const SlotRow& rawRow) {
    std::array<double, kSliceEstimateSlots> work{};
    for (int s = 0; s < kSliceEstimateSlots; ++s) {
        work[s] = rawRow[s];
    }
    std::qsort(work.data(), work.size(), sizeof(double), CompareDescending);
    const double e10 = work[10];
    const double e5 = work[5];
    if (0.9 * e10 < e5) {
        m_sliceLevel = e10;
    }
}

void CSlicer::Binarize(int b, SlotRow& correctedRow) const {
    if (m_sliceLevel == kSliceLevelUnset) {
        return;
    }
    const int first = kSlotsPerBuffer * b;
    for (int s = first; s < first + kSlotsPerBuffer; ++s) {
        correctedRow[s] = correctedRow[s] >= 0.5 * m_sliceLevel ? m_sliceLevel : 0.0;
    }
}

// One left-to-right pass around the ring, one slot behind the newest slot:
// the buffer's last slot waits for its right neighbour in the next buffer.
void CSlicer::RemoveGlitches(int b, SlotRow& correctedRow) const {
    if (m_sliceLevel == kSliceLevelUnset) {
        return;
    }
    auto rule = [&](int l, int k, int r) {
        const bool on = correctedRow[k] != 0.0;
        const bool leftOn = correctedRow[l] != 0.0;
        const bool rightOn = correctedRow[r] != 0.0;
        if (on && !leftOn && !rightOn) {
            correctedRow[k] = 0.0;
        } else if (!on && leftOn && rightOn) {
            correctedRow[k] = m_sliceLevel;
        }
    };
    const int first = kSlotsPerBuffer * b;
    const int before = first == 0 ? kRowSlots - 1 : first - 1;
    const int beforeThat = before == 0 ? kRowSlots - 1 : before - 1;
    rule(beforeThat, before, first);
    rule(before, first, first + 1);
    for (int k = first + 1; k <= first + kSlotsPerBuffer - 2; ++k) {
        rule(k - 1, k, k + 1);
    }
}

}  // namespace velto
