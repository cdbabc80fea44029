// Writes the simulated JJY signal to a sound file, a second at a time:
//   velto_sim_wav OUT START_UNIX SECONDS [OFFSET_SAMPLES [NOISE [CHANNELS RATE FORMAT
//                 [INTERFERER_HZ INTERFERER_AMPLITUDE]]]]
// OUT "-" is standard output; START_UNIX "now" the system clock's time, to the sample;
// FORMAT "pcm16" (the default), "pcm8" or "raw" (s16le). RATE only labels the file,
// except 192000: the signal is then made at that rate, as such a card takes it.
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/Geometry.h"
#include "simulator/StationSignal.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s OUT START_UNIX SECONDS [OFFSET [NOISE [CH RATE FMT]]]\n",
                     argv[0]);
        return 2;
    }
    const std::string out = argv[1];
    using namespace std::chrono;
    const long long now =
        duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    const bool live = std::string(argv[2]) == "now";
    const long long start = live ? now / 1000000 : std::atoll(argv[2]);
    const long long seconds = std::atoll(argv[3]);
    const int channels = argc > 6 ? std::atoi(argv[6]) : 1;
    const int rate = argc > 7 ? std::atoi(argv[7]) : velto::kSampleRate;
    const std::string format = argc > 8 ? argv[8] : "pcm16";
    velto::StationSignalOptions options;
    options.sampleRate = rate == 2 * velto::kSampleRate ? rate : velto::kSampleRate;
    options.carrierAmplitude = 8000.0;
    // The offset and the noise are given at 96 kHz: the noise keeps its density at 192 kHz.
    const int times = options.sampleRate / velto::kSampleRate;
    options.startOffsetSamples = ((argc > 4 ? std::atoll(argv[4]) : 0) +
                                  (live ? now % 1000000 * velto::kSampleRate / 1000000 : 0)) *
                                 times;
    options.noiseSigma = (argc > 5 ? std::atof(argv[5]) : 800.0) * std::sqrt(times);
    options.interferenceHz = argc > 10 ? std::atof(argv[9]) : 0.0;
    options.interferenceAmplitude = argc > 10 ? std::atof(argv[10]) : 0.0;

    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = format == "raw"    ? SF_FORMAT_RAW | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE
                  : format == "pcm8" ? SF_FORMAT_WAV | SF_FORMAT_PCM_U8
                                     : SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(out.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        std::fprintf(stderr, "%s: %s\n", out.c_str(), sf_strerror(nullptr));
        return 1;
    }
    velto::CStationSignal signal(start, options);
    std::vector<std::int16_t> mono(static_cast<std::size_t>(options.sampleRate));
    std::vector<std::int16_t> frames(mono.size() * static_cast<std::size_t>(channels));
    for (long long s = 0; s < seconds; ++s) {
        signal.Generate(mono.data(), mono.size());
        for (std::size_t i = 0; i < mono.size(); ++i) {
            for (int c = 0; c < channels; ++c) frames[i * channels + c] = mono[i];
        }
        if (sf_writef_short(file, frames.data(), static_cast<sf_count_t>(mono.size())) !=
            static_cast<sf_count_t>(mono.size())) {
            std::fprintf(stderr, "%s: %s\n", out.c_str(), sf_strerror(file));
            return 1;
        }
    }
    sf_close(file);
    return 0;
}
