#include "audio/PortAudioService.h"

#include <portaudio.h>

#include "audio/PortAudioResult.h"
#include "audio/PortAudioWaveIn.h"
#include "audio/PortAudioWaveOut.h"
#include "audio/QuietAudioLibraries.h"
#include "audio/WaveDevice.h"

namespace velto {
namespace {

std::string DeviceName(const std::vector<int>& devices, int deviceId) {
    if (deviceId < 0 || deviceId >= static_cast<int>(devices.size())) {
        return {};
    }
    const PaDeviceInfo* info = Pa_GetDeviceInfo(devices[deviceId]);
    return info != nullptr && info->name != nullptr ? std::string(info->name) : std::string();
}

}  // namespace

CPortAudioService::CPortAudioService() {
    SilenceAudioLibraries();
    m_initialised = Pa_Initialize() == paNoError;
    ReadDevices();
}

void CPortAudioService::ReadDevices() {
    m_inDevices.clear();
    m_outDevices.clear();
    if (!m_initialised) {
        return;
    }
    const int count = Pa_GetDeviceCount();
    for (int i = 0; i < count; ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (info == nullptr) {
            continue;
        }
        if (info->maxInputChannels > 0) {
            m_inDevices.push_back(i);
        }
        if (info->maxOutputChannels > 0) {
            m_outDevices.push_back(i);
        }
    }
}

CPortAudioService::~CPortAudioService() {
    if (m_initialised) {
        Pa_Terminate();
    }
}

// PortAudio learns of new devices only when initialised again.
bool CPortAudioService::Refresh() {
    if (OpenStreamCount() != 0) {
        return false;
    }
    if (m_initialised) {
        Pa_Terminate();
    }
    m_initialised = Pa_Initialize() == paNoError;
    ReadDevices();
    return true;
}

int CPortAudioService::InGetNumDevs() { return static_cast<int>(m_inDevices.size()); }

std::string CPortAudioService::InGetDevName(int deviceId) {
    return DeviceName(m_inDevices, deviceId);
}

bool CPortAudioService::InSupportsRate(int deviceId, int rate) {
    int device = paNoDevice;
    if (Resolve(deviceId, m_inDevices, true, &device) != kWaveOk) {
        return false;
    }
    const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
    if (info == nullptr) {
        return false;
    }
    const PaStreamParameters input{device, 1, paInt16, info->defaultHighInputLatency, nullptr};
    return Pa_IsFormatSupported(&input, nullptr, rate) == paFormatIsSupported;
}

int CPortAudioService::OutGetNumDevs() { return static_cast<int>(m_outDevices.size()); }

std::string CPortAudioService::OutGetDevName(int deviceId) {
    return DeviceName(m_outDevices, deviceId);
}

int CPortAudioService::Resolve(int deviceId, const std::vector<int>& devices, bool input,
                               int* device) const {
    if (!m_initialised) {
        return kWaveNoDriver;
    }
    if (deviceId == WAVE_MAPPER) {
        *device = input ? Pa_GetDefaultInputDevice() : Pa_GetDefaultOutputDevice();
        return *device == paNoDevice ? kWaveNoDriver : kWaveOk;
    }
    if (deviceId < 0 || deviceId >= static_cast<int>(devices.size())) {
        return kWaveBadDeviceId;
    }
    *device = devices[deviceId];
    return kWaveOk;
}

int CPortAudioService::InOpen(std::unique_ptr<IWaveIn>* handle, int deviceId,
                              const WaveFormat& format, WaveInProc callback, void* instance) {
    int device = paNoDevice;
    const int resolved = Resolve(deviceId, m_inDevices, true, &device);
    if (resolved != kWaveOk) {
        return resolved;
    }
    return CPortAudioWaveIn::Open(handle, device, format, callback, instance);
}

int CPortAudioService::OutOpen(std::unique_ptr<IWaveOut>* handle, int deviceId,
                               const WaveFormat& format) {
    int device = paNoDevice;
    const int resolved = Resolve(deviceId, m_outDevices, false, &device);
    if (resolved != kWaveOk) {
        return resolved;
    }
    return CPortAudioWaveOut::Open(handle, device, format);
}

}  // namespace velto
