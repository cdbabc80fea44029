#pragma once

#include <ctime>
#include <memory>
#include <string>

#include "clock/ClockSample.h"

namespace velto {

// The NTP shared-memory segment as ntpd's driver 28 and chrony's SHM
// reference clock read it (System V, 96 bytes on 64-bit Linux).
struct ShmTime {
    int mode;
    int count;  // bumped before and after each write (mode 1)
    std::time_t clockTimeStampSec;
    int clockTimeStampUSec;
    std::time_t receiveTimeStampSec;
    int receiveTimeStampUSec;
    int leap;
    int precision;
    int nsamples;
    int valid;
    unsigned clockTimeStampNSec;
    unsigned receiveTimeStampNSec;
    int dummy[8];
};

// Writes samples into the shared-memory segment of one unit, in mode 1: the
// reader sees count change under it when it read a write half-done. A count
// that moved between two of its own writes is another program writing the
// same unit, which is told once: the daemon takes both writers' samples.
class CShmRefclock : public IClockSampleSink {
public:
    static constexpr int kKeyBase = 0x4e545030;
    static constexpr int kMaxUnit = 255;
    // log2 of the precision claimed for each sample: about a millisecond, what a
    // sound card's timing with a calibrated delay holds.
    static constexpr int kPrecision = -10;

    // Creates the segment of `unit` with the permissions `mode`, or attaches
    // the one there is; null with one sentence in *problem when that cannot
    // be done.
    static std::unique_ptr<CShmRefclock> Attach(int unit, int mode, std::string* problem);
    ~CShmRefclock() override;
    CShmRefclock(const CShmRefclock&) = delete;
    CShmRefclock& operator=(const CShmRefclock&) = delete;

    std::optional<Warning> Send(const ClockSample& sample) override;
    long Taken() const override { return m_written; }

private:
    CShmRefclock(ShmTime* shm, int unit) : m_shm(shm), m_unit(unit) {}

    ShmTime* m_shm;
    int m_unit;
    long m_written = 0;
    std::optional<int> m_countAfter;  // as the last write left it
    bool m_toldOtherWriter = false;
};

}  // namespace velto
