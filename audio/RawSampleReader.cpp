#include "audio/RawSampleReader.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velto {

CRawSampleReader::CRawSampleReader(int fd, std::string name) : m_fd(fd), m_name(std::move(name)) {}

std::size_t CRawSampleReader::Read(std::int16_t* out, std::size_t n) {
    m_interrupted = false;
    if (n == 0 || m_error != 0) {
        return 0;
    }
    // The bytes land in the output's own storage and are turned into samples
    // in place, front to back.
    auto* bytes = reinterpret_cast<unsigned char*>(out);
    std::size_t have = 0;
    if (m_haveOdd) {
        bytes[0] = m_odd;
        have = 1;
    }
    for (;;) {
        const ssize_t got = ::read(m_fd, bytes + have, n * 2 - have);
        if (got > 0) {
            have += static_cast<std::size_t>(got);
            if (have >= 2) {
                break;
            }
            continue;
        }
        if (got < 0 && errno == EINTR) {
            m_interrupted = true;
        } else if (got < 0) {
            m_error = errno;
        }
        m_haveOdd = have == 1;
        m_odd = bytes[0];
        return 0;
    }
    const std::size_t samples = have / 2;
    m_haveOdd = have % 2 == 1;
    m_odd = bytes[have - 1];
    for (std::size_t i = 0; i < samples; ++i) {
        const auto value = static_cast<std::uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        out[i] = static_cast<std::int16_t>(value);
    }
    m_samples += static_cast<std::int64_t>(samples);
    return samples;
}

std::string CRawSampleReader::EndProblem() const {
    if (m_error != 0) {
        return "reading " + m_name + " failed after " + std::to_string(m_samples) + " samples (" +
               std::strerror(m_error) + ").";
    }
    if (m_haveOdd) {
        return m_name + " ends in the middle of a sample, after " + std::to_string(m_samples) +
               " whole samples, which were decoded.";
    }
    return {};
}

}  // namespace velto
