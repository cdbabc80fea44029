#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "station/Station.h"
#include "timecode/DecoderEvents.h"

namespace velto {

class CDecoderChain;

// The time-code decoder: a consumer of the raw samples (96 or 192 kHz)
// beside the display chain, for the station it is made for (its carrier,
// keying, frame and civil time from station/). It tracks the carrier coherently, finds
// the second and the minute, and combines the soft evidence of many minutes into the date and time,
// which it reports only when the evidence is decisive.
//
// Feed calls the sink synchronously; nothing is allocated after construction
// and no thread is started.
class CDecoder {
public:
    // The station's signal at `rate` samples per second (96 000 or 192 000;
    // 0: the station's own rate). A decoder for what it cannot read (Reads)
    // takes its input and reports nothing.
    explicit CDecoder(IDecoderSink& sink, const Station& station = GetStation(StationId::Jjy40),
                      int rate = 0);
    // Whether the decoder reads this station at this rate (0: the station's
    // own): 96 000 or 192 000 samples per second, the carrier below half the
    // rate.
    static bool Reads(const Station& station, int rate = 0);
    ~CDecoder();
    CDecoder(const CDecoder&) = delete;
    CDecoder& operator=(const CDecoder&) = delete;

    // Samples at the decoder's rate with their running index. An index beyond the
    // expected next one is a gap (samples lost, time went on); an index before
    // it starts a new stream.
    void Feed(std::int64_t firstSample, const std::int16_t* samples, std::size_t n);
    // Samples went missing unsaid after index `after` (the capture's clock
    // showed it): what follows may be counted any number of seconds off, so
    // the time is not shown again until the signal confirms it.
    void LoseUnsaid(std::int64_t after);
    void Reset();
    DecoderStatus Status() const;

private:
    bool m_reads;
    std::unique_ptr<CDecoderChain> m_chain;
};

}  // namespace velto
