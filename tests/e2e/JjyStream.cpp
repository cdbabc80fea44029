// Writes the simulated JJY signal for the current time to stdout as raw
// signed 16-bit little-endian mono samples at 96000 Hz: JjyStream [--seconds N]
// (30 s unless given).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/Geometry.h"
#include "simulator/StationSignal.h"

int main(int argc, char** argv) {
    const double seconds =
        argc == 3 && std::strcmp(argv[1], "--seconds") == 0 ? std::atof(argv[2]) : 30.0;
    velto::StationSignalOptions options;
    options.noiseSigma = 300.0;
    using namespace std::chrono;
    const auto now = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    const long long whole = now / 1000000;
    options.startOffsetSamples = (now % 1000000) * velto::kSampleRate / 1000000;
    velto::CStationSignal signal(whole, options);
    std::vector<std::int16_t> block(velto::kBufferSamples);
    const long long total = static_cast<long long>(seconds * velto::kSampleRate);
    for (long long done = 0; done < total; done += velto::kBufferSamples) {
        signal.Generate(block.data(), block.size());
        if (std::fwrite(block.data(), sizeof(std::int16_t), block.size(), stdout) != block.size()) {
            return 1;
        }
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
