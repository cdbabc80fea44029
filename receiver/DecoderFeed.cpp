#include "receiver/DecoderFeed.h"

#include "health/Warning.h"

namespace velto {

CDecoderFeed::CDecoderFeed(IDecoderSink& sink) : m_decoder(sink) {
    m_halved.reserve(static_cast<std::size_t>(kSampleRate) + 1);
}

void CDecoderFeed::Configure(const Station& station, CaptureFormat format) {
    m_title = std::string(station.title);
    if (station.id != StationId::Jjy40) {
        m_mode = Mode::None;
    } else {
        m_mode = format.BaseFactor() == 2 ? Mode::Halved : Mode::Direct;
    }
    Reset();
}

double CDecoderFeed::DecoderIndex(double captured) const {
    return m_mode == Mode::Halved ? captured / 2.0 + CHalfRate::kDelay : captured;
}

std::string CDecoderFeed::NotDecodedText() const {
    if (Decodes()) {
        return {};
    }
    return velto::NotDecodedText(m_title);
}

void CDecoderFeed::Reset() {
    m_decoder.Reset();
    m_half.Reset();
    m_next = 0;
}

void CDecoderFeed::Feed(std::int64_t first, const std::int16_t* samples, std::size_t n) {
    switch (m_mode) {
        case Mode::None:
            return;
        case Mode::Direct:
            m_decoder.Feed(first, samples, n);
            return;
        case Mode::Halved:
            break;
    }
    // Samples lost in between: the halving goes on from silence after the gap
    // and the decoder sees the gap at the halved index.
    if (first != m_next) {
        m_half.Reset();
        if (first % 2 != 0 && n > 0) {
            ++first;
            ++samples;
            --n;
        }
    }
    // Output j is the input around capture sample 2 (j - kDelay): the
    // decoder counts j, and DecoderIndex maps back.
    const std::int64_t out = (first + 1) / 2;
    m_next = first + static_cast<std::int64_t>(n);
    m_halved.resize(n / 2 + 1);
    const std::size_t got = m_half.Process(samples, n, m_halved.data());
    m_decoder.Feed(out, m_halved.data(), got);
}

}  // namespace velto
