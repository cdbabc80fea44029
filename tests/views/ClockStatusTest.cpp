#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <limits>
#include <optional>

#include "tests/views/ViewTestSupport.h"
#include "views/ClockStatus.h"

using namespace viewtest;
using velto::ReceptionState;
using velto::TimeSymbol;

namespace {

class ClockStatusTest : public ::testing::Test {
protected:
    ClockStatusTest() { m_clock.resize(m_clock.sizeHint()); }

    // Pixels in the time's place that differ from its background.
    int TimeInk() {
        const QImage image = m_clock.grab().toImage();
        const QRect area = m_clock.TimeArea();
        const QRgb background = image.pixel(area.left() + 1, area.top() + 1);
        return area.width() * area.height() - Count(image, background, area);
    }

    CClockStatus m_clock;
};

TEST_F(ClockStatusTest, ShowsTheTimeOnlyWhileTheDecoderHoldsOne) {
    EXPECT_EQ(m_clock.StateText(), "無信号");
    EXPECT_EQ(TimeInk(), 0);
    m_clock.OnStatus(Status(ReceptionState::NoSignal, 3.0, 96000));
    EXPECT_EQ(m_clock.Cn0Text(), "C/N0 3.0 dB-Hz");

    // Seconds and minutes found, time not yet: states change, no time appears
    // even with a system offset at hand.
    m_clock.OnSecond(Second(kMinute2016, 5, TimeSymbol::One, 0.0, ReceptionState::SecondLocked),
                     1.0);
    EXPECT_EQ(m_clock.StateText(), "秒同期");
    m_clock.OnSecond(Second(kMinute2016, 6, TimeSymbol::Zero, 0.0, ReceptionState::MinuteLocked),
                     1.0);
    EXPECT_EQ(m_clock.StateText(), "分同期");
    EXPECT_EQ(m_clock.TimeText(), "");
    EXPECT_EQ(m_clock.OffsetText(), "");
    EXPECT_EQ(TimeInk(), 0);

    // A second that claims validity in a state that holds none shows nothing.
    auto odd = Second(kMinute2016, 7, TimeSymbol::Zero, 0.0, ReceptionState::MinuteLocked);
    odd.timeValid = true;
    odd.utcUnix = kMinute2016 + 7;
    m_clock.OnSecond(odd);
    EXPECT_EQ(TimeInk(), 0);

    m_clock.OnSecond(Second(kMinute2016, 8, TimeSymbol::Zero));
    EXPECT_EQ(m_clock.StateText(), "時刻確定");
    EXPECT_GT(TimeInk(), 100);

    // The flywheel keeps the time; losing the signal clears it.
    m_clock.OnSecond(Second(kMinute2016, 10, TimeSymbol::Zero), 2.0);
    m_clock.OnStatus(Status(ReceptionState::TimeValid, 41.26, 96000));
    EXPECT_EQ(m_clock.Cn0Text(), "C/N0 41.3 dB-Hz");
    m_clock.OnStatus(Status(ReceptionState::Flywheel, 8.0, 192000));
    m_clock.OnSecond(Second(kMinute2016, 11, TimeSymbol::Erasure, 0.0, ReceptionState::Flywheel),
                     2.0);
    EXPECT_EQ(m_clock.StateText(), "フライホイール");
    EXPECT_EQ(m_clock.TimeText(), "2026年12月07日(月) 20:16:11 JST");
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

// The decoder's seconds in JST, with the system clock's offset when there is
// one: JST turns the year nine hours before UTC does, and an inserted leap
// second reads 08:59:60 whichever POSIX second the decoder gives it.
TEST_F(ClockStatusTest, TicksOnTheDecodersSecondsInJst) {
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
        {1798729140, 59, 0, {}, "2026年12月31日(木) 23:59:59 JST", ""},
        {1798729200, 0, 0, {}, "2027年01月01日(金) 00:00:00 JST", ""},
        {1483228740, 60, 1483228800, {}, "2017年01月01日(日) 08:59:60 JST", ""},
        {1483228740, 60, 1483228799, {}, "2017年01月01日(日) 08:59:60 JST", ""},
    };
    for (const auto& c : cases) {
        auto second = Second(c.minute, c.second, TimeSymbol::Zero);
        second.utcUnix = c.utc != 0 ? c.utc : second.utcUnix;
        m_clock.OnSecond(second, c.offsetMs);
        EXPECT_EQ(m_clock.TimeText(), QString::fromUtf8(c.time));
        EXPECT_EQ(m_clock.OffsetText(), QString::fromUtf8(c.offset));
    }
}

}  // namespace
