#include <gtest/gtest.h>

#include <QWheelEvent>
#include <memory>
#include <vector>

#include "plot/SpectrumPlot.h"
#include "simulator/StationSignal.h"
#include "tests/views/ViewTestSupport.h"
#include "views/SpectrumWnd.h"

using namespace viewtest;

namespace {

bool Warm(QColor c) { return c.red() > 200 && c.blue() < 100; }
bool Cold(QColor c) { return c.red() < 60; }

// The topmost pixel of a colour in a column of `r`, or -1.
int Top(const QImage& image, const QRect& r, int x, const QColor& colour) {
    for (int y = r.top(); y <= r.bottom(); ++y) {
        if (image.pixelColor(x, y) == colour) {
            return y;
        }
    }
    return -1;
}

class SpectrumWndTest : public ::testing::Test {
protected:
    // 30 s of the simulator with a steady carrier 123.4 Hz above the
    // station's, fed once for all tests.
    static void SetUpTestSuite() {
        s_analyser = std::make_unique<velto::CSpectrumAnalyser>(velto::SpectrumOptions{});
        velto::StationSignalOptions o;
        o.carrierAmplitude = 1000.0;
        o.cn0DbHz = 40.0;
        o.interferenceHz = 40123.4;
        o.interferenceAmplitude = 30.0;
        velto::CStationSignal signal(kMinute2016, o);
        std::vector<std::int16_t> buffer(9600);
        for (int i = 0; i < 300; ++i) {
            signal.Generate(buffer.data(), buffer.size());
            s_analyser->Feed(buffer.data(), buffer.size());
        }
    }
    static void TearDownTestSuite() { s_analyser.reset(); }

    void SetUp() override { m_wnd.SetAnalyser(s_analyser.get()); }

    void Wheel(QPoint at, int notches, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWheelEvent e(at, m_wnd.mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                      modifiers, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&m_wnd, &e);
    }

    static std::unique_ptr<velto::CSpectrumAnalyser> s_analyser;
    CSpectrumWnd m_wnd;
};

std::unique_ptr<velto::CSpectrumAnalyser> SpectrumWndTest::s_analyser;

TEST_F(SpectrumWndTest, TheBandTheWaterfallsAndTheCarriersAreDrawn) {
    const QImage image = m_wnd.Render();
    const velto::CSpectrumAnalyser& a = *s_analyser;
    const QRect band = CSpectrumWnd::BandRect();
    const auto x = spectrumplot::BandFrequencies(a, band);
    const int carrier = static_cast<int>(std::lround(x.ToPixel(40000.0)));
    const int quiet = static_cast<int>(std::lround(x.ToPixel(20000.0)));
    const int top = Top(image, band, carrier, spectrumplot::AverageTrace());
    ASSERT_GE(top, 0);
    EXPECT_LT(top, Top(image, band, quiet, spectrumplot::AverageTrace()) - band.height() / 3);
    EXPECT_GE(Top(image, band, quiet, spectrumplot::PeakTrace()), 0);
    int marker = 0;
    for (int dx = -1; dx <= 1; ++dx) {
        marker += Count(image, spectrumplot::StationMarker().rgb(),
                        QRect(carrier + dx, band.top(), 1, band.height()));
    }
    EXPECT_GT(marker, band.height() / 8);  // dotted

    const QRect wide = CSpectrumWnd::WideRect();
    const auto wx = spectrumplot::WaterfallOffsets(a.Wide(), wide);
    for (int row : {1, 15, 28}) {
        EXPECT_TRUE(Warm(image.pixelColor(static_cast<int>(wx.ToPixel(0.0)), wide.top() + row)));
        EXPECT_TRUE(Cold(image.pixelColor(static_cast<int>(wx.ToPixel(-250.0)), wide.top() + row)));
    }
    // Lines for the 30 s fed, the rest empty.
    EXPECT_EQ(image.pixelColor(static_cast<int>(wx.ToPixel(0.0)), wide.top() + 40),
              spectrumplot::Background());
    // The steady carrier found 123.4 Hz up is marked above the waterfall.
    const int mark = static_cast<int>(std::lround(wx.ToPixel(123.4)));
    EXPECT_GT(
        Count(image, spectrumplot::StationMarker().rgb(), QRect(mark - 2, wide.top() - 10, 5, 9)),
        4);
    EXPECT_EQ(Count(image, spectrumplot::StationMarker().rgb(),
                    QRect(static_cast<int>(wx.ToPixel(-123.4)) - 2, wide.top() - 10, 5, 9)),
              0);
}

TEST_F(SpectrumWndTest, TheColourScaleFollowsTheNoiseUntilTheWheelMovesIt) {
    const double noise = *s_analyser->NoiseDb();
    EXPECT_TRUE(m_wnd.FollowsNoise());
    EXPECT_DOUBLE_EQ(m_wnd.Colours().low, ColourScale::Following(noise).low);

    const QRect wide = CSpectrumWnd::WideRect();
    const QPoint inside = wide.center();
    const auto wx = spectrumplot::WaterfallOffsets(s_analyser->Wide(), wide);
    const QPoint carrier(static_cast<int>(wx.ToPixel(0.0)), wide.top() + 10);
    Wheel(inside, 3);
    EXPECT_FALSE(m_wnd.FollowsNoise());
    EXPECT_DOUBLE_EQ(m_wnd.Colours().low, ColourScale::Following(noise).low + 6.0);
    Wheel(inside, -1, Qt::ShiftModifier);
    EXPECT_DOUBLE_EQ(m_wnd.Colours().high - m_wnd.Colours().low, ColourScale::kSpanDb - 5.0);
    // Far above everything received: the carrier's column goes dark too.
    Wheel(inside, 30);
    EXPECT_TRUE(Cold(m_wnd.Render().pixelColor(carrier)));
    // Outside the waterfalls and the scale the wheel does nothing.
    const ColourScale before = m_wnd.Colours();
    Wheel(CSpectrumWnd::BandRect().center(), 5);
    EXPECT_DOUBLE_EQ(m_wnd.Colours().low, before.low);

    Mouse(m_wnd, QEvent::MouseButtonDblClick, inside.x(), inside.y());
    EXPECT_TRUE(m_wnd.FollowsNoise());
    EXPECT_TRUE(Warm(m_wnd.Render().pixelColor(carrier)));
}

TEST_F(SpectrumWndTest, ThePointerReadsFrequencyAndLevel) {
    EXPECT_EQ(m_wnd.HoverText(), QString());
    const QRect band = CSpectrumWnd::BandRect();
    const auto x = spectrumplot::BandFrequencies(*s_analyser, band);
    Mouse(m_wnd, QEvent::MouseMove, static_cast<int>(std::lround(x.ToPixel(40000.0))),
          band.center().y());
    // The nearest bin to 40 kHz lies 1.95 Hz above it.
    EXPECT_TRUE(m_wnd.HoverText().startsWith(QStringLiteral("4000")))
        << m_wnd.HoverText().toStdString();
    EXPECT_TRUE(m_wnd.HoverText().endsWith(QStringLiteral("dB/Hz")))
        << m_wnd.HoverText().toStdString();

    const QRect wide = CSpectrumWnd::WideRect();
    const auto wx = spectrumplot::WaterfallOffsets(s_analyser->Wide(), wide);
    Mouse(m_wnd, QEvent::MouseMove, static_cast<int>(wx.ToPixel(0.0)), wide.top() + 5);
    EXPECT_TRUE(m_wnd.HoverText().startsWith(QStringLiteral("+0 Hz (40000 Hz)")))
        << m_wnd.HoverText().toStdString();
    EXPECT_TRUE(m_wnd.HoverText().endsWith(QStringLiteral("5 秒前")))
        << m_wnd.HoverText().toStdString();
    // Below the lines received there is nothing to read.
    Mouse(m_wnd, QEvent::MouseMove, wide.center().x(), wide.bottom() - 5);
    EXPECT_EQ(m_wnd.HoverText(), QString());
}

TEST_F(SpectrumWndTest, ShowingAndClosingTellTheOwnerAndADoubleClickResetsThePeakHold) {
    std::vector<bool> visible;
    QObject::connect(&m_wnd, &CSpectrumWnd::VisibilityChanged,
                     [&](bool shown) { visible.push_back(shown); });
    m_wnd.show();
    m_wnd.close();
    EXPECT_FALSE(m_wnd.isVisible());
    EXPECT_EQ(visible, (std::vector<bool>{true, false}));

    const auto& band = s_analyser->Band();
    const int bin = band.BinOf(40000.0);
    ASSERT_GT(band.Peak(bin), 0.0);
    const QPoint at = CSpectrumWnd::BandRect().center();
    Mouse(m_wnd, QEvent::MouseButtonDblClick, at.x(), at.y());
    EXPECT_EQ(band.Peak(bin), 0.0);
    EXPECT_EQ(
        Top(m_wnd.Render(), CSpectrumWnd::BandRect(),
            static_cast<int>(spectrumplot::BandFrequencies(*s_analyser, CSpectrumWnd::BandRect())
                                 .ToPixel(40000.0)),
            spectrumplot::PeakTrace()),
        -1);
}

}  // namespace
