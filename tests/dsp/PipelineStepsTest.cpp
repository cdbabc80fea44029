#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

#include "dsp/Constants.h"
#include "dsp/Pipeline.h"
#include "dsp/SineFit.h"
#include "dsp/Slicer.h"

namespace velto {
namespace {

constexpr double kLevel = 100.0;

// Writes on ('1') and off ('0') corrected slots from slot `first` on, along the ring.
void SetSlots(CPipeline& p, int first, const std::string& pattern) {
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        p.m_correctedRow[(first + i) % kRowSlots] = pattern[i] == '1' ? kLevel : 0.0;
    }
}

std::string Slots(const CPipeline& p, int first, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) {
        const double v = p.m_correctedRow[(first + i) % kRowSlots];
        s += v == 0.0 ? '0' : v == kLevel ? '1' : '?';
    }
    return s;
}

TEST(SineFit, TwoSamplesOfTheCarrierDetermineAmplitudeAndPhase) {
    SineFitResult r;
    SineFit(0.0, 1.0, 0.0, 1.0, kCarrierHz, r);
    EXPECT_EQ(r.valid, 1);
    EXPECT_NEAR(r.amplitude, 2.0, 1e-12);
    EXPECT_NEAR(r.phase, 0.0, 1e-12);
    SineFit(0.0, 1.0, 1.0, 0.0, kCarrierHz, r);
    EXPECT_NEAR(r.amplitude, 2.0, 1e-12);
    EXPECT_NEAR(r.phase, std::numbers::pi / 6.0, 1e-12);

    const double w = kTwoPi * kCarrierHz / kSampleRate;  // any two samples of any carrier sine
    SineFit(17.0, 18.0, 1234.5 * std::sin(17 * w - 2.1), 1234.5 * std::sin(18 * w - 2.1),
            kCarrierHz, r);
    EXPECT_NEAR(r.amplitude, 1234.5, 1e-9);
    EXPECT_NEAR(r.phase, -2.1, 1e-9);

    // Coincident times have no solution.
    SineFit(3.0, 3.0, 1.0, 2.0, 1000.0, r);
    EXPECT_EQ(r.valid, 0);
    EXPECT_EQ(r.phase, 360.0);
    EXPECT_EQ(r.amplitude, 0.0);
    EXPECT_EQ(SineFitAmplitude(3.0, 3.0, 1.0, 2.0, 1000.0), 0.0);
}

// Each slot reads filtered samples 960 j and 960 j + 1 as the fit's y0 and
// y1 (slot 0, in the filter's start-up, those of slot 1); nothing else of the
// buffer counts, and only the buffer's own slots are written.
TEST(MeasureSlots, FitsTheFirstTwoFilteredSamplesOfEachSlot) {
    CPipeline p;
    p.m_filtered.fill(1e6);
    for (int j = 0; j < kSlotsPerBuffer; ++j) {
        p.m_filtered[kSlotSamples * j] = 3.0 + j;
        p.m_filtered[kSlotSamples * j + 1] = -5.0 * j;
    }
    p.MeasureSlots(7);
    for (int j = 0; j < kSlotsPerBuffer; ++j) {
        const int k = j == 0 ? 1 : j;
        const double y0 = 3.0 + k;
        const double y1 = -5.0 * k;
        const double expected = std::hypot(2.0 * y1 + std::sqrt(3.0) * y0, y0);
        EXPECT_NEAR(p.m_rawRow[70 + j], expected, 1e-9 * expected) << j;
        EXPECT_EQ(p.m_correctedRow[70 + j], p.m_rawRow[70 + j]) << j;
    }
    EXPECT_EQ(std::vector({p.m_rawRow[69], p.m_rawRow[80], p.m_correctedRow[80]}),
              std::vector({0.0, 0.0, 0.0}));
}

TEST(Slicer, LevelIsTheEleventhLargestOfTheFirstThreeSecondsAndHalfOfItIsOn) {
    CPipeline p;
    p.EstimateSliceLevel();  // silence in the first pass
    EXPECT_EQ(p.m_sliceLevel, kSliceLevelUnset);

    p.m_rawRow.fill(999.0);  // beyond slot 299: must not count
    std::fill_n(p.m_rawRow.begin(), kSliceEstimateSlots, 10.0);
    for (int s = 0; s < 20; ++s) p.m_rawRow[s * 13] = kLevel;
    p.EstimateSliceLevel();
    EXPECT_EQ(p.m_sliceLevel, kLevel);
    const double values[] = {50.0, 49.999, 0.0, 100.0, 1e9, 75.0, 25.0, 50.0001, 10.0, 60.0};
    std::copy(std::begin(values), std::end(values), p.m_correctedRow.begin() + 400);
    p.Binarize(40);
    EXPECT_EQ(Slots(p, 400, 10), "1001110101");

    p.m_rawRow.fill(0.0);  // silence keeps the level
    p.EstimateSliceLevel();
    EXPECT_EQ(p.m_sliceLevel, kLevel);

    // All different: the level is exactly the eleventh largest.
    for (int s = 0; s < kSliceEstimateSlots; ++s) p.m_rawRow[s] = (s * 7919) % 300;
    p.EstimateSliceLevel();
    EXPECT_EQ(p.m_sliceLevel, 289.0);

    // Only five loud slots: the sixth largest is 0.0 and the level stays.
    p.m_rawRow.fill(0.0);
    std::fill_n(p.m_rawRow.begin(), 5, 50.0);
    p.EstimateSliceLevel();
    EXPECT_EQ(p.m_sliceLevel, 289.0);
    // Six: the eleventh largest, 0.0, below a non-zero sixth is a level of
    // 0.0, which slices everything off.
    p.m_rawRow[5] = 50.0;
    p.EstimateSliceLevel();
    EXPECT_EQ(p.m_sliceLevel, 0.0);
    std::fill_n(p.m_correctedRow.begin() + 300, 10, 7.0);
    p.Binarize(30);
    EXPECT_EQ(Slots(p, 300, 10), "0000000000");
}

TEST(Slicer, CompareDescendingOrdersCloseValuesAndExtremesWithoutOverflow) {
    const double a = 10.2, b = 10.7, huge = 1e300, tiny = -1e300;
    EXPECT_GT(CompareDescending(&a, &b), 0);
    EXPECT_LT(CompareDescending(&huge, &tiny), 0);
    EXPECT_GT(CompareDescending(&tiny, &huge), 0);
}

// Slots 10b-2 .. 10b+10 before and after RemoveGlitches(b): the rule runs
// left to right, one slot behind, across the end of the ring.
TEST(Slicer, GlitchesAreRemovedAlongTheRingOneSlotBehind) {
    struct Case {
        int b;
        const char* before;
        const char* after;
    };
    const Case cases[] = {
        {50, "1101010101010", "1111111111110"},
        {50, "1110101010101", "1111111111101"},  // the last slot waits
        {50, "0010101010100", "0000000000000"},
        {0, "0100000000000", "0000000000000"},  // slot 799 between 798 and 0
        {0, "1011111111110", "1111111111110"},
        {79, "1111111111101", "1111111111101"},  // slot 799 waits for buffer 0
    };
    for (const Case& c : cases) {
        CPipeline p;
        p.m_sliceLevel = kLevel;
        const int first = kSlotsPerBuffer * c.b + kRowSlots - 2;
        SetSlots(p, first, c.before);
        p.RemoveGlitches(c.b);
        EXPECT_EQ(Slots(p, first, 13), c.after) << c.b << " " << c.before;
    }
}

TEST(ToneTable, RoundsPositiveHalvesUpAndNegativeOnesTowardZero) {
    const CPipeline p;
    ASSERT_TRUE(p.HasToneTable());
    const int index[] = {0, 15, 30, 45, 1, 31, kToneTableSamples - 45};
    const int value[] = {0, 3000, 0, -2999, 314, -313, 3000};
    for (int k = 0; k < 7; ++k) EXPECT_EQ(p.m_toneTable[index[k]], value[k]) << index[k];
}

TEST(GateTone, KeysTheTableSlotBySlot) {
    CPipeline p;
    std::vector<std::int16_t> out(2 * kBufferSamples + 1);
    auto gate = [&](int first, int n) {
        std::ranges::fill(out, 77);
        p.GateTone(first, n, out.data());
        EXPECT_EQ(out[n * kBufferSamples], 77) << "wrote past its slots";
    };
    p.m_correctedRow.fill(10.0);
    gate(3, 1);  // no level yet
    for (int i = 0; i < kBufferSamples; ++i) ASSERT_EQ(out[i], 0) << i;

    // A table that does not repeat shows where each sample was read.
    for (int i = 0; i < kToneTableSamples; ++i) p.m_toneTable[i] = static_cast<std::int16_t>(i);
    p.m_sliceLevel = 10.0;
    gate(0, 2);  // every slot reads table samples 0..9599
    for (int i = 0; i < 2 * kBufferSamples; ++i) {
        ASSERT_EQ(out[i], i % kBufferSamples) << i;
    }

    // Chunk j of the slot reads table samples 960 j ..
    for (int j = 0; j < 10; ++j) p.m_correctedRow[50 + j] = j % 2 == 0 ? 10.0 : 0.0;
    gate(5, 1);
    for (int i = 0; i < kBufferSamples; ++i) {
        ASSERT_EQ(out[i], i / kSlotSamples % 2 == 0 ? static_cast<std::int16_t>(i) : 0) << i;
    }
}

}  // namespace
}  // namespace velto
