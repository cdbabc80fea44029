// A steady carrier beside the station's, at baseband: the keyed one is
// chosen whichever is stronger, and the steady one is taken out while the
// station's own keying lines, a whole number of Hz from its carrier, stay.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <random>
#include <vector>

#include "timecode/CarrierChoice.h"
#include "timecode/ToneCanceller.h"

namespace velto {
namespace {

using Complex = std::complex<double>;

constexpr double kRate = 1000.0;  // baseband samples per second

// The station's carrier keyed 100 % / 10 % with random symbols (0.8, 0.5 or
// 0.2 s full), `hz` from 40 kHz, at amplitude 1 and phase `phase`.
struct Keyed {
    double hz, phase;
    std::minstd_rand rng{7};
    double full = 0.8;
    Complex At(std::int64_t n) {
        const double inSecond = double(n % 1000) / kRate;
        if (n % 1000 == 0) full = std::array<double, 3>{0.8, 0.5, 0.2}[rng() % 3];
        const double level = inSecond < full ? 1.0 : 0.1;
        return std::polar(level, 2.0 * M_PI * hz * double(n) / kRate + phase);
    }
};

Complex Steady(double hz, double amplitude, std::int64_t n) {
    return std::polar(amplitude, 2.0 * M_PI * hz * double(n) / kRate + 1.0);
}

// A carrier twice as strong as the station's and 3 Hz from it, a whole
// number of Hz, where the station's own keying puts a line: the keyed one
// is chosen. Two steady carriers alone: neither.
TEST(SteadyCarrier, TheKeyedOneIsChosen) {
    CCarrierChoice choice(40000.0);
    Keyed jjy{-2.4, 0.3};
    const double hz[] = {0.6, -2.4};  // strongest first, as the search finds them
    int chosen = -1;
    for (std::int64_t n = 0; n < 8000; ++n) {
        choice.Process(jjy.At(n) + Steady(0.6, 2.0, n), false);
        if (n % 1000 == 999) chosen = choice.Choose(hz, 2);
    }
    EXPECT_EQ(chosen, 1);

    CCarrierChoice none(40000.0);
    const double two[] = {0.6, -5.0};
    for (std::int64_t n = 0; n < 8000; ++n) {
        none.Process(Steady(0.6, 2.0, n) + Steady(-5.0, 1.0, n), false);
        if (n % 1000 == 999) chosen = none.Choose(two, 2);
    }
    EXPECT_EQ(chosen, -1);
}

// The steady carrier 3 Hz away, twice as strong, found by the search 0.02 Hz
// off: once the frequency loop has it, what is left is the station's signal
// as it was, its line at 3 Hz included (without the mirror that line, a
// tenth of the carrier, would go with the steady one).
TEST(SteadyCarrier, IsTakenOutAndTheKeyingStays) {
    CToneCanceller tones;
    Keyed jjy{-2.4, 0.3};
    Keyed same{-2.4, 0.3};  // the same signal again, for the truth
    const double found = 0.62;
    tones.Set(&found, 1);
    const Complex phase = std::polar(1.0, 0.3);
    double error = 0.0;
    int count = 0;
    for (std::int64_t n = 0; n < 60000; ++n) {
        const Complex carrier = std::polar(1.0, 2.0 * M_PI * -2.4 * double(n) / kRate);
        const Complex out = tones.Apply(jjy.At(n) + Steady(0.6, 2.0, n), false, carrier, phase);
        const Complex truth = same.At(n);
        if (n % 1000 == 999) tones.Second();
        if (n >= 40000) {
            error += std::norm(out - truth);
            ++count;
        }
    }
    EXPECT_LT(std::sqrt(error / count), 0.02);
}

}  // namespace
}  // namespace velto
