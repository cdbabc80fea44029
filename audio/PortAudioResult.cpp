#include "audio/PortAudioResult.h"

#include <atomic>

#include "audio/WaveService.h"

namespace velto {
namespace {

std::atomic<int> g_openStreams{0};

}  // namespace

void CountStreamOpened() { g_openStreams.fetch_add(1); }
void CountStreamClosed() { g_openStreams.fetch_sub(1); }
int OpenStreamCount() { return g_openStreams.load(); }

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
