#pragma once

#include "dsp/SlotRow.h"

namespace velto {

// The carrier's amplitude in each of a buffer's ten slots, from the
// band-pass output of that buffer.
class CSlotMeter {
public:
    // Writes slots 10b..10b+9 of both rows from the buffer's kBufferSamples
    // filtered samples; nothing else of the rows.
    void MeasureSlots(const double* filtered, int b, SlotRow& rawRow, SlotRow& correctedRow) const;
};

}  // namespace velto
