#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velto {

// Where a recording goes: a file, or a test's stand-in for a failing disk.
class ISampleWriter {
public:
    virtual ~ISampleWriter() = default;
    // Writes all n samples, or returns false with one sentence in *error.
    virtual bool Write(const std::int16_t* samples, std::size_t n, std::string* error) = 0;
    // Finishes the file so that it is complete up to the last written sample.
    virtual void Close() = 0;
};

}  // namespace velto
