#include "tests/support/SoundFiles.h"

#include <filesystem>
#include <memory>

namespace support {

using File = std::unique_ptr<SNDFILE, decltype(&sf_close)>;

bool WriteSound(const std::string& path, const std::vector<double>& samples, int format, int rate) {
    SF_INFO info{};
    info.channels = 1;
    info.samplerate = rate;
    info.format = format;
    File file(sf_open(path.c_str(), SFM_WRITE, &info), &sf_close);
    if (!file) return false;
    const auto n = static_cast<sf_count_t>(samples.size());
    const int sub = format & SF_FORMAT_SUBMASK;
    if (sub == SF_FORMAT_FLOAT || sub == SF_FORMAT_DOUBLE) {
        std::vector<float> floats(samples.begin(), samples.end());
        for (float& f : floats) f /= 32768.0f;
        if (sf_write_float(file.get(), floats.data(), n) != n) return false;
    } else {
        const std::vector<short> shorts(samples.begin(), samples.end());
        if (sf_write_short(file.get(), shorts.data(), n) != n) return false;
    }
    return sf_close(file.release()) == 0;
}

std::vector<std::int16_t> ReadSound(const std::string& path) {
    SF_INFO info{};
    File file(sf_open(path.c_str(), SFM_READ, &info), &sf_close);
    if (!file || info.channels != 1) return {};
    std::vector<std::int16_t> samples(static_cast<std::size_t>(info.frames));
    samples.resize(
        static_cast<std::size_t>(sf_read_short(file.get(), samples.data(), info.frames)));
    return samples;
}

long long ValidWavFrames(const std::string& path) {
    // The chunks ahead of the samples: the format, the station's comment and
    // the room kept for RF64's 64-bit sizes. A header that lost count of its
    // samples is off by far more.
    constexpr long long kLongestHeader = 256;
    SF_INFO info{};
    if (!File(sf_open(path.c_str(), SFM_READ, &info), &sf_close)) return -1;
    const auto size = static_cast<long long>(std::filesystem::file_size(path));
    const bool whole = info.channels == 1 && info.samplerate == velto::kSampleRate &&
                       (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16 &&
                       size - 2 * info.frames <= kLongestHeader;
    return whole ? info.frames : -1;
}

}  // namespace support
