#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/CaptureFormat.h"
#include "receiver/HalfRate.h"
#include "station/Station.h"
#include "timecode/Decoder.h"

namespace velto {

// What the decoder is given of a run's input, by the station and the capture
// format. The decoder reads JJY 40 kHz at the base rate: that station at 96
// kHz goes to it as captured, at 192 kHz halved (40 kHz lies below 48 kHz,
// and the halving is exact in time: CHalfRate); any other station is not
// decoded yet and only shown. A decoder that takes other stations and rates
// plugs in here: Configure is the one place that decides.
class CDecoderFeed {
public:
    explicit CDecoderFeed(IDecoderSink& sink);

    // The station and format of the runs from now on.
    void Configure(const Station& station, CaptureFormat format);
    bool Decodes() const { return m_mode != Mode::None; }
    // The rate of the samples the decoder counts (its reports' sample
    // indices), and how many of them a capture buffer gives.
    int DecoderRate() const { return kSampleRate; }
    // The decoder's sample index of capture sample `captured`, in its rate
    // and with the halving's delay.
    double DecoderIndex(double captured) const;
    // Why nothing is decoded, for the one warning of a run; empty when it is.
    std::string NotDecodedText() const;

    // A new stream; its first sample is capture sample 0.
    void Reset();
    // Capture samples from index `first` on, in order; an index beyond the
    // expected one marks samples lost.
    void Feed(std::int64_t first, const std::int16_t* samples, std::size_t n);
    DecoderStatus Status() const { return m_decoder.Status(); }

private:
    enum class Mode { Direct, Halved, None };

    CDecoder m_decoder;
    Mode m_mode = Mode::Direct;
    std::string m_title;
    CHalfRate m_half;
    std::int64_t m_next = 0;  // the capture index the halving expects next
    std::vector<std::int16_t> m_halved;
};

}  // namespace velto
