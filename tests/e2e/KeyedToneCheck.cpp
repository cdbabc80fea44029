// Checks a recording that holds both the signal Velto received and its monitor
// output: usage KeyedToneCheck recording.raw press_chunk late_tones (raw s16le
// mono 96000 Hz; press_chunk is the 10 ms step of the recording in which Space
// was pressed; late_tones the number of tone blocks Velto reported it wrote
// after its player had reached them). Exits 0 when the 1600 Hz tone is silent
// for the first 3 s of the run and then follows the received 40 kHz pulse
// train in 10 ms steps, about 200 ms behind it (plus the sound devices'
// latency), in whole JJY pulses: each late block may have cut or stretched
// the pulses on either side of its start, nothing else may.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

constexpr int kRate = 96000;
constexpr int kChunk = 960;  // 10 ms
constexpr double kTwoPi = 6.283185307179586;

// Raw s16le samples (this runs on little-endian machines only).
std::vector<std::int16_t> ReadRaw(const char* path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::vector<std::int16_t> samples(static_cast<std::size_t>(in.tellg()) / 2);
    in.seekg(0).read(reinterpret_cast<char*>(samples.data()),
                     static_cast<std::streamsize>(samples.size() * 2));
    return samples;
}

// Whether the given frequency is at least `level` strong in each 10 ms chunk.
std::vector<int> Keyed(const std::vector<std::int16_t>& s, double hz, double level) {
    std::vector<int> on;
    for (std::size_t c = 0; c + kChunk <= s.size(); c += kChunk) {
        double i = 0.0;
        double q = 0.0;
        for (int n = 0; n < kChunk; ++n) {
            const double phase = kTwoPi * hz * static_cast<double>(c + n) / kRate;
            i += s[c + n] * std::cos(phase);
            q += s[c + n] * std::sin(phase);
        }
        on.push_back(2.0 * std::sqrt(i * i + q * q) / kChunk >= level ? 1 : 0);
    }
    return on;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s recording.raw press_chunk late_tones\n", argv[0]);
        return 2;
    }
    const auto recording = ReadRaw(argv[1]);
    const int press = std::atoi(argv[2]);
    const int lateTones = std::atoi(argv[3]);
    const auto rx = Keyed(recording, 40000.0, 5000.0);  // the carrier's amplitude is 10000
    const auto tx = Keyed(recording, 1600.0, 1500.0);   // the tone's 3000
    const int n = static_cast<int>(rx.size());
    std::printf("chunks: %d; Space at chunk %d\n", n, press);
    int failures = 0;

    int firstTone = -1;
    for (int c = 0; c < n && firstTone < 0; ++c) {
        if (tx[c]) firstTone = c;
    }
    std::printf("first tone chunk: %d (%.2f s after Space)\n", firstTone,
                (firstTone - press) / 100.0);
    if (firstTone < 0 || firstTone < press + 290) {
        std::printf("FAIL: the tone must stay silent for the first 3 s of the run\n");
        ++failures;
    }

    const int from = press + 450;
    const int to = n - 120;
    int bestLag = -1;
    double bestAgreement = 0.0;
    for (int lag = 0; lag <= 100 && from < to; ++lag) {
        int same = 0;
        for (int c = from; c < to; ++c) same += rx[c] == tx[c + lag] ? 1 : 0;
        const double agreement = static_cast<double>(same) / (to - from);
        if (agreement > bestAgreement) {
            bestAgreement = agreement;
            bestLag = lag;
        }
    }
    std::printf(
        "tone follows the received pulses %d ms later, agreeing in %.1f %% of 10 ms steps\n",
        bestLag * 10, 100.0 * bestAgreement);
    if (bestAgreement < 0.95 || bestLag < 15 || bestLag > 35) {
        std::printf("FAIL: expected >= 95 %% agreement 150 to 350 ms behind the signal\n");
        ++failures;
    }

    // Whole pulses only: one already sounding at the window's start is cut.
    int runs = 0;
    int odd = 0;
    int start = -1;
    int first = from;
    while (first < to && tx[first]) ++first;
    for (int c = first; c < to; ++c) {
        if (tx[c] && start < 0) start = c;
        if (!tx[c] && start >= 0) {
            const int len = c - start;
            const bool known =
                std::abs(len - 80) <= 3 || std::abs(len - 50) <= 3 || std::abs(len - 20) <= 3;
            std::printf("tone run of %d ms%s\n", len * 10, known ? "" : "  <- not a JJY pulse");
            if (!known) ++odd;
            ++runs;
            start = -1;
        }
    }
    std::printf("%d tone runs not a JJY pulse; Velto reported %d late tone blocks\n", odd,
                lateTones);
    if (odd > 2 * lateTones) {
        std::printf("FAIL: more broken pulses than the late blocks account for\n");
        ++failures;
    }
    // A player's position misread would call most blocks late.
    if (lateTones > (to - from) / 20) {
        std::printf("FAIL: Velto called most tone blocks late\n");
        ++failures;
    }
    if (runs < 5) {
        std::printf("FAIL: only %d tone pulses\n", runs);
        ++failures;
    }
    std::printf("%s\n", failures == 0 ? "PASS" : "FAIL");
    return failures == 0 ? 0 : 1;
}
