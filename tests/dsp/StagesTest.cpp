#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

#include "dsp/Constants.h"
#include "dsp/SineFit.h"
#include "dsp/Slicer.h"
#include "dsp/SlotMeter.h"
#include "dsp/ToneGate.h"

namespace velto {
namespace {

constexpr double kLevel = 100.0;

void SetSlots(SlotRow& row, int first, const std::string& pattern) {
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        row[(first + i) % kRowSlots] = pattern[i] == '1' ? kLevel : 0.0;
    }
}

std::string Slots(const SlotRow& row, int first, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) {
        const double v = row[(first + i) % kRowSlots];
        s += v == 0.0 ? '0' : v == kLevel ? '1' : '?';
    }
    return s;
}

CSlicer Sliced() {
    CSlicer slicer;
    SlotRow raw;
    raw.fill(kLevel);
    slicer.EstimateSliceLevel(raw);
    return slicer;
}

TEST(SlotMeter, TwoSamplesOfTheCarrierDetermineAmplitudeAndPhaseOfEachSlot) {
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

    SineFit(3.0, 3.0, 1.0, 2.0, 1000.0, r);
    EXPECT_EQ(r.valid, 0);
    EXPECT_EQ(r.phase, 360.0);
    EXPECT_EQ(r.amplitude, 0.0);
    EXPECT_EQ(SineFitAmplitude(3.0, 3.0, 1.0, 2.0, 1000.0), 0.0);

    // Slot j fits samples 960 j and 960 j + 1 (slot 0, in the filter's start-up, slot 1's).
    std::vector<double> filtered(kBufferSamples, 1e6);
    for (int j = 0; j < kSlotsPerBuffer; ++j) {
        filtered[kSlotSamples * j] = 3.0 + j;
        filtered[kSlotSamples * j + 1] = -5.0 * j;
    }
    SlotRow raw{}, corrected{};
    CSlotMeter().MeasureSlots(filtered.data(), 7, raw, corrected);
    for (int j = 0; j < kSlotsPerBuffer; ++j) {
        const int k = j == 0 ? 1 : j;
        const double y0 = 3.0 + k;
        const double y1 = -5.0 * k;
        const double expected = std::hypot(2.0 * y1 + std::sqrt(3.0) * y0, y0);
        EXPECT_NEAR(raw[70 + j], expected, 1e-9 * expected) << j;
        EXPECT_EQ(corrected[70 + j], raw[70 + j]) << j;
    }
    EXPECT_EQ(std::vector({raw[69], raw[80], corrected[80]}), std::vector({0.0, 0.0, 0.0}));
}

TEST(Slicer, LevelIsTheEleventhLargestOfTheFirstThreeSecondsAndHalfOfItIsOn) {
    CSlicer p;
    SlotRow raw{}, corrected{};
    p.EstimateSliceLevel(raw);  // silence in the first pass
    EXPECT_EQ(p.SliceLevel(), kSliceLevelUnset);

    raw.fill(999.0);  // beyond slot 299: must not count
    std::fill_n(raw.begin(), kSliceEstimateSlots, 10.0);
    for (int s = 0; s < 20; ++s) raw[s * 13] = kLevel;
    p.EstimateSliceLevel(raw);
    EXPECT_EQ(p.SliceLevel(), kLevel);
    const double values[] = {50.0, 49.999, 0.0, 100.0, 1e9, 75.0, 25.0, 50.0001, 10.0, 60.0};
    std::copy(std::begin(values), std::end(values), corrected.begin() + 400);
    p.Binarize(40, corrected);
    EXPECT_EQ(Slots(corrected, 400, 10), "1001110101");

    raw.fill(0.0);  // silence keeps the level
    p.EstimateSliceLevel(raw);
    EXPECT_EQ(p.SliceLevel(), kLevel);

    for (int s = 0; s < kSliceEstimateSlots; ++s) raw[s] = (s * 7919) % 300;
    p.EstimateSliceLevel(raw);
    EXPECT_EQ(p.SliceLevel(), 289.0);

    // Only five loud slots: the sixth largest is 0.0 and the level stays.
    raw.fill(0.0);
    std::fill_n(raw.begin(), 5, 50.0);
    p.EstimateSliceLevel(raw);
    EXPECT_EQ(p.SliceLevel(), 289.0);
    // Six: the eleventh largest, 0.0, below a non-zero sixth is the level.
    raw[5] = 50.0;
    p.EstimateSliceLevel(raw);
    EXPECT_EQ(p.SliceLevel(), 0.0);
    std::fill_n(corrected.begin() + 300, 10, 7.0);
    p.Binarize(30, corrected);
    EXPECT_EQ(Slots(corrected, 300, 10), "0000000000");
    // The ordering holds for close values and extremes.
    const double a = 10.2, b = 10.7, huge = 1e300, tiny = -1e300;
    EXPECT_GT(CompareDescending(&a, &b), 0);
    EXPECT_LT(CompareDescending(&huge, &tiny), 0);
    EXPECT_GT(CompareDescending(&tiny, &huge), 0);
}

// Slots 10b-2 .. 10b+10 before and after RemoveGlitches(b).
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
    const CSlicer slicer = Sliced();
    for (const Case& c : cases) {
        SlotRow row{};
        const int first = kSlotsPerBuffer * c.b + kRowSlots - 2;
        SetSlots(row, first, c.before);
        slicer.RemoveGlitches(c.b, row);
        EXPECT_EQ(Slots(row, first, 13), c.after) << c.b << " " << c.before;
    }
}

// The table rounds positive halves up and negative ones toward zero.
TEST(ToneGate, KeysTheTableSlotBySlot) {
    std::vector<std::int16_t> table(kToneTableSamples);
    MakeToneTable(table.data());
    const int index[] = {0, 15, 30, 45, 1, 31, kToneTableSamples - 45};
    const int value[] = {0, 3000, 0, -2999, 314, -313, 3000};
    for (int k = 0; k < 7; ++k) EXPECT_EQ(table[index[k]], value[k]) << index[k];
    const CToneGate gate;
    ASSERT_TRUE(gate.HasToneTable());
    SlotRow corrected;
    corrected.fill(10.0);
    std::vector<std::int16_t> out(2 * kBufferSamples + 1);
    auto keyed = [&](int first, int n, double level) {
        std::ranges::fill(out, 77);
        gate.GateTone(first, n, corrected, level, out.data());
        EXPECT_EQ(out[n * kBufferSamples], 77) << "wrote past its slots";
    };
    keyed(3, 1, kSliceLevelUnset);
    EXPECT_EQ(std::count(out.begin(), out.begin() + kBufferSamples, 0), kBufferSamples);
    keyed(79, 2, 10.0);  // across the end of the ring
    for (int i = 0; i < 2 * kBufferSamples; ++i) ASSERT_EQ(out[i], table[i % kBufferSamples]) << i;

    for (int j = 0; j < 10; ++j) corrected[50 + j] = j % 2 == 0 ? 10.0 : 0.0;
    keyed(5, 1, 10.0);
    for (int i = 0; i < kBufferSamples; ++i) {
        ASSERT_EQ(out[i], i / kSlotSamples % 2 == 0 ? table[i] : 0) << i;
    }
}

}  // namespace
}  // namespace velto
