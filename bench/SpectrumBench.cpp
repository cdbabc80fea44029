#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "base/Geometry.h"
#include "simulator/StationSignal.h"
#include "spectrum/SpectrumAnalyser.h"

namespace {

// What the spectrum adds to reception while its window is open: the
// analyser fed one 100 ms capture buffer, averaged over many seconds of
// simulated signal (its transforms come every 85 ms, 0.5 s and 1 s).
void BM_Spectrum(benchmark::State& state) {
    constexpr int kSeconds = 30;
    static const std::vector<std::int16_t> input = [] {
        velto::StationSignalOptions o;
        o.cn0DbHz = 40.0;
        o.humAmplitude = 100.0;
        o.fastNoise = true;
        velto::CStationSignal signal(1796642160, o);
        std::vector<std::int16_t> samples(std::size_t{velto::kSampleRate} * kSeconds);
        signal.Generate(samples.data(), samples.size());
        return samples;
    }();
    velto::CSpectrumAnalyser analyser(velto::SpectrumOptions{});
    std::size_t at = 0;
    for (auto _ : state) {
        analyser.Feed(input.data() + at, velto::kBufferSamples);
        at = (at + velto::kBufferSamples) % input.size();
    }
    // What the window reads once a second, spread over its ten buffers.
    benchmark::DoNotOptimize(analyser.Carriers());
}
BENCHMARK(BM_Spectrum)->Unit(benchmark::kMicrosecond);

}  // namespace
