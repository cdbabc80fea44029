#include "receiver/DecoderFeed.h"

namespace velto {

CDecoderFeed::CDecoderFeed(IDecoderSink& sink) : m_sink(sink) {}

CDecoderFeed::~CDecoderFeed() = default;

void CDecoderFeed::Configure(const Station& station, CaptureFormat format) {
    m_factor = format.BaseFactor();
    m_decoder = std::make_unique<CDecoder>(static_cast<IDecoderSink&>(*this), station, format.rate);
}

void CDecoderFeed::Reset() {
    if (m_decoder) m_decoder->Reset();
}

void CDecoderFeed::Feed(std::int64_t first, const std::int16_t* samples, std::size_t n) {
    if (m_decoder) m_decoder->Feed(first, samples, n);
}

void CDecoderFeed::LoseUnsaid(std::int64_t after) {
    if (m_decoder) m_decoder->LoseUnsaid(after * m_factor);
}

DecoderStatus CDecoderFeed::Status() const {
    DecoderStatus status = m_decoder ? m_decoder->Status() : DecoderStatus{};
    status.sample /= m_factor;
    return status;
}

void CDecoderFeed::OnSecond(const DecoderSecond& second) {
    DecoderSecond s = second;
    s.onTimeSample /= m_factor;
    m_sink.OnSecond(s);
}

void CDecoderFeed::OnMinute(const DecoderMinute& minute) {
    DecoderMinute m = minute;
    m.onTimeSample /= m_factor;
    m_sink.OnMinute(m);
}

void CDecoderFeed::OnStatus(const DecoderStatus& status) {
    DecoderStatus s = status;
    s.sample /= m_factor;
    m_sink.OnStatus(s);
}

void CDecoderFeed::OnEvaluation(const DecoderEvaluation& evaluation) {
    DecoderEvaluation e = evaluation;
    e.onTimeSample /= m_factor;
    m_sink.OnEvaluation(e);
}

void CDecoderFeed::OnRise(const DecoderRise& rise) {
    DecoderRise r = rise;
    r.onTimeSample /= m_factor;
    m_sink.OnRise(r);
}

}  // namespace velto
