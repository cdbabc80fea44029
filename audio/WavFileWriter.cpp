#include "audio/WavFileWriter.h"

#include <sndfile.h>

#include <cerrno>
#include <cstring>

#include "base/Geometry.h"

namespace velto {

std::unique_ptr<CWavFileWriter> CWavFileWriter::Create(const std::string& path,
                                                       std::string* error) {
    SF_INFO info{};
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    info.channels = 1;
    info.samplerate = kSampleRate;
    errno = 0;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        *error = "cannot create " + path + " (" + sf_strerror(nullptr) + ").";
        return nullptr;
    }
    sf_command(file, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
    return std::unique_ptr<CWavFileWriter>(new CWavFileWriter(file, path));
}

CWavFileWriter::CWavFileWriter(sf_private_tag* file, std::string path)
    : m_file(file), m_path(std::move(path)) {}

CWavFileWriter::~CWavFileWriter() { Close(); }

bool CWavFileWriter::Write(const std::int16_t* samples, std::size_t n, std::string* error) {
    if (m_file == nullptr) {
        *error = m_path + " is closed.";
        return false;
    }
    errno = 0;
    const sf_count_t written = sf_write_short(m_file, samples, static_cast<sf_count_t>(n));
    if (written != static_cast<sf_count_t>(n)) {
        const int saved = errno;
        *error =
            "writing " + m_path + " failed (" +
            (saved != 0 ? std::string(std::strerror(saved)) : std::string(sf_strerror(m_file))) +
            ").";
        return false;
    }
    return true;
}

void CWavFileWriter::Close() {
    if (m_file != nullptr) {
        sf_close(m_file);
        m_file = nullptr;
    }
}

}  // namespace velto
