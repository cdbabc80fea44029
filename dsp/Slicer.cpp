#include "dsp/Slicer.h"

#include <array>
#include <cstdlib>

#include "dsp/Pipeline.h"

namespace velto {

int CompareDescending(const void* a, const void* b) {
    const double va = *static_cast<const double*>(a);
    const double vb = *static_cast<const double*>(b);
    return (vb > va) - (vb < va);
}

void CPipeline::SliceBuffer(int b) {
    if (b < kSliceEstimateBuffer) {
        m_levelDue = true;
    } else if (m_levelDue) {
        m_levelDue = false;
        EstimateSliceLevel();
    }
    Binarize(b);
    RemoveGlitches(b);
}

// The level is the eleventh-largest amplitude of the first 3 s of the pass.
// Sorted descending, 0.9 * e10 < e5 holds whenever e5 is positive, so the test
// only keeps the previous level when those slots are silent.
void CPipeline::EstimateSliceLevel() {
    std::array<double, kSliceEstimateSlots> work{};
    for (int s = 0; s < kSliceEstimateSlots; ++s) {
        work[s] = m_rawRow[s];
    }
    std::qsort(work.data(), work.size(), sizeof(double), CompareDescending);
    const double e10 = work[10];
    const double e5 = work[5];
    if (0.9 * e10 < e5) {
        m_sliceLevel = e10;
    }
}

void CPipeline::Binarize(int b) {
    if (m_sliceLevel == kSliceLevelUnset) {
        return;
    }
    const int first = kSlotsPerBuffer * b;
    for (int s = first; s < first + kSlotsPerBuffer; ++s) {
        m_correctedRow[s] = m_correctedRow[s] >= 0.5 * m_sliceLevel ? m_sliceLevel : 0.0;
    }
}

// One left-to-right pass around the ring, one slot behind the newest slot:
// the buffer's last slot waits for its right neighbour in the next buffer.
void CPipeline::RemoveGlitches(int b) {
    if (m_sliceLevel == kSliceLevelUnset) {
        return;
    }
    auto rule = [this](int l, int k, int r) {
        const bool on = m_correctedRow[k] != 0.0;
        const bool leftOn = m_correctedRow[l] != 0.0;
        const bool rightOn = m_correctedRow[r] != 0.0;
        if (on && !leftOn && !rightOn) {
            m_correctedRow[k] = 0.0;
        } else if (!on && leftOn && rightOn) {
            m_correctedRow[k] = m_sliceLevel;
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
