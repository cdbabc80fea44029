#pragma once

#include <memory>
#include <string>

#include "audio/PacedWaveIn.h"
#include "audio/SoundFileReader.h"

namespace velto {

// A recording as capture device, opened at the recording's own rate: its
// samples are delivered in 100 ms
// buffers paced by the steady clock, as a sound card would deliver them.
// At the end of the file the last part-buffer is filled up with silence, and
// the stream tells its end (kWaveHdrEnd).
class CFileWaveIn : public CPacedWaveIn {
public:
    static int Open(std::unique_ptr<IWaveIn>* handle, const std::string& path,
                    const WaveFormat& format, WaveInProc callback, void* instance);
    ~CFileWaveIn() override { Halt(); }

private:
    using CPacedWaveIn::CPacedWaveIn;

    std::size_t Fill(std::int16_t* samples, std::size_t count) override {
        return m_reader.Read(samples, count);
    }
    void OnClose() override { m_reader.Close(); }

    CSoundFileReader m_reader;
};

}  // namespace velto
