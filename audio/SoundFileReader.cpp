#include "audio/SoundFileReader.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "audio/RecordingTag.h"
#include "audio/SndfileError.h"
#include "base/CaptureFormat.h"

namespace velto {
namespace {

std::string Seconds(std::int64_t samples, int rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(samples) / rate);
    return text;
}

}  // namespace

CSoundFileReader::~CSoundFileReader() { Close(); }

std::vector<CSoundFileReader::Format> CSoundFileReader::Formats() {
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    std::vector<Format> formats;
    for (int i = 0; i < count; ++i) {
        SF_FORMAT_INFO info{};
        info.format = i;
        if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info) != 0 ||
            info.format == SF_FORMAT_RAW || info.name == nullptr || info.extension == nullptr) {
            continue;
        }
        formats.push_back({info.name, info.extension});
    }
    return formats;
}

void CSoundFileReader::Close() {
    if (m_file != nullptr) {
        sf_close(m_file);
        m_file = nullptr;
    }
}

bool CSoundFileReader::Open(const std::string& path, std::string* error) {
    Close();
    m_name = path;
    m_interrupted = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        m_interrupted = errno == EINTR;
        *error = "cannot read " + path + ": " + std::strerror(errno) + ".";
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        *error = "cannot read " + path + ": it is a directory.";
        return false;
    }
    if (S_ISREG(st.st_mode) && st.st_size == 0) {
        ::close(fd);
        *error = path + " is empty.";
        return false;
    }
    SF_INFO info{};
    SNDFILE* file = sf_open_fd(fd, SFM_READ, &info, SF_TRUE);
    if (file == nullptr) {
        ::close(fd);
        *error =
            path + " is not an audio file that Velto can read (" + SndfileError(nullptr) + ").";
        return false;
    }
    return Begin(file, info, false, error);
}

bool CSoundFileReader::OpenStream(int fd, const std::string& name, std::string* error) {
    Close();
    m_name = name;
    m_interrupted = false;
    SF_INFO info{};
    SNDFILE* file = sf_open_fd(fd, SFM_READ, &info, SF_FALSE);
    if (file == nullptr) {
        *error = name + " carries a header that Velto cannot read from a stream (" +
                 SndfileError(nullptr) + "); give the file itself with --input FILE.";
        return false;
    }
    return Begin(file, info, true, error);
}

bool CSoundFileReader::Begin(sf_private_tag* file, const SF_INFO& info, bool stream,
                             std::string* error) {
    m_file = file;
    // A header written before its length was known (a recorder writing to a
    // pipe) gives the largest length it can; such a stream ends when it ends.
    constexpr sf_count_t kStreamed = 0x7FFF0000 / 2;
    m_frames = stream && info.frames >= kStreamed ? -1 : info.frames;
    m_format = info.format;
    if (info.channels != 1) {
        *error = m_name + " has " + std::to_string(info.channels) +
                 " channels; Velto needs a mono recording.";
        Close();
        return false;
    }
    if (!CaptureFormat::ForRate(info.samplerate)) {
        *error = m_name + " is sampled at " + std::to_string(info.samplerate) +
                 " Hz; Velto needs 96000 or 192000 Hz.";
        Close();
        return false;
    }
    m_rate = info.samplerate;
    const char* comment = sf_get_string(file, SF_STR_COMMENT);
    m_station = comment != nullptr ? StationInTag(comment) : std::string();
    return Check(error);
}

// Eight-bit samples leave the carrier some 48 dB above their own
// quantisation noise, too little for a weak station.
bool CSoundFileReader::Check(std::string* error) {
    switch (m_format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
        case SF_FORMAT_ULAW:
        case SF_FORMAT_ALAW:
        case SF_FORMAT_DPCM_8:
            *error = m_name + " has 8-bit samples; Velto needs at least 16 bits per sample.";
            Close();
            return false;
        default:
            break;
    }
    // Integer samples of any width the library scales to 16 bits itself.
    // Floating-point ones (+-1.0 full scale) it would truncate to 0 and +-1,
    // silence, or scale by the file's own peak, which changes the level; so
    // they are read as they are and scaled here.
    const int sub = m_format & SF_FORMAT_SUBMASK;
    m_float = sub == SF_FORMAT_FLOAT || sub == SF_FORMAT_DOUBLE || sub == SF_FORMAT_VORBIS ||
              sub == SF_FORMAT_OPUS;
    m_read = 0;
    m_readError = false;
    return true;
}

std::size_t CSoundFileReader::Read(std::int16_t* out, std::size_t n) {
    if (m_file == nullptr || n == 0) {
        return 0;
    }
    const sf_count_t got =
        m_float ? ReadFloat(out, n) : sf_read_short(m_file, out, static_cast<sf_count_t>(n));
    if (got <= 0) {
        m_readError = sf_error(m_file) != SF_ERR_NO_ERROR;
        return 0;
    }
    m_read += got;
    return static_cast<std::size_t>(got);
}

// Full scale is 32768, as libsndfile writes 16-bit data into floats; beyond
// it the samples are clipped rather than wrapped.
std::int64_t CSoundFileReader::ReadFloat(std::int16_t* out, std::size_t n) {
    if (m_floats.size() < n) {
        m_floats.resize(n);
    }
    const sf_count_t got = sf_read_float(m_file, m_floats.data(), static_cast<sf_count_t>(n));
    for (sf_count_t i = 0; i < got; ++i) {
        const float scaled = std::nearbyint(m_floats[static_cast<std::size_t>(i)] * 32768.0f);
        out[i] = static_cast<std::int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
    }
    return got;
}

std::string CSoundFileReader::EndProblem() const {
    if (m_file == nullptr) {
        return {};
    }
    bool truncated = m_readError || (m_frames >= 0 && m_read < m_frames);
    if (!truncated) {
        // libsndfile shortens a data chunk that runs past the end of the
        // file to what is there, and notes it in its log.
        char log[4096] = {};
        sf_command(m_file, SFC_GET_LOG_INFO, log, sizeof log);
        for (const char* line = log; *line != '\0';) {
            const char* end = std::strchr(line, '\n');
            const std::string text(line, end != nullptr ? end : line + std::strlen(line));
            if (text.rfind("data", 0) == 0 && text.find("should be") != std::string::npos) {
                truncated = true;
            }
            line = end != nullptr ? end + 1 : line + text.size();
        }
    }
    if (!truncated) {
        return {};
    }
    return m_name + " is truncated: it ends after " + std::to_string(m_read) + " samples (" +
           Seconds(m_read, m_rate) + " s), which were decoded.";
}

}  // namespace velto
