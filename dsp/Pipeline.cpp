#include "dsp/Pipeline.h"

namespace velto {

CPipeline::CPipeline() : m_filtered(static_cast<std::size_t>(kBufferSamples), 0.0) {
    m_filter.SetTapCount(kTapCount);
}

bool CPipeline::Configure(double carrierHz, CaptureFormat format) {
    const bool fixed = carrierHz == kCarrierHz && format == kBaseFormat;
    if (!fixed && !m_bandpass.Design(carrierHz, format)) {
        return false;
    }
    m_fixedTable = fixed;
    m_carrierHz = carrierHz;
    m_format = format;
    m_meter.Configure(carrierHz, format);
    m_filtered.assign(static_cast<std::size_t>(format.BufferSamples()), 0.0);
    return true;
}

void CPipeline::StartRun() { m_slicer.StartRun(); }

void CPipeline::ProcessBuffer(const std::int16_t* samples, int b) {
    if (m_fixedTable) {
        m_filter.Apply(samples, m_filtered.data());
    } else {
        m_bandpass.Apply(samples, m_filtered.data());
    }
    m_meter.MeasureSlots(m_filtered.data(), b, m_rawRow, m_correctedRow);
    m_slicer.SliceBuffer(b, m_rawRow, m_correctedRow);
}

}  // namespace velto
