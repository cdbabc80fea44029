#pragma once

#include <vector>

#include "audio/WaveService.h"

namespace velto {

// The system's sound devices through PortAudio. Capture device n is the n-th
// PortAudio device that can capture, playback device n the n-th that can
// play, in PortAudio's order; WAVE_MAPPER is PortAudio's default device.
// PortAudio stays initialised for the object's life; its device list is read
// at construction and at each Refresh.
class CPortAudioService : public IWaveService {
public:
    CPortAudioService();
    ~CPortAudioService() override;
    CPortAudioService(const CPortAudioService&) = delete;
    CPortAudioService& operator=(const CPortAudioService&) = delete;

    int InGetNumDevs() override;
    std::string InGetDevName(int deviceId) override;
    int OutGetNumDevs() override;
    std::string OutGetDevName(int deviceId) override;
    bool Refresh() override;
    bool InSupportsRate(int deviceId, int rate) override;

    int InOpen(std::unique_ptr<IWaveIn>* handle, int deviceId, const WaveFormat& format,
               WaveInProc callback, void* instance) override;
    int OutOpen(std::unique_ptr<IWaveOut>* handle, int deviceId, const WaveFormat& format) override;

private:
    void ReadDevices();
    // Finds PortAudio's index of a device number; returns a result code.
    int Resolve(int deviceId, const std::vector<int>& devices, bool input, int* device) const;

    bool m_initialised = false;
    std::vector<int> m_inDevices;
    std::vector<int> m_outDevices;
};

}  // namespace velto
