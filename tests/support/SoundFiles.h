#pragma once

#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/Geometry.h"

// Sound files as the tests make and check them, through libsndfile.
namespace support {

// Writes mono 16-bit-unit samples in `format`, floating point at +-1.0 full scale.
bool WriteSound(const std::string& path, const std::vector<double>& samples,
                int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16, int rate = velto::kSampleRate);
inline bool WriteSound(const std::string& path, const std::vector<std::int16_t>& samples) {
    return WriteSound(path, std::vector<double>(samples.begin(), samples.end()));
}
// Every sample of a mono sound file, in 16-bit units; empty when it cannot be read.
std::vector<std::int16_t> ReadSound(const std::string& path);
// The frames of a mono 16-bit WAV at 96 kHz whose header matches its size; else -1.
long long ValidWavFrames(const std::string& path);

}  // namespace support
