#include "audio/SimulatedWaveIn.h"

#include <new>
#include <system_error>

#include "dsp/Constants.h"

namespace velto {
namespace {

// A strong, clean station: the pulses are plain to see and the noise still
// shows on the raw strip.
constexpr double kCarrierAmplitude = 6000.0;
constexpr double kNoiseSigma = 600.0;

constexpr std::chrono::milliseconds kBufferPeriod(kBufferMs);

}  // namespace

CSimulatedWaveIn::CSimulatedWaveIn(WaveInProc callback, void* instance)
    : m_queue(callback, instance), m_samples(new (std::nothrow) std::int16_t[kBufferSamples]) {}

int CSimulatedWaveIn::Open(std::unique_ptr<IWaveIn>* handle, const WaveFormat& format,
                           WaveInProc callback, void* instance) {
    if (format.channels != 1 || format.bitsPerSample != kBitsPerSample ||
        format.samplesPerSec != static_cast<std::uint32_t>(kSampleRate)) {
        return kWaveBadFormat;
    }
    std::unique_ptr<CSimulatedWaveIn> stream(new (std::nothrow)
                                                 CSimulatedWaveIn(callback, instance));
    if (!stream || !stream->m_samples) {
        return kWaveNoMemory;
    }
    *handle = std::move(stream);
    return kWaveOk;
}

CSimulatedWaveIn::~CSimulatedWaveIn() { Halt(); }

int CSimulatedWaveIn::AddBuffer(WaveHeader* header) {
    return m_open ? m_queue.Add(header) : kWaveInvalidHandle;
}

int CSimulatedWaveIn::Start() {
    if (!m_open) {
        return kWaveInvalidHandle;
    }
    if (m_running) {
        return kWaveOk;
    }
    // The signal starts at the current instant, part-way into its second.
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(now).count();
    const std::int64_t second = micros / 1000000;
    JjySignalOptions options;
    options.carrierAmplitude = kCarrierAmplitude;
    options.noiseSigma = kNoiseSigma;
    options.startOffsetSamples = (micros % 1000000) * kSampleRate / 1000000;
    options.seed = static_cast<std::uint64_t>(micros);
    m_signal.emplace(second, options);
    m_stop = false;
    try {
        m_thread = std::thread(&CSimulatedWaveIn::Run, this, std::chrono::steady_clock::now());
    } catch (const std::system_error&) {
        return kWaveNoMemory;
    }
    m_running = true;
    return kWaveOk;
}

// Buffer k covers the k-th 100 ms after the start and is delivered when that
// time is over; a late wake-up catches up rather than drifting.
void CSimulatedWaveIn::Run(std::chrono::steady_clock::time_point start) {
    for (std::int64_t k = 1;; ++k) {
        {
            std::unique_lock lock(m_wakeMutex);
            if (m_wake.wait_until(lock, start + k * kBufferPeriod, [this] { return m_stop; })) {
                return;
            }
        }
        m_signal->Generate(m_samples.get(), kBufferSamples);
        m_queue.Deliver(m_samples.get(), kBufferSamples);
    }
}

void CSimulatedWaveIn::Halt() {
    if (!m_running) {
        return;
    }
    {
        const std::lock_guard lock(m_wakeMutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
    m_running = false;
}

int CSimulatedWaveIn::Reset() {
    if (!m_open) {
        return kWaveInvalidHandle;
    }
    Halt();
    m_queue.ReturnQueued();
    return kWaveOk;
}

int CSimulatedWaveIn::Close() {
    if (!m_open) {
        return kWaveInvalidHandle;
    }
    Halt();
    m_open = false;
    return kWaveOk;
}

}  // namespace velto
