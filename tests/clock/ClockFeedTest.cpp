#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "clock/ClockFeed.h"
#include "clock/ClockFeedSettings.h"
#include "simulator/StationSignal.h"
#include "timecode/Decoder.h"

namespace velto {
namespace {

constexpr double kRate = 96000.0;
constexpr int kBuffer = 9600;
constexpr std::int64_t kStart = 1750000000;  // system time of sample 0

struct CRecorder : IClockSampleSink {
    explicit CRecorder(std::vector<ClockSample>& out) : out(out) {}
    std::optional<Warning> Send(const ClockSample& sample) override {
        out.push_back(sample);
        return std::nullopt;
    }
    std::vector<ClockSample>& out;
};

// The true time a sample says, to the nearest second.
std::int64_t TrueSecond(const ClockSample& c) {
    return std::llround(static_cast<double>(c.system.sec) +
                        static_cast<double>(c.system.nsec) * 1e-9 + c.offset);
}

// Second k: true time kStart + k, on-time point at sample 96000 k + 4800.5.
DecoderRise Rise(std::int64_t k, bool vouched = true,
                 ReceptionState state = ReceptionState::TimeValid, int leap = 0) {
    DecoderRise r{};
    r.onTimeSample = static_cast<double>(k * 96000) + 4800.5;
    r.secondInMinute = static_cast<int>(k % 60);
    r.state = state;
    r.timeValid = state == ReceptionState::TimeValid || state == ReceptionState::Flywheel;
    r.utcUnix = kStart + k;
    r.leap = leap;
    r.vouched = vouched;
    return r;
}

// None for the flywheel, a leap second, one captured 3 s ago (a held-up
// process) or a second rise in one second; the largest latency leaves the rest fresh.
TEST(ClockFeed, SendsOnlyVouchedFreshSecondsWithASteadyCaptureTime) {
    std::vector<ClockSample> sent;
    CClockFeed feed(ClockFeedSettings::kMaxLatencyMs, nullptr);
    feed.AddSink(std::make_unique<CRecorder>(sent));
    SystemTime now;
    feed.SetClock([&] { return now; });
    // Captured 50.005 ms into system second kStart + k - 1, heard of `after` s later.
    const auto offer = [&](const DecoderRise& r, double after = 1.5, bool steady = true) {
        const SystemTime captured =
            SystemTime{kStart + (r.utcUnix - kStart) - 1, 0}.Plus(4800.5 / 96000.0);
        now = captured.Plus(after);
        feed.OnRise(r, steady ? std::optional(captured) : std::nullopt);
        return sent.size();
    };
    using S = ReceptionState;
    EXPECT_EQ(offer(Rise(1, false)), 0u);
    EXPECT_EQ(offer(Rise(2, true, S::MinuteLocked)), 0u);
    EXPECT_EQ(offer(Rise(3, true, S::Flywheel)), 0u);
    EXPECT_EQ(offer(Rise(4), 1.5, false), 0u);
    EXPECT_EQ(offer(Rise(5), 3.2), 0u);
    auto leap = Rise(60);
    leap.secondInMinute = 60;
    EXPECT_EQ(offer(leap), 0u);
    EXPECT_EQ(offer(Rise(6, true, S::TimeValid, 1), 2.9), 1u);
    EXPECT_EQ(offer(Rise(6)), 1u) << "the same second twice";
    EXPECT_EQ(offer(Rise(7)), 2u);
    const ClockSample& s6 = sent[0];
    const double system =
        static_cast<double>(s6.system.sec - kStart) + static_cast<double>(s6.system.nsec) * 1e-9;
    EXPECT_NEAR(system, 5.0 + 4800.5 / 96000.0 - 1.0, 2e-6);
    EXPECT_NEAR(s6.offset, 6.0 - system, 1e-9);
    EXPECT_EQ(s6.leap, LeapWarning::Insert);
    EXPECT_EQ(sent[1].leap, LeapWarning::None);
}

// Passes rises on as the receiver does, by a system clock 200 ms behind the
// station's; "now" is the newest sample fed.
struct CWatch : IDecoderSink {
    static constexpr std::int64_t kStation = 1796610180 + 20;  // 2026-12-07 11:23:20 JST
    static constexpr std::int64_t kStartOffset = 31234;        // samples into that second
    static constexpr double kSystemBehind = 0.2;

    explicit CWatch(CClockFeed& feed) : feed(feed) {
        feed.SetClock([this] { return SystemAt(fed); });
    }
    static SystemTime SystemAt(double sample) {
        const double t = static_cast<double>(kStartOffset) / kRate + sample / kRate;
        return SystemTime{kStation, 0}.Plus(t - kSystemBehind);
    }
    void OnSecond(const DecoderSecond& s) override { seen.push_back(s); }
    void OnMinute(const DecoderMinute&) override {}
    void OnStatus(const DecoderStatus&) override {}
    void OnRise(const DecoderRise& r) override {
        rises.push_back(r);
        feed.OnRise(r, SystemAt(r.onTimeSample));
    }

    std::vector<DecoderSecond> seen;
    std::vector<DecoderRise> rises;
    double fed = 0.0;
    CClockFeed& feed;
};

// Four minutes of signal, then the carrier is gone.
TEST(ClockFeed, FromTheDecoderOnlyForAReceivedTimeAndTrueToTheSimulator) {
    CClockFeed feed(0.0, nullptr);
    std::vector<ClockSample> sent;
    feed.AddSink(std::make_unique<CRecorder>(sent));
    CWatch watch(feed);
    CDecoder decoder(watch);

    StationSignalOptions options{.carrierAmplitude = 3000.0,
                                 .noiseSigma = 300.0,
                                 .startOffsetSamples = CWatch::kStartOffset};
    std::int64_t index = 0;
    std::int64_t lost = 0;
    std::vector<std::int16_t> buffer(kBuffer);
    for (const auto& [station, seconds] :
         {std::pair(CWatch::kStation, 240), std::pair(CWatch::kStation + 240, 90)}) {
        CStationSignal signal(station, options);
        for (int b = 0; b < seconds * 10; ++b, index += kBuffer) {
            signal.Generate(buffer.data(), buffer.size());
            decoder.Feed(index, buffer.data(), buffer.size());
            watch.fed = static_cast<double>(index + kBuffer);
        }
        lost = lost == 0 ? index : lost;
        options.carrierAmplitude = 0.0;  // then the carrier is gone
        options.seed = 2;
    }

    // Each sample names its second by its true time.
    double worst = 0.0;
    for (const ClockSample& c : sent) {
        const std::int64_t utc = TrueSecond(c);
        const auto rise = std::ranges::find(watch.rises, utc, &DecoderRise::utcUnix);
        ASSERT_NE(rise, watch.rises.end()) << "a sample for no second reported: " << utc;
        EXPECT_TRUE(rise->vouched) << utc;
        EXPECT_EQ(rise->state, ReceptionState::TimeValid) << utc;
        EXPECT_LT(rise->onTimeSample, static_cast<double>(lost)) << "after the loss: " << utc;
        EXPECT_EQ(c.leap, LeapWarning::None);
        worst = std::max(worst, std::abs(c.offset - CWatch::kSystemBehind));
    }
    ASSERT_GT(sent.size(), 30u);
    const auto firstValid = std::ranges::find(watch.seen, true, &DecoderSecond::timeValid);
    ASSERT_NE(firstValid, watch.seen.end());
    EXPECT_GE(TrueSecond(sent.front()), firstValid->utcUnix - 1);
    EXPECT_LT(worst, 0.0005);
}

TEST(ClockFeed, KeepsItsTroubleUntilASampleIsTakenAndWhenOneWas) {
    struct CFlakySink : IClockSampleSink {
        std::optional<Warning> Send(const ClockSample&) override {
            if (!up) return Warning{WarningCode::ClockFeed, "cannot send: Permission denied"};
            return ++taken == 1 ? std::optional(Warning{WarningCode::ClockFeed, "back"})
                                : std::nullopt;
        }
        long Taken() const override { return taken; }
        bool up = false;
        long taken = 0;
    };
    auto flaky = std::make_unique<CFlakySink>();
    CFlakySink* sink = flaky.get();
    std::vector<std::string> told;
    CClockFeed feed(0.0, [&](const Warning& w) { told.push_back(w.text); });
    feed.AddSink(std::move(flaky));
    feed.NoteTrouble("no chronyd listens yet");
    EXPECT_EQ(feed.Trouble(), "no chronyd listens yet");
    EXPECT_FALSE(feed.LastTaken());
    feed.SetClock([] { return SystemTime{kStart + 2, 0}; });
    const auto second = [&feed](std::int64_t k) {
        feed.OnRise(Rise(k), SystemTime{kStart + k, 0});
    };
    second(0);
    EXPECT_EQ(feed.Trouble(), "cannot send: Permission denied");
    EXPECT_FALSE(feed.LastTaken());
    sink->up = true;
    const auto before = std::chrono::steady_clock::now();
    second(1);
    EXPECT_EQ(feed.Trouble(), "");
    ASSERT_TRUE(feed.LastTaken());
    EXPECT_GE(*feed.LastTaken(), before);
    EXPECT_EQ(told, (std::vector<std::string>{"cannot send: Permission denied", "back"}));
}

}  // namespace
}  // namespace velto
