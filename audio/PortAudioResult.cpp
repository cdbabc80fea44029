#include "audio/PortAudioResult.h"

#include "audio/WaveService.h"

namespace velto {

int WaveResultFromPortAudio(PaError error) {
    switch (error) {
        case paNoError:
            return kWaveOk;
        case paInvalidDevice:
        case paBadStreamPtr:
        case paBadIODeviceCombination:
            return kWaveInvalidHandle;
        case paNotInitialized:
        case paDeviceUnavailable:
        case paHostApiNotFound:
        case paInvalidHostApi:
            return kWaveNoDriver;
        case paInsufficientMemory:
            return kWaveNoMemory;
        case paInvalidSampleRate:
        case paInvalidChannelCount:
        case paSampleFormatNotSupported:
            return kWaveBadFormat;
        default:
            return kWaveError;
    }
}

}  // namespace velto
