#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "simulator/StationSignal.h"
#include "timecode/Decoder.h"

namespace {

struct NullSink : velto::IDecoderSink {
    void OnSecond(const velto::DecoderSecond&) override {}
    void OnMinute(const velto::DecoderMinute&) override {}
    void OnStatus(const velto::DecoderStatus&) override {}
};

// The time-code decoder's cost for one 100 ms buffer of a station at its own
// rate, on a noisy signal it is locked to (two minutes fed before timing
// starts).
void DecoderCost(benchmark::State& state, velto::StationId id) {
    const velto::Station& station = velto::GetStation(id);
    velto::StationSignalOptions options;
    options.station = id;
    options.carrierAmplitude = 1000.0;
    options.cn0DbHz = 25.0;
    options.fastNoise = true;
    velto::CStationSignal signal(1796610180, options);
    const std::size_t buffer = static_cast<std::size_t>(station.sampleRate / 10);
    constexpr int kBuffers = 1200;  // two minutes
    std::vector<std::int16_t> samples(std::size_t{kBuffers} * buffer);
    signal.Generate(samples.data(), samples.size());
    NullSink sink;
    velto::CDecoder decoder(sink, station);
    std::int64_t index = 0;
    for (int b = 0; b < kBuffers; ++b) {
        decoder.Feed(index, samples.data() + std::size_t(b) * buffer, buffer);
        index += static_cast<std::int64_t>(buffer);
    }
    int b = 0;
    for (auto _ : state) {
        decoder.Feed(index, samples.data() + std::size_t(b) * buffer, buffer);
        index += static_cast<std::int64_t>(buffer);
        b = (b + 1) % kBuffers;
    }
}

void BM_Decoder(benchmark::State& state) { DecoderCost(state, velto::StationId::Jjy40); }
BENCHMARK(BM_Decoder)->Unit(benchmark::kMicrosecond);

// WWVB at 192 kHz, whose carrier search looks at the doubled phase.
void BM_DecoderWwvb(benchmark::State& state) { DecoderCost(state, velto::StationId::Wwvb); }
BENCHMARK(BM_DecoderWwvb)->Unit(benchmark::kMicrosecond);

}  // namespace
