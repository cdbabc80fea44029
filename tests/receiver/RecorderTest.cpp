#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "MemoryWriter.h"
#include "receiver/Recorder.h"

namespace velto {
namespace {

// Losses longer than a file's most silence, one before the first piece, and an
// index that starts over, while the ring (4 s at 1000/s) wraps many times.
TEST(Recorder, SamplesLostBecomeSilenceInTheirPlace) {
    constexpr int kRate = 1000;
    constexpr std::int64_t kMost = CRecorder::kMostSilenceSeconds * kRate;
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> size(1, 3000), value(1, 30000), odds(0, 9);
    std::vector<std::int16_t> file, expected;
    CRecorder recorder;
    ASSERT_TRUE(recorder.Start(std::make_unique<CMemoryWriter>(file), kRate));
    std::int64_t index = 777;  // a loss before the first piece is no loss
    for (int piece = 0; piece < 400; ++piece) {
        if (piece == 200) {
            index = 0;  // a new run: nothing lost
        } else if (piece > 0 && (piece % 50 == 0 || odds(rng) < 3)) {
            const std::int64_t lost = piece % 50 == 0 ? kMost + 12345 : size(rng);
            index += lost;
            expected.insert(expected.end(), static_cast<std::size_t>(std::min(lost, kMost)), 0);
        }
        std::vector<std::int16_t> samples(static_cast<std::size_t>(size(rng)));
        for (auto& v : samples) v = static_cast<std::int16_t>(value(rng));
        recorder.Push(index, samples.data(), samples.size(), true);
        index += static_cast<std::int64_t>(samples.size());
        expected.insert(expected.end(), samples.begin(), samples.end());
    }
    recorder.Stop();
    ASSERT_EQ(file.size(), expected.size());
    EXPECT_TRUE(file == expected);
}

}  // namespace
}  // namespace velto
