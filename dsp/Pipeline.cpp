#include "dsp/Pipeline.h"

#include <new>

#include "dsp/ToneTable.h"

namespace velto {

CPipeline::CPipeline() : m_toneTable(new (std::nothrow) std::int16_t[kToneTableSamples]) {
    m_filter.SetTapCount(kTapCount);
    if (m_toneTable) {
        MakeToneTable(m_toneTable.get());
    }
}

void CPipeline::StartRun() {
    m_sliceLevel = kSliceLevelUnset;
    m_levelDue = true;
}

void CPipeline::ProcessBuffer(const std::int16_t* samples, int b) {
    m_filter.Apply(samples, m_filtered.data());
    MeasureSlots(b);
    SliceBuffer(b);
}

}  // namespace velto
