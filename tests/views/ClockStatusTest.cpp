#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <limits>

#include "tests/views/DecoderEventsSupport.h"
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

TEST_F(ClockStatusTest, ShowsNoTimeUntilTheDecoderHoldsOne) {
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
}

TEST_F(ClockStatusTest, TicksOnTheDecodersSecondsInJst) {
    m_clock.OnSecond(Second(kMinute2016 - 60, 42, TimeSymbol::Zero), 12.34);
    EXPECT_EQ(m_clock.TimeText(), "2026年12月07日(月) 20:15:42 JST");
    EXPECT_EQ(m_clock.OffsetText(), "PC時計 +12.3 ms");
    m_clock.OnSecond(Second(kMinute2016 - 60, 43, TimeSymbol::Zero), -3.26);
    EXPECT_EQ(m_clock.TimeText(), "2026年12月07日(月) 20:15:43 JST");
    EXPECT_EQ(m_clock.OffsetText(), "PC時計 -3.3 ms");
    m_clock.OnSecond(Second(kMinute2016 - 60, 44, TimeSymbol::Zero), -0.04);
    EXPECT_EQ(m_clock.OffsetText(), "PC時計 +0.0 ms") << "no negative zero";
    m_clock.OnSecond(Second(kMinute2016 - 60, 45, TimeSymbol::Zero));
    EXPECT_EQ(m_clock.OffsetText(), "") << "no timing, no offset";

    // JST turns the year nine hours before UTC does.
    m_clock.OnSecond(Second(1798729140, 59, TimeSymbol::Marker));
    EXPECT_EQ(m_clock.TimeText(), "2026年12月31日(木) 23:59:59 JST");
    m_clock.OnSecond(Second(1798729200, 0, TimeSymbol::Marker));
    EXPECT_EQ(m_clock.TimeText(), "2027年01月01日(金) 00:00:00 JST");

    // An inserted leap second reads 08:59:60, whichever POSIX second the
    // decoder gives it.
    auto leap = Second(1483228740, 60, TimeSymbol::Marker);
    leap.utcUnix = 1483228800;
    m_clock.OnSecond(leap);
    EXPECT_EQ(m_clock.TimeText(), "2017年01月01日(日) 08:59:60 JST");
    leap.utcUnix = 1483228799;
    m_clock.OnSecond(leap);
    EXPECT_EQ(m_clock.TimeText(), "2017年01月01日(日) 08:59:60 JST");
}

TEST_F(ClockStatusTest, FlywheelKeepsTheTimeAndLosingItClearsIt) {
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

    m_clock.OnSecond(Second(kMinute2016, 30, TimeSymbol::Zero));
    m_clock.Clear();
    EXPECT_EQ(m_clock.StateText(), "無信号");
    EXPECT_EQ(m_clock.TimeText(), "");
    EXPECT_EQ(m_clock.Cn0Text(), "");
}

}  // namespace
