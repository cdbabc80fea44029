#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/CaptureFormat.h"
#include "station/Station.h"
#include "timecode/Decoder.h"

namespace velto {

// The decoder of a run's input, made for the station and the capture format:
// it reads the captured samples at the capture's rate and counts them by
// their capture index, so that samples lost in between move its indices on by
// their exact number. Its reports go on to the sink with their indices at the
// base rate (a capture index divided by the rate's factor over 96000), the
// one rate the rest of the receiver, the sample clock and the views count in.
class CDecoderFeed : private IDecoderSink {
public:
    explicit CDecoderFeed(IDecoderSink& sink);
    ~CDecoderFeed() override;
    CDecoderFeed(const CDecoderFeed&) = delete;
    CDecoderFeed& operator=(const CDecoderFeed&) = delete;

    // The station and format of the runs from now on.
    void Configure(const Station& station, CaptureFormat format);
    // The base-rate index of capture sample `captured`, as the reports count.
    double DecoderIndex(double captured) const { return captured / m_factor; }

    // A new stream; its first sample is capture sample 0.
    void Reset();
    // Capture samples from index `first` on, in order; an index beyond the
    // expected one marks samples lost.
    void Feed(std::int64_t first, const std::int16_t* samples, std::size_t n);
    // Samples went missing unsaid after base-rate index `after`.
    void LoseUnsaid(std::int64_t after);
    DecoderStatus Status() const;

private:
    void OnSecond(const DecoderSecond& second) override;
    void OnMinute(const DecoderMinute& minute) override;
    void OnStatus(const DecoderStatus& status) override;
    void OnEvaluation(const DecoderEvaluation& evaluation) override;
    void OnRise(const DecoderRise& rise) override;

    IDecoderSink& m_sink;
    std::unique_ptr<CDecoder> m_decoder;
    int m_factor = 1;
};

}  // namespace velto
