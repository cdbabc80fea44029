#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/RecordingTag.h"
#include "audio/SoundFileReader.h"
#include "audio/WavFileWriter.h"
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

// Float scales to a unit (32-bit float once read as silence); over full scale clips, not wraps.
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

TEST(RecordingTag, TheStationIsFoundInAComment) {
    const struct {
        const char* comment;
        const char* station;
    } comments[] = {
        {"station=msf", "msf"},     {"made at home; station=wwvb, antenna loop", "wwvb"},
        {"substation=jjy60", ""},   {"station=", ""},
        {"station=DCF77", "DCF77"}, {"", ""},
    };
    for (const auto& c : comments) {
        EXPECT_EQ(velto::StationInTag(c.comment), c.station) << c.comment;
    }
}

// Plain WAV counts bytes in 32 bits: past 4 GiB a recording once told a wrapped length.
TEST(WavFileWriter, ARecordingPastFourGibibytesKeepsEverySample) {
    const support::TempDir dir;
    constexpr std::int64_t kChunk = std::int64_t{1} << 20;
    constexpr std::int64_t kTotal = (std::int64_t{1} << 31) + 192000;  // 4 GiB and a second
    std::error_code error;
    if (std::filesystem::space(dir.Path(), error).available < std::uintmax_t{2} * 2 * kTotal) {
        GTEST_SKIP() << "too little room for 4 GiB in " << dir.Path();
    }
    const std::string path = dir / "long.wav";
    std::string problem;
    auto writer = velto::CWavFileWriter::Create({path, false, {}, 192000, "dcf77"}, &problem);
    ASSERT_TRUE(writer) << problem;
    const std::vector<std::int16_t> quiet(kChunk);
    std::int64_t written = 0;
    for (; written + kChunk <= kTotal - 192000; written += kChunk) {
        ASSERT_TRUE(writer->Write(quiet.data(), quiet.size(), &problem)) << problem;
    }
    std::vector<std::int16_t> ramp(kTotal - written);
    for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<std::int16_t>(i % 30011);
    ASSERT_TRUE(writer->Write(ramp.data(), ramp.size(), &problem)) << problem;
    writer->Close();

    velto::CSoundFileReader reader;
    ASSERT_TRUE(reader.Open(path, &problem)) << problem;
    EXPECT_EQ(reader.Frames(), kTotal);
    EXPECT_EQ(reader.Station(), "dcf77");
    reader.Close();
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    ASSERT_EQ(sf_seek(file, written, SEEK_SET), written);
    std::vector<std::int16_t> back(ramp.size() + 10);
    EXPECT_EQ(sf_read_short(file, back.data(), static_cast<sf_count_t>(back.size())),
              static_cast<sf_count_t>(ramp.size()));
    sf_close(file);
    back.resize(ramp.size());
    EXPECT_EQ(back, ramp);
}

}  // namespace
