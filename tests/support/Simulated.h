#pragma once

#include <cstdint>
#include <vector>

#include "simulator/StationSignal.h"

namespace support {

// `n` samples of the simulated station from UTC second `start`, as `options` say.
inline std::vector<std::int16_t> Simulated(std::int64_t start, std::size_t n,
                                           const velto::StationSignalOptions& options = {}) {
    std::vector<std::int16_t> samples(n);
    velto::CStationSignal(start, options).Generate(samples.data(), n);
    return samples;
}

}  // namespace support
