#include "dsp/ToneGate.h"

#include <atomic>
#include <cmath>
#include <new>

#include "dsp/Constants.h"

namespace velto {

void MakeToneTable(std::int16_t* table) {
    for (int i = 0; i < kToneTableSamples; ++i) {
        const double v = std::sin((static_cast<double>(i) / kSampleRate) * kToneOmega);
        table[i] = static_cast<std::int16_t>(v * kToneAmplitude + 0.5);
    }
}

CToneGate::CToneGate() : m_toneTable(new (std::nothrow) std::int16_t[kToneTableSamples]) {
    if (m_toneTable) {
        MakeToneTable(m_toneTable.get());
    }
}

// Every slot reads table samples 0..9599, which hold whole periods, so
// consecutive slots join without a phase jump.
void CToneGate::GateTone(int first, int n, const SlotRow& correctedRow, double sliceLevel,
                         std::int16_t* out) const {
    const std::int16_t* table = m_toneTable.get();
    for (int k = first; k < first + n; ++k) {
        for (int j = 0; j < kSlotsPerBuffer; ++j) {
            const bool on = sliceLevel != kSliceLevelUnset && table != nullptr &&
                            correctedRow[(kSlotsPerBuffer * k + j) % kRowSlots] != 0.0;
            for (int i = 0; i < kSlotSamples; ++i) {
                const std::int16_t v = on ? table[kSlotSamples * j + i] : std::int16_t{0};
                std::atomic_ref<std::int16_t>(*out++).store(v, std::memory_order_relaxed);
            }
        }
    }
}

}  // namespace velto
