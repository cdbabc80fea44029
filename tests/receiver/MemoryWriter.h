#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/SampleWriter.h"

namespace velto {

// Keeps what a recorder writes; read once the recording has stopped.
struct CMemoryWriter : ISampleWriter {
    explicit CMemoryWriter(std::vector<std::int16_t>& out) : out(out) {}
    bool Write(const std::int16_t* samples, std::size_t n, std::string*) override {
        out.insert(out.end(), samples, samples + n);
        return true;
    }
    void Close() override {}

    std::vector<std::int16_t>& out;
};

}  // namespace velto
