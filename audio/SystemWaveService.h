#pragma once

#include "audio/PortAudioService.h"

namespace velto {

// What the program runs on by default: the system's sound devices, with the
// built-in simulator listed after the real capture devices. The simulator
// has no playback side.
class CSystemWaveService : public IWaveService {
public:
    int InGetNumDevs() override;
    std::string InGetDevName(int deviceId) override;
    int OutGetNumDevs() override;
    std::string OutGetDevName(int deviceId) override;
    int InSimulatorId() override;
    bool InSupportsRate(int deviceId, int rate) override;
    bool Refresh() override { return m_sound.Refresh(); }

    int InOpen(std::unique_ptr<IWaveIn>* handle, int deviceId, const WaveFormat& format,
               WaveInProc callback, void* instance) override;
    int OutOpen(std::unique_ptr<IWaveOut>* handle, int deviceId, const WaveFormat& format) override;

private:
    CPortAudioService m_sound;
};

}  // namespace velto
