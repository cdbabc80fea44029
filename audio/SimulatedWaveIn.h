#pragma once

#include <memory>
#include <optional>

#include "audio/PacedWaveIn.h"
#include "base/Geometry.h"
#include "base/Translatable.h"
#include "simulator/JjySignal.h"

namespace velto {

// Its name in the device list; the window shows it in its own language.
inline constexpr char kSimulatorName[] =
    VELTO_TRANSLATE_NOOP("Device", "JJY シミュレーター (内蔵)");

// The built-in capture device: the JJY signal of the current time with some
// noise, one 100 ms buffer per 100 ms of the steady clock. Needs no sound card.
class CSimulatedWaveIn : public CPacedWaveIn {
public:
    static int Open(std::unique_ptr<IWaveIn>* handle, const WaveFormat& format, WaveInProc callback,
                    void* instance);
    ~CSimulatedWaveIn() override { Halt(); }
    // The signal is JJY 40 kHz at the base rate.
    static bool SupportsRate(int rate) { return rate == kSampleRate; }

private:
    using CPacedWaveIn::CPacedWaveIn;

    void OnStart() override;
    std::size_t Fill(std::int16_t* samples, std::size_t count) override;

    std::optional<CJjySignal> m_signal;
};

}  // namespace velto
