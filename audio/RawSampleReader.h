#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velto {

// Signed 16-bit little-endian mono samples from a descriptor that may be a
// pipe (standard input), as another program writes them. A signal that
// interrupts the wait for data ends the read, so that the caller can stop.
class CRawSampleReader {
public:
    CRawSampleReader(int fd, std::string name);

    // Up to n samples; 0 at the end of the input, on an error, or when a
    // signal interrupted the wait.
    std::size_t Read(std::int16_t* out, std::size_t n);
    bool Interrupted() const { return m_interrupted; }
    // After the end: a sentence when the input could not be read to its end
    // or stopped in the middle of a sample; else empty.
    std::string EndProblem() const;

private:
    int m_fd;
    std::string m_name;
    unsigned char m_odd = 0;  // the first byte of a sample whose second is still to come
    bool m_haveOdd = false;
    bool m_interrupted = false;
    int m_error = 0;
    std::int64_t m_samples = 0;
};

}  // namespace velto
