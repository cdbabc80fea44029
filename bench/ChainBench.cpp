#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "dsp/Pipeline.h"
#include "simulator/StationSignal.h"

namespace {

using velto::kBufferSamples;

// 8 s of simulated JJY with noise: realistic input for every buffer number.
const std::vector<std::int16_t>& Ring() {
    static const std::vector<std::int16_t> ring = [] {
        velto::StationSignalOptions options;
        options.noiseSigma = 500.0;
        velto::CStationSignal signal(1796610180, options);
        std::vector<std::int16_t> samples(velto::kRingSamples);
        signal.Generate(samples.data(), samples.size());
        return samples;
    }();
    return ring;
}

void BM_ApplyReference(benchmark::State& state) {
    velto::CFilter filter;
    std::vector<double> out(kBufferSamples);
    for (auto _ : state) {
        filter.ApplyReference(Ring().data(), out.data());
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_ApplyReference)->Unit(benchmark::kMicrosecond);

void BM_Apply(benchmark::State& state) {
    velto::CFilter filter;
    std::vector<double> out(kBufferSamples);
    for (auto _ : state) {
        filter.Apply(Ring().data(), out.data());
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_Apply)->Unit(benchmark::kMicrosecond);

// Each kernel this processor can run, whichever Apply picks.
void BM_ApplyWith(benchmark::State& state, velto::CFilter::Kernel kernel) {
    velto::CFilter filter;
    std::vector<double> out(kBufferSamples);
    for (auto _ : state) {
        filter.ApplyWith(kernel, Ring().data(), out.data());
        benchmark::DoNotOptimize(out.data());
    }
}

const bool kKernelsRegistered = [] {
    using Kernel = velto::CFilter::Kernel;
    const std::pair<Kernel, const char*> kernels[] = {
        {Kernel::Avx512, "avx512"}, {Kernel::Avx2, "avx2"}, {Kernel::Portable, "portable"}};
    for (const auto& [kernel, name] : kernels) {
        if (velto::CFilter::Supports(kernel)) {
            benchmark::RegisterBenchmark((std::string("BM_Apply_") + name).c_str(), BM_ApplyWith,
                                         kernel)
                ->Unit(benchmark::kMicrosecond);
        }
    }
    return true;
}();

// One reception cycle's signal work for one buffer: filter, measure, slice,
// gate one playback slot.
void BM_Cycle(benchmark::State& state) {
    velto::CPipeline pipeline;
    std::vector<std::int16_t> playback(velto::kRingSamples);
    int b = 0;
    for (auto _ : state) {
        pipeline.ProcessBuffer(Ring().data() + b * kBufferSamples, b);
        pipeline.GateTone(b, 1, playback.data() + b * kBufferSamples);
        benchmark::DoNotOptimize(playback.data());
        b = (b + 1) % velto::kRingBuffers;
    }
}
BENCHMARK(BM_Cycle)->Unit(benchmark::kMicrosecond);

// The same for a 192 kHz buffer on the band-pass designed for the carrier
// (DCF77's 77.5 kHz; the input's content does not change the cost).
void BM_Cycle192kHz(benchmark::State& state) {
    const velto::CaptureFormat format = *velto::CaptureFormat::ForRate(192000);
    velto::CPipeline pipeline;
    pipeline.Configure(77500.0, format);
    std::vector<std::int16_t> playback(velto::kRingSamples);
    const std::int16_t* input = Ring().data();  // 19200 samples of it a buffer
    int b = 0;
    for (auto _ : state) {
        pipeline.ProcessBuffer(input + (b % 40) * format.BufferSamples(), b);
        pipeline.GateTone(b, 1, playback.data() + b * kBufferSamples);
        benchmark::DoNotOptimize(playback.data());
        b = (b + 1) % velto::kRingBuffers;
    }
}
BENCHMARK(BM_Cycle192kHz)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
