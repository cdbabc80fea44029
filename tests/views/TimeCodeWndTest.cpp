#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QImage>
#include <QTemporaryDir>
#include <string>
#include <tuple>
#include <vector>

#include "base/SystemTime.h"
#include "log/ReceptionLog.h"
#include "station/FrameEncoder.h"
#include "tests/support/Pixels.h"
#include "tests/views/ViewTestSupport.h"
#include "views/TimeCodeWnd.h"

using namespace viewtest;
using pixels::HueInk;
using velto::ReceptionState;
using velto::TimeSymbol;

namespace {

constexpr double kSecond = velto::kSampleRate;

class TimeCodeWndTest : public ::testing::Test {
protected:
    // Seconds first..last of JJY's minute `minutes` after 20:16.
    void Minute(int minutes, int first = 0, int last = 59) {
        const std::int64_t utc = kMinute2016 + 60 * minutes;
        const velto::Frame frame = velto::EncodeFrame(velto::GetStation(velto::StationId::Jjy40),
                                                      utc, {.leap = {}, .callSignMinutes = false});
        constexpr TimeSymbol kSymbol[] = {TimeSymbol::Zero, TimeSymbol::One, TimeSymbol::Marker};
        for (int s = first; s <= last; ++s) {
            m_wnd.OnSecond(Second(utc, s, kSymbol[static_cast<int>(frame.symbols[s])],
                                  60.0 * kSecond * minutes + 1234.5));
        }
    }

    static QRgb Fill(const QImage& image, int age, int second) {
        const QRect cell = CTimeCodeWnd::CellRect(age, second);
        return image.pixel(cell.left() + 2, cell.top() + 2);
    }
    // Row `age` as symbol numbers, '.' where none was heard.
    std::string Cells(int age) const {
        const auto& row = m_wnd.History().RowAt(age);
        std::string cells;
        for (int s = 0; s <= row.last; ++s) {
            cells += row.cells[s] ? static_cast<char>('0' + static_cast<int>(*row.cells[s])) : '.';
        }
        return cells;
    }
    static std::vector<int> SecondsOf(const QImage& image, int age, TimeSymbol symbol) {
        std::vector<int> seconds;
        for (int s = 0; s < 60; ++s) {
            if (Fill(image, age, s) == CTimeCodeWnd::CellColour(symbol).rgb()) {
                seconds.push_back(s);
            }
        }
        return seconds;
    }

    CTimeCodeWnd m_wnd;
};

// The highlight is the second now, ahead of those judged; a minute not reached is an empty row.
TEST_F(TimeCodeWndTest, CellsFillWithTheSymbolsOfTheFrameAndTheHighlightIsTheSecondNow) {
    const QRgb empty = CTimeCodeWnd::EmptyCellColour().rgb();
    const auto highlighted = [](const QImage& image, int age, int second) {
        const QRect cell = CTimeCodeWnd::CellRect(age, second);
        return image.pixel(cell.left(), cell.center().y()) == CTimeCodeWnd::HighlightColour().rgb();
    };
    QImage image = m_wnd.Render();
    EXPECT_EQ(Fill(image, 0, 0), empty);
    EXPECT_EQ(m_wnd.FieldLines(), QStringList{"解読した分はまだありません"});

    Minute(0, 0, 29);
    image = m_wnd.Render();
    EXPECT_EQ(Fill(image, 0, 30), empty);
    EXPECT_EQ(Fill(image, 0, 59), empty);
    EXPECT_TRUE(highlighted(image, 0, 29));
    const QRect now = CTimeCodeWnd::CellRect(0, 29);
    EXPECT_NE(image.pixel(now.right() + 1 + 5, now.top()), CTimeCodeWnd::HighlightColour().rgb());
    m_wnd.SetPresent(kMinute2016, 34);
    image = m_wnd.Render();
    EXPECT_TRUE(highlighted(image, 0, 34));
    EXPECT_FALSE(highlighted(image, 0, 29));

    Minute(0, 30, 59);
    image = m_wnd.Render();
    EXPECT_EQ(SecondsOf(image, 0, TimeSymbol::Marker),
              (std::vector<int>{0, 9, 19, 29, 39, 49, 59}));
    // Minute 16, hour 20, day 341, PA1 1, PA2 1, year 26, weekday 1.
    EXPECT_EQ(SecondsOf(image, 0, TimeSymbol::One),
              (std::vector<int>{3, 6, 7, 12, 22, 23, 26, 33, 36, 37, 43, 46, 47, 52}));
    EXPECT_EQ(SecondsOf(image, 0, TimeSymbol::Zero).size(), 60U - 7U - 14U);
    EXPECT_GT(Count(image, kWhite, CTimeCodeWnd::CellRect(0, 9).adjusted(1, 1, -1, -1)), 4);
    const QRect zero = CTimeCodeWnd::CellRect(0, 1).adjusted(1, 1, -1, -1);
    EXPECT_GT(zero.width() * zero.height() - Count(image, Fill(image, 0, 1), zero), 10);

    m_wnd.SetPresent(kMinute2016 + 60, 2);
    image = m_wnd.Render();
    EXPECT_TRUE(highlighted(image, 0, 2));
    EXPECT_EQ(Fill(image, 0, 0), empty);
    EXPECT_EQ(SecondsOf(image, 1, TimeSymbol::Marker),
              (std::vector<int>{0, 9, 19, 29, 39, 49, 59}));
}

TEST_F(TimeCodeWndTest, PastMinutesAreRowsBelowAndTheCallSignMinuteIsMarked) {
    for (int m = -7; m <= -2; ++m) Minute(m);
    // 20:15 is a call-sign minute: Morse in seconds 40-48.
    const std::int64_t utc = kMinute2016 - 60;
    for (int s = 0; s < 60; ++s) {
        const bool morse = s >= 40 && s <= 48;
        m_wnd.OnSecond(Second(utc, s,
                              morse                   ? TimeSymbol::CallSign
                              : s % 10 == 9 || s == 0 ? TimeSymbol::Marker
                                                      : TimeSymbol::Zero,
                              -60.0 * kSecond));
    }
    Minute(0, 0, 4);

    const QImage image = m_wnd.Render();
    EXPECT_EQ(SecondsOf(image, 0, TimeSymbol::Marker), std::vector<int>{0});
    EXPECT_EQ(SecondsOf(image, 1, TimeSymbol::CallSign),
              (std::vector<int>{40, 41, 42, 43, 44, 45, 46, 47, 48}));
    for (int age = 1; age <= 5; ++age) {
        EXPECT_EQ(SecondsOf(image, age, TimeSymbol::Marker).size(), 7U) << age;
    }
    EXPECT_TRUE(m_wnd.History().RowAt(1).callSign);
    EXPECT_FALSE(m_wnd.History().RowAt(2).callSign);
    EXPECT_EQ(*m_wnd.History().RowAt(5).minuteUtc, kMinute2016 - 5 * 60) << "20:11, not 20:09";
    const QRect row1 = CTimeCodeWnd::CellRect(1, 60);
    const QColor purple = CTimeCodeWnd::CellColour(TimeSymbol::CallSign);
    EXPECT_GT(HueInk(image, purple, QRect(row1.right() + 1, row1.top(), 200, row1.height())), 20);
    const QRect row2 = CTimeCodeWnd::CellRect(2, 60);
    EXPECT_EQ(HueInk(image, purple, QRect(row2.right() + 1, row2.top(), 200, row2.height())), 0);
}

TEST_F(TimeCodeWndTest, SecondsHeardBeforeTheMinuteIsKnownTakeTheirPlacesAndNamesLater) {
    // 20:15:00 to 20:16:04, of unknown place.
    for (int s = 0; s < 65; ++s) {
        if (s != 2) {  // lost, and its cell stays empty
            m_wnd.OnSecond(
                Second(0, s, TimeSymbol::Zero, 5.0 * kSecond, ReceptionState::SecondLocked));
        }
    }
    std::string earlier(60, '0');
    earlier[2] = '.';
    EXPECT_EQ(std::tuple(Cells(0), Cells(1)), std::tuple("00000", earlier));
    // Second 5 of a known minute places the seconds heard.
    m_wnd.OnSecond(
        Second(kMinute2016, 5, TimeSymbol::One, 65.0 * kSecond, ReceptionState::MinuteLocked));
    const velto::CTimeCodeHistory& h = m_wnd.History();
    EXPECT_EQ(std::tuple(Cells(0), Cells(1), Cells(2)), std::tuple("000001", earlier, ""));
    EXPECT_TRUE(h.RowAt(0).located && h.RowAt(1).located);
    // The time known in the next minute names both before.
    for (int s = 6; s < 60; ++s) {
        m_wnd.OnSecond(
            Second(kMinute2016, s, TimeSymbol::Zero, 65.0 * kSecond, ReceptionState::MinuteLocked));
    }
    m_wnd.OnSecond(Second(kMinute2016 + 60, 0, TimeSymbol::Marker, 125.0 * kSecond));
    EXPECT_EQ(h.RowAt(1).minuteUtc, kMinute2016);
    EXPECT_EQ(h.RowAt(2).minuteUtc, kMinute2016 - 60);
    const QImage image = m_wnd.Render();
    EXPECT_EQ(SecondsOf(image, 2, TimeSymbol::Zero).size(), 59u);
    m_wnd.OnSecond(Second(kMinute2016 + 120, 50, TimeSymbol::Zero, 185.0 * kSecond));
    m_wnd.OnSecond(Second(kMinute2016 + 180, 55, TimeSymbol::Zero, 245.0 * kSecond));
    EXPECT_EQ(h.RowAt(0).last, 55);
    EXPECT_EQ(h.RowAt(1).last, 50);
}

TEST_F(TimeCodeWndTest, FieldsOfTheLastMinuteWithParitiesAndNotices) {
    velto::DecoderMinute m{2026, 12,   7,     20,    16,    341,   1,     kMinute2016, 0.0,
                           true, true, false, false, false, false, 0.987, 60};
    m_wnd.OnMinute(m);
    EXPECT_EQ(m_wnd.FieldLines(),
              (QStringList{"最後に解読した分:  時 20　分 16　通算日 341　年 2026　曜日 月",
                           "PA1 OK　PA2 OK　信頼度 99%"}));
    const QColor red = CTimeCodeWnd::CellColour(TimeSymbol::Marker);
    const QRect fields(0, CTimeCodeWnd::CellRect(5, 0).bottom() + 30, 800, 70);
    EXPECT_EQ(HueInk(m_wnd.Render(), red, fields), 0);

    m.pa2Ok = false;
    m.ls1 = true;
    m.ls2 = true;
    m.flywheel = true;
    m_wnd.OnMinute(m);
    EXPECT_EQ(m_wnd.FieldLines(),
              (QStringList{"最後に解読した分:  時 20　分 16　通算日 341　年 2026　曜日 月",
                           "PA1 OK　PA2 NG　信頼度 99%　(フライホイール)",
                           "うるう秒予告: 今月末 (UTC) に1秒挿入"}));
    EXPECT_GT(HueInk(m_wnd.Render(), red, fields), 200) << "NG and the notice stand out";

    m.ls1 = false;
    m.callSignMinute = true;
    m_wnd.OnMinute(m);
    EXPECT_EQ(m_wnd.FieldLines().back(), "呼出符号の分: 年・曜日・うるう秒の符号は送られません");

    // Other stations' parities are told together, WWVB having none.
    m.callSignMinute = false;
    m.pa2Ok = true;
    m.paritiesOk = false;
    m_wnd.SetStation(velto::GetStation(velto::StationId::Dcf77));
    m_wnd.OnMinute(m);
    EXPECT_EQ(m_wnd.FieldLines()[1], "パリティ NG　信頼度 99%　(フライホイール)");
    EXPECT_GT(HueInk(m_wnd.Render(), red, fields), 200);
    m_wnd.SetStation(velto::GetStation(velto::StationId::Wwvb));
    EXPECT_EQ(m_wnd.FieldLines()[1], "信頼度 99%　(フライホイール)");
}

TEST_F(TimeCodeWndTest, ChartsFollowTheOnTimePointAndCn0) {
    const QImage blank = m_wnd.Render();
    // A sample clock 20 ppm fast from 999.5 ms: the offset rises through the wrap, no jump.
    const double start = 96000.0 * 50 + 95952.0;
    for (int k = 0; k <= 701; ++k) {
        velto::DecoderSecond s =
            Second(kMinute2016, k % 60, TimeSymbol::Zero, 0.0, ReceptionState::SecondLocked);
        s.onTimeSample = start + k * kSecond * (1.0 + 20e-6);
        m_wnd.OnSecond(s);
        // Every third status has no estimate, which must not count.
        m_wnd.OnStatus(Status(ReceptionState::SecondLocked, k % 3 == 1 ? 0.0 : 30.0 + (k / 100),
                              std::int64_t{k} * velto::kSampleRate + 5000));
    }
    const auto& h = m_wnd.History();
    ASSERT_EQ(h.OffsetCount(), 600);
    EXPECT_NEAR(h.OffsetAt(599).value, 701 * 0.02, 1e-6);
    EXPECT_NEAR(h.OffsetAt(599).value - h.OffsetAt(0).value, 599 * 0.02, 1e-6);
    // 10-second means of C/N0, not the open bin.
    ASSERT_EQ(h.Cn0Count(), 70);
    EXPECT_NEAR(h.Cn0At(0).value, 30.0, 1e-9);
    EXPECT_NEAR(h.Cn0At(69).value, 36.0, 1e-9);

    const auto columns = [&](const QImage& img, int top, const QColor& trace) {
        std::vector<int> xs;
        for (int x = 48; x < 784; ++x) {
            if (HueInk(img, trace, QRect(x, top, 1, 128)) > 0) xs.push_back(x);
        }
        return xs;
    };
    const QImage image = m_wnd.Render();
    const QColor blue(20, 90, 200);
    const QColor green(0, 150, 70);
    EXPECT_TRUE(columns(blank, 272, blue).empty());
    EXPECT_TRUE(columns(blank, 450, green).empty());
    EXPECT_GT(columns(image, 272, blue).size(), 720U);
    const std::vector<int> cn0 = columns(image, 450, green);
    ASSERT_FALSE(cn0.empty());
    EXPECT_NEAR(cn0.front(), 784 - 736 * 700 / 3600, 4);
    EXPECT_GE(cn0.back(), 780);
}

// 30 hours logged: 30 dB-Hz until 12 hours ago, 50 and decoded since.
TEST_F(TimeCodeWndTest, TheCn0ChartShowsTheLastDayAndWeekFromTheReceptionLog) {
    using receptionchart::Span;
    m_wnd.SetCn0Span(Span::Day);
    EXPECT_EQ(m_wnd.Cn0Span(), Span::Hour);

    QTemporaryDir dir;
    const std::int64_t now = velto::SystemTime::Now().sec / 60 * 60;
    {
        velto::CReceptionLog log(dir.path().toStdString(), 0);
        std::string error;
        for (std::int64_t t = now - 30 * 3600; t < now; t += 60) {
            velto::ReceptionRecord r;
            r.minuteUtc = t;
            r.state = ReceptionState::TimeValid;
            const bool recent = t >= now - 12 * 3600;
            r.cn0DbHz = recent ? 50.0 : 30.0;
            r.decoded = recent;
            ASSERT_TRUE(log.Append(r, &error)) << error;
        }
    }
    m_wnd.SetReceptionLog(dir.path().toStdString());
    const QImage hour = m_wnd.Render();
    m_wnd.SpanButton(Span::Day)->click();
    ASSERT_EQ(m_wnd.Cn0Span(), Span::Day);
    const QImage day = m_wnd.Render();
    m_wnd.SpanButton(Span::Week)->click();
    const QImage week = m_wnd.Render();

    const QRect r = CTimeCodeWnd::LogChartRect();
    const QColor trace = receptionchart::Trace();
    const auto top = [&](const QImage& image, double x) {
        int y = -1;
        HueInk(image, trace, QRect(static_cast<int>(x), r.top(), 1, r.height()), &y);
        return y;
    };
    const auto x = [&](Span span, double hoursAgo) {
        return receptionchart::XOf(r, now - static_cast<std::int64_t>(hoursAgo * 3600), now, span);
    };
    EXPECT_EQ(top(hour, x(Span::Day, 6)), -1) << "the hour's chart is the received one";
    ASSERT_GE(top(day, x(Span::Day, 6)), 0);
    ASSERT_GE(top(day, x(Span::Day, 18)), 0);
    EXPECT_LT(top(day, x(Span::Day, 6)), top(day, x(Span::Day, 18)) - r.height() / 3);
    const QRect strip = receptionchart::StripRect(r);
    EXPECT_EQ(day.pixelColor(static_cast<int>(x(Span::Day, 6)), strip.center().y()),
              receptionchart::Decoded());
    EXPECT_EQ(day.pixelColor(static_cast<int>(x(Span::Day, 18)), strip.center().y()),
              receptionchart::Undecoded());
    // A week: the 30 hours at its right end, nothing before.
    EXPECT_GE(top(week, x(Span::Week, 24)), 0);
    EXPECT_EQ(top(week, x(Span::Week, 48)), -1);
}

}  // namespace
