#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "dsp/Pipeline.h"
#include "dsp/ToneTable.h"

namespace velto {
namespace {

TEST(ToneTable, RoundsPositiveHalvesUpAndNegativeOnesTowardZero) {
    auto table = std::make_unique<std::int16_t[]>(kToneTableSamples);
    MakeToneTable(table.get());
    EXPECT_EQ(table[0], 0);
    EXPECT_EQ(table[15], 3000);
    EXPECT_EQ(table[30], 0);
    EXPECT_EQ(table[45], -2999);
    EXPECT_EQ(table[1], 314);
    EXPECT_EQ(table[31], -313);
    // 60-sample period all through the 8 seconds.
    for (int i = 0; i < kToneTableSamples - 60; i += 997) {
        ASSERT_NEAR(table[i], table[i + 60], 1) << i;
    }
    EXPECT_EQ(table[kToneTableSamples - 45], 3000);
}

class GateToneTest : public ::testing::Test {
protected:
    std::vector<std::int16_t> Gate(int first, int n) {
        std::vector<std::int16_t> out(static_cast<std::size_t>(n) * kBufferSamples + 1, 77);
        p.GateTone(first, n, out.data());
        EXPECT_EQ(out.back(), 77) << "wrote past its slots";
        out.pop_back();
        return out;
    }
    CPipeline p;
};

TEST_F(GateToneTest, UnsetLevelIsSilentWhateverTheRowHolds) {
    p.m_correctedRow.fill(500.0);
    for (std::int16_t v : Gate(3, 1)) ASSERT_EQ(v, 0);
}

TEST_F(GateToneTest, EachChunkFollowsItsSlotAndReadsItsPartOfTheTable) {
    p.m_sliceLevel = 10.0;
    for (int j = 0; j < 10; ++j) p.m_correctedRow[50 + j] = j % 2 == 0 ? 10.0 : 0.0;
    const auto out = Gate(5, 1);
    for (int j = 0; j < 10; ++j) {
        for (int i = 0; i < kSlotSamples; ++i) {
            const int at = kSlotSamples * j + i;
            ASSERT_EQ(out[at], j % 2 == 0 ? p.m_toneTable[at] : 0) << at;
        }
    }
}

TEST_F(GateToneTest, AllOnEqualsTheFirstHundredMillisecondsOfTheTable) {
    p.m_sliceLevel = 10.0;
    p.m_correctedRow.fill(10.0);
    const auto out = Gate(0, 2);
    for (int i = 0; i < 2 * kBufferSamples; ++i) {
        ASSERT_EQ(out[i], p.m_toneTable[i % kBufferSamples]) << i;
    }
}

TEST_F(GateToneTest, WithoutATableTheMonitorIsSilent) {
    p.m_sliceLevel = 10.0;
    p.m_correctedRow.fill(10.0);
    p.m_toneTable.reset();
    for (std::int16_t v : Gate(79, 1)) ASSERT_EQ(v, 0);
}

}  // namespace
}  // namespace velto
