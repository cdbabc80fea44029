#include "audio/FileWaveIn.h"

#include <new>

namespace velto {

int CFileWaveIn::Open(std::unique_ptr<IWaveIn>* handle, const std::string& path,
                      const WaveFormat& format, WaveInProc callback, void* instance) {
    if (!FormatFits(format)) {
        return kWaveBadFormat;
    }
    std::unique_ptr<CFileWaveIn> stream(
        new (std::nothrow) CFileWaveIn(callback, instance, static_cast<int>(format.samplesPerSec)));
    if (!stream || !stream->Valid()) {
        return kWaveNoMemory;
    }
    std::string error;
    if (!stream->m_reader.Open(path, &error)) {
        return kWaveError;
    }
    // Replayed at the rate it was recorded at, which the run must be set to.
    if (stream->m_reader.SampleRate() != static_cast<int>(format.samplesPerSec)) {
        return kWaveBadFormat;
    }
    *handle = std::move(stream);
    return kWaveOk;
}

}  // namespace velto
