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
    const auto rate = static_cast<int>(format.samplesPerSec);
    if (!FormatFits(format) || !SupportsRate(rate) ||
        GetStation(format.station).carrierHz >= rate / 2.0) {
        return kWaveBadFormat;
    }
    std::unique_ptr<CSimulatedWaveIn> stream(new (std::nothrow)
                                                 CSimulatedWaveIn(callback, instance, rate));
    if (!stream || !stream->Valid()) {
        return kWaveNoMemory;
    }
    stream->m_station = format.station;
    stream->m_rate = rate;
    *handle = std::move(stream);
    return kWaveOk;
}

// The signal starts at the current instant, part-way into its second.
void CSimulatedWaveIn::OnStart() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(now).count();
    StationSignalOptions options;
    options.station = m_station;
    options.sampleRate = m_rate;
    options.carrierAmplitude = kCarrierAmplitude;
    options.noiseSigma = kNoiseSigma;
    options.startOffsetSamples = (micros % 1000000) * m_rate / 1000000;
    options.seed = static_cast<std::uint64_t>(micros);
    m_signal.emplace(micros / 1000000, options);
}

std::size_t CSimulatedWaveIn::Fill(std::int16_t* samples, std::size_t count) {
    m_signal->Generate(samples, count);
    return count;
}

}  // namespace velto
