// Writes the simulated JJY signal to a sound file, a second at a time:
//   velto_sim_wav OUT START_UNIX SECONDS [OFFSET_SAMPLES [NOISE [CHANNELS RATE FORMAT
//                 [INTERFERER_HZ INTERFERER_AMPLITUDE]]]]
// OUT "-" is standard output; START_UNIX "now" the system clock's time, to the sample;
// FORMAT "pcm16" (the default), "pcm8" or "raw" (s16le). RATE only labels the file,
// except 192000: the signal is then interpolated to twice its rate, as such a card takes it.
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/Geometry.h"
#include "simulator/StationSignal.h"

namespace {

// Doubles the rate, one second behind: odd outputs a Blackman-windowed half-band sinc,
// which keeps 40 kHz and holds its image at 56 kHz far below the noise.
class CDoubler {
public:
    CDoubler() {
        double sum = 0.0;
        for (int k = 0; k < kReach; ++k) {
            const double d = k + 0.5;
            const double x = 2.0 * M_PI * (kReach - 0.5 - k) / (2 * kReach - 1);
            m_taps[k] = std::sin(M_PI * d) / (M_PI * d) *
                        (0.42 - 0.5 * std::cos(x) + 0.08 * std::cos(2.0 * x));
            sum += 2.0 * m_taps[k];
        }
        for (double& t : m_taps) t /= sum;
    }
    // Takes a second; returns the doubled second before it (silence at first).
    const std::vector<std::int16_t>& Push(const std::vector<std::int16_t>& second) {
        m_in.insert(m_in.end(), second.begin(), second.end());
        const std::size_t n = second.size();
        m_out.assign(2 * n, 0);
        if (m_in.size() < 2 * n + kReach) {
            return m_out;
        }
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t at = kReach + i;
            double odd = 0.0;
            for (int k = 0; k < kReach; ++k) odd += m_taps[k] * (m_in[at - k] + m_in[at + 1 + k]);
            m_out[2 * i] = m_in[at];
            m_out[2 * i + 1] =
                static_cast<std::int16_t>(std::clamp(std::lround(odd), -32768L, 32767L));
        }
        m_in.erase(m_in.begin(), m_in.begin() + static_cast<std::ptrdiff_t>(n));
        return m_out;
    }

private:
    static constexpr int kReach = 64;
    double m_taps[kReach];
    std::vector<std::int16_t> m_in = std::vector<std::int16_t>(kReach, 0);
    std::vector<std::int16_t> m_out;
};

}  // namespace

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
    velto::StationSignalOptions options;
    options.carrierAmplitude = 8000.0;
    options.startOffsetSamples = (argc > 4 ? std::atoll(argv[4]) : 0) +
                                 (live ? now % 1000000 * velto::kSampleRate / 1000000 : 0);
    options.noiseSigma = argc > 5 ? std::atof(argv[5]) : 800.0;
    const int channels = argc > 6 ? std::atoi(argv[6]) : 1;
    const int rate = argc > 7 ? std::atoi(argv[7]) : velto::kSampleRate;
    const std::string format = argc > 8 ? argv[8] : "pcm16";
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
    const bool doubled = rate == 2 * velto::kSampleRate;
    CDoubler doubler;
    std::vector<std::int16_t> base(static_cast<std::size_t>(velto::kSampleRate));
    std::vector<std::int16_t> mono(static_cast<std::size_t>(rate));
    std::vector<std::int16_t> frames(static_cast<std::size_t>(rate) *
                                     static_cast<std::size_t>(channels));
    // A doubled file runs one second behind the signal: one more is made.
    for (long long s = 0; s < seconds + (doubled ? 1 : 0); ++s) {
        if (doubled) {
            signal.Generate(base.data(), base.size());
            const std::vector<std::int16_t>& out = doubler.Push(base);
            if (s == 0) continue;
            mono.assign(out.begin(), out.end());
        } else {
            signal.Generate(mono.data(), mono.size());
        }
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
