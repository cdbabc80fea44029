#pragma once

#include <memory>
#include <optional>
#include <string>

#include "audio/PacedWaveIn.h"
#include "base/Geometry.h"
#include "base/Translatable.h"
#include "simulator/StationSignal.h"

namespace velto {

// Its name in the device list; the window shows it in its own language.
inline constexpr char kSimulatorName[] = VELTO_TRANSLATE_NOOP("Device", "シミュレーター (内蔵)");
// Its name while it sent JJY alone: profiles and scripts written then still
// name it so.
inline constexpr char kFormerSimulatorName[] = "JJY シミュレーター (内蔵)";

// The name a device goes by now: the simulator's former name becomes its
// present one, any other name stays as it is.
inline std::string PresentDeviceName(std::string name) {
    return name == kFormerSimulatorName ? std::string(kSimulatorName) : name;
}

// The built-in capture device: the signal of the current time of the station
// it is opened for, at 96 or 192 kHz, with some noise, one 100 ms buffer per
// 100 ms of the steady clock. Needs no sound card.
class CSimulatedWaveIn : public CPacedWaveIn {
public:
    static int Open(std::unique_ptr<IWaveIn>* handle, const WaveFormat& format, WaveInProc callback,
                    void* instance);
    ~CSimulatedWaveIn() override { Halt(); }
    // Either capture rate; a station whose carrier the rate cannot carry is
    // refused at the opening.
    static bool SupportsRate(int rate) { return rate == kSampleRate || rate == 2 * kSampleRate; }

private:
    using CPacedWaveIn::CPacedWaveIn;

    void OnStart() override;
    std::size_t Fill(std::int16_t* samples, std::size_t count) override;

    StationId m_station = StationId::Jjy40;
    int m_rate = kSampleRate;
    std::optional<CStationSignal> m_signal;
};

}  // namespace velto
