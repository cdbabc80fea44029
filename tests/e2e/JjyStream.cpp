// Writes the simulated JJY signal for the current time to stdout as raw
// signed 16-bit little-endian mono samples at 96000 Hz, for a player such as
// pacat to send into a sound server.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "dsp/Constants.h"
#include "dsp/JjySignal.h"

int main(int argc, char** argv) {
    double seconds = 30.0;
    velto::JjySignalOptions options;
    options.noiseSigma = 300.0;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--seconds") == 0) {
            seconds = std::atof(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--noise") == 0) {
            options.noiseSigma = std::atof(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--amplitude") == 0) {
            options.carrierAmplitude = std::atof(argv[i + 1]);
        }
    }
    using namespace std::chrono;
    const auto now = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    const long long whole = now / 1000000;
    options.startOffsetSamples = (now % 1000000) * velto::kSampleRate / 1000000;
    velto::CJjySignal signal(whole, options);
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
