#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "base/CaptureFormat.h"
#include "dsp/Bandpass.h"
#include "dsp/Constants.h"
#include "dsp/Filter.h"
#include "dsp/Slicer.h"
#include "dsp/SlotMeter.h"
#include "dsp/SlotRow.h"
#include "dsp/ToneGate.h"

namespace velto {

// The display chain: the band-pass output of the buffer in hand, the two
// 800-slot rows of AmplitudeHistory (raw and corrected amplitude), and the
// stages that fill them in order (band-pass, slot meter, slicer), with the
// tone gate that keys the monitor from the corrected row. The receiver holds
// one and drives it once per capture buffer; readers get the results
// read-only.
//
// The chain follows the station's carrier at the run's rate. JJY's 40 kHz at
// 96000 samples/s runs on the fixed coefficient table (CFilter); any other
// carrier or rate on a band-pass designed alike (CBandpass).
class CPipeline {
public:
    CPipeline();

    // The carrier and the capture format of the buffers from now on; false
    // (and the chain as it was) for a carrier the rate cannot carry. Not
    // while a run is processed.
    bool Configure(double carrierHz, CaptureFormat format);
    double CarrierHz() const { return m_carrierHz; }
    CaptureFormat Format() const { return m_format; }

    // A new run of reception: no level yet, and one estimate due in its first pass.
    void StartRun();

    // Filter, measure and slice capture buffer b (0..79) whose samples (one
    // buffer of the configured format) start at `samples`.
    void ProcessBuffer(const std::int16_t* samples, int b);

    // n playback slots for capture buffers first..first+n-1, keyed by the
    // corrected row (CToneGate).
    void GateTone(int first, int n, std::int16_t* out) const {
        m_toneGate.GateTone(first, n, m_correctedRow, m_slicer.SliceLevel(), out);
    }

    std::span<const double> Filtered() const { return m_filtered; }
    const SlotRow& RawRow() const { return m_rawRow; }
    const SlotRow& CorrectedRow() const { return m_correctedRow; }
    double SliceLevel() const { return m_slicer.SliceLevel(); }
    bool HasToneTable() const { return m_toneGate.HasToneTable(); }

private:
    double m_carrierHz = kCarrierHz;
    CaptureFormat m_format = kBaseFormat;
    bool m_fixedTable = true;
    CFilter m_filter;
    CBandpass m_bandpass;
    std::vector<double> m_filtered;
    SlotRow m_rawRow{};
    SlotRow m_correctedRow{};
    CSlotMeter m_meter;
    CSlicer m_slicer;
    CToneGate m_toneGate;
};

}  // namespace velto
