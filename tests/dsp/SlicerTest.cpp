#include <gtest/gtest.h>

#include <string>

#include "dsp/Pipeline.h"
#include "dsp/Slicer.h"

namespace velto {
namespace {

constexpr double kLevel = 100.0;

// Writes a pattern of on ('1') and off ('0') corrected slots from slot `first`.
void SetSlots(CPipeline& p, int first, const std::string& pattern) {
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        p.m_correctedRow[(first + static_cast<int>(i)) % kRowSlots] =
            pattern[i] == '1' ? kLevel : 0.0;
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

TEST(SliceLevel, EleventhLargestOfTheFirstThreeSecondsWhenCloseToTheSixth) {
    CPipeline p;
    p.m_rawRow.fill(999.0);  // beyond slot 299: must not count
    for (int s = 0; s < 300; ++s) p.m_rawRow[s] = 10.0;
    for (int s = 0; s < 20; ++s) p.m_rawRow[s * 13] = 100.0;
    p.EstimateSliceLevel();
    EXPECT_EQ(p.m_sliceLevel, 100.0);
}

TEST(SliceLevel, SilenceKeepsTheLevelAndAZeroLevelSlicesEverythingOff) {
    CPipeline p;
    p.EstimateSliceLevel();
    EXPECT_EQ(p.m_sliceLevel, kSliceLevelUnset);
    p.m_sliceLevel = 42.0;
    p.EstimateSliceLevel();
    EXPECT_EQ(p.m_sliceLevel, 42.0);

    // e10 = 0 and e5 > 0: a level of exactly 0.0 is established.
    p.m_rawRow.fill(0.0);
    for (int s = 0; s < 8; ++s) p.m_rawRow[s] = 50.0;
    p.EstimateSliceLevel();
    EXPECT_EQ(p.m_sliceLevel, 0.0);
    for (int s = 300; s < 310; ++s) p.m_correctedRow[s] = 7.0;
    p.Binarize(30);
    for (int s = 300; s < 310; ++s) EXPECT_EQ(p.m_correctedRow[s], 0.0);
}

TEST(SliceLevel, DescendingComparisonOrdersValuesCloserThanOne) {
    const double a = 10.2;
    const double b = 10.7;
    EXPECT_GT(CompareDescending(&a, &b), 0);
    EXPECT_LT(CompareDescending(&b, &a), 0);
    EXPECT_EQ(CompareDescending(&a, &a), 0);
    const double huge = 1e300;
    const double tiny = -1e300;
    EXPECT_LT(CompareDescending(&huge, &tiny), 0);
}

TEST(Binarize, HalfTheLevelAndAboveIsOn) {
    CPipeline p;
    p.m_sliceLevel = kLevel;
    const double values[10] = {50.0, 49.999, 0.0, 100.0, 1e9, 75.0, 25.0, 50.0001, 10.0, 60.0};
    for (int j = 0; j < 10; ++j) p.m_correctedRow[400 + j] = values[j];
    p.Binarize(40);
    EXPECT_EQ(Slots(p, 400, 10), "1001110101");
}

TEST(SliceBuffer, UnsetLevelLeavesEverySlotAsMeasured) {
    CPipeline p;
    for (int s = 0; s < kRowSlots; ++s) p.m_correctedRow[s] = s % 3 == 0 ? 0.0 : s * 1.5;
    const auto before = p.m_correctedRow;
    p.Binarize(12);
    p.RemoveGlitches(12);
    p.RemoveGlitches(0);
    EXPECT_EQ(p.m_correctedRow, before);
}

TEST(SliceBuffer, EstimatesAtBufferThirtyThenSlicesThatBuffer) {
    CPipeline p;
    for (int s = 0; s < 300; ++s) p.m_rawRow[s] = s % 10 < 5 ? 1000.0 : 20.0;
    for (int s = 290; s < 310; ++s) p.m_correctedRow[s] = p.m_rawRow[s];
    for (int s = 300; s < 310; ++s) p.m_correctedRow[s] = 900.0;
    p.SliceBuffer(30);
    EXPECT_EQ(p.m_sliceLevel, 1000.0);
    for (int s = 300; s < 309; ++s) EXPECT_EQ(p.m_correctedRow[s], 1000.0) << s;
    p.SliceBuffer(31);  // no re-estimate away from buffer 30
    EXPECT_EQ(p.m_sliceLevel, 1000.0);
}

TEST(RemoveGlitches, SingleSlotsFlipAlongTheRingOneSlotBehind) {
    struct Case {
        const char* previous;  // the last two slots of the previous buffer
        const char* buffer;    // this buffer as binarised
        const char* expected;  // slots 10b-2 .. 10b+9 afterwards
    };
    const Case cases[] = {
        {"11", "0101010101", "111111111111"},
        {"11", "1010101010", "111111111110"},
        {"00", "1010101010", "000000000000"},
    };
    for (const Case& c : cases) {
        CPipeline p;
        p.m_sliceLevel = kLevel;
        SetSlots(p, 498, c.previous);
        SetSlots(p, 500, c.buffer);
        p.RemoveGlitches(50);
        EXPECT_EQ(Slots(p, 498, 12), c.expected) << c.previous << " " << c.buffer;
    }
}

TEST(RemoveGlitches, WrapsFromTheLastSlotToTheFirst) {
    CPipeline p;
    p.m_sliceLevel = kLevel;
    SetSlots(p, 798, "01");  // an isolated on slot at 799 ...
    SetSlots(p, 0, "0000000000");
    p.RemoveGlitches(0);  // ... is cleared when buffer 0 is processed
    EXPECT_EQ(p.m_correctedRow[799], 0.0);

    SetSlots(p, 798, "10");  // an isolated off slot at 799 is filled
    SetSlots(p, 0, "1111111111");
    p.RemoveGlitches(0);
    EXPECT_EQ(p.m_correctedRow[799], kLevel);
    // The buffer's last slot waits for the next buffer.
    SetSlots(p, 790, "1111111110");
    SetSlots(p, 800 - 12, "11");
    p.RemoveGlitches(79);
    EXPECT_EQ(p.m_correctedRow[799], 0.0);
}

}  // namespace
}  // namespace velto
