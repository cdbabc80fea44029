#include "dsp/SlotMeter.h"

#include <cmath>

#include "dsp/SineFit.h"

namespace velto {

// Each slot's amplitude comes from a sinusoid fitted through its first two
// filtered samples. Slot 0 of a buffer repeats slot 1: its own samples lie in
// the filter's start-up transient and would read about half the amplitude.
void CSlotMeter::MeasureSlots(const double* filtered, int b, SlotRow& rawRow,
                              SlotRow& correctedRow) const {
    const int first = kSlotsPerBuffer * b;
    const int slotSamples = m_format.SlotSamples();
    for (int j = 0; j < kSlotsPerBuffer; ++j) {
        const double y0 = filtered[slotSamples * j];
        const double y1 = filtered[slotSamples * j + 1];
        const double a = std::fabs(SineFitAmplitude(0.0, 1.0, y0, y1, m_carrierHz, m_format.rate));
        rawRow[first + j] = a;
        correctedRow[first + j] = a;
        if (j == 1) {
            rawRow[first] = a;
            correctedRow[first] = a;
        }
    }
}

}  // namespace velto
