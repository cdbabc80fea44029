#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <limits>
#include <optional>
#include <tuple>
#include <vector>

#include "tests/support/Simulated.h"
#include "tests/views/ViewTestSupport.h"
#include "timecode/Decoder.h"
#include "views/ClockStatus.h"
#include "views/TimeTexts.h"

using namespace viewtest;
using velto::ReceptionState;
using velto::TimeSymbol;

namespace {

const velto::SystemTime kNow{1796642400, 250000000};

class ClockStatusTest : public ::testing::Test {
protected:
    ClockStatusTest() {
        m_clock.resize(m_clock.sizeHint());
        m_clock.SetClock([] { return kNow; });
    }
    void Heard(const velto::DecoderSecond& s, std::optional<double> offsetMs = {}) {
        m_clock.OnSecond(s, offsetMs, kNow);
    }

    int TimeInk() {
        const QImage image = m_clock.grab().toImage();
        const QRect area = m_clock.TimeArea();
        const QRgb background = image.pixel(area.left() + 1, area.top() + 1);
        return area.width() * area.height() - Count(image, background, area);
    }

    CClockStatus m_clock;
};

TEST_F(ClockStatusTest, ShowsTheTimeOnlyWhileTheDecoderHoldsOne) {
    EXPECT_EQ(TimeInk(), 0);
    m_clock.OnStatus(Status(ReceptionState::NoSignal, 3.0, 96000));
    EXPECT_EQ(m_clock.Cn0Text(), "C/N0 3.0 dB-Hz");

    // No time before it is known, even with a system offset at hand.
    Heard(Second(kMinute2016, 5, TimeSymbol::One, 0.0, ReceptionState::SecondLocked), 1.0);
    EXPECT_EQ(m_clock.StateText(), "秒同期");
    Heard(Second(kMinute2016, 6, TimeSymbol::Zero, 0.0, ReceptionState::MinuteLocked), 1.0);
    EXPECT_EQ(m_clock.StateText(), "分同期");
    EXPECT_EQ(m_clock.TimeText(), "");
    EXPECT_EQ(m_clock.OffsetText(), "");
    EXPECT_EQ(TimeInk(), 0);

    // Validity claimed in a state that holds none shows nothing.
    auto odd = Second(kMinute2016, 7, TimeSymbol::Zero, 0.0, ReceptionState::MinuteLocked);
    odd.timeValid = true;
    odd.utcUnix = kMinute2016 + 7;
    Heard(odd);
    EXPECT_EQ(TimeInk(), 0);

    // Without the moment it was heard, no time can be carried to now.
    m_clock.OnSecond(Second(kMinute2016, 8, TimeSymbol::Zero));
    EXPECT_EQ(TimeInk(), 0);
    Heard(Second(kMinute2016, 8, TimeSymbol::Zero));
    EXPECT_GT(TimeInk(), 100);

    // Unlabelled seconds (the rise in doubt) carry the last time for two
    // seconds, then clear it rather than show a time the signal no longer backs.
    const QString shown = m_clock.TimeText();
    auto unlabelled = Second(kMinute2016, 9, TimeSymbol::Zero);
    unlabelled.timeValid = false;
    for (double after : {1.0, 2.0, 3.0}) {
        m_clock.OnSecond(unlabelled, {}, kNow.Plus(after));
        EXPECT_EQ(m_clock.TimeText(), after < 3.0 ? shown : QString()) << after;
    }
    EXPECT_EQ(TimeInk(), 0);

    Heard(Second(kMinute2016, 10, TimeSymbol::Zero), 2.0);
    m_clock.OnStatus(Status(ReceptionState::TimeValid, 41.26, 96000));
    EXPECT_EQ(m_clock.Cn0Text(), "C/N0 41.3 dB-Hz");
    m_clock.OnStatus(Status(ReceptionState::Flywheel, 8.0, 192000));
    Heard(Second(kMinute2016, 11, TimeSymbol::Erasure, 0.0, ReceptionState::Flywheel), 2.0);
    EXPECT_EQ(m_clock.OffsetText(), "PC時計 +2.0 ms");

    m_clock.OnStatus(
        Status(ReceptionState::NoSignal, std::numeric_limits<double>::quiet_NaN(), 288000));
    EXPECT_EQ(m_clock.StateText(), "無信号");
    EXPECT_EQ(m_clock.Cn0Text(), "C/N0 --.- dB-Hz");
    m_clock.OnStatus(Status(ReceptionState::NoSignal, 0.0, 384000));
    EXPECT_EQ(m_clock.Cn0Text(), "C/N0 --.- dB-Hz") << "0 is the decoder's no estimate";
    EXPECT_EQ(m_clock.TimeText(), "");
    EXPECT_EQ(m_clock.OffsetText(), "");
    EXPECT_EQ(TimeInk(), 0);
}

// An inserted leap second reads 08:59:60 whichever POSIX second it is given.
TEST_F(ClockStatusTest, TicksOnTheDecodersSecondsInJstAndCarriesThemAcrossALeapSecond) {
    const struct {
        std::int64_t minute;
        int second;
        std::int64_t utc;
        std::optional<double> offsetMs;
        const char* time;
        const char* offset;
    } cases[] = {
        {kMinute2016 - 60, 42, 0, 12.34, "2026年12月07日(月) 20:15:42 JST", "PC時計 +12.3 ms"},
        {kMinute2016 - 60, 43, 0, -3.26, "2026年12月07日(月) 20:15:43 JST", "PC時計 -3.3 ms"},
        {kMinute2016 - 60, 44, 0, -0.04, "2026年12月07日(月) 20:15:44 JST", "PC時計 +0.0 ms"},
        {kMinute2016 - 60, 45, 0, {}, "2026年12月07日(月) 20:15:45 JST", ""},
        {1798729200, 0, 0, {}, "2027年01月01日(金) 00:00:00 JST", ""},
        {1483228740, 60, 1483228800, {}, "2017年01月01日(日) 08:59:60 JST", ""},
        {1483228740, 60, 1483228799, {}, "2017年01月01日(日) 08:59:60 JST", ""},
    };
    for (const auto& c : cases) {
        auto second = Second(c.minute, c.second, TimeSymbol::Zero);
        second.utcUnix = c.utc != 0 ? c.utc : second.utcUnix;
        Heard(second, c.offsetMs);
        EXPECT_EQ(m_clock.TimeText(), QString::fromUtf8(c.time));
        EXPECT_EQ(m_clock.OffsetText(), QString::fromUtf8(c.offset));
    }

    // Carried across a leap second: an inserted one is :60, a deleted one left out.
    constexpr std::int64_t kEnd = 1483228800;  // 2017-01-01 00:00:00 UTC
    velto::DecoderSecond s = Second(kEnd - 60, 57, TimeSymbol::Zero);
    s.leap = 1;
    const std::vector<std::pair<std::int64_t, int>> inserted = {
        {kEnd - 2, -1}, {kEnd - 1, -1}, {kEnd, 60}, {kEnd, -1}, {kEnd + 1, -1}};
    for (int k = 1; k <= 5; ++k) {
        const CClockStatus::Present p = CClockStatus::Carried(s, k);
        EXPECT_EQ(std::make_pair(p.utcUnix, p.leapSecond), inserted[k - 1]) << k;
    }
    s.leap = 2;
    EXPECT_EQ(CClockStatus::Carried(s, 1).utcUnix, kEnd - 2);
    EXPECT_EQ(CClockStatus::Carried(s, 2).utcUnix, kEnd);
    s.leap = 0;
    EXPECT_EQ(CClockStatus::Carried(s, 3).utcUnix, kEnd);
}

// Decoded in 100 ms buffers, the clock shows the simulator's second within 50 ms whenever it
// shows one, received or in the flywheel, though the decoder judges seconds late.
constexpr std::int64_t kStation = kMinute2016;
constexpr std::int64_t kOffset = 41234;  // samples into that second
double Truth(double n) { return (static_cast<double>(kOffset) + n) / velto::kSampleRate; }
velto::SystemTime SystemAt(double n) { return velto::SystemTime{kStation, 0}.Plus(Truth(n)); }

TEST(ClockStatusNow, ShowsTheSimulatorsSecondNowAndTicksAtItsEdge) {
    CClockStatus clock;
    double fed = 0.0;
    clock.SetClock([&] { return SystemAt(fed); });
    struct Sink : velto::IDecoderSink {
        explicit Sink(CClockStatus& c) : clock(c) {}
        void OnSecond(const velto::DecoderSecond& s) override {
            clock.OnSecond(s, {}, SystemAt(s.onTimeSample));
        }
        void OnMinute(const velto::DecoderMinute&) override {}
        void OnStatus(const velto::DecoderStatus& s) override { clock.OnStatus(s); }
        CClockStatus& clock;
    } sink(clock);
    velto::CDecoder decoder(sink);

    velto::StationSignalOptions options{.noiseSigma = 300.0, .startOffsetSamples = kOffset};
    int shown = 0, flywheel = 0;
    for (const auto& [start, seconds, amplitude] :
         {std::tuple(kStation, 200, 3000.0), std::tuple(kStation + 200, 40, 0.0)}) {
        options.carrierAmplitude = amplitude;
        const auto signal = support::Simulated(
            start, static_cast<std::size_t>(seconds) * velto::kSampleRate, options);
        for (std::size_t at = 0; at < signal.size(); at += velto::kBufferSamples) {
            decoder.Feed(static_cast<std::int64_t>(fed), signal.data() + at, velto::kBufferSamples);
            fed += velto::kBufferSamples;
            clock.Tick();
            const auto present = clock.Shown();
            if (!present) continue;
            ++shown;
            flywheel += clock.StateText() == QStringLiteral("フライホイール") ? 1 : 0;
            const double now = Truth(fed);
            const double second = static_cast<double>(present->utcUnix - kStation);
            ASSERT_GT(now, second - 0.05) << "at " << now << " s";
            ASSERT_LT(now, second + 1.05) << "at " << now << " s";
            EXPECT_EQ(clock.TimeText(),
                      velto::CivilClockText(velto::CivilZone::Japan, present->utcUnix));
            // The timer fires just after the next second's edge.
            const double next = now + clock.TickInterval() * 1e-3;
            EXPECT_GE(next, std::floor(now) + 1.0) << "at " << now << " s";
            EXPECT_LT(next, std::floor(now) + 1.01) << "at " << now << " s";
        }
    }
    EXPECT_GT(shown, 500) << "the time was shown for too short a while";
    EXPECT_GT(flywheel, 10) << "the flywheel was not reached";
}

}  // namespace
