#include "audio/SystemWaveService.h"

#include "audio/SimulatedWaveIn.h"

namespace velto {

int CSystemWaveService::InGetNumDevs() { return m_sound.InGetNumDevs() + 1; }

std::string CSystemWaveService::InGetDevName(int deviceId) {
    return deviceId == InSimulatorId() ? std::string(kSimulatorName)
                                       : m_sound.InGetDevName(deviceId);
}

int CSystemWaveService::OutGetNumDevs() { return m_sound.OutGetNumDevs(); }

std::string CSystemWaveService::OutGetDevName(int deviceId) {
    return m_sound.OutGetDevName(deviceId);
}

int CSystemWaveService::InSimulatorId() { return m_sound.InGetNumDevs(); }

bool CSystemWaveService::InSupportsRate(int deviceId, int rate) {
    return deviceId == InSimulatorId() ? CSimulatedWaveIn::SupportsRate(rate)
                                       : m_sound.InSupportsRate(deviceId, rate);
}

int CSystemWaveService::InOpen(std::unique_ptr<IWaveIn>* handle, int deviceId,
                               const WaveFormat& format, WaveInProc callback, void* instance) {
    if (deviceId == InSimulatorId()) {
        return CSimulatedWaveIn::Open(handle, format, callback, instance);
    }
    return m_sound.InOpen(handle, deviceId, format, callback, instance);
}

int CSystemWaveService::OutOpen(std::unique_ptr<IWaveOut>* handle, int deviceId,
                                const WaveFormat& format) {
    return m_sound.OutOpen(handle, deviceId, format);
}

}  // namespace velto
