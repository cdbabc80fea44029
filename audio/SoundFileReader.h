#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/Geometry.h"

struct sf_private_tag;
struct SF_INFO;

namespace velto {

// A recording read through libsndfile and checked to be what the chain
// takes: one channel at 96000 or 192000 Hz with at least 16 bits per sample,
// integer or floating point, scaled to 16 bits. Reads in
// pieces, so a file of any length needs no more memory than one piece.
class CSoundFileReader {
public:
    CSoundFileReader() = default;
    ~CSoundFileReader();
    CSoundFileReader(const CSoundFileReader&) = delete;
    CSoundFileReader& operator=(const CSoundFileReader&) = delete;

    // Any file libsndfile reads (WAV, FLAC, ...). False with one sentence in
    // *error, or with Interrupted() when a signal came while the open waited
    // (a FIFO without a writer yet).
    bool Open(const std::string& path, std::string* error);
    // A stream that StreamHead found a sound file's header on (standard input),
    // read from where it stands; `name` names it in sentences. The descriptor
    // stays open.
    bool OpenStream(int fd, const std::string& name, std::string* error);
    bool Interrupted() const { return m_interrupted; }
    // Up to n samples; 0 at the end of the input.
    std::size_t Read(std::int16_t* out, std::size_t n);
    // After Read returned 0: a sentence when the input ended before its
    // header said it would, or could not be read to its end; else empty.
    std::string EndProblem() const;
    // The file formats libsndfile reads, as it names them, with their usual
    // extension (raw data, which has no header to tell its format, left out).
    struct Format {
        std::string name;
        std::string extension;
    };
    static std::vector<Format> Formats();

    // Samples the header announces, -1 when unknown (a pipe).
    std::int64_t Frames() const { return m_frames; }
    // The rate the open input was recorded at: 96000 or 192000.
    int SampleRate() const { return m_rate; }
    // The station the recording was received as, by its comment (Velto's
    // own recordings); empty when it names none.
    const std::string& Station() const { return m_station; }
    void Close();

private:
    bool Begin(sf_private_tag* file, const SF_INFO& info, bool stream, std::string* error);
    bool Check(std::string* error);
    std::int64_t ReadFloat(std::int16_t* out, std::size_t n);

    sf_private_tag* m_file = nullptr;
    std::string m_name;
    std::int64_t m_frames = -1;
    int m_rate = kSampleRate;
    std::string m_station;
    std::int64_t m_read = 0;
    int m_format = 0;
    bool m_readError = false;
    bool m_interrupted = false;
    bool m_float = false;         // floating-point samples, scaled here
    std::vector<float> m_floats;  // ... read into this first
};

}  // namespace velto
