#pragma once

#include "base/CaptureFormat.h"
#include "dsp/SlotRow.h"

namespace velto {

// The carrier's amplitude in each of a buffer's ten slots, from the
// band-pass output of that buffer.
class CSlotMeter {
public:
    // The carrier measured and the format of the buffers; JJY's 40 kHz at
    // 96000 samples/s until told otherwise.
    void Configure(double carrierHz, CaptureFormat format) {
        m_carrierHz = carrierHz;
        m_format = format;
    }

    // Writes slots 10b..10b+9 of both rows from the buffer's filtered
    // samples; nothing else of the rows.
    void MeasureSlots(const double* filtered, int b, SlotRow& rawRow, SlotRow& correctedRow) const;

private:
    double m_carrierHz = kCarrierHz;
    CaptureFormat m_format = kBaseFormat;
};

}  // namespace velto
