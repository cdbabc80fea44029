#include "dsp/Pipeline.h"

namespace velto {

CPipeline::CPipeline() { m_filter.SetTapCount(kTapCount); }

void CPipeline::StartRun() { m_slicer.StartRun(); }

void CPipeline::ProcessBuffer(const std::int16_t* samples, int b) {
    m_filter.Apply(samples, m_filtered.data());
    m_meter.MeasureSlots(m_filtered.data(), b, m_rawRow, m_correctedRow);
    m_slicer.SliceBuffer(b, m_rawRow, m_correctedRow);
}

}  // namespace velto
