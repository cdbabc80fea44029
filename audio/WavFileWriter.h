#pragma once

#include <memory>
#include <string>

#include "audio/SampleWriter.h"

struct sf_private_tag;

namespace velto {

// A 96 kHz 16-bit mono WAV file written through libsndfile. The header is
// brought up to date after every write, so the file is valid WAV up to the
// last sample written even if the process ends without Close.
class CWavFileWriter : public ISampleWriter {
public:
    // Null with one sentence in *error when the file cannot be created.
    static std::unique_ptr<CWavFileWriter> Create(const std::string& path, std::string* error);
    ~CWavFileWriter() override;

    bool Write(const std::int16_t* samples, std::size_t n, std::string* error) override;
    void Close() override;

private:
    CWavFileWriter(sf_private_tag* file, std::string path);

    sf_private_tag* m_file;
    std::string m_path;
};

}  // namespace velto
