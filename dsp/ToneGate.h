#pragma once

#include <cstdint>
#include <memory>

#include "dsp/SlotRow.h"

namespace velto {

// Fills the 768000-sample monitor table: a 1600 Hz sine of amplitude 3000,
// value(i) = (int16)(sin(i / 96000 x 2 pi 1600) x 3000 + 0.5).
void MakeToneTable(std::int16_t* table);

// The monitor tone: the ToneTable keyed on and off slot by slot by the
// corrected row.
class CToneGate {
public:
    // Makes the table; without the 1.5 MB for it the monitor stays silent.
    CToneGate();

    // n playback slots for capture buffers first..first+n-1, written from
    // `out` on: silence while sliceLevel is unset. The stores are relaxed
    // atomic so that a playback device may read the block at the same time.
    void GateTone(int first, int n, const SlotRow& correctedRow, double sliceLevel,
                  std::int16_t* out) const;

    bool HasToneTable() const { return m_toneTable != nullptr; }

private:
    std::unique_ptr<std::int16_t[]> m_toneTable;
};

}  // namespace velto
