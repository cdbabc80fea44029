#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "timecode/DecoderEvents.h"

namespace velto {

class CDecoderChain;

// The JJY time-code decoder: a consumer of the raw 96 kHz samples beside the
// display chain. It tracks the carrier coherently, finds the second and the
// minute, and combines the soft evidence of many minutes into the date and
// time, which it reports only when the evidence is decisive.
//
// Feed calls the sink synchronously; nothing is allocated after construction
// and no thread is started.
class CDecoder {
public:
    explicit CDecoder(IDecoderSink& sink);
    ~CDecoder();
    CDecoder(const CDecoder&) = delete;
    CDecoder& operator=(const CDecoder&) = delete;

    // Samples at 96000/s with their running index. An index beyond the
    // expected next one is a gap (samples lost, time went on); an index before
    // it starts a new stream.
    void Feed(std::int64_t firstSample, const std::int16_t* samples, std::size_t n);
    void Reset();
    DecoderStatus Status() const;

private:
    std::unique_ptr<CDecoderChain> m_chain;
};

}  // namespace velto
