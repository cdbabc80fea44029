// The receiving chain: the band-pass and filter, each station's chain, the slicing of
// the simulated time code; and the slot meter, slicer and tone gate on their own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "dsp/Bandpass.h"
#include "dsp/BandpassCoefficients.h"
#include "dsp/Constants.h"
#include "dsp/Filter.h"
#include "dsp/Pipeline.h"
#include "dsp/SineFit.h"
#include "dsp/Slicer.h"
#include "dsp/SlotMeter.h"
#include "dsp/ToneGate.h"
#include "station/FrameEncoder.h"
#include "station/Station.h"
#include "tests/support/Simulated.h"

namespace velto {
namespace {

using Samples = std::vector<std::int16_t>;
using Output = std::vector<double>;

Samples Sine(double hz, double amplitude, double phase, CaptureFormat format = kBaseFormat) {
    Samples x(static_cast<std::size_t>(format.BufferSamples()));
    for (std::size_t t = 0; t < x.size(); ++t) {
        x[t] = static_cast<std::int16_t>(std::lround(
            amplitude * std::sin(kTwoPi * hz * static_cast<double>(t) / format.rate + phase)));
    }
    return x;
}

// Zero-phase response of a symmetric filter from its half.
double Gain(std::span<const double> half, double hz, double rate) {
    double g = half[0];
    for (std::size_t k = 1; k < half.size(); ++k) {
        g += 2.0 * half[k] * std::cos(kTwoPi * hz * static_cast<double>(k) / rate);
    }
    return std::fabs(g);
}

double Db(double ratio) { return 20.0 * std::log10(ratio); }

TEST(Bandpass, TheFixedTableIsATaperedIdealBandpassAndTheDesignFor40kHzAt96kHz) {
    EXPECT_EQ(kBandpassHalf[0], 0.008333);
    // The best quadratic taper leaves 0.61e-6: 0.7e-6 still catches a mistyped entry.
    for (int k = 0; k <= kHalfTaps; ++k) {
        const double ideal = k == 0 ? 800.0 / 96000.0
                                    : 2.0 * std::cos(kTwoPi * 40000.0 * k / 96000.0) *
                                          std::sin(kTwoPi * 200.0 * k / 96000.0) /
                                          (std::numbers::pi * k);
        const double u = k / 240.0;
        EXPECT_NEAR(kBandpassHalf[k], ideal * (1.0 - 0.05165 * u * u), 0.7e-6) << k;
        if (k % 6 == 3) {
            EXPECT_EQ(kBandpassHalf[k], 0.0) << k;
        }
    }

    CBandpass bandpass;
    ASSERT_TRUE(bandpass.Design(kCarrierHz, kBaseFormat));
    ASSERT_EQ(bandpass.TapCount(), kTapCount);
    for (int k = 0; k <= kHalfTaps; ++k) {
        EXPECT_NEAR(bandpass.HalfTaps()[static_cast<std::size_t>(k)], kBandpassHalf[k], 1.5e-6)
            << k;
    }
}

using Kernel = CFilter::Kernel;
constexpr Kernel kKernels[] = {Kernel::Portable, Kernel::Avx2, Kernel::Avx512};

// Zeros beyond an impulse's reach stay zero, so silence needs no case of its own; linear, the
// filter passes the carrier as its impulses say. Other kernels are held to the reference below.
TEST(Filter, ZerosStayZeroAndAnImpulseReproducesTheTable) {
    for (int t0 : {0, 1, 239, 240, 4800, 9359, 9360, 9599}) {
        Samples in(kBufferSamples, 0);
        in[t0] = 1;
        Output out(kBufferSamples, -123.0);  // each output written
        CFilter().Apply(in.data(), out.data());
        for (int t = 0; t < kBufferSamples; ++t) {
            const int k = std::abs(t - t0);
            ASSERT_EQ(out[t], k <= kHalfTaps ? kBandpassHalf[k] : 0.0)
                << "impulse at " << t0 << ", t = " << t;
        }
    }
}

// Inputs include those driving output 4800 to its extremes: the kernels add
// in 32-bit groups that must not overflow even then.
TEST(Filter, FastKernelsEqualTheReferenceAndKeepNoState) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> dist(-32768, 32767);
    Samples noise(kBufferSamples);
    for (auto& s : noise) s = static_cast<std::int16_t>(dist(rng));
    Samples tone = Sine(kCarrierHz, 12000.0, 0.3);
    for (auto& s : tone) {
        s = static_cast<std::int16_t>(std::clamp(s + dist(rng) / 8, -32768, 32767));
    }
    Samples highest(kBufferSamples, 0), lowest(kBufferSamples, 0);
    for (int t = 4800 - kHalfTaps; t <= 4800 + kHalfTaps; ++t) {
        const double h = kBandpassHalf[std::abs(t - 4800)];
        highest[t] = h > 0 ? 32767 : h < 0 ? -32768 : 0;
        lowest[t] = h > 0 ? -32768 : h < 0 ? 32767 : 0;
    }

    CFilter filter;
    const Samples* inputs[] = {&noise, &tone, &highest, &lowest};
    for (int i = 0; i < 4; ++i) {
        const Samples* in = inputs[i];
        Output reference(kBufferSamples), first(kBufferSamples), again(kBufferSamples);
        filter.ApplyReference(in->data(), reference.data());
        filter.Apply(in->data(), first.data());
        filter.Apply(in->data(), again.data());
        EXPECT_EQ(first, again);
        double peak = 0.0;
        for (double v : reference) peak = std::max(peak, std::fabs(v));
        for (Kernel kernel : kKernels) {
            if (!CFilter::Supports(kernel)) continue;
            Output fast(kBufferSamples);
            filter.ApplyWith(kernel, in->data(), fast.data());
            for (int t = 0; t < kBufferSamples; ++t) {
                ASSERT_NEAR(fast[t], reference[t], 1e-9 * peak)
                    << "kernel " << static_cast<int>(kernel) << ", input " << i << ", t = " << t;
            }
        }
    }
}

// Every station at every rate whose 45 % holds its carrier has the fixed table's response.
TEST(StationChain, EveryStationAndRateHasTheCharacterOfTheFixedTable) {
    for (const Station& st : Stations()) {
        for (const int rate : {kSampleRate, 2 * kSampleRate}) {
            if (st.carrierHz >= 0.45 * rate) continue;
            const CaptureFormat format = *CaptureFormat::ForRate(rate);
            SCOPED_TRACE(std::string(st.name) + " at " + std::to_string(rate));
            CBandpass bandpass;
            ASSERT_TRUE(bandpass.Design(st.carrierHz, format));
            EXPECT_EQ(bandpass.TapCount(), format.rate / 200 + 1);
            const auto h = bandpass.HalfTaps();
            const double c = st.carrierHz;
            const double peak = Gain(h, c, format.rate);
            EXPECT_NEAR(peak, 1.1685, 0.002);
            for (double side : {-1.0, 1.0}) {
                EXPECT_NEAR(Db(Gain(h, c + side * 126.0, format.rate) / peak), -3.0, 0.3);
                EXPECT_LT(Db(Gain(h, c + side * 282.0, format.rate) / peak), -19.0);
                for (double off = 1000.0; off <= 5000.0; off += 250.0) {
                    EXPECT_LT(Db(Gain(h, c + side * off, format.rate) / peak), -43.0) << off;
                }
            }
            for (double hum = 0.0; hum <= 1000.0; hum += 50.0) {
                EXPECT_LT(Db(Gain(h, hum, format.rate) / peak), -90.0) << hum;
            }

            CPipeline p;
            ASSERT_TRUE(p.Configure(st.carrierHz, format));
            const Samples carrier = Sine(st.carrierHz, 1000.0, 0.3, format);
            p.ProcessBuffer(carrier.data(), 3);
            ASSERT_EQ(p.Filtered().size(), carrier.size());
            const Samples beside = Sine(st.carrierHz + 2000.0, 1000.0, 0.3, format);
            SlotRow row = p.RawRow();
            p.ProcessBuffer(beside.data(), 4);
            for (int j = 0; j < kSlotsPerBuffer; ++j) {
                EXPECT_NEAR(row[30 + j], 1168.5, 1168.5 * 0.01) << j;
                EXPECT_LT(p.RawRow()[40 + j], 15.0) << j;
            }
        }
    }
}

// JJY 40 kHz at 96 kHz keeps the fixed chain bit for bit, also after another station.
TEST(StationChain, Jjy40At96kHzIsTheFixedChainBitForBit) {
    Samples x(kBufferSamples);
    std::uint32_t seed = 12345;
    for (std::size_t t = 0; t < x.size(); ++t) {
        seed = seed * 1664525u + 1013904223u;
        const double noise = static_cast<double>(seed >> 20) - 2048.0;
        x[t] = static_cast<std::int16_t>(
            std::lround(3000.0 * std::sin(kTwoPi * 40000.0 * t / kSampleRate) + noise));
    }
    CFilter fixed;
    fixed.SetTapCount(kTapCount);
    Output expected(kBufferSamples);
    fixed.Apply(x.data(), expected.data());

    CPipeline fresh, travelled;
    ASSERT_TRUE(travelled.Configure(60000.0, *CaptureFormat::ForRate(192000)));
    ASSERT_TRUE(travelled.Configure(GetStation(StationId::Jjy40).carrierHz, kBaseFormat));
    for (CPipeline* p : {&fresh, &travelled}) {
        p->ProcessBuffer(x.data(), 0);
        EXPECT_TRUE(std::ranges::equal(p->Filtered(), expected))
            << (p == &fresh ? "fresh" : "back");
    }
    EXPECT_EQ(fresh.RawRow(), travelled.RawRow());
}

TEST(ReceptionChain, SlicesTheSimulatedTimeCodeIntoItsPulses) {
    constexpr std::int64_t kStart = 1796610180 + 20;  // 2026-12-07 11:23:20 JST
    constexpr int kOffset = 12345;                    // not on a second or slot boundary
    const Samples x = support::Simulated(
        kStart, 2 * kRingSamples,
        {.carrierAmplitude = 6000.0, .noiseSigma = 600.0, .startOffsetSamples = kOffset});
    CPipeline p;
    for (int pass = 0; pass < 2; ++pass) {
        for (int b = 0; b < kRingBuffers; ++b) {
            p.ProcessBuffer(x.data() + (pass * kRingBuffers + b) * kBufferSamples, b);
            if (pass == 0 && b < kSliceEstimateBuffer) {
                ASSERT_EQ(p.SliceLevel(), kSliceLevelUnset);
                ASSERT_EQ(p.CorrectedRow(), p.RawRow());
            }
            for (int s = kSliceEstimateSlots; pass == 0 && s < kSlotsPerBuffer * (b + 1); ++s) {
                const double v = p.CorrectedRow()[s];
                ASSERT_TRUE(v == 0.0 || v == p.SliceLevel()) << "buffer " << b << " slot " << s;
            }
        }
    }
    EXPECT_NEAR(p.SliceLevel(), 6000.0 * 1.1685, 6000.0 * 0.15);

    // Seconds 9..15 lie wholly inside the second pass.
    const Station& jjy40 = GetStation(StationId::Jjy40);
    const Frame frame =
        EncodeFrame(jjy40, UtcFromCivil(CivilZone::Japan, 2026, 12, 7, 11, 23, false));
    constexpr int kSlotsPerSecond = kSampleRate / kSlotSamples;
    for (int q = 9; q <= 15; ++q) {
        const double begin =
            (q * kSampleRate - kOffset - kRingSamples) / static_cast<double>(kSlotSamples);
        int a = static_cast<int>(std::ceil(begin)) + 1;  // the run just after the second begins
        ASSERT_NE(p.CorrectedRow()[a], 0.0) << "second " << q;
        while (a > 0 && p.CorrectedRow()[a - 1] != 0.0) --a;
        int e = a;
        while (e < kRowSlots && p.CorrectedRow()[e] != 0.0) ++e;
        EXPECT_NEAR(a, begin, 1.5) << "second " << q;
        // Full carrier until the symbol's reduced part begins.
        const double on = jjy40.Keying(frame.symbols[20 + q]).reduced[0].from;
        EXPECT_NEAR(e - a, on * kSlotsPerSecond, 1) << "second " << q;
        for (int s = e; s < begin + kSlotsPerSecond - 1.0; ++s) {  // off until the next second
            ASSERT_EQ(p.CorrectedRow()[s], 0.0) << "second " << q << " slot " << s;
        }
    }
}

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
        const double y0 = 3.0 + k, y1 = -5.0 * k;
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
    CSlicer slicer;
    SlotRow full;
    full.fill(kLevel);
    slicer.EstimateSliceLevel(full);
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
