#include <cmath>

#include "dsp/Pipeline.h"
#include "dsp/SineFit.h"

namespace velto {

// Each slot's amplitude comes from a sinusoid fitted through its first two
// filtered samples. Slot 0 of a buffer repeats slot 1: its own samples lie in
// the filter's start-up transient and would read about half the amplitude.
void CPipeline::MeasureSlots(int b) {
    const int first = kSlotsPerBuffer * b;
    for (int j = 0; j < kSlotsPerBuffer; ++j) {
        const double y0 = m_filtered[kSlotSamples * j];
        const double y1 = m_filtered[kSlotSamples * j + 1];
        const double a = std::fabs(SineFitAmplitude(0.0, 1.0, y0, y1, kCarrierHz));
        m_rawRow[first + j] = a;
        m_correctedRow[first + j] = a;
        if (j == 1) {
            m_rawRow[first] = a;
            m_correctedRow[first] = a;
        }
    }
}

}  // namespace velto
