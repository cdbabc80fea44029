#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "audio/SoundFileReader.h"
#include "base/Geometry.h"
#include "tests/support/Files.h"
#include "tests/support/SoundFiles.h"

namespace {

// A keyed 40 kHz sine near full scale, times `gain`, in 16-bit units.
std::vector<double> KnownSignal(double gain) {
    std::vector<double> samples(velto::kSampleRate / 10);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double level = i < samples.size() / 2 ? 30000.0 : 3000.0;
        samples[i] =
            gain * std::round(level * std::sin(2.0 * M_PI * 40000.0 * static_cast<double>(i) /
                                               velto::kSampleRate));
    }
    return samples;
}

// Floating point to a unit (32-bit float WAVs once read as silence), and
// clipped over full scale, never wrapped.
TEST(SoundFileReader, ScalesEveryFormatIntoSixteenBits) {
    const struct {
        const char* name;
        int format;
        int tolerance;  // 16-bit units
        double gain = 1.0;
    } formats[] = {
        {"wav pcm16", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0},
        {"wav pcm24", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 0},
        {"wav pcm32", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 0},
        {"wav float", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1},
        {"wav float over full scale", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 1.5},
        {"wav double", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 1},
        {"w64 float", SF_FORMAT_W64 | SF_FORMAT_FLOAT, 1},
        {"aiff pcm24", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 0},
        {"caf float", SF_FORMAT_CAF | SF_FORMAT_FLOAT, 1},
        {"flac pcm16", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 0},
        {"flac pcm24", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 0},
    };
    for (const auto& f : formats) {
        SCOPED_TRACE(f.name);
        const std::vector<double> known = KnownSignal(f.gain);
        const support::TempDir dir;
        const std::string path = dir / "known";
        ASSERT_TRUE(support::WriteSound(path, known, f.format));
        velto::CSoundFileReader reader;
        std::string error;
        ASSERT_TRUE(reader.Open(path, &error)) << error;
        std::vector<std::int16_t> got(known.size() + 100);
        ASSERT_EQ(reader.Read(got.data(), got.size()), known.size());
        double worst = 0;
        for (std::size_t i = 0; i < known.size(); ++i) {
            worst = std::max(worst, std::abs(got[i] - std::clamp(known[i], -32768.0, 32767.0)));
        }
        EXPECT_LE(worst, f.tolerance);
        EXPECT_EQ(reader.EndProblem(), "");
    }
}

}  // namespace
