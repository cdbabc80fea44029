#include "audio/SimulatedWaveIn.h"

#include <chrono>
#include <new>

#include "base/Geometry.h"

namespace velto {
namespace {

// A strong, clean station: the pulses are plain to see and the noise still
// shows on the raw strip.
constexpr double kCarrierAmplitude = 6000.0;
constexpr double kNoiseSigma = 600.0;

}  // namespace

int CSimulatedWaveIn::Open(std::unique_ptr<IWaveIn>* handle, const WaveFormat& format,
                           WaveInProc callback, void* instance) {
    if (!FormatFits(format) || !SupportsRate(static_cast<int>(format.samplesPerSec))) {
        return kWaveBadFormat;
    }
    std::unique_ptr<CSimulatedWaveIn> stream(new (std::nothrow) CSimulatedWaveIn(
        callback, instance, static_cast<int>(format.samplesPerSec)));
    if (!stream || !stream->Valid()) {
        return kWaveNoMemory;
    }
    *handle = std::move(stream);
    return kWaveOk;
}

// The signal starts at the current instant, part-way into its second.
void CSimulatedWaveIn::OnStart() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(now).count();
    JjySignalOptions options;
    options.carrierAmplitude = kCarrierAmplitude;
    options.noiseSigma = kNoiseSigma;
    options.startOffsetSamples = (micros % 1000000) * kSampleRate / 1000000;
    options.seed = static_cast<std::uint64_t>(micros);
    m_signal.emplace(micros / 1000000, options);
}

std::size_t CSimulatedWaveIn::Fill(std::int16_t* samples, std::size_t count) {
    m_signal->Generate(samples, count);
    return count;
}

}  // namespace velto
