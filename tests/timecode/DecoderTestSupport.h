#pragma once

#include <cstdint>
#include <vector>

#include "dsp/JjySignal.h"
#include "timecode/Decoder.h"

namespace velto {

// Collects everything the decoder reports.
struct Recorder : IDecoderSink {
    std::vector<DecoderSecond> seconds;
    std::vector<DecoderMinute> minutes;
    std::vector<DecoderStatus> statuses;
    void OnSecond(const DecoderSecond& s) override { seconds.push_back(s); }
    void OnMinute(const DecoderMinute& m) override { minutes.push_back(m); }
    void OnStatus(const DecoderStatus& s) override { statuses.push_back(s); }
};

// Feeds `seconds` of a simulated signal in 100 ms buffers from input index
// `firstIndex` on.
inline void Simulate(CJjySignal& signal, CDecoder& decoder, double seconds, std::int64_t& index) {
    std::vector<std::int16_t> buffer(9600);
    const auto buffers = static_cast<std::int64_t>(seconds * 10.0);
    for (std::int64_t b = 0; b < buffers; ++b) {
        signal.Generate(buffer.data(), buffer.size());
        decoder.Feed(index, buffer.data(), buffer.size());
        index += static_cast<std::int64_t>(buffer.size());
    }
}

}  // namespace velto
