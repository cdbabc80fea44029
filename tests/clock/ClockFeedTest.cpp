#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "clock/ClockFeed.h"
#include "receiver/SampleClock.h"
#include "simulator/JjySignal.h"
#include "timecode/Decoder.h"

namespace velto {
namespace {

constexpr double kRate = 96000.0;
constexpr int kBuffer = 9600;
constexpr std::int64_t kStart = 1750000000;  // system time of sample 0

class CRecorder : public IClockSampleSink {
public:
    explicit CRecorder(std::vector<ClockSample>& out) : m_out(out) {}
    std::optional<Warning> Send(const ClockSample& sample) override {
        m_out.push_back(sample);
        return std::nullopt;
    }

private:
    std::vector<ClockSample>& m_out;
};

// The true time a sample says, to the nearest second.
std::int64_t TrueSecond(const ClockSample& c) {
    return std::llround(static_cast<double>(c.system.sec) +
                        static_cast<double>(c.system.nsec) * 1e-9 + c.offset);
}

// A capture whose buffers arrive exactly when their last sample was taken
// (or, without stamps, whose times are unknown), and seconds whose on-time
// point is at sample 96000 k + 4800.5, which the system clock reads as
// 50.005 ms into its second k, while the true time is kStart + k + 1. The
// decoder's status follows each second a second later.
class CFeedRun {
public:
    explicit CFeedRun(bool stamps = true) : m_stamps(stamps), m_clock(kRate) { NewFeed(0.0); }

    // A feed of this latency from here on.
    void NewFeed(double latencyMs) {
        m_feed = std::make_unique<CClockFeed>(latencyMs, nullptr);
        m_feed->AddSink(std::make_unique<CRecorder>(sent));
    }

    void Second(ReceptionState state, double cn0 = 60.0, int leap = 0) {
        while (m_stamps && m_buffers * kBuffer < (m_second + 2) * 96000) {
            const std::int64_t end = ++m_buffers * kBuffer;
            m_clock.AddStamp(end,
                             SystemTime{kStart + end / 96000, end % 96000 * 1000000000 / 96000});
        }
        DecoderSecond s{};
        s.onTimeSample = static_cast<double>(m_second * 96000) + 4800.5;
        s.secondInMinute = static_cast<int>(m_second % 60);
        s.state = state;
        s.timeValid = state == ReceptionState::TimeValid || state == ReceptionState::Flywheel;
        s.flywheel = state == ReceptionState::Flywheel;
        s.utcUnix = kStart + m_second + 1;
        s.leap = leap;
        m_feed->OnSecond(
            s, m_clock.Ready() ? std::optional(m_clock.TimeOf(s.onTimeSample)) : std::nullopt);
        DecoderStatus status{};
        status.state = state;
        status.cn0DbHz = cn0;
        status.sample = static_cast<std::int64_t>(s.onTimeSample) + 96000;
        m_feed->OnStatus(status);
        ++m_second;
    }

    // The seconds (counted from 0) of the samples sent, by their true time.
    std::vector<int> SentSeconds() const {
        std::vector<int> seconds;
        for (const ClockSample& c : sent) {
            seconds.push_back(static_cast<int>(TrueSecond(c) - kStart - 1));
        }
        return seconds;
    }

    std::vector<ClockSample> sent;

private:
    bool m_stamps;
    CSampleClock m_clock;
    std::unique_ptr<CClockFeed> m_feed;
    std::int64_t m_second = 0;
    std::int64_t m_buffers = 0;
};

// Samples go out only for seconds received with a fresh time, and only once
// a status more than five seconds after them still shows the carrier: not
// while the decoder locks on, not for the seconds before the flywheel or a
// loss of the carrier (which the decoder's state may not show yet), and
// again when a valid time returns, each with its second's leap warning.
// Without capture stamps there is no system time to tell, and nothing goes out.
TEST(ClockFeed, SendsOnlyWhileTheTimeIsReceivedAndStampsTheOnTimePoint) {
    CFeedRun run;
    using S = ReceptionState;
    for (S state : {S::SecondLocked, S::SecondLocked, S::MinuteLocked, S::TimeValid, S::TimeValid,
                    S::TimeValid, S::TimeValid, S::TimeValid, S::TimeValid, S::TimeValid,
                    S::TimeValid, S::Flywheel, S::Flywheel, S::NoSignal, S::SecondLocked}) {
        run.Second(state);  // 0-14
    }
    EXPECT_EQ(run.SentSeconds(), (std::vector<int>{3, 4, 5}));

    // The carrier fades while the decoder still says TimeValid. A sample's
    // system time is the capture time of the on-time point less the
    // calibrated latency, and its offset the true whole second less that.
    run.sent.clear();
    run.NewFeed(7.5);
    for (int i = 15; i <= 33; ++i) {
        run.Second(S::TimeValid, i >= 23 && i <= 25 ? 10.0 : 60.0, i == 16 ? 1 : 0);
    }
    EXPECT_EQ(run.SentSeconds(), (std::vector<int>{15, 16, 17, 26, 27, 28}));
    ASSERT_EQ(run.sent.size(), 6u);
    // Sample 16 * 96000 + 4800.5 was captured 50.005 ms into second 16 after
    // kStart; its true time is kStart + 17.
    const ClockSample& s16 = run.sent[1];
    const double system =
        static_cast<double>(s16.system.sec - kStart) + static_cast<double>(s16.system.nsec) * 1e-9;
    EXPECT_NEAR(system, 16.0 + 4800.5 / 96000.0 - 0.0075, 2e-6);
    EXPECT_NEAR(s16.offset, 17.0 - system, 1e-9);
    EXPECT_EQ(s16.leap, LeapWarning::Insert);
    EXPECT_EQ(run.sent[0].leap, LeapWarning::None);

    CFeedRun unstamped(false);
    for (int i = 0; i < 20; ++i) unstamped.Second(S::TimeValid);
    EXPECT_TRUE(unstamped.sent.empty());
}

// Notes every second the decoder reports and passes everything on to the
// feed, as the receiver does: with the second's capture time, here a system
// clock 200 ms behind the station's.
class CWatch : public IDecoderSink {
public:
    static constexpr std::int64_t kStation = 1796610180 + 20;  // 2026-12-07 11:23:20 JST
    static constexpr std::int64_t kStartOffset = 31234;        // samples into that second
    static constexpr double kSystemBehind = 0.2;

    explicit CWatch(CClockFeed& feed) : m_feed(feed) {}
    void OnSecond(const DecoderSecond& s) override {
        seen.push_back(s);
        const double t = static_cast<double>(kStartOffset) / kRate + s.onTimeSample / kRate;
        m_feed.OnSecond(s, SystemTime{kStation, 0}.Plus(t - kSystemBehind));
    }
    void OnMinute(const DecoderMinute&) override {}
    void OnStatus(const DecoderStatus& s) override { m_feed.OnStatus(s); }

    std::vector<DecoderSecond> seen;

private:
    CClockFeed& m_feed;
};

// The real decoder on the simulated station: four minutes of signal, then
// the carrier is gone. Samples go out only for seconds the decoder has just
// received with a valid time, none for on-time points after the loss, and
// each offset is the 200 ms by which this run's system clock is behind, to
// the decoder's accuracy.
TEST(ClockFeed, FromTheDecoderOnlyForAReceivedTimeAndTrueToTheSimulator) {
    constexpr std::int64_t kStation = CWatch::kStation;
    constexpr std::int64_t kStartOffset = CWatch::kStartOffset;
    constexpr double kSystemBehind = CWatch::kSystemBehind;
    CClockFeed feed(0.0, nullptr);
    std::vector<ClockSample> sent;
    feed.AddSink(std::make_unique<CRecorder>(sent));
    CWatch watch(feed);
    CDecoder decoder(watch);

    JjySignalOptions options;
    options.carrierAmplitude = 3000.0;
    options.noiseSigma = 300.0;
    options.startOffsetSamples = kStartOffset;
    std::int64_t index = 0;
    std::int64_t lost = 0;
    std::vector<std::int16_t> buffer(kBuffer);
    for (const auto& [station, seconds] :
         {std::pair(kStation, 240), std::pair(kStation + 240, 90)}) {
        CJjySignal signal(station, options);
        for (int b = 0; b < seconds * 10; ++b, index += kBuffer) {
            signal.Generate(buffer.data(), buffer.size());
            decoder.Feed(index, buffer.data(), buffer.size());
        }
        lost = lost == 0 ? index : lost;
        options.carrierAmplitude = 0.0;  // then the carrier is gone
        options.seed = 2;
    }

    // Each sample names its second by its true time.
    double worst = 0.0;
    for (const ClockSample& c : sent) {
        const std::int64_t utc = TrueSecond(c);
        const auto second = std::ranges::find(watch.seen, utc, &DecoderSecond::utcUnix);
        ASSERT_NE(second, watch.seen.end()) << "a sample for no second reported: " << utc;
        EXPECT_EQ(second->state, ReceptionState::TimeValid) << utc;
        EXPECT_FALSE(second->flywheel) << utc;
        EXPECT_LT(second->onTimeSample, static_cast<double>(lost)) << "after the loss: " << utc;
        EXPECT_EQ(c.leap, LeapWarning::None);
        worst = std::max(worst, std::abs(c.offset - kSystemBehind));
    }
    // Minutes of valid time give many samples; the first minutes, before the
    // time was valid, give none.
    ASSERT_GT(sent.size(), 30u);
    const auto firstValid = std::ranges::find(watch.seen, true, &DecoderSecond::timeValid);
    ASSERT_NE(firstValid, watch.seen.end());
    EXPECT_GE(TrueSecond(sent.front()), firstValid->utcUnix - 1);
    EXPECT_LT(worst, 0.0005);
}

// What the window shows of the feed: the trouble that stands until a sample
// gets through, and when one last did.
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
    const auto second = [&feed](std::int64_t k) {
        DecoderSecond s{};
        s.onTimeSample = static_cast<double>(k * 96000);
        s.secondInMinute = static_cast<int>(k % 60);
        s.state = ReceptionState::TimeValid;
        s.timeValid = true;
        s.utcUnix = kStart + k;
        feed.OnSecond(s, SystemTime{kStart + k, 0});
        DecoderStatus status{};
        status.state = ReceptionState::TimeValid;
        status.cn0DbHz = 60.0;
        status.sample = (k + 6) * 96000;
        feed.OnStatus(status);
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
