#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "base/Geometry.h"
#include "simulator/StationSignal.h"
#include "timecode/Decoder.h"

namespace {

struct NullSink : velto::IDecoderSink {
    void OnSecond(const velto::DecoderSecond&) override {}
    void OnMinute(const velto::DecoderMinute&) override {}
    void OnStatus(const velto::DecoderStatus&) override {}
};

// The time-code decoder's cost for one 100 ms buffer, on a noisy signal it
// is locked to (two minutes fed before timing starts).
void BM_Decoder(benchmark::State& state) {
    velto::StationSignalOptions options;
    options.carrierAmplitude = 1000.0;
    options.cn0DbHz = 25.0;
    options.fastNoise = true;
    velto::CStationSignal signal(1796610180, options);
    constexpr int kBuffers = 1200;  // two minutes
    std::vector<std::int16_t> samples(std::size_t{kBuffers} * velto::kBufferSamples);
    signal.Generate(samples.data(), samples.size());
    NullSink sink;
    velto::CDecoder decoder(sink);
    std::int64_t index = 0;
    for (int b = 0; b < kBuffers; ++b) {
        decoder.Feed(index, samples.data() + std::size_t(b) * velto::kBufferSamples,
                     velto::kBufferSamples);
        index += velto::kBufferSamples;
    }
    int b = 0;
    for (auto _ : state) {
        decoder.Feed(index, samples.data() + std::size_t(b) * velto::kBufferSamples,
                     velto::kBufferSamples);
        index += velto::kBufferSamples;
        b = (b + 1) % kBuffers;
    }
}
BENCHMARK(BM_Decoder)->Unit(benchmark::kMicrosecond);

}  // namespace
