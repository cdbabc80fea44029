#include "timecode/Decoder.h"

#include "timecode/DecoderChain.h"

namespace velto {

CDecoder::CDecoder(IDecoderSink& sink, const Station& station, int rate)
    : m_reads(Reads(station, rate)),
      m_chain(
          std::make_unique<CDecoderChain>(sink, station, rate > 0 ? rate : station.sampleRate)) {}

CDecoder::~CDecoder() = default;

bool CDecoder::Reads(const Station& station, int rate) {
    if (rate <= 0) rate = station.sampleRate;
    return (rate == 96000 || rate == timecode::kMaxInputRate) && station.carrierHz < 0.5 * rate;
}

void CDecoder::Feed(std::int64_t firstSample, const std::int16_t* samples, std::size_t n) {
    if (m_reads) m_chain->Feed(firstSample, samples, n);
}

void CDecoder::LoseUnsaid(std::int64_t after) {
    if (m_reads) m_chain->LoseUnsaid(after);
}

void CDecoder::Reset() { m_chain->Reset(); }

DecoderStatus CDecoder::Status() const { return m_chain->Status(); }

}  // namespace velto
