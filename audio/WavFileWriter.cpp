#include "audio/WavFileWriter.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "audio/RecordingTag.h"
#include "audio/SndfileError.h"
#include "base/Geometry.h"

namespace velto {

bool CWavFileWriter::Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// An existing file is opened without truncating it, so that it can be
// compared with the input first; one made here is removed again when the
// recording cannot begin.
std::unique_ptr<CWavFileWriter> CWavFileWriter::Create(const Target& target, std::string* error) {
    const std::string& path = target.path;
    const std::string isInputText =
        path + " is the input itself; recording to it would destroy it.";
    if (target.input && FileId::OfPath(path) == target.input) {
        *error = isInputText;
        return nullptr;
    }
    const int fd = ::open(path.c_str(),
                          O_WRONLY | O_CREAT | O_CLOEXEC | (target.overwrite ? 0 : O_EXCL), 0666);
    if (fd < 0) {
        *error = errno == EEXIST ? path +
                                       " exists already; it is kept unless overwriting it is "
                                       "asked for (velto --force)."
                                 : "cannot create " + path + " (" + std::strerror(errno) + ").";
        return nullptr;
    }
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    const bool isInput = target.input && *target.input == FileId{st.st_dev, st.st_ino};
    const auto fail = [&](const std::string& why, bool remove) {
        ::close(fd);
        if (remove) {
            ::unlink(path.c_str());
        }
        *error = why;
        return nullptr;
    };
    if (isInput) {
        return fail(isInputText, false);
    }
    if (regular && st.st_size > 0 && ::ftruncate(fd, 0) != 0) {
        return fail("cannot overwrite " + path + " (" + std::strerror(errno) + ").", false);
    }
    // Plain WAV counts its bytes in 32 bits: a recording past 4 GiB (3.1
    // hours at 192 kHz) would tell a wrapped length and lose the rest to
    // every reader. RF64 that stays WAV until then keeps any length whole.
    SF_INFO info{};
    info.format = SF_FORMAT_RF64 | SF_FORMAT_PCM_16;
    info.channels = 1;
    info.samplerate = target.rate;
    SNDFILE* file = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
    if (file == nullptr) {
        return fail("cannot create " + path + " (" + SndfileError(nullptr) + ").", regular);
    }
    // Set before the first sample, the comment goes into the header ahead of
    // the data, where a stream's reader meets it. Without it the recording
    // is still whole; a replay then needs the station named.
    if (!target.station.empty()) {
        sf_set_string(file, SF_STR_COMMENT, StationTag(target.station).c_str());
    }
    sf_command(file, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
    sf_command(file, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
    return std::unique_ptr<CWavFileWriter>(new CWavFileWriter(file, fd, path));
}

CWavFileWriter::CWavFileWriter(sf_private_tag* file, int fd, std::string path)
    : m_file(file), m_fd(fd), m_path(std::move(path)) {}

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
        *error = "writing " + m_path + " failed (" +
                 (saved != 0 ? std::string(std::strerror(saved)) : SndfileError(m_file)) + ").";
        m_failed = true;
        return false;
    }
    m_written += written;
    return true;
}

// A failure before the first sample leaves at most a header: nothing worth
// keeping, and a file that would look like a recording.
void CWavFileWriter::Close() {
    if (m_file == nullptr) {
        return;
    }
    sf_close(m_file);
    m_file = nullptr;
    ::close(m_fd);
    if (m_failed && m_written == 0) {
        ::unlink(m_path.c_str());
    }
}

}  // namespace velto
