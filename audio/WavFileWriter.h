#pragma once

#include <memory>
#include <optional>
#include <string>

#include "audio/FileId.h"
#include "audio/SampleWriter.h"
#include "base/Geometry.h"

struct sf_private_tag;

namespace velto {

// A 96 or 192 kHz 16-bit mono WAV file written through libsndfile, which
// becomes RF64 (WAV's form for more than 4 GiB) should it grow that large.
// The header is brought up to date after every write, so the file is valid
// up to the last sample written even if the process ends without Close. A
// recording that fails before its first sample is written leaves no file.
class CWavFileWriter : public ISampleWriter {
public:
    struct Target {
        std::string path;
        // An existing file is overwritten only when this is set; otherwise
        // it is kept and Create fails.
        bool overwrite = false;
        // The input's file, which is never written to.
        std::optional<FileId> input;
        // The rate the input comes at: 96000 or 192000.
        int rate = kSampleRate;
        // The station received, named in the file's comment so that a
        // replay receives it again; none when empty.
        std::string station = {};
    };

    // Null with one sentence in *error when the file cannot be created.
    static std::unique_ptr<CWavFileWriter> Create(const Target& target, std::string* error);
    // Whether a file (or anything else) is at `path` already.
    static bool Exists(const std::string& path);
    ~CWavFileWriter() override;

    bool Write(const std::int16_t* samples, std::size_t n, std::string* error) override;
    void Close() override;

private:
    CWavFileWriter(sf_private_tag* file, int fd, std::string path);

    sf_private_tag* m_file;
    int m_fd;
    std::string m_path;
    std::int64_t m_written = 0;
    bool m_failed = false;
};

}  // namespace velto
