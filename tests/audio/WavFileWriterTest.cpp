#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/RecordingTag.h"
#include "audio/SoundFileReader.h"
#include "audio/WavFileWriter.h"
#include "tests/support/Files.h"

namespace {

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

// Plain WAV counts its bytes in 32 bits: a recording past 4 GiB once told a
// wrapped length.
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
