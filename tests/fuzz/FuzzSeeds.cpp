// Writes the decoder's fuzz targets' seeds from simulated minutes through its first stages:
//   velto_fuzz_seeds DIR   writes DIR/frame-search, DIR/minute-sync, DIR/level-fit
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "SoftSeconds.h"
#include "simulator/StationSignal.h"
#include "timecode/CarrierTracker.h"
#include "timecode/Decimator.h"
#include "timecode/LevelFit.h"
#include "timecode/SecondTracker.h"

namespace fs = std::filesystem;
using namespace velto;

namespace {

// The decoder's first stages for JJY 40 kHz at 96 kHz, keeping what they give.
struct Stages : IBasebandSink, IDetectedSink, IScoredSink {
    CDecimator decimator{40000.0, 96000};
    CCarrierTracker carrier{40000.0, 96000};
    CSecondTracker seconds{GetStation(StationId::Jjy40), 96};
    CSymbolModel model{GetStation(StationId::Jjy40)};
    std::vector<DetectedSample> detected;
    std::vector<ScoredSecond> scored;
    void OnBaseband(const BasebandSample& s) override { carrier.Process(s, *this); }
    void OnDetected(const DetectedSample& s) override {
        detected.push_back(s);
        seconds.Process(s, carrier.SamplesPerSecond(), carrier.NoiseVariance(),
                        carrier.CarrierFound(), *this);
    }
    void OnScored(const ScoredSecond& s) override { scored.push_back(s); }
    void OnRisen(const RisenSecond&) override {}
};

void Write(const fs::path& file, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// Each scored second's parts' means over its level, after a byte for the noise.
std::vector<std::uint8_t> PartMeans(const Stages& st) {
    std::vector<std::uint8_t> bytes{0};
    const double perSecond = st.carrier.SamplesPerSecond();
    std::size_t d = 0;
    double noise = 0.0;
    for (const ScoredSecond& s : st.scored) {
        if (s.erasure || !(s.high > 0.0)) continue;
        double sum[4] = {}, count[4] = {};
        for (; d < st.detected.size(); ++d) {
            const double at = st.decimator.Block() * static_cast<double>(st.detected[d].index) -
                              timecode::kBasebandDelay;
            const double inSecond = (at - s.onTimeSample) / perSecond;
            if (inSecond >= 1.0) break;
            for (int k = 0; k < 4; ++k) {
                if (inSecond >= st.model.From(k) && inSecond < st.model.To(k)) {
                    sum[k] += st.detected[d].inPhase;
                    count[k] += 1.0;
                }
            }
        }
        for (int k = 0; k < 4; ++k) {
            bytes.push_back(fuzz::PartMeanByte(count[k] > 0.0 ? sum[k] / count[k] / s.high : 0.0));
        }
        noise =
            std::sqrt(timecode::kBasebandCorrelation * st.carrier.NoiseVariance() / 170.0) / s.high;
    }
    bytes[0] = static_cast<std::uint8_t>(std::clamp(noise * 256.0 - 1.0, 0.0, 255.0));
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: velto_fuzz_seeds DIR\n");
        return 2;
    }
    const fs::path dir = argv[1];
    for (const char* target : {"frame-search", "minute-sync", "level-fit"}) {
        fs::create_directories(dir / target);
    }
    struct Seed {
        double cn0, minutes;
        std::int64_t start;  // UTC
    };
    // Strong, middling and weak; across midnight JST, a new year and a call-sign minute.
    const Seed seeds[] = {
        {40.0, 4.0, 1796610180 + 20}, {25.0, 12.0, 1798729140}, {18.0, 12.0, 1796643000 + 37}};
    int number = 0;
    for (const Seed& seed : seeds) {
        StationSignalOptions o;
        o.carrierAmplitude = 2000.0 * std::sqrt(4.0 * std::pow(10.0, seed.cn0 / 10.0) / 96000.0);
        o.cn0DbHz = seed.cn0;
        o.fastNoise = true;
        o.seed = static_cast<std::uint64_t>(++number);
        o.callSignMinutes = true;
        CStationSignal signal(seed.start, o);
        Stages st;
        std::vector<std::int16_t> buffer(9600);
        std::int64_t fed = 0;
        for (int b = 0; b < static_cast<int>(seed.minutes * 600.0); ++b) {
            signal.Generate(buffer.data(), buffer.size());
            st.decimator.Push(fed, buffer.data(), buffer.size(), st);
            fed += static_cast<std::int64_t>(buffer.size());
        }
        if (st.scored.empty()) continue;
        const double k =
            (signal.UnsplicedSample(st.scored.front().onTimeSample) - signal.OnTimeSample(0)) /
            signal.SamplesPerSecond();
        const auto phase = static_cast<std::uint8_t>((seed.start + std::llround(k)) % 60);
        std::vector<std::uint8_t> seconds{phase};
        for (const ScoredSecond& s : st.scored) {
            for (float v : {s.log[0], s.log[1], s.log[2]}) {
                seconds.push_back(fuzz::LogProbabilityByte(v));
            }
        }
        const std::string name = "minutes-" + std::to_string(number);
        Write(dir / "frame-search" / name, seconds);
        Write(dir / "minute-sync" / name, seconds);
        seconds[0] = static_cast<std::uint8_t>(phase + 3 * 60);  // weakened half-way
        Write(dir / "minute-sync" / (name + "-weakened"), seconds);
        Write(dir / "level-fit" / name, PartMeans(st));
    }
    return 0;
}
