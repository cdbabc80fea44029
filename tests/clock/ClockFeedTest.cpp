#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "receiver/ClockFeed.h"
#include "receiver/SampleClock.h"

namespace velto {
namespace {

constexpr double kRate = 96000.0;
constexpr int kBuffer = 9600;
constexpr std::int64_t kStart = 1750000000;  // system time of sample 0

class CRecorder : public IClockSampleSink {
public:
    explicit CRecorder(std::vector<ClockSample>& out) : m_out(out) {}
    void Send(const ClockSample& sample) override { m_out.push_back(sample); }

private:
    std::vector<ClockSample>& m_out;
};

// A capture whose buffers arrive exactly when their last sample was taken,
// and seconds whose on-time point is at sample 96000 k + 4800.5, which the
// system clock reads as 50.005 ms into its second k, while the true time is
// kStart + k + 1. The decoder's status follows each second a second later.
class CFeedRun {
public:
    CFeedRun()
        : m_clock(kRate), m_feed([this](double n) -> std::optional<SystemTime> {
              if (!m_clock.Ready()) {
                  return std::nullopt;
              }
              return m_clock.TimeOf(n);
          }) {
        m_feed.AddSink(std::make_unique<CRecorder>(sent));
    }

    CClockFeed& Feed() { return m_feed; }

    void Second(ReceptionState state, double cn0 = 60.0, int leap = 0) {
        while (m_buffers * kBuffer < (m_second + 2) * 96000) {
            ++m_buffers;
            const std::int64_t end = m_buffers * kBuffer;
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
        m_feed.OnSecond(s);
        DecoderStatus status{};
        status.state = state;
        status.cn0DbHz = cn0;
        status.sample = static_cast<std::int64_t>(s.onTimeSample) + 96000;
        m_feed.OnStatus(status);
        ++m_second;
    }

    // The seconds (counted from 0) of the samples sent, by their true time.
    std::vector<int> SentSeconds() const {
        std::vector<int> seconds;
        for (const ClockSample& c : sent) {
            const double truth =
                static_cast<double>(c.system.sec) + c.system.nsec * 1e-9 + c.offset;
            seconds.push_back(static_cast<int>(std::llround(truth) - kStart - 1));
        }
        return seconds;
    }

    std::vector<ClockSample> sent;

private:
    CSampleClock m_clock;
    CClockFeed m_feed;
    std::int64_t m_second = 0;
    std::int64_t m_buffers = 0;
};

// Samples go out only for seconds received with a fresh time, and only once
// a status more than five seconds after them still shows the carrier: not while the decoder
// locks on, not for the seconds before the flywheel or a loss of the carrier
// (which the decoder's state may not show yet), and again when a valid time
// returns.
TEST(ClockFeed, SendsOnlyWhileTheTimeIsReceived) {
    CFeedRun run;
    using S = ReceptionState;
    const S script[] = {S::SecondLocked, S::SecondLocked, S::MinuteLocked,   // 0-2
                        S::TimeValid,    S::TimeValid,    S::TimeValid,      // 3-5
                        S::TimeValid,    S::TimeValid,    S::TimeValid,      // 6-8
                        S::TimeValid,    S::TimeValid,    S::Flywheel,       // 9-11
                        S::Flywheel,     S::NoSignal,     S::SecondLocked};  // 12-14
    for (S state : script) {
        run.Second(state);
    }
    EXPECT_EQ(run.SentSeconds(), (std::vector<int>{3, 4, 5}));

    // The carrier fades while the decoder still says TimeValid.
    run.sent.clear();
    for (int i = 0; i < 8; ++i) {
        run.Second(S::TimeValid);  // 15-22
    }
    for (int i = 0; i < 3; ++i) {
        run.Second(S::TimeValid, 10.0);  // 23-25
    }
    for (int i = 0; i < 8; ++i) {
        run.Second(S::TimeValid);  // 26-33
    }
    EXPECT_EQ(run.SentSeconds(), (std::vector<int>{15, 16, 17, 26, 27, 28}));
}

// The sample's system time is the capture time of the on-time point less the
// calibrated latency, and the offset is the true whole second less it.
TEST(ClockFeed, OffsetIsTrueTimeLessSystemTimeOfTheOnTimePoint) {
    CFeedRun run;
    run.Feed().SetLatencyMs(7.5);
    for (int i = 0; i < 30; ++i) {
        run.Second(ReceptionState::TimeValid, 60.0, i == 19 ? 1 : 0);
    }
    ASSERT_GE(run.sent.size(), 20u);
    const ClockSample& s19 = run.sent[19];
    // Sample 19 * 96000 + 4800.5 was captured 50.005 ms into second 19 after
    // kStart; its true time is kStart + 20.
    const double system =
        static_cast<double>(s19.system.sec - kStart) + static_cast<double>(s19.system.nsec) * 1e-9;
    EXPECT_NEAR(system, 19.0 + 4800.5 / 96000.0 - 0.0075, 2e-6);
    EXPECT_NEAR(s19.offset, 20.0 - system, 1e-9);
    EXPECT_EQ(s19.leap, LeapWarning::Insert);
    EXPECT_EQ(run.sent[18].leap, LeapWarning::None);
}

// Without stamps there is no system time to tell, and nothing goes out.
TEST(ClockFeed, NothingWithoutCaptureStamps) {
    CClockFeed feed([](double) { return std::optional<SystemTime>(); });
    std::vector<ClockSample> sent;
    feed.AddSink(std::make_unique<CRecorder>(sent));
    DecoderSecond s{};
    s.state = ReceptionState::TimeValid;
    s.timeValid = true;
    s.utcUnix = kStart;
    feed.OnSecond(s);
    DecoderStatus status{};
    status.state = ReceptionState::TimeValid;
    status.cn0DbHz = 60.0;
    status.sample = 10 * 96000;
    feed.OnStatus(status);
    EXPECT_TRUE(sent.empty());
}

}  // namespace
}  // namespace velto
